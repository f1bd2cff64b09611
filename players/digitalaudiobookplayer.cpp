// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "players/digitalaudiobookplayer.h"

#include "audio/audiosettings.h"
#include "audio/vlcmediaplayer.h"
#include "library/mediasource.h"
#include "library/resumemark.h"
#include "platform/paths.h"
#include "players/digitalaudiobookscanner.h"
#include "players/logcategory.h"
#include "players/trackwalk.h"

#include <QDebug>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QThread>

#include <climits>

namespace {
const QString kTocFile = QStringLiteral("/root/quimbo/toc.xml");

} // namespace

class DigitalAudioBookPlayerPrivate
{
public:
    explicit DigitalAudioBookPlayerPrivate(DigitalAudioBookPlayer *q)
        : q(q)
    {
    }

    qint32 tocId() const { return qint32(quint32(bookId & 0xFFFFFFFFu)); }
    bool readToc(qint32 id, const QString &root);
    bool writeToc(qint32 id, const QString &root);
    ResumemarkData readResumemarkData();
    bool writeResumemark(int track, qint64 time);
    /**
     * Milliseconds of @p track, or -1 while the scanner has not reached it. Never measured
     * here: a measurement holds the main thread for up to seconds.
     */
    qint64 duration(int track) const;
    /** Plays @p track from @p from ms; a result code. */
    int startTrack(int track, qint64 from);
    /** Starts @p track from its beginning and keeps the length the engine found on opening it. */
    int startToLearn(int track);
    /** The walk past the last track: position kept on the last track, end of book. */
    int endOfBookReached();
    /** Going back @p shortfall ms from the start of @p track, track by track. */
    int walkBack(int track, qint64 shortfall, const char *function);
    /** Going on @p remainder ms from the end of @p track, track by track. */
    int walkOn(int track, qint64 remainder, const char *function);
    void startScanner();

    DigitalAudioBookPlayer *const q;
    bool opened = false;
    bool resume = true;
    bool playing = false;
    bool endOfBook = false;
    bool hasToc = false;
    int trackNumber = 1;
    int totalTracks = 0;
    quint64 bookId = 0;
    QString rootPath;
    QMap<int, MpegTrack> tracksMap;
    AudioSettings audioSettings;
    std::unique_ptr<VlcMediaPlayer> engine = std::make_unique<VlcMediaPlayer>();
    QThread scannerThread;
    /**
     * Counts the scans: reports are taken only from the latest. The scanner
     * deletes itself in its thread, so once it is gone its queued reports
     * can no longer be told apart by their sender.
     */
    int scan = 0;
};

bool DigitalAudioBookPlayerPrivate::readToc(qint32 id, const QString &root)
{
    const char *const function = Q_FUNC_INFO;
    QFile file(Platform::path(kTocFile));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        warnFrom(function) << ": failed to open tocFile " << file.fileName();
        return false;
    }
    QDomDocument document;
    if (!document.setContent(&file) || document.documentElement().tagName() != QLatin1String("toc")) {
        warnFrom(function) << ": invalid toc.xml file";
        return false;
    }
    const QDomNodeList books = document.documentElement().elementsByTagName(QStringLiteral("book"));
    if (books.isEmpty()) {
        warnFrom(function) << ": no <book> elements available";
        return false;
    }
    for (int i = 0; i < books.size(); ++i) {
        const QDomElement book = books.at(i).toElement();
        if (book.attribute(QStringLiteral("id")) != QString::number(id)
            || book.firstChildElement(QStringLiteral("rootPath")).text() != root)
            continue;
        const QDomNodeList tracks = book.elementsByTagName(QStringLiteral("track"));
        if (tracks.isEmpty())
            continue;
        QMap<int, int> durations;
        for (int t = 0; t < tracks.size(); ++t) {
            const QDomElement track = tracks.at(t).toElement();
            const int number = track.attribute(QStringLiteral("number")).toInt();
            const QString expected = root + QLatin1Char('/') + track.attribute(QStringLiteral("filename"));
            const QString actual = tracksMap.value(number).fileName;
            if (expected != actual) {
                warnFrom(function) << ": track files are not equal. Toc file: " << expected << " tracksMap file: " << actual;
                return false;
            }
            durations.insert(number, qMax(0, track.attribute(QStringLiteral("duration")).toInt()));
        }
        if (durations.size() != tracksMap.size()) {
            warnFrom(function) << ": track count differs from the folder";
            return false;
        }
        for (auto it = durations.cbegin(); it != durations.cend(); ++it)
            tracksMap[it.key()].duration = it.value();
        return true;
    }
    return false;
}

