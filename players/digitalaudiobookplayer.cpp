// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "players/digitalaudiobookplayer.h"

#include "audio/mpegaudioframes.h"
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
    /** Lists the tracks of @p path: the files a reader can hear, by name. */
    void listTracks(const QString &path);
    void startScanner();

    DigitalAudioBookPlayer *const q;
    bool hasToc = false;
    quint64 bookId = 0;
    /** The key this book's marks had while it was known by the absolute path of its first file. */
    quint64 pathBookId = 0;
    QString rootPath;
    QMap<int, MpegTrack> tracksMap;
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
            // A length from before the frames were counted (no size beside it) may be a
            // header's claim, and a file of another size is another file: both are measured again.
            bool sized = false;
            const qint64 size = track.attribute(QStringLiteral("size")).toLongLong(&sized);
            if (!sized || size != QFileInfo(actual).size()) {
                warnFrom(function) << ": track " << number << " has changed since it was measured";
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
        track.setAttribute(QStringLiteral("size"), QString::number(QFileInfo(it->fileName).size()));
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

namespace {

/**
 * The folder as the medium knows it: its path below the mount point it is
 * reached through, or the whole path when it lies on no removable medium.
 */
QString pathOnMedium(const QString &folder)
{
    const QString absolute = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    for (const char *mountPoint : {"/media/usb", "/media/mmc", "/media/cd"}) {
        for (const QString &root : {Platform::path(QLatin1String(mountPoint)), QString::fromLatin1(mountPoint)}) {
            if (absolute.startsWith(root + QLatin1Char('/')))
                return absolute.mid(root.size() + 1);
        }
    }
    return absolute;
}

} // namespace

void DigitalAudioBookPlayerPrivate::listTracks(const QString &path)
{
    const char *const function = "virtual bool DigitalAudioBookPlayer::open(const QString&)";
    tracksMap.clear();
    // Hidden entries are left out: a Mac writes a "._name.mp3" beside each
    // file, which is no audio but would sort first and double the count.
    const QFileInfoList entries = QDir(path).entryInfoList({QStringLiteral("*.mp3")}, QDir::Files | QDir::NoSymLinks,
                                                           QDir::Name | QDir::IgnoreCase);
    int number = 0;
    for (const QFileInfo &entry : entries) {
        if (entry.isSymLink() || entry.fileName().startsWith(QLatin1Char('.'))
            || entry.suffix().compare(QLatin1String("mp3"), Qt::CaseInsensitive) != 0)
            continue;
        if (entry.size() == 0 || !entry.isReadable()) {
            warnFrom(function) << ": " << entry.fileName() << (entry.size() == 0 ? " is empty" : " is not readable") << ", left out";
            continue;
        }
        // Only tracks a reader can hear are numbered: the count and the
        // spoken track numbers then match what plays.
        const MpegAudioFrames::Scan probe = MpegAudioFrames::probe(entry.filePath());
        if (!probe.found) {
            warnFrom(function) << ": " << entry.fileName() << " " << probe.reason << ", left out";
            continue;
        }
        MpegTrack track;
        track.fileName = path + QLatin1Char('/') + entry.fileName();
        tracksMap.insert(++number, track);
    }
}

DigitalAudioBookPlayer::DigitalAudioBookPlayer(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<DigitalAudioBookPlayerPrivate>(this))
{
    connect(mediaPlayer(), &VlcMediaPlayer::finished, this, &DigitalAudioBookPlayer::mediaPlayerFinished);
}

DigitalAudioBookPlayer::~DigitalAudioBookPlayer()
{
    close();
}

QString DigitalAudioBookPlayer::name()
{
    return QStringLiteral("Digital Player");
}

TrackWalkPlayer::LogNames DigitalAudioBookPlayer::logNames() const
{
    return {"DigitalAudioBookPlayer", "digital audio book", "Digital audiobook"};
}

QString DigitalAudioBookPlayer::markTitle() const
{
    return QString::number(d->bookId);
}

qint64 DigitalAudioBookPlayer::trackLength(int track) const
{
    const auto it = d->tracksMap.constFind(track);
    if (it == d->tracksMap.cend())
        return 0;
    return d->hasToc || it->duration > 0 ? it->duration : -1;
}

QString DigitalAudioBookPlayer::trackUrl(int track) const
{
    return d->tracksMap.value(track).fileName;
}

void DigitalAudioBookPlayer::learnLength(int track, qint64 msec)
{
    auto it = d->tracksMap.find(track);
    if (it != d->tracksMap.end())
        it->duration = int(qMin<qint64>(msec, INT_MAX));
}

bool DigitalAudioBookPlayer::readStoredMark(ResumemarkData &mark)
{
    if (TrackWalkPlayer::readStoredMark(mark))
        return true;
    // Marks stored while the key was the first file's absolute path are still
    // read, and carried over to the key that travels with the folder.
    ResumemarkData old = mark;
    old.title = QString::number(d->pathBookId);
    if (!TrackWalkPlayer::readStoredMark(old))
        return false;
    qCDebug(lcPlayers) << "resume mark found under the folder's former key" << old.title;
    old.title = mark.title;
    mark = old;
    Resumemark().write(old);
    return true;
}

void DigitalAudioBookPlayer::bookEnded()
{
    Q_EMIT finished();
}

bool DigitalAudioBookPlayer::open(const QString &path)
{
    if (isOpened())
        close();
    if (!QFileInfo(path).isDir()) {
        warnFrom(Q_FUNC_INFO) << ": " << path << " is not a directory";
        return false;
    }
    if (!mediaPlayer()->init()) {
        warnFrom(Q_FUNC_INFO) << ": failed to initialize the vlc media player";
        return false;
    }
    d->listTracks(path);
    const int total = int(d->tracksMap.size());
    if (total == 0) {
        warnFrom(Q_FUNC_INFO) << ": no mpeg files are found";
        return false;
    }
    const QFileInfo first(d->tracksMap.value(1).fileName);
    const quint64 sizeAndCount = ((quint64(first.size()) >> 20) << 16) | quint64(total);
    // The key is what travels with the folder: its path below the medium's
    // root and its track list. The same card in another slot or reader is the
    // same book; the first file's absolute path, the key before, was not.
    QString identity = pathOnMedium(path);
    for (const MpegTrack &track : std::as_const(d->tracksMap))
        identity += QLatin1Char('\n') + QFileInfo(track.fileName).fileName();
    d->bookId = (quint64(MediaSource::classicHash(identity)) << 32) | sizeAndCount;
    d->pathBookId = (quint64(MediaSource::classicHash(first.absoluteFilePath())) << 32) | sizeAndCount;
    d->rootPath = path;
    d->hasToc = d->readToc(d->tocId(), d->rootPath);
    if (!d->hasToc) {
        warnFrom(Q_FUNC_INFO) << ": no toc available.. create one";
        d->startScanner();
    }
    setOpened(total);
    qCDebug(lcPlayers) << "bookId:" << d->bookId << "tracks:" << total << "toc:" << d->hasToc;
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
    setClosed();
    d->tracksMap.clear();
    d->rootPath.clear();
    d->hasToc = false;
}

quint64 DigitalAudioBookPlayer::bookId() const { return isOpened() ? d->bookId : 0; }
bool DigitalAudioBookPlayer::hasToc() const { return d->hasToc; }

void DigitalAudioBookPlayer::mediaPlayerFinished()
{
    engineFinished();
}

int DigitalAudioBookPlayer::totalTime()
{
    if (!isOpened()) {
        warnFrom(Q_FUNC_INFO) << ": no digital audio book opened";
        return -1;
    }
    qint64 sum = 0;
    for (const MpegTrack &track : std::as_const(d->tracksMap))
        sum += track.duration;
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
