// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "players/epubaudiobookplayer.h"

#include "audio/audiosettings.h"
#include "audio/vlcmediaplayer.h"
#include "formats/epubparser.h"
#include "library/resumemark.h"
#include "platform/paths.h"
#include "players/epubsmilaudioplaylist.h"
#include "players/logcategory.h"
#include "players/trackwalk.h"

#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTimer>

namespace {
const QString kDurationProperty = QStringLiteral("media:duration");
// How often the end of the playing clip is looked for.
constexpr int kClipWatchMsec = 40;

/** Removes every file below @p folder; the folders stay. */
void cleanupTemporaryAudioFiles(const QString &folder)
{
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        if (!QFile::remove(file))
            qCWarning(lcPlayers) << "[EpubAudioBookPlayer] temporary file not removed:" << file;
    }
}
} // namespace

/** A point of the narration: an entry of a SMIL document's playlist and a time in its file. */
struct NarrationPlace
{
    int smil = 0;
    int item = 0;
    qint64 time = 0;
};

class EpubAudioBookPlayerPrivate
{
public:
    explicit EpubAudioBookPlayerPrivate(EpubAudioBookPlayer *q)
        : q(q)
    {
    }

    bool opened() const { return !smilList.isEmpty(); }
    /** Loads the playlist of SMIL document @p index (kept when it is loaded already); false without audio. */
    bool loadSmil(int index);
    /** Milliseconds of the SMIL document with manifest id @p id, -1 when not declared. */
    qint64 smilDuration(const QString &id) const;
    /** Copies @p src out of the archive for the engine (kept when it is the one copied already); empty on failure. */
    QString copyOut(const QString &src);
    /** How long entry @p item plays, measuring its file when the overlay leaves its end open; -1 when unknown. */
    qint64 itemLength(const SmilAudioFile &item);
    /** The end of @p item within its file (ms), or -1 when unknown. */
    qint64 itemEnd(const SmilAudioFile &item);
    /** Starts entry @p place.item of SMIL document @p place.smil at @p place.time; false when it does not play. */
    bool startAt(NarrationPlace place);
    /** startAt(), then on through the following entries past audio that does not play; false at the end. */
    bool playFrom(NarrationPlace place);
    /** One entry on (into the next SMIL document with audio); false at the end of the book. */
    bool stepForward(NarrationPlace *place);
    /** One entry back, to the end of the entry before; false at the start of the book. */
    bool stepBack(NarrationPlace *place);
    /** Where the reader is: the engine's place while playing, else the stored one. */
    NarrationPlace here();
    /** The entry playing has ended (or reached its clip end while the engine runs on). */
    void itemEnded(bool engineRunning);
    void watchClipEnd();
    void stopEngine();
    /** A wind ran past the end: the reader stays at @p origin, stopped. */
    int overshoot(const NarrationPlace &origin);
    ResumemarkData freshMark() const;
    ResumemarkData readResumemarkData();
    bool writeMark(const NarrationPlace &place);

    EpubAudioBookPlayer *const q;
    bool resume = true;
    bool playing = false;
    bool heardToEnd = false; ///< the narration played to its end: play starts over
    bool positioned = false; ///< smilIndex is the reader's place (else the stored mark is)
    qint64 leadIn = 0;
    int smilIndex = 0;
    int loadedSmil = -1;
    QStringList smilList;
    EpubParser parser;
    EpubSmilAudioPlaylist playlist;
    // Below the device's temporary folder, not the working directory: that is wherever the
    // program was started from, often read-only or a folder of someone else's files.
    QString tempDir = Platform::path(QStringLiteral("/tmp/temporaryAudioFiles/"));
    /** The audio the engine plays; replacing it removes the previous one. */
    std::unique_ptr<QTemporaryFile> tempFile;
    QString tempSource; ///< the archive path tempFile holds
    QHash<QString, qint64> fileLengths; ///< measured lengths of audio files, by archive path
    AudioSettings audioSettings;
    std::unique_ptr<VlcMediaPlayer> engine = std::make_unique<VlcMediaPlayer>();
    QTimer clipWatch;
};