bool DigitalAudioBookPlayerPrivate::writeToc(qint32 id, const QString &root)
{
    const char *const function = Q_FUNC_INFO;
    if (tracksMap.isEmpty()) {
        warnFrom(function) << ": tracksMap is empty";
        return false;
    }
    const QString fileName = Platform::path(kTocFile);
    QDomDocument document;
    if (!QFileInfo::exists(fileName)) {
        warnFrom(function) << ": toc.xml not found, create new tox.xml";
        document.appendChild(document.createProcessingInstruction(QStringLiteral("xml"),
                                                                  QStringLiteral("version=\"1.0\" encoding=\"utf-8\"")));
        document.appendChild(document.createElement(QStringLiteral("toc")));
    } else {
        QFile file(fileName);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            warnFrom(function) << ": can't open the toc.xml file";
            return false;
        }
        if (!document.setContent(&file) || document.documentElement().tagName() != QLatin1String("toc")) {
            warnFrom(function) << ": invalid toc.xml file";
            return false;
        }
    }
    QDomElement toc = document.documentElement();
    const QString idText = QString::number(id);
    for (QDomElement book = toc.firstChildElement(QStringLiteral("book")); !book.isNull();) {
        const QDomElement next = book.nextSiblingElement(QStringLiteral("book"));
        if (book.attribute(QStringLiteral("id")) == idText)
            toc.removeChild(book);
        book = next;
    }
    QDomElement book = document.createElement(QStringLiteral("book"));
    book.setAttribute(QStringLiteral("id"), idText);
    QDomElement rootElement = document.createElement(QStringLiteral("rootPath"));
    rootElement.appendChild(document.createTextNode(root));
    book.appendChild(rootElement);
    for (auto it = tracksMap.cbegin(); it != tracksMap.cend(); ++it) {
        QDomElement track = document.createElement(QStringLiteral("track"));
        track.setAttribute(QStringLiteral("number"), it.key());
        track.setAttribute(QStringLiteral("filename"), QFileInfo(it->fileName).fileName());
        track.setAttribute(QStringLiteral("duration"), it->duration);
        book.appendChild(track);
    }
    toc.appendChild(book);
    // Written aside and renamed: a scan cut short by power loss leaves the old file whole.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        warnFrom(function) << ": failed to open toc.xml for writing";
        return false;
    }
    file.write(document.toByteArray(1));
    if (!file.commit()) {
        warnFrom(function) << ": failed to open toc.xml for writing";
        return false;
    }
    return true;
}

ResumemarkData DigitalAudioBookPlayerPrivate::readResumemarkData()
{
    const char *const function = Q_FUNC_INFO;
    ResumemarkData data;
    data.title = QString::number(bookId);
    data.navListPos = 1;
    Resumemark store;
    if (!store.isValid()) {
        warnFrom(function) << ": resumeMark is not valid";
        return data;
    }
    ResumemarkData read = data;
    if (!store.read(read)) {
        warnFrom(function) << ": failed to resumeMark data";
        return data;
    }
    if (read.navListPos < 1 || read.navListPos > totalTracks || read.playerTime < 0) {
        warnFrom(function) << ": error, track number lower/higher then available";
        read.navListPos = 1;
        read.playerTime = 0;
    }
    qCDebug(lcPlayers).noquote() << "**** Digital audiobook resumemark info ***";
    qCDebug(lcPlayers).noquote() << "Track file  :" << tracksMap.value(read.navListPos).fileName;
    qCDebug(lcPlayers).noquote() << "Track number:" << read.navListPos;
    qCDebug(lcPlayers).noquote() << "Player time :" << read.playerTime << "msec";
    return read;
}

