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
#include <QTemporaryFile>

namespace {
const QString kDurationProperty = QStringLiteral("media:duration");

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

class EpubAudioBookPlayerPrivate
{
public:
    bool opened() const { return !smilList.isEmpty(); }
    bool loadSmil(int index);
    /** Milliseconds of the SMIL document with manifest id @p id, -1 when not declared. */
    qint64 smilDuration(const QString &id) const;
    qint64 durationAt(int index) const;
    bool playSmilAudioFile(const SmilAudioFile &item);
    /** Plays the first audio of SMIL document smilIndex from @p position ms; a result code. */
    int playAt(qint64 position);
    /** From the current entry on, the first audio that plays (each tried once); false at the end. */
    bool playOn(SmilAudioFile item);
    ResumemarkData freshMark() const;
    ResumemarkData readResumemarkData();
    bool writeMark(qint64 time);

    bool resume = true;
    bool playing = false;
    bool endOfBook = false;
    qint64 leadIn = 0;
    int smilIndex = 0;
    QStringList smilList;
    EpubParser parser;
    EpubSmilAudioPlaylist playlist;
    // Below the device's temporary folder, not the working directory: that is wherever the
    // program was started from, often read-only or a folder of someone else's files.
    QString tempDir = Platform::path(QStringLiteral("/tmp/temporaryAudioFiles/"));
    /** The audio the engine plays; replacing it removes the previous one. */
    std::unique_ptr<QTemporaryFile> tempFile;
    AudioSettings audioSettings;
    std::unique_ptr<VlcMediaPlayer> engine = std::make_unique<VlcMediaPlayer>();
};

bool EpubAudioBookPlayerPrivate::loadSmil(int index)
{
    if (index < 0 || index >= smilList.size())
        return false;
    const QString path = parser.manifestItem(smilList.at(index)).href;
    return !path.isEmpty() && playlist.load(parser.itemData(path), path);
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

qint64 EpubAudioBookPlayerPrivate::durationAt(int index) const
{
    if (index < 0 || index >= smilList.size()) {
        qCWarning(lcPlayers) << "[EpubAudioBookPlayerPrivate::durationCurrentSmil]: invalid id reference";
        return -1;
    }
    return smilDuration(smilList.at(index));
}

bool EpubAudioBookPlayerPrivate::playSmilAudioFile(const SmilAudioFile &item)
{
    if (item.isEmpty()) {
        qCWarning(lcPlayers) << "[EpubAudioBookPlayer::playSmilAudioFile]: smil audio file is not valid";
        return false;
    }
    const QByteArray data = parser.itemData(item.src);
    if (data.isEmpty()) {
        qCWarning(lcPlayers) << "[EpubAudioBookPlayer::playSmilAudioFile]: no audio data available" << item.src;
        return false;
    }
    // The previous file goes first: at most one copy of the book's audio is on disk.
    if (!playing)
        tempFile.reset();
    auto file = std::make_unique<QTemporaryFile>(tempDir + QStringLiteral("tempAudiofileXXXXXX.mp3"));
    if (!file->open()) {
        qCWarning(lcPlayers) << "[EpubAudioBookPlayer::playSmilAudioFile]: failed to open the temporary file" << file->errorString();
        return false;
    }
    if (file->write(data) != data.size() || !file->flush()) {
        qCWarning(lcPlayers) << "[EpubAudioBookPlayer::playSmilAudioFile]: failed to write the audio data" << file->errorString();
        return false;
    }
    engine->setPitch(float(audioSettings.pitch()));
    engine->setTempo(audioSettings.tempo());
    const bool started = engine->play(file->fileName());
    tempFile = std::move(file);
    if (!started) {
        qCWarning(lcPlayers) << "[EpubAudioBookPlayer::playSmilAudioFile]: audio does not play:" << item.src;
        tempFile.reset();
    }
    return started;
}

int EpubAudioBookPlayerPrivate::playAt(qint64 position)
{
    if (!loadSmil(smilIndex))
        return AudioBookPlayerInterface::EngineFailure;
    playing = playSmilAudioFile(playlist.currentItem());
    if (!playing)
        return AudioBookPlayerInterface::EngineFailure;
    if (position > 0 && engine->seek(position - qMax<qint64>(0, engine->currentTime())) < 0)
        return AudioBookPlayerInterface::EngineFailure;
    return AudioBookPlayerInterface::Done;
}

bool EpubAudioBookPlayerPrivate::playOn(SmilAudioFile item)
{
    for (;;) {
        if (!item.isEmpty()) {
            if (playSmilAudioFile(item))
                return true;
            qCWarning(lcPlayers) << "[EpubAudioBookPlayer::mediaPlayerFinished]: failed to play smil audio file, skipped:" << item.src;
            item = playlist.nextItem(1);
            continue;
        }
        qCDebug(lcPlayers) << "[EpubAudioBookPlayer::mediaPlayerFinished]: smil audio playlist is empty, load new smil file";
        if (++smilIndex >= smilList.size()) {
            smilIndex = int(smilList.size()) - 1;
            return false;
        }
        if (!loadSmil(smilIndex)) {
            qCWarning(lcPlayers) << "[EpubAudioBookPlayer::mediaPlayerFinished]: failed to load the smil data, skipped";
            playlist.clear();
        }
        item = playlist.currentItem();
    }
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

bool EpubAudioBookPlayerPrivate::writeMark(qint64 time)
{
    ResumemarkData data = freshMark();
    data.smilListPos = smilIndex;
    data.clipNodePos = qMax(0, playlist.currentIndex());
    data.playerTime = qMax<qint64>(0, time);
    return Resumemark().write(data);
}

EpubAudioBookPlayer::EpubAudioBookPlayer(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<EpubAudioBookPlayerPrivate>())
{
    QDir().mkpath(d->tempDir);
    // Files left by a process that did not close its book.
    cleanupTemporaryAudioFiles(d->tempDir);
    connect(d->engine.get(), &VlcMediaPlayer::finished, this, &EpubAudioBookPlayer::mediaPlayerFinished);
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
    d->smilIndex = 0;
    d->endOfBook = false;
    d->playlist.clear();
    return true;
}

void EpubAudioBookPlayer::close()
{
    d->engine->stop();
    d->playing = false;
    d->tempFile.reset();
    d->parser.close();
    d->playlist.clear();
    d->smilList.clear();
    cleanupTemporaryAudioFiles(d->tempDir);
}

bool EpubAudioBookPlayer::play()
{
    if (!d->opened()) {
        qCWarning(lcPlayers) << "[EpubAudioBookPlayer::play]: no book opened";
        return false;
    }
    if (d->endOfBook) {
        d->endOfBook = false;
        resetResumeMark();
        qCDebug(lcPlayers) << "[EpubAudioBookPlayer::play]: end of book, restart book";
    }
    const ResumemarkData mark = d->readResumemarkData();
    d->smilIndex = d->resume ? mark.smilListPos : 0;
    if (!d->loadSmil(d->smilIndex)) {
        qCWarning(lcPlayers) << "[EpubAudioBookPlayer::play]: failed to load the smil data";
        return false;
    }
    SmilAudioFile item = d->resume ? d->playlist.itemAt(mark.clipNodePos) : d->playlist.itemAt(0);
    if (item.isEmpty())
        item = d->playlist.currentItem();
    d->playing = d->playSmilAudioFile(item);
    // The recap goes back within the chapter's audio file, never before it.
    const qint64 from = qMax<qint64>(0, mark.playerTime - d->leadIn);
    d->leadIn = 0;
    if (d->playing && d->resume && from > 0)
        d->engine->seek(from - qMax<qint64>(0, d->engine->currentTime()));
    qCDebug(lcPlayers) << "[EpubAudioBookPlayer::play]:" << item.src << (d->playing ? "playing" : "not playing");
    return d->playing;
}

void EpubAudioBookPlayer::stop()
{
    if (!d->playing)
        return;
    const qint64 time = d->engine->currentTime();
    d->engine->stop();
    d->playing = false;
    d->tempFile.reset();
    cleanupTemporaryAudioFiles(d->tempDir);
    qCDebug(lcPlayers) << "[EpubAudioBookPlayer::stop]: resume mark write" << (d->writeMark(time) ? "succes" : "failed");
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
    if (d->playOn(d->playlist.nextItem(1)))
        return;
    qCDebug(lcPlayers) << "[EpubAudioBookPlayer::mediaPlayerFinished]: end of book is reached";
    d->playing = false;
    d->endOfBook = true;
    d->tempFile.reset();
    Q_EMIT finished();
}

int EpubAudioBookPlayer::walkHeading(int step)
{
    if (!d->opened())
        return NoBook;
    if (d->playing) {
        qCWarning(lcPlayers) << "[EpubAudioBookPlayer::walkHeading]: we are playing";
        return Refused;
    }
    if (d->smilIndex < 0 || d->smilIndex >= d->smilList.size())
        d->smilIndex = d->readResumemarkData().smilListPos;
    int target = d->smilIndex;
    if (step > 0) {
        target = d->smilIndex + step;
        if (target >= d->smilList.size())
            d->endOfBook = true;
        if (d->endOfBook) {
            qCDebug(lcPlayers) << "[EpubAudioBookPlayer::walkHeading]: we are the end of the book";
            return EndOfBook;
        }
    } else if (step < 0) {
        if (d->smilIndex == 0) {
            qCDebug(lcPlayers) << "[EpubAudioBookPlayer::walkHeading]: we are the begin of the book";
            resetResumeMark();
            return BeginOfBook;
        }
        // A long step back stops at the first heading.
        target = qMax(0, d->smilIndex + step);
    }
    d->smilIndex = target;
    d->endOfBook = false;
    if (!d->loadSmil(target)) {
        qCWarning(lcPlayers) << "[EpubAudioBookPlayer::walkHeading]: failed to load the smil data";
        return EngineFailure;
    }
    return d->playAt(0);
}

int EpubAudioBookPlayer::fastForward(int seconds)
{
    if (!d->opened())
        return NoBook;
    if (d->endOfBook) {
        qCDebug(lcPlayers) << "[EpubAudioBookPlayer::fastForward]: end of book!";
        return EndOfBook;
    }
    const qint64 step = qint64(seconds) * 1000;
    qint64 remainder;
    if (d->playing) {
        qint64 r = 0;
        if (const int result = TrackWalk::seekWithin(d->engine.get(), step, "[EpubAudioBookPlayer::fastForward]", &r); result >= 0)
            return result;
        d->playing = false;
        remainder = r;
    } else {
        const ResumemarkData mark = d->readResumemarkData();
        d->smilIndex = mark.smilListPos;
        const qint64 length = d->durationAt(d->smilIndex);
        if (length < 0) {
            qCWarning(lcPlayers) << "[EpubAudioBookPlayer::fastForward]: failed to get duration of current smil (A)";
            return EngineFailure;
        }
        const qint64 target = mark.playerTime + step;
        if (target < length)
            return d->playAt(target);
        remainder = target - length;
    }
    for (;;) {
        if (++d->smilIndex >= d->smilList.size()) {
            qCDebug(lcPlayers) << "[EpubAudioBookPlayer::fastForward]: no next smil reference available, end of book";
            d->smilIndex = int(d->smilList.size()) - 1;
            d->endOfBook = true;
            return EndOfBook;
        }
        const qint64 length = d->durationAt(d->smilIndex);
        if (length < 0) {
            qCWarning(lcPlayers) << "[EpubAudioBookPlayer::fastForward]: failed to get duration of current smil (B)";
            return EngineFailure;
        }
        if (remainder < length)
            return d->playAt(remainder);
        remainder -= length;
    }
}

int EpubAudioBookPlayer::rewind(int seconds)
{
    if (!d->opened())
        return NoBook;
    const qint64 step = qAbs(qint64(seconds)) * 1000;
    qint64 shortfall;
    if (d->playing) {
        qint64 r = 0;
        if (const int result = TrackWalk::seekWithin(d->engine.get(), -step, "[EpubAudioBookPlayer::rewind]", &r); result >= 0)
            return result;
        d->playing = false;
        shortfall = r;
    } else {
        const ResumemarkData mark = d->readResumemarkData();
        qint64 from = mark.playerTime;
        d->smilIndex = mark.smilListPos;
        if (d->endOfBook) {
            d->smilIndex = int(d->smilList.size()) - 1;
            from = d->durationAt(d->smilIndex);
        }
        if (d->durationAt(d->smilIndex) < 0) {
            qCWarning(lcPlayers) << "[EpubAudioBookPlayer::rewind]: failed to get duration of current smil (A)";
            return EngineFailure;
        }
        d->endOfBook = false;
        const qint64 target = from - step;
        if (target >= 0)
            return d->playAt(target);
        shortfall = -target;
    }
    for (;;) {
        if (--d->smilIndex < 0) {
            qCDebug(lcPlayers) << "[EpubAudioBookPlayer::rewind]: no previous smil document, begin of book";
            d->smilIndex = 0;
            resetResumeMark();
            return BeginOfBook;
        }
        const qint64 length = d->durationAt(d->smilIndex);
        if (length < 0) {
            qCWarning(lcPlayers) << "[EpubAudioBookPlayer::rewind]: failed to get duration of current smil (B)";
            return EngineFailure;
        }
        const qint64 position = length - shortfall;
        if (position >= 0)
            return d->playAt(position);
        shortfall = -position;
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
    qint64 sum = d->playing ? qMax<qint64>(0, d->engine->currentTime()) : d->readResumemarkData().playerTime;
    for (int i = 0; i < d->smilIndex; ++i)
        sum += qMax<qint64>(0, d->smilDuration(d->smilList.at(i)));
    return int(sum / 1000);
}