bool EpubAudioBookPlayerPrivate::loadSmil(int index)
{
    if (index < 0 || index >= smilList.size())
        return false;
    if (index == loadedSmil)
        return true;
    loadedSmil = -1;
    const QString path = parser.manifestItem(smilList.at(index)).href;
    if (path.isEmpty() || !playlist.load(parser.itemData(path), path)) {
        qCWarning(lcPlayers).noquote() << "[EpubAudioBookPlayer] no audio in media overlay" << smilList.at(index) << ", skipped";
        playlist.clear();
        return false;
    }
    loadedSmil = index;
    return true;
}

qint64 EpubAudioBookPlayerPrivate::smilDuration(const QString &id) const
{
    const QVector<MetadataItem> items = parser.metadataItems(DCType::Meta, kDurationProperty);
    for (const MetadataItem &item : items) {
        if (!item.refines.isEmpty() && item.refines.mid(item.refines.lastIndexOf(QLatin1Char('#')) + 1) == id)
            return EpubSmilAudioPlaylist::parseSmilClockValue(item.value);
    }
    return -1;
}

QString EpubAudioBookPlayerPrivate::copyOut(const QString &src)
{
    if (tempFile && tempSource == src)
        return tempFile->fileName();
    const QByteArray data = parser.itemData(src);
    if (data.isEmpty()) {
        qCWarning(lcPlayers) << "[EpubAudioBookPlayer::playSmilAudioFile]: no audio data available" << src;
        return {};
    }
    // The previous file goes first: at most one copy of the book's audio is on disk.
    engine->stop();
    tempFile.reset();
    tempSource.clear();
    // The file's own suffix (.mp3, .m4a, ...): a decoder may go by the name.
    QString suffix = QFileInfo(src).suffix().toLower();
    static const QRegularExpression plain(QStringLiteral("^[a-z0-9]{1,5}$"));
    if (!plain.match(suffix).hasMatch())
        suffix = QStringLiteral("mp3");
    auto file = std::make_unique<QTemporaryFile>(tempDir + QStringLiteral("tempAudiofileXXXXXX.") + suffix);
    if (!file->open()) {
        qCWarning(lcPlayers) << "[EpubAudioBookPlayer::playSmilAudioFile]: failed to open the temporary file" << file->errorString();
        return {};
    }
    if (file->write(data) != data.size() || !file->flush()) {
        qCWarning(lcPlayers) << "[EpubAudioBookPlayer::playSmilAudioFile]: failed to write the audio data" << file->errorString();
        return {};
    }
    tempFile = std::move(file);
    tempSource = src;
    return tempFile->fileName();
}

qint64 EpubAudioBookPlayerPrivate::itemEnd(const SmilAudioFile &item)
{
    qint64 fileLength = fileLengths.value(item.src, -1);
    if (fileLength < 0 && (!item.hasEnd() || tempSource == item.src)) {
        if (tempSource == item.src && playing && engine->isPlaying()) {
            fileLength = engine->totalTime();
        } else {
            // Measured from a copy of its own, so the one the engine plays stays.
            const QByteArray data = parser.itemData(item.src);
            QTemporaryFile probe(tempDir + QStringLiteral("lengthXXXXXX.") + QFileInfo(item.src).suffix());
            if (!data.isEmpty() && probe.open() && probe.write(data) == data.size() && probe.flush())
                fileLength = engine->totalTimeFile(probe.fileName());
        }
        if (fileLength > 0)
            fileLengths.insert(item.src, fileLength);
    }
    if (!item.hasEnd())
        return fileLength > 0 ? fileLength : -1;
    // A clip end past the end of the audio ends with the audio.
    return fileLength > 0 ? qMin(item.clipEnd, fileLength) : item.clipEnd;
}

qint64 EpubAudioBookPlayerPrivate::itemLength(const SmilAudioFile &item)
{
    const qint64 end = itemEnd(item);
    if (end < 0) {
        qCWarning(lcPlayers) << "[EpubAudioBookPlayer] length of audio unknown, wound over:" << item.src;
        return 0;
    }
    return qMax<qint64>(0, end - item.clipBegin);
}