bool DigitalAudioBookPlayerPrivate::writeResumemark(int track, qint64 time)
{
    ResumemarkData data;
    data.title = QString::number(bookId);
    data.navListPos = track;
    data.playerTime = qMax<qint64>(0, time);
    return Resumemark().write(data);
}

qint64 DigitalAudioBookPlayerPrivate::duration(int track) const
{
    const auto it = tracksMap.constFind(track);
    if (it == tracksMap.cend())
        return 0;
    return hasToc || it->duration > 0 ? it->duration : -1;
}

int DigitalAudioBookPlayerPrivate::startTrack(int track, qint64 from)
{
    trackNumber = track;
    engine->setPitch(float(audioSettings.pitch()));
    engine->setTempo(audioSettings.tempo());
    playing = engine->play(tracksMap.value(track).fileName);
    if (!playing)
        return AudioBookPlayerInterface::EngineFailure;
    if (from > 0) {
        const qint64 r = engine->seek(from - qMax<qint64>(0, engine->currentTime()));
        if (r != 0)
            warnFrom("DigitalAudioBookPlayer") << ": position " << from << " is not inside the track, result: " << r;
    }
    return AudioBookPlayerInterface::Done;
}

int DigitalAudioBookPlayerPrivate::startToLearn(int track)
{
    qCDebug(lcPlayers) << "track" << track << "is not measured yet: its length comes from opening it";
    const int started = startTrack(track, 0);
    const qint64 length = started == AudioBookPlayerInterface::Done ? engine->totalTime() : 0;
    if (length > 0)
        tracksMap[track].duration = int(qMin<qint64>(length, INT_MAX));
    return started;
}

int DigitalAudioBookPlayerPrivate::endOfBookReached()
{
    return q->endOfBookReached(&playing, &trackNumber, totalTracks, [this](int track) { return duration(track); }, &endOfBook,
                               [this](int track, qint64 time) { return writeResumemark(track, time); });
}

// A track the scanner has not reached is opened and the engine finds the rest of the way:
// the walk never waits on the main thread for a measurement.
int DigitalAudioBookPlayerPrivate::walkOn(int track, qint64 remainder, const char *function)
{
    for (;;) {
        const TrackWalk::Target target = TrackWalk::forward(track, remainder, totalTracks, [this](int t) { return duration(t); }, function);
        if (target.kind == TrackWalk::Target::PastEnd)
            return endOfBookReached();
        if (target.kind == TrackWalk::Target::Inside)
            return startTrack(target.track, target.position);
        if (const int started = startToLearn(target.track); started != AudioBookPlayerInterface::Done || target.position <= 0)
            return started;
        qint64 beyond = 0;
        const int result = TrackWalk::seekWithin(engine.get(), target.position - qMax<qint64>(0, engine->currentTime()), function, &beyond);
        if (result >= 0)
            return result;
        playing = false;
        track = target.track;
        remainder = beyond;
    }
}

int DigitalAudioBookPlayerPrivate::walkBack(int track, qint64 shortfall, const char *function)
{
    for (;;) {
        const TrackWalk::Target target = TrackWalk::backward(track, shortfall, [this](int t) { return duration(t); }, function);
        if (target.kind == TrackWalk::Target::Inside)
            return startTrack(target.track, target.position);
        if (target.kind == TrackWalk::Target::BeforeStart)
            return q->beginOfBookReached(&playing, &trackNumber);
        if (const int started = startToLearn(target.track); started != AudioBookPlayerInterface::Done)
            return started;
        // A file whose length the engine cannot tell either is passed over, as a measured 0 is.
        const qint64 position = qMax<qint64>(0, duration(target.track)) - target.position;
        if (position >= 0) {
            qint64 beyond = 0;
            const int result = TrackWalk::seekWithin(engine.get(), position - qMax<qint64>(0, engine->currentTime()), function, &beyond);
            return result >= 0 ? result : AudioBookPlayerInterface::EngineFailure;
        }
        engine->stop();
        playing = false;
        track = target.track;
        shortfall = -position;
    }
}

