// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "enginelog.h"
#include "logcapture.h"
#include "playerfixture.h"
#include "smilclips.h"
#include "testroot.h"

#include "audio/vlcmediaplayer.h"
#include "formats/daisytalkingbook.h"
#include "formats/mediagroup.h"
#include "formats/medianode.h"
#include "library/resumemarker.h"
#include "library/resumemarkmanager.h"
#include "platform/platform.h"
#include "platform/sim/simboard.h"
#include "players/daisyaudiobookplayer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <memory>

namespace {

const QString kTitle = QStringLiteral("The Quimbo Sample Book");
constexpr qint64 kToleranceMsec = 150;

using EngineLog::Start;
using EngineLog::lastStart;

} // namespace

class DaisyAudioBookPlayerTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<QTemporaryDir> m_books;
    QString m_book; ///< folder of the copied book
    QString m_navigation; ///< its ncc.html or OPF

    /** A private copy of a generated book, so that a test may take audio away. */
    bool copyBook(const QString &name)
    {
        const QDir source(TestData::generated(QStringLiteral("daisy/") + name));
        m_book = m_books->filePath(name);
        QDir().mkpath(m_book);
        for (const QString &file : source.entryList(QDir::Files)) {
            if (!QFile::copy(source.filePath(file), QDir(m_book).filePath(file)))
                return false;
            if (file == QLatin1String("ncc.html") || file.endsWith(QLatin1String(".opf")))
                m_navigation = QDir(m_book).filePath(file);
        }
        return !m_navigation.isEmpty();
    }

    QString audio(int n) const { return QDir(m_book).absoluteFilePath(QStringLiteral("audio%1.mp3").arg(n, 4, 10, QLatin1Char('0'))); }

    void storeMarker(int spine, qint64 offset)
    {
        ResumeMarker marker(kTitle);
        marker.setSpineIndex(spine);
        marker.setTimeOffset(offset);
        QVERIFY(ResumeMarkManager::saveResumeMarker(&marker));
    }

    static void compareNear(qint64 actual, qint64 expected) { PlayerFixture::compareNear(actual, expected, kToleranceMsec); }

    /** Stores a marker in a real book: @p offset ms into clip @p clip of its @p smil file. */
    static void markRealBook(const QString &navigation, const QString &smil, int clip, qint64 offset)
    {
        std::unique_ptr<DaisyTalkingBook> book(DaisyTalkingBook::open(navigation));
        QVERIFY(book);
        const int spine = int(book->spine().indexOf(QFileInfo(navigation).absoluteDir().filePath(smil)));
        QVERIFY(spine >= 0);
        ResumeMarker marker(book->title() && book->title()->textNode() ? book->title()->textNode()->text() : QString());
        marker.setSpineIndex(spine);
        marker.setClipIndex(clip);
        marker.setTimeOffset(offset);
        QVERIFY(ResumeMarkManager::saveResumeMarker(&marker));
    }

    static void addBooks()
    {
        QTest::addColumn<QString>("book");
        QTest::newRow("DAISY 2.02") << QStringLiteral("sample202");
        QTest::newRow("DAISY 3") << QStringLiteral("sample3");
    }