bool EpubAudioBookPlayerPrivate::startAt(NarrationPlace place)
{
    if (!loadSmil(place.smil))
        return false;
    const SmilAudioFile item = playlist.itemAt(place.item);
    if (item.isEmpty()) {
        qCWarning(lcPlayers) << "[EpubAudioBookPlayer::playSmilAudioFile]: smil audio file is not valid";
        return false;
    }
    smilIndex = place.smil;
    positioned = true;
    const QString file = copyOut(item.src);
    if (file.isEmpty())
        return false;
    engine->setPitch(float(audioSettings.pitch()));
    engine->setTempo(audioSettings.tempo());
    if (!engine->play(file)) {
        qCWarning(lcPlayers) << "[EpubAudioBookPlayer::playSmilAudioFile]: audio does not play:" << item.src;
        tempFile.reset();
        tempSource.clear();
        playing = false;
        return false;
    }
    playing = true;
    const qint64 from = qMax(item.clipBegin, place.time);
    qCDebug(lcPlayers).noquote() << "[EpubAudioBookPlayer] plays" << item.src << "from" << from << "ms, smil" << place.smil << "entry" << place.item;
    if (from > 0) {
        const qint64 r = engine->seek(from - qMax<qint64>(0, engine->currentTime()));
        if (r != 0)
            qCWarning(lcPlayers) << "[EpubAudioBookPlayer] position" << from << "is not inside" << item.src << ", result:" << r;
    }
    clipWatch.start();
    return true;
}

bool EpubAudioBookPlayerPrivate::playFrom(NarrationPlace place)
{
    // Each entry is tried once: the walk ends with the book.
    for (;;) {
        if (startAt(place))
            return true;
        if (!stepForward(&place))
            return false;
        qCWarning(lcPlayers) << "[EpubAudioBookPlayer::mediaPlayerFinished]: failed to play smil audio file, skipped";
    }
}

bool EpubAudioBookPlayerPrivate::stepForward(NarrationPlace *place)
{
    if (loadSmil(place->smil) && place->item + 1 < playlist.count()) {
        ++place->item;
    } else {
        int next = place->smil + 1;
        while (next < smilList.size() && !loadSmil(next))
            ++next;
        if (next >= smilList.size())
            return false;
        place->smil = next;
        place->item = 0;
    }
    place->time = playlist.itemAt(place->item).clipBegin;
    return true;
}

bool EpubAudioBookPlayerPrivate::stepBack(NarrationPlace *place)
{
    if (place->item > 0 && loadSmil(place->smil)) {
        --place->item;
    } else {
        int previous = place->smil - 1;
        while (previous >= 0 && !loadSmil(previous))
            --previous;
        if (previous < 0)
            return false;
        place->smil = previous;
        place->item = playlist.count() - 1;
    }
    const SmilAudioFile item = playlist.itemAt(place->item);
    place->time = item.clipBegin + itemLength(item);
    return true;
}

NarrationPlace EpubAudioBookPlayerPrivate::here()
{
    if (playing) {
        NarrationPlace place{smilIndex, qMax(0, playlist.currentIndex()), 0};
        // The engine may have finished the file a moment before its end
        // reached this player: the entry is at its end then.
        const SmilAudioFile item = playlist.currentItem();
        place.time = engine->isPlaying() ? qMax<qint64>(0, engine->currentTime()) : qMax<qint64>(item.clipBegin, itemEnd(item));
        return place;
    }
    const ResumemarkData mark = readResumemarkData();
    return {mark.smilListPos, mark.clipNodePos, mark.playerTime};
}

void EpubAudioBookPlayerPrivate::stopEngine()
{
    engine->stop();
    playing = false;
    clipWatch.stop();
}

int EpubAudioBookPlayerPrivate::overshoot(const NarrationPlace &origin)
{
    stopEngine();
    tempFile.reset();
    tempSource.clear();
    writeMark(origin);
    smilIndex = origin.smil;
    positioned = true;
    qCDebug(lcPlayers) << "[EpubAudioBookPlayer::fastForward]: no next smil reference available, end of book; the place stays at smil"
                       << origin.smil << "entry" << origin.item << "at" << origin.time << "ms";
    return AudioBookPlayerInterface::EndOfBook;
}