void DigitalAudioBookPlayerPrivate::startScanner()
{
    auto *worker = new DigitalAudioBookScanner(tracksMap);
    worker->moveToThread(&scannerThread);
    QObject::connect(&scannerThread, &QThread::started, worker, &DigitalAudioBookScanner::start);
    const int current = ++scan;
    QObject::connect(worker, &DigitalAudioBookScanner::trackMeasured, q, [this, current](int number, int duration) {
        auto it = tracksMap.find(number);
        if (current == scan && it != tracksMap.end())
            it->duration = duration;
    });
    QObject::connect(worker, &DigitalAudioBookScanner::finished, q, [this, current] {
        if (current == scan)
            q->digitalAudioBookScannerFinished();
    });
    QObject::connect(worker, &DigitalAudioBookScanner::finished, &scannerThread, &QThread::quit);
    QObject::connect(worker, &DigitalAudioBookScanner::quit, &scannerThread, &QThread::quit);
    QObject::connect(worker, &DigitalAudioBookScanner::finished, worker, &QObject::deleteLater);
    QObject::connect(worker, &DigitalAudioBookScanner::quit, worker, &QObject::deleteLater);
    QObject::connect(q, &DigitalAudioBookPlayer::stopScanner, worker, &DigitalAudioBookScanner::stop, Qt::DirectConnection);
    scannerThread.start(QThread::InheritPriority);
}

DigitalAudioBookPlayer::DigitalAudioBookPlayer(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<DigitalAudioBookPlayerPrivate>(this))
{
    connect(d->engine.get(), &VlcMediaPlayer::finished, this, &DigitalAudioBookPlayer::mediaPlayerFinished);
}

DigitalAudioBookPlayer::~DigitalAudioBookPlayer()
{
    close();
}

QString DigitalAudioBookPlayer::name()
{
    return QStringLiteral("Digital Player");
}

bool DigitalAudioBookPlayer::open(const QString &path)
{
    if (d->opened)
        close();
    if (!QFileInfo(path).isDir()) {
        warnFrom(Q_FUNC_INFO) << ": " << path << " is not a directory";
        return false;
    }
    if (!d->engine->init()) {
        warnFrom(Q_FUNC_INFO) << ": failed to initialize the vlc media player";
        return false;
    }
    d->totalTracks = 0;
    d->tracksMap.clear();
    const QDir folder(path);
    const QFileInfoList entries = folder.entryInfoList({QStringLiteral("*.mp3")}, QDir::Files | QDir::NoSymLinks | QDir::Hidden,
                                                       QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo &entry : entries) {
        if (entry.isSymLink() || entry.suffix().compare(QLatin1String("mp3"), Qt::CaseInsensitive) != 0)
            continue;
        // Nothing to play in these; leaving them out keeps the count and the cache honest.
        if (entry.size() == 0 || !entry.isReadable()) {
            warnFrom(Q_FUNC_INFO) << ": " << entry.fileName() << (entry.size() == 0 ? " is empty" : " is not readable") << ", left out";
            continue;
        }
        MpegTrack track;
        track.fileName = path + QLatin1Char('/') + entry.fileName();
        d->tracksMap.insert(++d->totalTracks, track);
    }
    if (d->totalTracks == 0) {
        warnFrom(Q_FUNC_INFO) << ": no mpeg files are found";
        return false;
    }
    const QFileInfo first(d->tracksMap.value(1).fileName);
    d->bookId = (quint64(MediaSource::classicHash(first.absoluteFilePath())) << 32)
        | ((quint64(first.size()) >> 20) << 16) | quint64(d->totalTracks);
    d->rootPath = path;
    d->hasToc = d->readToc(d->tocId(), d->rootPath);
    if (!d->hasToc) {
        warnFrom(Q_FUNC_INFO) << ": no toc available.. create one";
        d->startScanner();
    }
    d->endOfBook = false;
    const ResumemarkData mark = d->readResumemarkData();
    d->trackNumber = d->resume ? mark.navListPos : 1;
    d->opened = true;
    qCDebug(lcPlayers) << "bookId:" << d->bookId << "tracks:" << d->totalTracks << "toc:" << d->hasToc;
    return true;
}

