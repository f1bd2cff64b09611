// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "enginelog.h"
#include "logcapture.h"
#include "playerfixture.h"
#include "testroot.h"

#include "library/mediasource.h"
#include "library/resumemark.h"
#include "platform/platform.h"
#include "platform/sim/simboard.h"
#include "players/digitalaudiobookplayer.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <numeric>

namespace {

/** Seconds of the generated tracks 1 to 5; uneven, so a wrong track shows in the time. */
const QList<int> kTrackSeconds = {3, 4, 5, 3, 4};
constexpr qint64 kToleranceMsec = 200;

} // namespace

class DigitalAudioBookPlayerTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_sources; ///< generated once: track1.mp3 ... track5.mp3
    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<QTemporaryDir> m_books;
    QString m_book;

    QString track(int n) const { return QDir(m_book).filePath(QStringLiteral("%1 track #%2.mp3").arg(QChar(u'a' + n - 1)).arg(n)); }

    /** A five-track book in a folder whose name needs quoting. */
    void makeBook()
    {
        m_book = m_books->filePath(QStringLiteral("Café 100% #1"));
        QVERIFY(QDir().mkpath(m_book));
        for (int n = 1; n <= kTrackSeconds.size(); ++n)
            QVERIFY(QFile::copy(QDir(m_sources.path()).filePath(QStringLiteral("track%1.mp3").arg(n)), track(n)));
    }

    ResumemarkData storedMark(DigitalAudioBookPlayer &player)
    {
        return PlayerFixture::storedMark(PlayerFixture::trackMark(QString::number(player.bookId()), -1));
    }

    void storeMark(DigitalAudioBookPlayer &player, int track, qint64 time)
    {
        QVERIFY(PlayerFixture::storeMark(PlayerFixture::trackMark(QString::number(player.bookId()), track, time)));
    }

    /** Opens the book and waits for its durations. */
    void openMeasured(DigitalAudioBookPlayer &player)
    {
        QSignalSpy written(&player, &DigitalAudioBookPlayer::tocWritten);
        QVERIFY(player.open(m_book));
        if (!player.hasToc())
            QVERIFY(written.wait(20000));
        QVERIFY(player.hasToc());
    }

    static void compareNear(qint64 actual, qint64 expected) { PlayerFixture::compareNear(actual, expected, kToleranceMsec); }

    /** The length of @p track in the cache file; -1 when it is not there. */
    qint64 tocDuration(int track) const
    {
        QDomDocument document;
        document.setContent(m_root->readFile(QStringLiteral("/root/quimbo/toc.xml")));
        const QDomNodeList tracks = document.documentElement().elementsByTagName(QStringLiteral("track"));
        for (int i = 0; i < tracks.size(); ++i) {
            const QDomElement element = tracks.at(i).toElement();
            if (element.attribute(QStringLiteral("number")).toInt() == track)
                return element.attribute(QStringLiteral("duration")).toLongLong();
        }
        return -1;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_sources.isValid());
        for (int n = 1; n <= kTrackSeconds.size(); ++n)
            QVERIFY(PlayerFixture::makeTone(QDir(m_sources.path()).filePath(QStringLiteral("track%1.mp3").arg(n)), kTrackSeconds.at(n - 1)));
    }

    void init() { PlayerFixture::startSimulated(m_root, m_books); }
    void cleanup() { PlayerFixture::endSimulated(m_root, m_books); }

    void tracksAreTheFolderMp3FilesByName()
    {
        m_book = m_books->filePath(QStringLiteral("-mixed"));
        QVERIFY(QDir(m_book).mkpath(QStringLiteral("sub")));
        const QString source = QDir(m_sources.path()).filePath(QStringLiteral("track1.mp3"));
        for (const char *name : {"b.MP3", "A.mp3", "sub/c.mp3"})
            QVERIFY(QFile::copy(source, QDir(m_book).filePath(name)));
        for (const char *name : {"c.txt", "0 empty.mp3"})
            QVERIFY(QFile(QDir(m_book).filePath(name)).open(QIODevice::WriteOnly));
        QVERIFY(QFile::link(QDir(m_book).filePath("A.mp3"), QDir(m_book).filePath("0 link.mp3")));
        // What a Mac leaves beside each file, and a hidden file that is audio: neither is a track.
        QVERIFY(QFile::copy(TestData::generated(QStringLiteral("mp3/._plain.mp3")), QDir(m_book).filePath("._A.mp3")));
        QVERIFY(QFile::copy(source, QDir(m_book).filePath(".hidden.mp3")));

        LogCapture log;
        DigitalAudioBookPlayer player;
        QVERIFY(player.open(m_book));
        QCOMPARE(player.totalTracks(), 2);
        QVERIFY(log.contains(QStringLiteral("0 empty.mp3 is empty, left out")));
        QVERIFY(!log.contains(QStringLiteral("._A.mp3")));
        const qsizetype before = EngineLog::count();
        QVERIFY(player.play());
        QCOMPARE(EngineLog::lastStart(before).file, QDir(m_book).filePath("A.mp3"));
        player.stop();
        QCOMPARE(player.changeTrackNumber(1), 2);
        QVERIFY(player.play());
        QCOMPARE(EngineLog::lastStart(before).file, QDir(m_book).filePath("b.MP3"));
    }

    void folderWithoutMp3IsNoBook_data()
    {
        QTest::addColumn<QString>("file"); // relative to the folder
        QTest::newRow("only in a subfolder") << "sub/a.mp3";
        QTest::newRow("only empty ones") << "empty.mp3";
    }
    void folderWithoutMp3IsNoBook()
    {
        QFETCH(QString, file);
        m_book = m_books->filePath(QStringLiteral("book"));
        QVERIFY(QDir(m_book).mkpath(QStringLiteral("sub")));
        QVERIFY(QFile(QDir(m_book).filePath(file)).open(QIODevice::WriteOnly));
        LogCapture log;
        DigitalAudioBookPlayer player;
        QVERIFY(!player.open(m_book));
        QVERIFY(log.contains(QStringLiteral(": no mpeg files are found")));
        QVERIFY(!player.play());
    }

    void placeTravelsWithTheFolder_data()
    {
        QTest::addColumn<bool>("formerKey"); // the mark was stored under the first file's absolute path
        QTest::newRow("the card in another slot") << false;
        QTest::newRow("a mark stored before the key travelled") << true;
    }
    void placeTravelsWithTheFolder()
    {
        QFETCH(bool, formerKey);
        m_book = m_root->path(QStringLiteral("/media/usb/Books/Café #1"));
        QVERIFY(QDir().mkpath(m_book));
        for (int n = 1; n <= kTrackSeconds.size(); ++n)
            QVERIFY(QFile::copy(QDir(m_sources.path()).filePath(QStringLiteral("track%1.mp3").arg(n)), track(n)));
        if (formerKey) {
            // The key as the firmware wrote it before: the first file's absolute path, its size in MiB, the count.
            const quint64 key = (quint64(MediaSource::classicHash(QFileInfo(track(1)).absoluteFilePath())) << 32) | quint64(kTrackSeconds.size());
            QVERIFY(PlayerFixture::storeMark(PlayerFixture::trackMark(QString::number(key), 4, 1500)));
        } else {
            DigitalAudioBookPlayer player;
            QVERIFY(player.open(m_book));
            storeMark(player, 4, 1500);
            player.close();
            const QString moved = m_root->path(QStringLiteral("/media/mmc/Books/Café #1"));
            QVERIFY(QDir().mkpath(QFileInfo(moved).path()));
            QVERIFY(QDir().rename(m_book, moved));
            m_book = moved;
        }
        DigitalAudioBookPlayer player;
        QVERIFY(player.open(m_book));
        QCOMPARE(player.trackNumber(), 4);
        const qsizetype before = EngineLog::count();
        QVERIFY(player.play());
        QCOMPARE(EngineLog::lastStart(before).file, track(4));
        compareNear(EngineLog::lastStart(before).at, 1500);
        QCOMPARE(storedMark(player).navListPos, 4); // kept under the key that travels
    }

    void changingTrackWrapsAndStoresTheStart_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("to");
        QTest::newRow("back from the first") << 1 << -1 << 5;
        QTest::newRow("on from the last") << 5 << 1 << 1;
        QTest::newRow("inside") << 2 << 2 << 4;
    }
    void changingTrackWrapsAndStoresTheStart()
    {
        QFETCH(int, from);
        QFETCH(int, step);
        QFETCH(int, to);
        makeBook();
        {
            DigitalAudioBookPlayer player;
            QVERIFY(player.open(m_book));
            storeMark(player, from, 1500);
        }
        DigitalAudioBookPlayer player;
        QVERIFY(player.open(m_book));
        QCOMPARE(player.trackNumber(), from);
        const qsizetype before = EngineLog::count();
        QCOMPARE(player.changeTrackNumber(step), to);
        QCOMPARE(EngineLog::count(), before); // nothing plays
        const ResumemarkData mark = storedMark(player);
        QCOMPARE(mark.navListPos, to);
        QCOMPARE(mark.playerTime, qint64(0));

        QVERIFY(player.play());
        QCOMPARE(player.changeTrackNumber(step), int(AudioBookPlayerInterface::Refused));
        QCOMPARE(player.trackNumber(), to);
    }

    void windingCrossesTrackEnds_data()
    {
        QTest::addColumn<bool>("measured"); // else the scan is stopped after the first file
        QTest::addColumn<bool>("playing");
        QTest::addColumn<int>("markTrack");
        QTest::addColumn<int>("markMsec");
        QTest::addColumn<int>("seconds"); // negative: rewind
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("track");
        QTest::addColumn<int>("msec");
        using R = AudioBookPlayerInterface;
        QTest::newRow("stopped, forward into the next") << true << false << 1 << 1000 << 4 << int(R::Done) << 2 << 2000;
        QTest::newRow("stopped, forward over a whole track") << true << false << 1 << 2000 << 7 << int(R::Done) << 3 << 2000;
        QTest::newRow("stopped, forward inside") << true << false << 3 << 1000 << 2 << int(R::Done) << 3 << 3000;
        QTest::newRow("stopped, forward past the end") << true << false << 5 << 1000 << 10 << int(R::EndOfBook) << 5 << -1;
        QTest::newRow("stopped, back into the previous") << true << false << 3 << 1000 << -3 << int(R::Done) << 2 << 2000;
        QTest::newRow("stopped, back before the start") << true << false << 2 << 1000 << -5 << int(R::BeginOfBook) << 1 << -1;
        QTest::newRow("playing, forward into the next") << true << true << 4 << 1000 << 5 << int(R::Done) << 5 << 3000;
        QTest::newRow("playing, forward past the end") << true << true << 5 << 1000 << 30 << int(R::EndOfBook) << 5 << -1;
        QTest::newRow("playing, back over a whole track") << true << true << 3 << 1000 << -7 << int(R::Done) << 1 << 1000;
        QTest::newRow("playing, back before the start") << true << true << 1 << 1000 << -30 << int(R::BeginOfBook) << 1 << -1;
        // Tracks the scan has not reached are opened to learn their length.
        QTest::newRow("unmeasured, stopped, forward over a whole track") << false << false << 1 << 2000 << 7 << int(R::Done) << 3 << 2000;
        QTest::newRow("unmeasured, stopped, forward inside") << false << false << 3 << 1000 << 2 << int(R::Done) << 3 << 3000;
        QTest::newRow("unmeasured, playing, forward into the next") << false << true << 4 << 1000 << 5 << int(R::Done) << 5 << 3000;
        QTest::newRow("unmeasured, stopped, back over a whole track") << false << false << 3 << 1000 << -6 << int(R::Done) << 1 << 2000;
        QTest::newRow("unmeasured, playing, back into the previous") << false << true << 3 << 1000 << -3 << int(R::Done) << 2 << 2000;
    }

    void windingCrossesTrackEnds()
    {
        QFETCH(bool, measured);
        QFETCH(bool, playing);
        QFETCH(int, markTrack);
        QFETCH(int, markMsec);
        QFETCH(int, seconds);
        QFETCH(int, result);
        QFETCH(int, track);
        QFETCH(int, msec);
        makeBook();
        {
            DigitalAudioBookPlayer marking;
            if (measured)
                openMeasured(marking);
            else
                QVERIFY(marking.open(m_book));
            storeMark(marking, markTrack, markMsec);
        }
        DigitalAudioBookPlayer player;
        QVERIFY(player.open(m_book));
        // The scan ends after the file it measures first: no later track gets a length from it.
        if (!measured)
            Q_EMIT player.stopScanner();
        QCOMPARE(player.hasToc(), measured);
        LogCapture log;
        if (playing)
            QVERIFY(player.play());
        const qsizetype before = EngineLog::count();
        QCOMPARE(seconds > 0 ? player.fastForward(seconds) : player.rewind(seconds), result);
        QCOMPARE(player.trackNumber(), track);
        if (msec >= 0) {
            QVERIFY(player.isPlaying());
            const EngineLog::Start start = EngineLog::lastStart(before);
            QCOMPARE(start.file, this->track(track));
            compareNear(qMax<qint64>(0, start.at), msec);
            // Opened to learn its length, not measured on this thread while the reader waits.
            if (!measured)
                QVERIFY2(log.contains(QStringLiteral("is not measured yet: its length comes from opening it")), qPrintable(log.text()));
            return;
        }
        QVERIFY(!player.isPlaying());
        if (result == AudioBookPlayerInterface::BeginOfBook) {
            QCOMPARE(storedMark(player).navListPos, 1);
            QCOMPARE(storedMark(player).playerTime, qint64(0));
            return;
        }
        // At the end of the book: further forward is refused, play starts over.
        QCOMPARE(player.fastForward(1), int(AudioBookPlayerInterface::EndOfBook));
        QVERIFY(player.play());
        const EngineLog::Start start = EngineLog::lastStart(before);
        QCOMPARE(start.file, this->track(1));
        QCOMPARE(qMax<qint64>(0, start.at), qint64(0));
    }

    void resumesWhereItStopped()
    {
        makeBook();
        qint64 stoppedAt = -1;
        {
            DigitalAudioBookPlayer player;
            QVERIFY(player.open(m_book));
            QVERIFY(player.play());
            QCOMPARE(player.fastForward(4), int(AudioBookPlayerInterface::Done));
            player.stop();
            const ResumemarkData mark = storedMark(player);
            QCOMPARE(mark.navListPos, 2);
            stoppedAt = mark.playerTime;
            compareNear(stoppedAt, 1000);
        }
        DigitalAudioBookPlayer player;
        QVERIFY(player.open(m_book));
        QCOMPARE(player.trackNumber(), 2);
        const qsizetype before = EngineLog::count();
        QVERIFY(player.play());
        const EngineLog::Start start = EngineLog::lastStart(before);
        QCOMPARE(start.file, track(2));
        compareNear(start.at, stoppedAt);
        player.stop();
        player.setResume(false);
        QVERIFY(player.play());
        QCOMPARE(EngineLog::lastStart(before).file, track(1));
    }

    void firstTrackPlaysWhileTheScanRuns()
    {
        makeBook();
        DigitalAudioBookPlayer player;
        QSignalSpy written(&player, &DigitalAudioBookPlayer::tocWritten);
        QVERIFY(player.open(m_book));
        QVERIFY(!player.hasToc());
        QVERIFY(player.play());
        QCOMPARE(EngineLog::lastStart(0).file, track(1));
        QVERIFY(written.wait(20000));
        QVERIFY(qAbs(player.totalTime() - std::accumulate(kTrackSeconds.begin(), kTrackSeconds.end(), 0)) <= 1);
    }

    void cacheIsReadBackUnlessStale_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("nothing changed") << "";
        QTest::newRow("another folder with the same id") << "folder";
        QTest::newRow("lengths from before sizes were kept") << "sizes";
        QTest::newRow("a track replaced by a longer one") << "file";
    }
    void cacheIsReadBackUnlessStale()
    {
        QFETCH(QString, change);
        makeBook();
        {
            DigitalAudioBookPlayer player;
            openMeasured(player);
        }
        // Rewritten in place by rename: no temporary file stays behind.
        QCOMPARE(QDir(m_root->path(QStringLiteral("/root/quimbo"))).entryList({QStringLiteral("toc*")}, QDir::Files), QStringList{"toc.xml"});
        QByteArray text = m_root->readFile(QStringLiteral("/root/quimbo/toc.xml"));
        if (change == QLatin1String("folder"))
            text.replace(QFile::encodeName(m_book), "/media/usb/elsewhere");
        else if (change == QLatin1String("sizes"))
            text = QString::fromUtf8(text).remove(QRegularExpression(QStringLiteral(" size=\"\\d+\""))).toUtf8();
        QVERIFY(m_root->writeFile(QStringLiteral("/root/quimbo/toc.xml"), text));
        if (change == QLatin1String("file")) {
            QVERIFY(QFile::remove(track(2)));
            QVERIFY(PlayerFixture::makeTone(track(2), 9));
        }
        LogCapture log;
        DigitalAudioBookPlayer player;
        openMeasured(player);
        QCOMPARE(log.contains(QStringLiteral("no toc available")), !change.isEmpty());
        QDomDocument document;
        QVERIFY(bool(document.setContent(m_root->readFile(QStringLiteral("/root/quimbo/toc.xml")))));
        const QDomNodeList books = document.documentElement().elementsByTagName(QStringLiteral("book"));
        QCOMPARE(books.size(), 1);
        QCOMPARE(books.at(0).firstChildElement(QStringLiteral("rootPath")).text(), m_book);
        QCOMPARE(books.at(0).toElement().elementsByTagName(QStringLiteral("track")).at(2).toElement().attribute(QStringLiteral("filename")),
                 QFileInfo(track(3)).fileName());
        compareNear(tocDuration(2), change == QLatin1String("file") ? 9000 : kTrackSeconds.at(1) * 1000);
    }

    void closingDuringTheScanLeavesNoBrokenCache()
    {
        makeBook();
        {
            DigitalAudioBookPlayer player;
            QVERIFY(player.open(m_book));
            player.close();
            QVERIFY(!player.hasToc());
        }
        QTest::qWait(50); // reports of the stopped scan would arrive now
        DigitalAudioBookPlayer player;
        openMeasured(player);
        QVERIFY(player.totalTime() > 0);
    }

    void mp3FilesAsPeopleHaveThem_data()
    {
        QTest::addColumn<QString>("variant"); // made by tools/mp3gen from tones of 3 s
        QTest::addColumn<int>("msec"); // the length its frames hold; -1: no track
        QTest::addColumn<bool>("plays"); // else play goes on to the next track
        QTest::newRow("plain") << "plain" << 3000 << true;
        QTest::newRow("junk before the first frame") << "junk-before" << 3000 << true;
        QTest::newRow("stacked ID3v2 tags") << "stacked-id3" << 3000 << true;
        QTest::newRow("a 300 KB ID3v2 tag") << "large-id3" << 3000 << true;
        QTest::newRow("APEv2, Lyrics3 and ID3v1 after the audio") << "trailing-tags" << 3000 << true;
        QTest::newRow("MPEG 2 at 24 kHz") << "mpeg2-24k" << 3000 << true;
        QTest::newRow("MPEG 2 at 16 kHz") << "mpeg2-16k" << 3000 << true;
        QTest::newRow("MPEG 2.5 at 8 kHz") << "mpeg25-8k" << 3000 << true;
        QTest::newRow("VBR without a header") << "vbr-no-header" << 3000 << true;
        QTest::newRow("the last frame cut off") << "cut-last-frame" << 3000 << true;
        QTest::newRow("a tail of zeros") << "zero-tail" << 3000 << true;
        QTest::newRow("a header claiming 60 s") << "claims-more" << 3000 << true;
        QTest::newRow("one frame of audio") << "short-26ms" << 26 << false;
        QTest::newRow("zero bytes") << "empty" << -1 << false;
        QTest::newRow("all zeros") << "all-zero" << -1 << false;
        QTest::newRow("text") << "text" << -1 << false;
        QTest::newRow("a Mac's side file") << "._plain" << -1 << false;
        QTest::newRow("an ID3v2 size past the end") << "id3-size-past-end" << -1 << false;
    }
    void mp3FilesAsPeopleHaveThem()
    {
        QFETCH(QString, variant);
        QFETCH(int, msec);
        QFETCH(bool, plays);
        m_book = m_books->filePath(QStringLiteral("variants"));
        QVERIFY(QDir().mkpath(m_book));
        const QString file = QDir(m_book).filePath((variant.startsWith(QLatin1Char('.')) ? variant : QStringLiteral("1 ") + variant) + QStringLiteral(".mp3"));
        const QString next = QDir(m_book).filePath(QStringLiteral("2 next.mp3"));
        QVERIFY(QFile::copy(TestData::generated(QStringLiteral("mp3/%1.mp3").arg(variant)), file));
        QVERIFY(QFile::copy(QDir(m_sources.path()).filePath(QStringLiteral("track1.mp3")), next));
        LogCapture log;
        DigitalAudioBookPlayer player;
        openMeasured(player);
        QCOMPARE(player.totalTracks(), msec < 0 ? 1 : 2);
        if (msec < 0) {
            QVERIFY(variant.startsWith(QLatin1Char('.')) || log.contains(QFileInfo(file).fileName() + QStringLiteral(" is empty, left out"))
                    || log.contains(QFileInfo(file).fileName() + QStringLiteral(" holds no MPEG audio frames, left out"))
                    || log.contains(QFileInfo(file).fileName() + QStringLiteral(" has an ID3v2 tag running past its end, left out")));
        } else {
            PlayerFixture::compareNear(tocDuration(1), msec, 200);
        }
        const qsizetype before = EngineLog::count();
        QVERIFY(player.play());
        QCOMPARE(EngineLog::lastStart(before).file, plays ? file : next);
        QCOMPARE(player.trackNumber(), plays ? 1 : player.totalTracks());
        if (msec >= 0 && !plays)
            QVERIFY(log.contains(QStringLiteral(": track 1 gives no audio, skipped: ") + file));
    }
};

QTEST_GUILESS_MAIN(DigitalAudioBookPlayerTest)
#include "digitalaudiobookplayertest.moc"