void EpubAudioBookPlayerPrivate::itemEnded(bool engineRunning)
{
    const SmilAudioFile ended = playlist.currentItem();
    NarrationPlace place{smilIndex, qMax(0, playlist.currentIndex()), 0};
    while (stepForward(&place)) {
        const SmilAudioFile next = playlist.itemAt(place.item);
        if (engineRunning && next.src == ended.src && ended.hasEnd() && next.clipBegin >= ended.clipEnd) {
            // Further on in the same file: no restart, so no gap.
            smilIndex = place.smil;
            if (engine->seek(next.clipBegin - qMax<qint64>(0, engine->currentTime())) == 0)
                return;
        }
        if (startAt(place))
            return;
        qCWarning(lcPlayers) << "[EpubAudioBookPlayer::mediaPlayerFinished]: failed to play smil audio file, skipped:" << next.src;
    }
    qCDebug(lcPlayers) << "[EpubAudioBookPlayer::mediaPlayerFinished]: end of book is reached";
    stopEngine();
    heardToEnd = true;
    tempFile.reset();
    tempSource.clear();
    Q_EMIT q->finished();
}

void EpubAudioBookPlayerPrivate::watchClipEnd()
{
    if (!playing) {
        clipWatch.stop();
        return;
    }
    const SmilAudioFile item = playlist.currentItem();
    if (item.hasEnd() && engine->isPlaying() && engine->currentTime() >= item.clipEnd)
        itemEnded(true);
}

ResumemarkData EpubAudioBookPlayerPrivate::freshMark() const
{
    ResumemarkData data;
    data.title = parser.metadataValue(DCType::Title);
    // With the title alone, the volumes of one work or the issues of a
    // magazine would share one place.
    data.identifier = parser.metadataValue(DCType::Identifier).trimmed();
    return data;
}

ResumemarkData EpubAudioBookPlayerPrivate::readResumemarkData()
{
    ResumemarkData data = freshMark();
    Resumemark store;
    if (!store.isValid()) {
        qCWarning(lcPlayers) << "[EpubAudioBookPlayer::readResumemarkData]: resume mark not valid";
        return data;
    }
    if (!store.read(data)) {
        qCWarning(lcPlayers) << "[EpubAudioBookPlayer::readResumemarkData]: failed to read resume mark data";
        return freshMark();
    }
    if (data.smilListPos < 0 || data.smilListPos >= smilList.size() || data.clipNodePos < 0 || data.playerTime < 0) {
        qCWarning(lcPlayers) << "[EpubAudioBookPlayer::readResumemarkData]: sanity check for smil position failed. Values will be reset to default";
        data = freshMark();
    }
    qCDebug(lcPlayers) << "*** Epub audiobook resumemark info ***";
    qCDebug(lcPlayers) << "smilFileListPosition:" << data.smilListPos;
    qCDebug(lcPlayers) << "smil idref:" << smilList.value(data.smilListPos, QStringLiteral("not available"));
    qCDebug(lcPlayers) << "clipNodeListPosition:" << data.clipNodePos;
    qCDebug(lcPlayers) << "playerTime:" << data.playerTime << "msec";
    return data;
}

bool EpubAudioBookPlayerPrivate::writeMark(const NarrationPlace &place)
{
    ResumemarkData data = freshMark();
    data.smilListPos = place.smil;
    data.clipNodePos = qMax(0, place.item);
    data.playerTime = qMax<qint64>(0, place.time);
    return Resumemark().write(data);
}

EpubAudioBookPlayer::EpubAudioBookPlayer(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<EpubAudioBookPlayerPrivate>(this))
{
    QDir().mkpath(d->tempDir);
    // Files left by a process that did not close its book.
    cleanupTemporaryAudioFiles(d->tempDir);
    connect(d->engine.get(), &VlcMediaPlayer::finished, this, &EpubAudioBookPlayer::mediaPlayerFinished);
    d->clipWatch.setInterval(kClipWatchMsec);
    connect(&d->clipWatch, &QTimer::timeout, this, [this] { d->watchClipEnd(); });
}

EpubAudioBookPlayer::~EpubAudioBookPlayer()
{
    close();
}

QString EpubAudioBookPlayer::name()
{
    return QStringLiteral("Epub Player");
}

