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
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <numeric>

namespace {

/** Seconds of the generated tracks 1 to 5; uneven, so a wrong track shows in the time. */
const QList<int> kTrackSeconds = {3, 4, 5, 3, 4};
constexpr qint64 kToleranceMsec = 200;

bool makeMp3(const QString &path, int seconds)
{
    QProcess sox;
    sox.start(QStringLiteral("sox"), {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("22050"), QStringLiteral("-c"),
                                      QStringLiteral("1"), path, QStringLiteral("synth"), QString::number(seconds),
                                      QStringLiteral("sine"), QStringLiteral("440")});
    return sox.waitForFinished(30000) && sox.exitStatus() == QProcess::NormalExit && sox.exitCode() == 0;
}

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

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_sources.isValid());
        for (int n = 1; n <= kTrackSeconds.size(); ++n)
            QVERIFY(makeMp3(QDir(m_sources.path()).filePath(QStringLiteral("track%1.mp3").arg(n)), kTrackSeconds.at(n - 1)));
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

        LogCapture log;
        DigitalAudioBookPlayer player;
        QVERIFY(player.open(m_book));
        QCOMPARE(player.totalTracks(), 2);
        QVERIFY(log.contains(QStringLiteral("0 empty.mp3 is empty, left out")));
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

    void bookIdUsesTheStableStringHash()
    {
        makeBook();
        DigitalAudioBookPlayer player;
        QVERIFY(player.open(m_book));
        // Qt 6's qHash is seeded per process: the key must not be.
        QCOMPARE(uint(player.bookId() >> 32), MediaSource::classicHash(QFileInfo(track(1)).absoluteFilePath()));
        QCOMPARE(int(player.bookId() & 0xFFFF), kTrackSeconds.size());
    }

    void changingTrackWrapsAndStoresTheStart_data() { PlayerFixture::addWrapRows(5, 2, 2); }
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
        QTest::addColumn<bool>("playing");
        QTest::addColumn<int>("markTrack");
        QTest::addColumn<int>("markMsec");
        QTest::addColumn<int>("seconds"); // negative: rewind
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("track");
        QTest::addColumn<int>("msec");
        using R = AudioBookPlayerInterface;
        QTest::newRow("stopped, forward into the next") << false << 1 << 1000 << 4 << int(R::Done) << 2 << 2000;
        QTest::newRow("stopped, forward over a whole track") << false << 1 << 2000 << 7 << int(R::Done) << 3 << 2000;
        QTest::newRow("stopped, forward inside") << false << 3 << 1000 << 2 << int(R::Done) << 3 << 3000;
        QTest::newRow("stopped, forward past the end") << false << 5 << 1000 << 10 << int(R::EndOfBook) << 5 << -1;
        QTest::newRow("stopped, back into the previous") << false << 3 << 1000 << -3 << int(R::Done) << 2 << 2000;
        QTest::newRow("stopped, back before the start") << false << 2 << 1000 << -5 << int(R::BeginOfBook) << 1 << -1;
        QTest::newRow("playing, forward into the next") << true << 4 << 1000 << 5 << int(R::Done) << 5 << 3000;
        QTest::newRow("playing, forward past the end") << true << 5 << 1000 << 30 << int(R::EndOfBook) << 5 << -1;
        QTest::newRow("playing, back over a whole track") << true << 3 << 1000 << -7 << int(R::Done) << 1 << 1000;
        QTest::newRow("playing, back before the start") << true << 1 << 1000 << -30 << int(R::BeginOfBook) << 1 << -1;
    }
    void windingCrossesTrackEnds()
    {
        QFETCH(bool, playing);
        QFETCH(int, markTrack);
        QFETCH(int, markMsec);
        QFETCH(int, seconds);
        QFETCH(int, result);
        QFETCH(int, track);
        QFETCH(int, msec);
        makeBook();
        {
            DigitalAudioBookPlayer measuring;
            openMeasured(measuring);
            storeMark(measuring, markTrack, markMsec);
        }
        DigitalAudioBookPlayer player;
        QVERIFY(player.open(m_book));
        QVERIFY(player.hasToc());
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

    void windingIntoUnmeasuredTracksOpensThem_data()
    {
        QTest::addColumn<bool>("playing");
        QTest::addColumn<int>("markTrack");
        QTest::addColumn<int>("markMsec");
        QTest::addColumn<int>("seconds"); // negative: rewind
        QTest::addColumn<int>("track");
        QTest::addColumn<int>("msec");
        QTest::newRow("stopped, forward over a whole track") << false << 1 << 2000 << 7 << 3 << 2000;
        QTest::newRow("stopped, forward inside") << false << 3 << 1000 << 2 << 3 << 3000;
        QTest::newRow("playing, forward into the next") << true << 4 << 1000 << 5 << 5 << 3000;
        QTest::newRow("stopped, back over a whole track") << false << 3 << 1000 << -6 << 1 << 2000;
        QTest::newRow("playing, back into the previous") << true << 3 << 1000 << -3 << 2 << 2000;
    }
    void windingIntoUnmeasuredTracksOpensThem()
    {
        QFETCH(bool, playing);
        QFETCH(int, markTrack);
        QFETCH(int, markMsec);
        QFETCH(int, seconds);
        QFETCH(int, track);
        QFETCH(int, msec);
        makeBook();
        {
            DigitalAudioBookPlayer marking;
            QVERIFY(marking.open(m_book));
            storeMark(marking, markTrack, markMsec);
        }
        DigitalAudioBookPlayer player;
        QVERIFY(player.open(m_book));
        // The scan ends after the file it measures first: no later track gets a length from it.
        Q_EMIT player.stopScanner();
        QVERIFY(!player.hasToc());
        LogCapture log;
        if (playing)
            QVERIFY(player.play());
        const qsizetype before = EngineLog::count();
        QCOMPARE(seconds > 0 ? player.fastForward(seconds) : player.rewind(seconds), int(AudioBookPlayerInterface::Done));
        QCOMPARE(player.trackNumber(), track);
        QVERIFY(player.isPlaying());
        const EngineLog::Start start = EngineLog::lastStart(before);
        QCOMPARE(start.file, this->track(track));
        compareNear(qMax<qint64>(0, start.at), msec);
        // Opened to learn its length, not measured on this thread while the reader waits.
        QVERIFY2(log.contains(QStringLiteral("is not measured yet: its length comes from opening it")), qPrintable(log.text()));
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

    void cacheIsReadBackAfterARestart()
    {
        makeBook();
        int total = -1;
        {
            DigitalAudioBookPlayer player;
            openMeasured(player);
            total = player.totalTime();
        }
        const QString toc = m_root->path(QStringLiteral("/root/quimbo/toc.xml"));
        QDomDocument document;
        QVERIFY(bool(document.setContent(m_root->readFile(QStringLiteral("/root/quimbo/toc.xml")))));
        const QDomElement book = document.documentElement().firstChildElement(QStringLiteral("book"));
        QCOMPARE(book.firstChildElement(QStringLiteral("rootPath")).text(), m_book);
        QCOMPARE(book.elementsByTagName(QStringLiteral("track")).size(), kTrackSeconds.size());
        QCOMPARE(book.elementsByTagName(QStringLiteral("track")).at(2).toElement().attribute(QStringLiteral("filename")),
                 QFileInfo(track(3)).fileName());
        // Rewritten in place by rename: no temporary file stays behind.
        QCOMPARE(QDir(QFileInfo(toc).path()).entryList({QStringLiteral("toc*")}, QDir::Files), QStringList{"toc.xml"});

        LogCapture log;
        DigitalAudioBookPlayer player;
        QVERIFY(player.open(m_book));
        QVERIFY(player.hasToc());
        QCOMPARE(player.totalTime(), total);
        QVERIFY(!log.contains(QStringLiteral("no toc available")));
    }

    void cacheOfAnotherFolderIsReplaced()
    {
        makeBook();
        {
            DigitalAudioBookPlayer player;
            openMeasured(player);
        }
        QByteArray text = m_root->readFile(QStringLiteral("/root/quimbo/toc.xml"));
        // Same id, another folder (a stick mounted elsewhere): measured again.
        text.replace(QFile::encodeName(m_book), "/media/usb/elsewhere");
        QVERIFY(m_root->writeFile(QStringLiteral("/root/quimbo/toc.xml"), text));
        LogCapture log;
        DigitalAudioBookPlayer player;
        openMeasured(player);
        QVERIFY(log.contains(QStringLiteral("no toc available")));
        QDomDocument document;
        QVERIFY(bool(document.setContent(m_root->readFile(QStringLiteral("/root/quimbo/toc.xml")))));
        const QDomNodeList books = document.documentElement().elementsByTagName(QStringLiteral("book"));
        QCOMPARE(books.size(), 1);
        QCOMPARE(books.at(0).firstChildElement(QStringLiteral("rootPath")).text(), m_book);
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

    void undecodableTrackIsSkippedWhenPlayingOn()
    {
        makeBook();
        QFile garbage(track(2));
        QVERIFY(garbage.open(QIODevice::WriteOnly | QIODevice::Truncate));
        garbage.write(QByteArray(4096, 'x'));
        garbage.close();
        DigitalAudioBookPlayer player;
        openMeasured(player);
        storeMark(player, 1, 2500);
        QSignalSpy finished(&player, &DigitalAudioBookPlayer::finished);
        LogCapture log;
        QVERIFY(player.play());
        QTRY_COMPARE_WITH_TIMEOUT(player.trackNumber(), 3, 10000);
        QVERIFY(player.isPlaying());
        QVERIFY(log.contains(QStringLiteral("failed to play next track, skipped: ") + track(2)));
        QCOMPARE(finished.size(), 0);
    }
};

QTEST_GUILESS_MAIN(DigitalAudioBookPlayerTest)
#include "digitalaudiobookplayertest.moc"