void DigitalAudioBookPlayer::close()
{
    if (d->scannerThread.isRunning()) {
        warnFrom(Q_FUNC_INFO) << ": scanner thread is still busy.. quit.";
        Q_EMIT stopScanner();
        d->scannerThread.quit();
        d->scannerThread.wait();
    }
    // Durations of a stopped scan still queued are dropped: the next opening measures again.
    ++d->scan;
    d->engine->stop();
    d->playing = false;
    d->tracksMap.clear();
    d->totalTracks = 0;
    d->trackNumber = 1;
    d->rootPath.clear();
    d->hasToc = false;
    d->opened = false;
}

bool DigitalAudioBookPlayer::play()
{
    if (!d->opened) {
        warnFrom(Q_FUNC_INFO) << ": no digital audio book opened";
        return false;
    }
    if (d->endOfBook) {
        d->endOfBook = false;
        resetResumeMark();
        warnFrom(Q_FUNC_INFO) << ": we are at end of book.. we will restart";
    }
    const ResumemarkData mark = d->readResumemarkData();
    d->trackNumber = d->resume ? mark.navListPos : 1;
    d->startTrack(d->trackNumber, d->resume ? takeLeadIn(mark.playerTime) : 0);
    return d->playing;
}

void DigitalAudioBookPlayer::stop()
{
    stopAndMark(&d->playing, d->trackNumber, [this](int track, qint64 time) { return d->writeResumemark(track, time); });
}

int DigitalAudioBookPlayer::trackNumber() { return d->trackNumber; }
int DigitalAudioBookPlayer::totalTracks() { return d->totalTracks; }
bool DigitalAudioBookPlayer::isPlaying() { return d->playing; }
void DigitalAudioBookPlayer::setResume(bool resume) { d->resume = resume; }
VlcMediaPlayer *DigitalAudioBookPlayer::mediaPlayer() { return d->engine.get(); }
quint64 DigitalAudioBookPlayer::bookId() const { return d->opened ? d->bookId : 0; }
bool DigitalAudioBookPlayer::hasToc() const { return d->hasToc; }

void DigitalAudioBookPlayer::mediaPlayerFinished()
{
    // A stream stopped or replaced by a jump also ends; only playing on counts.
    if (!d->playing)
        return;
    const int previous = d->trackNumber;
    for (int next = previous + 1;; ++next) {
        if (next > d->totalTracks) {
            warnFrom(Q_FUNC_INFO) << ": we are at the end of the disc";
            d->trackNumber = previous;
            d->endOfBook = true;
            d->playing = false;
            Q_EMIT finished();
            return;
        }
        if (d->startTrack(next, 0) == Done) {
            qCDebug(lcPlayers) << d->tracksMap.value(next).fileName << "is playing";
            return;
        }
        // Each track is tried once: a book of undecodable files still ends.
        warnFrom(Q_FUNC_INFO) << ": failed to play next track, skipped: " << d->tracksMap.value(next).fileName;
    }
}

int DigitalAudioBookPlayer::changeTrackNumber(int step)
{
    if (!d->opened)
        return NoBook;
    return stepTrack(step, d->playing, &d->trackNumber, d->totalTracks, &d->endOfBook,
                     [this](int track, qint64 time) { return d->writeResumemark(track, time); }, Q_FUNC_INFO);
}