QString EpubAudioBookPlayer::temporaryFolder() const
{
    return d->tempDir;
}

bool EpubAudioBookPlayer::open(const QString &path)
{
    d->smilList.clear();
    if (!d->engine->init()) {
        qCWarning(lcPlayers) << "[EpubAudioBookPlayer::open]: init vlc failed";
        return false;
    }
    if (!d->parser.open(path)) {
        qCWarning(lcPlayers) << "[EpubAudioBookPlayer::open]: failed to open epub:" << path;
        return false;
    }
    const QStringList spine = d->parser.spineItems();
    for (const QString &id : spine) {
        const QString overlay = d->parser.manifestItem(id).mediaOverlay;
        if (!overlay.isEmpty())
            d->smilList.append(overlay);
    }
    if (d->smilList.isEmpty()) {
        qCWarning(lcPlayers) << "[EpubAudioBookPlayer::open]:  epub doesn't have any media overlay documents";
        d->parser.close();
        return false;
    }
    d->loadedSmil = -1;
    d->playlist.clear();
    bool hasAudio = false;
    for (int i = 0; i < d->smilList.size() && !hasAudio; ++i)
        hasAudio = d->loadSmil(i);
    if (!hasAudio) {
        qCWarning(lcPlayers) << "[EpubAudioBookPlayer::open]: no media overlay of the book has audio:" << path;
        d->smilList.clear();
        d->parser.close();
        return false;
    }
    d->smilIndex = 0;
    d->heardToEnd = false;
    d->positioned = false;
    d->fileLengths.clear();
    return true;
}

void EpubAudioBookPlayer::close()
{
    d->stopEngine();
    d->tempFile.reset();
    d->tempSource.clear();
    d->parser.close();
    d->playlist.clear();
    d->loadedSmil = -1;
    d->smilList.clear();
    cleanupTemporaryAudioFiles(d->tempDir);
}

bool EpubAudioBookPlayer::play()
{
    if (!d->opened()) {
        qCWarning(lcPlayers) << "[EpubAudioBookPlayer::play]: no book opened";
        return false;
    }
    if (d->heardToEnd) {
        d->heardToEnd = false;
        resetResumeMark();
        qCDebug(lcPlayers) << "[EpubAudioBookPlayer::play]: end of book, restart book";
    }
    const ResumemarkData mark = d->readResumemarkData();
    NarrationPlace place = d->resume ? NarrationPlace{mark.smilListPos, mark.clipNodePos, mark.playerTime} : NarrationPlace{};
    if (d->loadSmil(place.smil) && place.item >= d->playlist.count())
        place = {place.smil, 0, 0};
    // The recap goes back within the entry's audio, never before its start.
    if (d->resume)
        place.time = qMax<qint64>(0, place.time - d->leadIn);
    d->leadIn = 0;
    d->playFrom(place);
    qCDebug(lcPlayers) << "[EpubAudioBookPlayer::play]:" << d->tempSource << (d->playing ? "playing" : "not playing");
    if (!d->playing)
        qCWarning(lcPlayers) << "[EpubAudioBookPlayer::play]: no audio of the book plays";
    return d->playing;
}

void EpubAudioBookPlayer::stop()
{
    if (!d->playing)
        return;
    const NarrationPlace place = d->here();
    d->stopEngine();
    d->tempFile.reset();
    d->tempSource.clear();
    cleanupTemporaryAudioFiles(d->tempDir);
    qCDebug(lcPlayers) << "[EpubAudioBookPlayer::stop]: resume mark write" << (d->writeMark(place) ? "succes" : "failed");
}