private Q_SLOTS:
    void init() { PlayerFixture::startSimulated(m_root, m_books); }
    void cleanup() { PlayerFixture::endSimulated(m_root, m_books); }

    void resumesWhereItStopped_data() { addBooks(); }
    void resumesWhereItStopped()
    {
        QFETCH(QString, book);
        QVERIFY(copyBook(book));
        qint64 stoppedAt = -1;
        {
            DaisyAudioBookPlayer player;
            QVERIFY(player.open(m_navigation));
            QVERIFY(player.play());
            QCOMPARE(lastStart(0).file, audio(1));
            // Past the first file: 6 s is more than its length.
            QCOMPARE(player.fastForward(6), int(AudioBookPlayerInterface::Done));
            QCOMPARE(lastStart(0).file, audio(2));
            player.stop();
            QVERIFY(!player.isPlaying());
            std::unique_ptr<ResumeMarker> marker(ResumeMarkManager::loadResumeMarker(kTitle, player.bookKey().identifier));
            QCOMPARE(marker->spineIndex(), 1);
            QCOMPARE(marker->clipIndex(), 0);
            stoppedAt = marker->timeOffset();
            QVERIFY(stoppedAt > 0);
        }
        DaisyAudioBookPlayer player;
        QVERIFY(player.open(m_navigation));
        const qsizetype before = EngineLog::count();
        QVERIFY(player.play());
        const Start start = lastStart(before);
        QCOMPARE(start.file, audio(2));
        compareNear(start.at, stoppedAt);
    }

    void walksByHeadingsAndPages_data()
    {
        QTest::addColumn<QString>("book");
        QTest::addColumn<QString>("walk"); // "heading" with a level, or "page"
        QTest::addColumn<int>("level");
        QTest::addColumn<QStringList>("targets"); // the SMIL elements reached, in order
        for (const QString &book : {QStringLiteral("sample202"), QStringLiteral("sample3")}) {
            QTest::addRow("%s headings level 1", qPrintable(book)) << book << "heading" << 1
                                                                   << QStringList{"text0002.smil#pi4", "text0003.smil#pi14"};
            QTest::addRow("%s headings level 2", qPrintable(book))
                << book << "heading" << 2 << QStringList{"text0002.smil#pi4", "text0002.smil#pi7", "text0003.smil#pi14", "text0003.smil#pi18"};
            QTest::addRow("%s pages", qPrintable(book))
                << book << "page" << 2 << QStringList{"text0002.smil#pi8", "text0002.smil#pi13", "text0003.smil#pi17", "text0003.smil#pi20"};
        }
    }
    void walksByHeadingsAndPages()
    {
        QFETCH(QString, book);
        QFETCH(QString, walk);
        QFETCH(int, level);
        QFETCH(QStringList, targets);
        QVERIFY(copyBook(book));
        // Reading page 1 (in the first file), before the first heading after the title.
        const SmilClips::Target page1 = SmilClips::target(m_book, QStringLiteral("text0001.smil#pi3"));
        storeMarker(0, page1.begin + 100);
        DaisyAudioBookPlayer player;
        QVERIFY(player.open(m_navigation));
        QVERIFY(player.setLevel(level));
        auto step = [&] { return walk == QLatin1String("page") ? player.walkPage(1, true) : player.walkHeading(1); };

        QVERIFY(player.play());
        QCOMPARE(step(), int(AudioBookPlayerInterface::Refused));
        player.stop();
        for (const QString &reference : targets) {
            const qsizetype before = EngineLog::count();
            QCOMPARE(step(), int(AudioBookPlayerInterface::Done));
            QVERIFY(player.isPlaying());
            const SmilClips::Target expected = SmilClips::target(m_book, reference);
            const Start start = lastStart(before);
            QCOMPARE(start.file, expected.audio);
            compareNear(qMax<qint64>(0, start.at), expected.begin);
            player.stop();
        }
        QCOMPARE(step(), int(AudioBookPlayerInterface::EndOfBook));
        QCOMPARE(step(), int(AudioBookPlayerInterface::EndOfBook));
        QVERIFY(!player.isPlaying());
    }

    void pagingFromTheStartOfAFileReachesItsFirstPage_data()
    {
        QTest::addColumn<QString>("book");
        QTest::addColumn<int>("spine");
        QTest::addColumn<QString>("page"); // the page target reached first
        for (const QString &book : {QStringLiteral("sample202"), QStringLiteral("sample3")}) {
            QTest::addRow("%s, first file", qPrintable(book)) << book << 0 << "text0001.smil#pi3";
            QTest::addRow("%s, second file", qPrintable(book)) << book << 1 << "text0002.smil#pi8";
            QTest::addRow("%s, third file", qPrintable(book)) << book << 2 << "text0003.smil#pi17";
        }
    }
    void pagingFromTheStartOfAFileReachesItsFirstPage()
    {
        QFETCH(QString, book);
        QFETCH(int, spine);
        QFETCH(QString, page);
        QVERIFY(copyBook(book));
        storeMarker(spine, 0);
        DaisyAudioBookPlayer player;
        QVERIFY(player.open(m_navigation));
        const qsizetype before = EngineLog::count();
        QCOMPARE(player.walkPage(1, true), int(AudioBookPlayerInterface::Done));
        const SmilClips::Target expected = SmilClips::target(m_book, page);
        const Start start = lastStart(before);
        QCOMPARE(start.file, expected.audio);
        compareNear(qMax<qint64>(0, start.at), expected.begin);
    }

    void levelOutsideOneToSixIsRefused()
    {
        DaisyAudioBookPlayer player;
        QVERIFY(player.setLevel(3));
        for (int level : {0, 7, -1})
            QVERIFY(!player.setLevel(level));
        QCOMPARE(player.level(), 3);
        QCOMPARE(DaisyAudioBookPlayer().level(), 3);
    }

    void pageBackGoesToThePreviousFile_data() { addBooks(); }
    void pageBackGoesToThePreviousFile()
    {
        QFETCH(QString, book);
        QVERIFY(copyBook(book));
        storeMarker(2, 1000);
        DaisyAudioBookPlayer player;
        QVERIFY(player.open(m_navigation));
        qsizetype before = EngineLog::count();
        QCOMPARE(player.walkPage(-1, true), int(AudioBookPlayerInterface::Done));
        QCOMPARE(lastStart(before).file, audio(2));
        player.stop();
        QCOMPARE(player.walkPage(-1, true), int(AudioBookPlayerInterface::Done));
        QCOMPARE(lastStart(before).file, audio(1));
        player.stop();
        QCOMPARE(player.walkPage(-1, true), int(AudioBookPlayerInterface::BeginOfBook));
    }

    void windsAcrossFileBoundaries_data()
    {
        QTest::addColumn<QString>("book");
        QTest::addColumn<int>("startFile"); // spine index of the start
        QTest::addColumn<int>("fromEnd"); // ms before the end of that file's audio (negative: from its start)
        QTest::addColumn<int>("seconds"); // positive: fast forward, negative: rewind
        QTest::addColumn<int>("jumps"); // how many such jumps, one right after the other
        QTest::addColumn<int>("landFile"); // spine index where the jumps land
        for (const QString &book : {QStringLiteral("sample202"), QStringLiteral("sample3")}) {
            QTest::addRow("%s forward into the next file", qPrintable(book)) << book << 0 << 1000 << 3 << 1 << 1;
            QTest::addRow("%s forward over a whole file", qPrintable(book)) << book << 0 << 1000 << 16 << 1 << 2;
            QTest::addRow("%s back into the previous file", qPrintable(book)) << book << 1 << -1000 << -3 << 1 << 0;
            // A held key: short jumps faster than anyone listens, across two file ends.
            QTest::addRow("%s held forward across files", qPrintable(book)) << book << 0 << -1 << 5 << 4 << 2;
            QTest::addRow("%s held back across files", qPrintable(book)) << book << 2 << -2000 << -5 << 3 << 0;
        }
    }
    void windsAcrossFileBoundaries()
    {
        QFETCH(QString, book);
        QFETCH(int, startFile);
        QFETCH(int, fromEnd);
        QFETCH(int, seconds);
        QFETCH(int, jumps);
        QFETCH(int, landFile);
        QVERIFY(copyBook(book));
        QList<qint64> lengths;
        for (int i = 1; i <= 3; ++i)
            lengths << SmilClips::audioEnd(m_book, QStringLiteral("text%1.smil").arg(i, 4, 10, QLatin1Char('0')));
        const qint64 start = fromEnd >= 0 ? lengths.at(startFile) - fromEnd : -fromEnd;
        storeMarker(startFile, start);

        DaisyAudioBookPlayer player;
        QVERIFY(player.open(m_navigation));
        QVERIFY(player.play());
        const qsizetype before = EngineLog::count();
        for (int jump = 0; jump < jumps; ++jump) {
            const int result = seconds > 0 ? player.fastForward(seconds) : player.rewind(seconds);
            QCOMPARE(result, int(AudioBookPlayerInterface::Done));
        }
        const Start landed = lastStart(before);
        QCOMPARE(landed.file, audio(landFile + 1));
        // Where the jumps should land, by the file lengths the SMIL files give.
        qint64 expected = start + qint64(seconds) * jumps * 1000;
        if (seconds > 0) {
            for (int i = startFile; i < landFile; ++i)
                expected -= lengths.at(i);
        } else {
            for (int i = startFile - 1; i >= landFile; --i)
                expected += lengths.at(i);
        }
        // The engine's file lengths differ from the SMIL clip ends by a frame or two.
        QVERIFY2(qAbs(landed.at - expected) <= 2 * kToleranceMsec,
                 qPrintable(QStringLiteral("landed at %1, expected %2").arg(landed.at).arg(expected)));
        player.stop();
        std::unique_ptr<ResumeMarker> marker(ResumeMarkManager::loadResumeMarker(kTitle, player.bookKey().identifier));
        QCOMPARE(marker->spineIndex(), landFile);
    }

    void anOvershootKeepsThePlace_data()
    {
        QTest::addColumn<QString>("book");
        QTest::addColumn<QString>("move");
        for (const QString &book : {QStringLiteral("sample202"), QStringLiteral("sample3")}) {
            QTest::addRow("%s, wound past the end while playing", qPrintable(book)) << book << "wind";
            QTest::addRow("%s, wound past the end while stopped", qPrintable(book)) << book << "stopped wind";
            QTest::addRow("%s, walked past the last heading", qPrintable(book)) << book << "heading";
        }
    }
    void anOvershootKeepsThePlace()
    {
        QFETCH(QString, book);
        QFETCH(QString, move);
        QVERIFY(copyBook(book));
        // Reading the last heading, a little way into it.
        const SmilClips::Target last = SmilClips::target(m_book, QStringLiteral("text0003.smil#pi18"));
        const qint64 place = last.begin + 1500;
        storeMarker(2, place);
        DaisyAudioBookPlayer player;
        QVERIFY(player.open(m_navigation));
        QVERIFY(player.setLevel(2));
        if (move == QLatin1String("wind"))
            QVERIFY(player.play());
        const int result = move == QLatin1String("heading") ? player.walkHeading(1) : player.fastForward(300);
        QCOMPARE(result, int(AudioBookPlayerInterface::EndOfBook));
        QVERIFY(!player.isPlaying());
        std::unique_ptr<ResumeMarker> marker(ResumeMarkManager::loadResumeMarker(kTitle, player.bookKey().identifier));
        QCOMPARE(marker->spineIndex(), 2);
        compareNear(marker->timeOffset(), place);
        // Play goes on from there, and a walk back starts there too.
        qsizetype before = EngineLog::count();
        QVERIFY(player.play());
        QCOMPARE(lastStart(before).file, audio(3));
        compareNear(lastStart(before).at, place);
        player.stop();
        before = EngineLog::count();
        QCOMPARE(player.walkHeading(-1), int(AudioBookPlayerInterface::Done));
        QCOMPARE(lastStart(before).file, audio(3));
    }

    void rewindBeforeTheStartClearsTheMarker_data() { addBooks(); }
    void rewindBeforeTheStartClearsTheMarker()
    {
        QFETCH(QString, book);
        QVERIFY(copyBook(book));
        storeMarker(0, 1500);
        DaisyAudioBookPlayer player;
        QVERIFY(player.open(m_navigation));
        QCOMPARE(player.rewind(-10), int(AudioBookPlayerInterface::BeginOfBook));
        QVERIFY(!player.isPlaying());
        const qsizetype before = EngineLog::count();
        QVERIFY(player.play());
        QCOMPARE(lastStart(before).file, audio(1));
        QCOMPARE(lastStart(before).at, qint64(0));
    }

    void playsOnIntoTheNextFileAndEnds_data()
    {
        QTest::addColumn<QString>("book");
        QTest::addColumn<QStringList>("missing"); // audio files taken away
        QTest::addColumn<QStringList>("broken"); // audio files replaced by text
        QTest::addColumn<int>("startFile");
        QTest::addColumn<int>("nextFile"); // 0: the book ends
        for (const QString &book : {QStringLiteral("sample202"), QStringLiteral("sample3")}) {
            QTest::addRow("%s next file", qPrintable(book)) << book << QStringList() << QStringList() << 0 << 2;
            QTest::addRow("%s end of book", qPrintable(book)) << book << QStringList() << QStringList() << 2 << 0;
            QTest::addRow("%s missing audio skipped", qPrintable(book)) << book << QStringList{"audio0002.mp3"} << QStringList() << 0 << 3;
            QTest::addRow("%s missing audio at the end", qPrintable(book)) << book << QStringList{"audio0003.mp3"} << QStringList() << 1 << 0;
            QTest::addRow("%s undecodable audio skipped", qPrintable(book)) << book << QStringList() << QStringList{"audio0002.mp3"} << 0 << 3;
        }
    }
    void playsOnIntoTheNextFileAndEnds()
    {
        QFETCH(QString, book);
        QFETCH(QStringList, missing);
        QFETCH(QStringList, broken);
        QFETCH(int, startFile);
        QFETCH(int, nextFile);
        QVERIFY(copyBook(book));
        for (const QString &file : missing)
            QVERIFY(QFile::remove(QDir(m_book).filePath(file)));
        for (const QString &file : broken) {
            QFile text(QDir(m_book).filePath(file));
            QVERIFY(text.open(QIODevice::WriteOnly | QIODevice::Truncate));
            text.write(QByteArray("Not audio, only text named like an MP3 file.\n").repeated(200));
        }
        const qint64 length = SmilClips::audioEnd(m_book, QStringLiteral("text%1.smil").arg(startFile + 1, 4, 10, QLatin1Char('0')));
        storeMarker(startFile, length - 700);

        LogCapture log;
        DaisyAudioBookPlayer player;
        QSignalSpy finished(&player, &DaisyAudioBookPlayer::finished);
        QVERIFY(player.open(m_navigation));
        QVERIFY(player.play());
        const qsizetype before = EngineLog::count();
        if (nextFile > 0) {
            QTRY_COMPARE_WITH_TIMEOUT(lastStart(before).file, audio(nextFile), 10000);
            QVERIFY(player.isPlaying());
            QCOMPARE(finished.count(), 0);
        } else {
            QVERIFY(finished.wait(10000));
            QVERIFY(!player.isPlaying());
            QCOMPARE(lastStart(before).file, QString());
            // Heard to its end, the book starts over.
            const qsizetype again = EngineLog::count();
            QVERIFY(player.play());
            QCOMPARE(lastStart(again).file, audio(1));
            QCOMPARE(qMax<qint64>(0, lastStart(again).at), qint64(0));
        }
        for (const QString &file : missing)
            QVERIFY(log.contains(QStringLiteral("audio file missing, skipped: ") + QDir(m_book).absoluteFilePath(file)));
        for (const QString &file : broken)
            QVERIFY(log.contains(QStringLiteral("audio file does not play, skipped: ") + QDir(m_book).absoluteFilePath(file)));
        QCOMPARE(log.unexpectedWarnings({QStringLiteral("audio file missing"), QStringLiteral("does not play"), QStringLiteral("failed to play media")})
                     .join(QLatin1Char('\n')),
                 QString());
    }

    void windAsTheEngineEndsAFileGoesOn()
    {
        QVERIFY(copyBook(QStringLiteral("sample202")));
        storeMarker(0, SmilClips::audioEnd(m_book, QStringLiteral("text0001.smil")) - 200);
        DaisyAudioBookPlayer player;
        QVERIFY(player.open(m_navigation));
        QVERIFY(player.play());
        // The engine ends the file; its end has not reached the player yet (no event loop).
        QElapsedTimer waited;
        waited.start();
        while (player.mediaPlayer()->isPlaying() && waited.elapsed() < 5000)
            QThread::msleep(10);
        QVERIFY(!player.mediaPlayer()->isPlaying());
        const qsizetype before = EngineLog::count();
        QCOMPARE(player.fastForward(3), int(AudioBookPlayerInterface::Done));
        QCOMPARE(lastStart(before).file, audio(2));
        compareNear(lastStart(before).at, 3000);
    }

    void playsClipsInTheirOrder_data()
    {
        QTest::addColumn<QString>("smil"); // of the real book d202-dontworrybehappy
        QTest::addColumn<int>("track"); // index of the run of clips playing
        QTest::addColumn<int>("at"); // ms into its file
        QTest::addColumn<QString>("next"); // the file started next, empty: none (the file plays on)
        QTest::addColumn<int>("nextAt");
        // speechgen0002.smil: 0002.mp3 0-7.592 s, 0007.mp3 1.629-11.237 s, 0002.mp3 7.592-19.293 s
        QTest::newRow("into another file") << "speechgen0002.smil" << 0 << 7100 << "speechgen0007.mp3" << 1629;
        QTest::newRow("back to the first file") << "speechgen0002.smil" << 1 << 10750 << "speechgen0002.mp3" << 7592;
        // speechgen0003.smil: 0003.mp3 clips follow each other from 0 to 14.093 s.
        QTest::newRow("clips that follow on") << "speechgen0003.smil" << 0 << 2700 << "" << 0;
    }
    void playsClipsInTheirOrder()
    {
        QFETCH(QString, smil);
        QFETCH(int, track);
        QFETCH(int, at);
        QFETCH(QString, next);
        QFETCH(int, nextAt);
        const QString navigation = TestData::sharedBook(QStringLiteral("d202-dontworrybehappy/ncc.html"));
        const QString folder = QFileInfo(navigation).absolutePath();
        markRealBook(navigation, smil, track, at);

        DaisyAudioBookPlayer player;
        QVERIFY(player.open(navigation));
        QVERIFY(player.play());
        const qsizetype before = EngineLog::count();
        if (next.isEmpty()) {
            // Gapless: the engine is not touched while the clips follow on.
            QTest::qWait(1000);
            QCOMPARE(EngineLog::count(), before);
            QVERIFY(player.isPlaying());
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(!lastStart(before).file.isEmpty(), 3000);
            QCOMPARE(lastStart(before).file, QDir(folder).filePath(next));
            compareNear(lastStart(before).at, nextAt);
        }
    }

    void aStoppedStreamDoesNotMoveTheBookOn()
    {
        QVERIFY(copyBook(QStringLiteral("sample202")));
        storeMarker(0, SmilClips::audioEnd(m_book, QStringLiteral("text0001.smil")) - 300);
        DaisyAudioBookPlayer player;
        QSignalSpy finished(&player, &DaisyAudioBookPlayer::finished);
        QVERIFY(player.open(m_navigation));
        QVERIFY(player.play());
        player.stop();
        const qsizetype before = EngineLog::count();
        // Long enough for the end of the stopped file to have come through.
        QVERIFY(!finished.wait(1500));
        QCOMPARE(EngineLog::count(), before);
        std::unique_ptr<ResumeMarker> marker(ResumeMarkManager::loadResumeMarker(kTitle, player.bookKey().identifier));
        QCOMPARE(marker->spineIndex(), 0);
    }

    void timesFromTheMetadata_data() { addBooks(); }
    void timesFromTheMetadata()
    {
        QFETCH(QString, book);
        QVERIFY(copyBook(book));
        DaisyAudioBookPlayer player;
        QCOMPARE(player.totalTime(), -1);
        QCOMPARE(player.elapsedTime(), -1);
        QVERIFY(player.open(m_navigation));
        qint64 total = 0;
        for (int i = 1; i <= 3; ++i)
            total += SmilClips::audioEnd(m_book, QStringLiteral("text%1.smil").arg(i, 4, 10, QLatin1Char('0')));
        QVERIFY(qAbs(player.totalTime() - total / 1000) <= 1);
        storeMarker(2, 2500);
        QVERIFY(player.open(m_navigation));
        QVERIFY(player.play());
        const qint64 before = SmilClips::audioEnd(m_book, QStringLiteral("text0001.smil")) + SmilClips::audioEnd(m_book, QStringLiteral("text0002.smil"));
        QVERIFY(qAbs(player.elapsedTime() - (before + 2500) / 1000) <= 1);
        player.stop();
        QVERIFY(qAbs(player.elapsedTime() - (before + 2500) / 1000) <= 1);
    }

    void realBooksPlayWalkAndWind_data()
    {
        QTest::addColumn<QString>("navigation");
        const QDir books(TestData::sharedBook(QString()));
        for (const QString &folder : books.entryList({QStringLiteral("d202-*"), QStringLiteral("d3-*")}, QDir::Dirs)) {
            const QDir dir(books.filePath(folder));
            const QStringList files = dir.entryList({QStringLiteral("ncc.html"), QStringLiteral("*.opf")}, QDir::Files);
            if (!files.isEmpty())
                QTest::newRow(qPrintable(folder)) << dir.filePath(files.first());
        }
    }
    void realBooksPlayWalkAndWind()
    {
        QFETCH(QString, navigation);
        const QString folder = QFileInfo(navigation).absolutePath();
        LogCapture log; // real books log their oddities; only the outcome counts here
        DaisyAudioBookPlayer player;
        QVERIFY(player.open(navigation));
        QVERIFY(player.play());
        QVERIFY(lastStart(0).file.startsWith(folder));
        player.stop();
        qsizetype before = EngineLog::count();
        QCOMPARE(player.walkHeading(1), int(AudioBookPlayerInterface::Done));
        QVERIFY(lastStart(before).file.startsWith(folder));
        before = EngineLog::count();
        const int result = player.fastForward(60);
        QVERIFY2(result == AudioBookPlayerInterface::Done || result == AudioBookPlayerInterface::EndOfBook, qPrintable(QString::number(result)));
        // A seek inside the file or a start of another one.
        if (result == AudioBookPlayerInterface::Done)
            QVERIFY(EngineLog::count() > before);
        player.stop();
        QVERIFY(player.totalTime() > 0);
    }

    void playsOnPastAudioMissingFromARealBook()
    {
        // Its speechgen0005.mp3 is absent; the file before ends with a clip in it.
        const QString navigation = TestData::sharedBook(QStringLiteral("d202-great-painters/ncc.html"));
        const QString folder = QFileInfo(navigation).absolutePath();
        markRealBook(navigation, QStringLiteral("speechgen0004.smil"), 0, SmilClips::audioEnd(folder, QStringLiteral("speechgen0004.smil")) - 700);

        LogCapture log;
        DaisyAudioBookPlayer player;
        QVERIFY(player.open(navigation));
        QVERIFY(player.play());
        const qsizetype start = EngineLog::count();
        QTRY_VERIFY_WITH_TIMEOUT(!lastStart(start).file.isEmpty(), 15000);
        QVERIFY(!lastStart(start).file.endsWith(QLatin1String("speechgen0005.mp3")));
        QVERIFY(player.isPlaying());
        QVERIFY(log.contains(QStringLiteral("audio file missing, skipped: ") + QDir(folder).filePath(QStringLiteral("speechgen0005.mp3"))));
    }

    void aBookOfTextAloneIsRefused()
    {
        QVERIFY(copyBook(QStringLiteral("sample202")));
        static const QRegularExpression audio(QStringLiteral("<audio[^>]*/>"));
        for (const QString &name : QDir(m_book).entryList({QStringLiteral("*.smil")})) {
            QFile smil(QDir(m_book).filePath(name));
            QVERIFY(smil.open(QIODevice::ReadOnly));
            const QString text = QString::fromUtf8(smil.readAll()).remove(audio);
            smil.close();
            QVERIFY(smil.open(QIODevice::WriteOnly | QIODevice::Truncate));
            smil.write(text.toUtf8());
        }
        LogCapture log;
        DaisyAudioBookPlayer player;
        QVERIFY(!player.open(m_navigation));
        QVERIFY(log.contains(QStringLiteral("the book has no audio to play")));
        QVERIFY(!player.play());
    }

    void withoutABookEverythingRefuses()
    {
        DaisyAudioBookPlayer player;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("walkHeading.*no daisy book open")));
        QCOMPARE(player.walkHeading(1), int(AudioBookPlayerInterface::NoBook));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("walkPage.*no daisy book open")));
        QCOMPARE(player.walkPage(1, true), int(AudioBookPlayerInterface::NoBook));
        QCOMPARE(player.fastForward(10), int(AudioBookPlayerInterface::NoBook));
        QCOMPARE(player.rewind(-10), int(AudioBookPlayerInterface::NoBook));
        QVERIFY(!player.play());
        QCOMPARE(player.trackNumber(), -1);
        QCOMPARE(player.mediaPlayer(), nullptr);
        QVERIFY(!player.open(m_books->filePath(QStringLiteral("nothing/ncc.html"))));
    }
};

QTEST_GUILESS_MAIN(DaisyAudioBookPlayerTest)
#include "daisyaudiobookplayertest.moc"