int DigitalAudioBookPlayer::fastForward(int seconds)
{
    if (!d->opened)
        return NoBook;
    if (d->endOfBook) {
        warnFrom(Q_FUNC_INFO) << ": end of book!";
        return EndOfBook;
    }
    const qint64 step = qint64(seconds) * 1000;
    if (d->playing) {
        qint64 r = 0;
        if (const int result = TrackWalk::seekWithin(d->engine.get(), step, Q_FUNC_INFO, &r); result >= 0)
            return result;
        return d->walkOn(d->trackNumber, r, Q_FUNC_INFO);
    }
    qint64 target = d->readResumemarkData().playerTime + step;
    const qint64 length = d->duration(d->trackNumber);
    // Not measured yet: the walk opens the track itself.
    if (length < 0)
        return d->walkOn(d->trackNumber - 1, target, Q_FUNC_INFO);
    if (target >= length)
        return d->walkOn(d->trackNumber, target - length, Q_FUNC_INFO);
    warnFrom(Q_FUNC_INFO) << ": we are start playing: " << d->trackNumber << " at time: " << target;
    return d->startTrack(d->trackNumber, target);
}

int DigitalAudioBookPlayer::rewind(int seconds)
{
    if (!d->opened)
        return NoBook;
    const qint64 step = qAbs(qint64(seconds)) * 1000;
    if (d->playing) {
        qint64 r = 0;
        if (const int result = TrackWalk::seekWithin(d->engine.get(), -step, Q_FUNC_INFO, &r); result >= 0)
            return result;
        return d->walkBack(d->trackNumber, r, Q_FUNC_INFO);
    }
    qint64 position;
    if (d->endOfBook) {
        d->endOfBook = false;
        d->trackNumber = d->totalTracks;
        const qint64 length = d->duration(d->trackNumber);
        // Not measured yet: the walk back from past the end opens the last track itself.
        if (length < 0)
            return d->walkBack(d->totalTracks + 1, step, Q_FUNC_INFO);
        position = length - step;
    } else {
        position = d->readResumemarkData().playerTime - step;
    }
    if (position < 0)
        return d->walkBack(d->trackNumber, -position, Q_FUNC_INFO);
    return d->startTrack(d->trackNumber, position);
}

void DigitalAudioBookPlayer::resetResumeMark()
{
    if (!d->opened) {
        warnFrom(Q_FUNC_INFO) << ": no digital audio book opened";
        return;
    }
    if (d->writeResumemark(1, 0))
        qCDebug(lcPlayers) << "resetResumeMark: succesfull";
    else
        qCWarning(lcPlayers) << "resetResumeMark: failed!";
}

int DigitalAudioBookPlayer::totalTime()
{
    if (!d->opened) {
        warnFrom(Q_FUNC_INFO) << ": no digital audio book opened";
        return -1;
    }
    qint64 sum = 0;
    for (const MpegTrack &track : std::as_const(d->tracksMap))
        sum += track.duration;
    return int(sum / 1000);
}

int DigitalAudioBookPlayer::elapsedTime()
{
    if (!d->opened) {
        warnFrom(Q_FUNC_INFO) << ": no digital audio book opened";
        return -1;
    }
    qint64 sum = d->playing ? qMax<qint64>(0, d->engine->currentTime()) : d->readResumemarkData().playerTime;
    for (int track = 1; track < d->trackNumber; ++track)
        sum += d->tracksMap.value(track).duration;
    return int(sum / 1000);
}

void DigitalAudioBookPlayer::digitalAudioBookScannerFinished()
{
    if (d->tracksMap.isEmpty()) {
        warnFrom(Q_FUNC_INFO) << ": no tracks available.. so no toc";
        return;
    }
    d->writeToc(d->tocId(), d->rootPath);
    d->hasToc = true;
    Q_EMIT tocWritten();
}

BookKey DigitalAudioBookPlayer::bookKey()
{
    // The key its resume mark is written under.
    if (!d->opened)
        return {};
    return {BookKey::Marks, QString::number(d->bookId), QString()};
}