void EpubAudioBookPlayer::pause() { d->engine->pause(true); }
void EpubAudioBookPlayer::unpause() { d->engine->pause(false); }
void EpubAudioBookPlayer::mute(bool muted) { d->engine->setMuted(muted); }
void EpubAudioBookPlayer::changeTempo(double tempo) { d->engine->changeTempo(float(tempo)); }
void EpubAudioBookPlayer::changePitch(int semitones) { d->engine->changePitch(float(semitones)); }
int EpubAudioBookPlayer::level() { return 0; }
bool EpubAudioBookPlayer::setLevel(int) { return true; }
int EpubAudioBookPlayer::walkPage(int, bool) { return Done; }
int EpubAudioBookPlayer::trackNumber() { return -1; }
int EpubAudioBookPlayer::changeTrackNumber(int) { return -1; }
int EpubAudioBookPlayer::totalTracks() { return -1; }
bool EpubAudioBookPlayer::isPlaying() { return d->playing; }
void EpubAudioBookPlayer::setResume(bool resume) { d->resume = resume; }
VlcMediaPlayer *EpubAudioBookPlayer::mediaPlayer() { return d->engine.get(); }
void EpubAudioBookPlayer::setLeadIn(qint64 msec) { d->leadIn = msec; }

BookKey EpubAudioBookPlayer::bookKey()
{
    if (!d->opened())
        return {};
    const ResumemarkData data = d->freshMark();
    return {BookKey::Marks, data.title, data.identifier};
}

void EpubAudioBookPlayer::mediaPlayerFinished()
{
    // A stream stopped or replaced by a jump also ends; only playing on counts.
    if (!d->playing)
        return;
    d->itemEnded(false);
}

int EpubAudioBookPlayer::walkHeading(int step)
{
    if (!d->opened())
        return NoBook;
    if (d->playing) {
        qCWarning(lcPlayers) << "[EpubAudioBookPlayer::walkHeading]: we are playing";
        return Refused;
    }
    const int from = d->positioned ? d->smilIndex : d->readResumemarkData().smilListPos;
    int target = from;
    if (step > 0) {
        target = from + step;
        if (d->heardToEnd || target >= d->smilList.size()) {
            // Past the last heading the reader stays where they were.
            qCDebug(lcPlayers) << "[EpubAudioBookPlayer::walkHeading]: we are the end of the book";
            return EndOfBook;
        }
    } else if (step < 0) {
        if (d->heardToEnd) {
            // Back from the end of a book heard to its end: its last heading.
            target = qMax(0, from + step + 1);
        } else if (from == 0) {
            qCDebug(lcPlayers) << "[EpubAudioBookPlayer::walkHeading]: we are the begin of the book";
            resetResumeMark();
            return BeginOfBook;
        } else {
            // A long step back stops at the first heading.
            target = qMax(0, from + step);
        }
    }
    d->heardToEnd = false;
    // Chapters without audio are passed over (logged), back as well as on.
    while (step < 0 && target > 0 && !d->loadSmil(target))
        --target;
    d->smilIndex = target;
    d->positioned = true;
    if (d->playFrom({target, 0, 0}))
        return Done;
    qCWarning(lcPlayers) << "[EpubAudioBookPlayer::walkHeading]: no audio plays from here to the end of the book";
    d->smilIndex = from;
    return EngineFailure;
}

int EpubAudioBookPlayer::fastForward(int seconds)
{
    if (!d->opened())
        return NoBook;
    if (d->heardToEnd) {
        qCDebug(lcPlayers) << "[EpubAudioBookPlayer::fastForward]: end of book!";
        return EndOfBook;
    }
    const qint64 step = qint64(seconds) * 1000;
    const NarrationPlace origin = d->here();
    NarrationPlace place = origin;
    if (!d->loadSmil(place.smil) || d->playlist.itemAt(place.item).isEmpty())
        place = {place.smil, 0, 0};
    const SmilAudioFile item = d->playlist.itemAt(place.item);
    const qint64 target = qMax(item.clipBegin, place.time) + step;
    const qint64 end = d->itemEnd(item);
    if (end < 0 || target < end) {
        if (d->playing && d->engine->isPlaying()) {
            qint64 r = 0;
            const int result = TrackWalk::seekWithin(d->engine.get(), step, "[EpubAudioBookPlayer::fastForward]", &r);
            if (result >= 0)
                return result;
            d->stopEngine();
            place.time = target - r; // the file ends before its clip does
        } else {
            d->stopEngine();
            place.time = target;
            return d->playFrom(place) ? Done : EngineFailure;
        }
    } else {
        d->stopEngine();
    }
    // The rest of the jump is wound through the entries after this one, the
    // chapter's other audio files first.
    qint64 remainder = target - (end < 0 ? place.time : end);
    for (;;) {
        if (!d->stepForward(&place))
            return d->overshoot(origin);
        const SmilAudioFile next = d->playlist.itemAt(place.item);
        const qint64 length = d->itemLength(next);
        if (remainder < length) {
            place.time = next.clipBegin + remainder;
            return d->playFrom(place) ? Done : EngineFailure;
        }
        remainder -= length;
    }
}

int EpubAudioBookPlayer::rewind(int seconds)
{
    if (!d->opened())
        return NoBook;
    const qint64 step = qAbs(qint64(seconds)) * 1000;
    NarrationPlace place = d->here();
    if (d->heardToEnd) {
        // Back from the end of a book heard to its end, not from its start.
        d->heardToEnd = false;
        place = {int(d->smilList.size()), 0, 0};
        if (!d->stepBack(&place))
            return BeginOfBook;
    }
    if (!d->loadSmil(place.smil) || d->playlist.itemAt(place.item).isEmpty())
        place = {place.smil, 0, 0};
    const SmilAudioFile item = d->playlist.itemAt(place.item);
    const qint64 target = place.time - step;
    qint64 shortfall = 0;
    if (target >= item.clipBegin) {
        if (d->playing && d->engine->isPlaying()) {
            qint64 r = 0;
            const int result = TrackWalk::seekWithin(d->engine.get(), -step, "[EpubAudioBookPlayer::rewind]", &r);
            if (result >= 0)
                return result;
            shortfall = r;
        } else {
            d->stopEngine();
            place.time = target;
            return d->playFrom(place) ? Done : EngineFailure;
        }
    } else {
        shortfall = item.clipBegin - target;
    }
    d->stopEngine();
    for (;;) {
        if (!d->stepBack(&place)) {
            qCDebug(lcPlayers) << "[EpubAudioBookPlayer::rewind]: no previous smil document, begin of book";
            d->smilIndex = 0;
            resetResumeMark();
            return BeginOfBook;
        }
        const SmilAudioFile previous = d->playlist.itemAt(place.item);
        if (place.time - previous.clipBegin >= shortfall) {
            place.time -= shortfall;
            return d->playFrom(place) ? Done : EngineFailure;
        }
        shortfall -= place.time - previous.clipBegin;
    }
}

void EpubAudioBookPlayer::resetResumeMark()
{
    if (!d->opened())
        return;
    ResumemarkData data = d->freshMark();
    qCDebug(lcPlayers) << "[ EpubAudioBookPlayer::resetResumeMark]:" << (Resumemark().write(data) ? "succesfull" : "failed");
}

int EpubAudioBookPlayer::totalTime()
{
    if (!d->opened()) {
        qCWarning(lcPlayers) << "[EpubAudioBookPlayer::totalTime]: " << "not opened";
        return -1;
    }
    const QVector<MetadataItem> items = d->parser.metadataItems(DCType::Meta, kDurationProperty);
    for (const MetadataItem &item : items) {
        if (item.refines.isEmpty())
            return int(EpubSmilAudioPlaylist::parseSmilClockValue(item.value) / 1000);
    }
    qCWarning(lcPlayers) << "[EpubAudioBookPlayer::totalTime]: " << "failed to find duration";
    return -1;
}

int EpubAudioBookPlayer::elapsedTime()
{
    if (!d->opened()) {
        qCWarning(lcPlayers) << "[EpubAudioBookPlayer::elapsedTime]: not opened";
        return -1;
    }
    const NarrationPlace place = d->here();
    qint64 sum = 0;
    for (int i = 0; i < place.smil && i < d->smilList.size(); ++i)
        sum += qMax<qint64>(0, d->smilDuration(d->smilList.at(i)));
    // Within the chapter: the entries before, then the time into this one.
    if (d->loadSmil(place.smil)) {
        for (int i = 0; i < place.item && i < d->playlist.count(); ++i)
            sum += d->itemLength(d->playlist.itemAt(i));
        d->playlist.itemAt(place.item);
        sum += qMax<qint64>(0, place.time - d->playlist.currentItem().clipBegin);
    }
    return int(sum / 1000);
}
