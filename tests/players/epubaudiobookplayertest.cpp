// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "enginelog.h"
#include "logcapture.h"
#include "playerfixture.h"
#include "smilclips.h"
#include "testroot.h"

#include "audio/vlcmediaplayer.h"
#include "formats/epubparser.h"
#include "library/resumemark.h"
#include "platform/platform.h"
#include "platform/sim/simboard.h"
#include "players/epubaudiobookplayer.h"
#include "players/epubsmilaudioplaylist.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

constexpr qint64 kToleranceMsec = 200;

/** The generated three-chapter book with its package rewritten by a Python expression over `opf` and `files`. */
bool rewriteBook(const QString &source, const QString &target, const QString &change)
{
    const QString script = QStringLiteral(
        "import sys, zipfile\n"
        "src, dst, change = sys.argv[1:4]\n"
        "files = {}\n"
        "with zipfile.ZipFile(src) as z:\n"
        "    for n in z.namelist(): files[n] = z.read(n)\n"
        "opf = files['OEBPS/content.opf'].decode()\n"
        "exec(change)\n"
        "files['OEBPS/content.opf'] = opf.encode()\n"
        "with zipfile.ZipFile(dst, 'w') as z:\n"
        "    for n, data in files.items(): z.writestr(n, data)\n");
    QProcess python;
    python.start(QStringLiteral("python3"), {QStringLiteral("-c"), script, source, target, change});
    return python.waitForFinished(30000) && python.exitCode() == 0;
}

} // namespace

class EpubAudioBookPlayerTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<QTemporaryDir> m_work;
    QString m_previousDir;
    QString m_book;
    EpubParser m_package; ///< the same book, read by the test

    /** The archive bytes of the audio the player has copied out (the one temporary file), or empty. */
    QByteArray playingAudio(EpubAudioBookPlayer &player) const
    {
        const QDir folder(player.temporaryFolder());
        const QStringList files = folder.entryList(QDir::Files);
        if (files.size() != 1)
            return {};
        QFile file(folder.filePath(files.first()));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QByteArray chapterAudio(int n) const { return m_package.itemData(QStringLiteral("Audio/chapter%1.mp3").arg(n)); }

    qint64 chapterDuration(int n) const
    {
        for (const MetadataItem &item : m_package.metadataItems(DCType::Meta, QStringLiteral("media:duration"))) {
            if (item.refines == QStringLiteral("#smil%1").arg(n))
                return SmilClips::clockMsec(item.value); // read apart from the parser under test
        }
        return -1;
    }

    /** The book's resume mark: a key to read it, with @p smil and @p time to store it. */
    ResumemarkData mark(int smil = -1, qint64 time = 0) const
    {
        ResumemarkData data;
        data.title = m_package.metadataValue(DCType::Title);
        data.identifier = m_package.metadataValue(DCType::Identifier);
        data.smilListPos = smil;
        data.playerTime = time;
        return data;
    }
    void storeMark(int smil, qint64 time) { QVERIFY(PlayerFixture::storeMark(mark(smil, time))); }
    ResumemarkData storedMark() { return PlayerFixture::storedMark(mark()); }

    static void compareNear(qint64 actual, qint64 expected) { PlayerFixture::compareNear(actual, expected, kToleranceMsec); }

private Q_SLOTS:
    void init()
    {
        m_root = std::make_unique<TestRoot>();
        m_work = std::make_unique<QTemporaryDir>();
        m_previousDir = QDir::currentPath();
        // The temporary audio folder must not depend on where the program was started.
        QVERIFY(QDir::setCurrent(m_work->path()));
        Platform::setBackend(Platform::Backend::Simulated);
        Platform::SimBoard::instance()->reset();
        m_book = TestData::generated(QStringLiteral("epub/generated-3ch.epub"));
        QVERIFY(m_package.open(m_book));
    }

    void cleanup()
    {
        m_package.close();
        QDir::setCurrent(m_previousDir);
        m_work.reset();
        m_root.reset();
        Platform::setBackend(Platform::Backend::Linux);
    }

    void clockValues_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("msec");
        QTest::newRow("h:mm:ss.f") << "0:01:30.5" << qint64(90500);
        QTest::newRow("mm:ss.f") << "01:30.5" << qint64(90500);
        QTest::newRow("seconds unit") << "90.5s" << qint64(90500);
        QTest::newRow("ms unit") << " 90500ms " << qint64(90500);
        QTest::newRow("no unit") << "90.5" << qint64(90500);
        QTest::newRow("hours unit") << "1.5h" << qint64(5400000);
        QTest::newRow("minutes unit") << "2min" << qint64(120000);
        QTest::newRow("not a number") << "abc" << qint64(0);
        QTest::newRow("unknown unit") << "5d" << qint64(0);
    }
    void clockValues()
    {
        QFETCH(QString, text);
        QTEST(EpubSmilAudioPlaylist::parseSmilClockValue(text), "msec");
    }

    void playlistHasAnEntryPerStretchOfAFile_data()
    {
        QTest::addColumn<QString>("clips"); // src:begin-end, an empty begin or end left out
        QTest::addColumn<QStringList>("entries"); // src:begin-end, -1 for an open end
        QTest::newRow("clips that follow each other") << "a.mp3:0-1 a.mp3:1-2 a.mp3:2-3" << QStringList{"Book #1/a.mp3:0-3000"};
        QTest::newRow("A B A") << "a.mp3:0-1 b.mp3:0-1 a.mp3:1-2"
                               << QStringList{"Book #1/a.mp3:0-1000", "Book #1/b.mp3:0-1000", "Book #1/a.mp3:1000-2000"};
        QTest::newRow("a gap in the file") << "a.mp3:0-1 a.mp3:5-6" << QStringList{"Book #1/a.mp3:0-1000", "Book #1/a.mp3:5000-6000"};
        QTest::newRow("open ends") << "a.mp3:-1 a.mp3:1-" << QStringList{"Book #1/a.mp3:0--1"};
        QTest::newRow("empty src and backward clip left out") << "a.mp3:0-1 :1-2 a.mp3:3-2 ../c%20d.mp3:0-1"
                                                                << QStringList{"Book #1/a.mp3:0-1000", "c d.mp3:0-1000"};
    }
    void playlistHasAnEntryPerStretchOfAFile()
    {
        QFETCH(QString, clips);
        QByteArray smil = "<smil xmlns='http://www.w3.org/ns/SMIL'><body>";
        for (const QString &clip : clips.split(QLatin1Char(' '))) {
            const QString src = clip.section(QLatin1Char(':'), 0, 0);
            const QString begin = clip.section(QLatin1Char(':'), 1).section(QLatin1Char('-'), 0, 0);
            const QString end = clip.section(QLatin1Char('-'), 1);
            smil += "<par><text src='t.xhtml#x'/><AUDIO src='" + src.toUtf8() + "'"
                + (begin.isEmpty() ? QByteArray() : " clipBegin='" + begin.toUtf8() + "s'")
                + (end.isEmpty() ? QByteArray() : " clipEnd='" + end.toUtf8() + "s'") + "/></par>";
        }
        smil += "</body></smil>";
        LogCapture log;
        EpubSmilAudioPlaylist playlist;
        QVERIFY(playlist.load(smil, QStringLiteral("Book #1/chapter.smil")));
        QStringList loaded;
        for (int i = 0; i < playlist.count(); ++i) {
            const SmilAudioFile item = playlist.itemAt(i);
            loaded << QStringLiteral("%1:%2-%3").arg(item.src).arg(item.clipBegin).arg(item.clipEnd);
        }
        QTEST(loaded, "entries");
        QCOMPARE(playlist.currentIndex(), playlist.count() - 1);
        QVERIFY(playlist.nextItem(1).isEmpty());
        QCOMPARE(playlist.previousIndex(playlist.count()), -1);
    }

    void playlistRefusesBrokenSmil_data()
    {
        QTest::addColumn<QByteArray>("smil");
        QTest::addColumn<QString>("log");
        QTest::newRow("no audio") << QByteArray("<smil><body><par><text src='a#b'/></par></body></smil>") << "no audio files found";
        QTest::newRow("not well formed") << QByteArray("<smil><body><audio src='a.mp3'></smil>") << "xml has error";
    }
    void playlistRefusesBrokenSmil()
    {
        QFETCH(QByteArray, smil);
        QFETCH(QString, log);
        LogCapture capture;
        EpubSmilAudioPlaylist playlist;
        QVERIFY(!playlist.load(smil, QStringLiteral("x.smil")));
        QVERIFY(playlist.isEmpty());
        QCOMPARE(playlist.currentIndex(), -1);
        QVERIFY(capture.contains(log));
    }

    void bookWithoutNarrationIsRefused_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("logged");
        QTest::newRow("no overlays") << "import re\nopf = re.sub(r' media-overlay=\"[^\"]*\"', '', opf)"
                                     << "epub doesn't have any media overlay documents";
        QTest::newRow("overlays without audio")
            << "import re\nfor n in files:\n    if n.endswith('.smil'): files[n] = re.sub(rb'<audio[^>]*/>', b'', files[n])"
            << "no media overlay of the book has audio";
    }
    void bookWithoutNarrationIsRefused()
    {
        QFETCH(QString, change);
        QFETCH(QString, logged);
        const QString book = m_work->filePath(QStringLiteral("no narration.epub"));
        QVERIFY(rewriteBook(m_book, book, change));
        LogCapture log;
        EpubAudioBookPlayer player;
        QVERIFY(!player.open(book));
        QVERIFY(log.contains(logged));
        QCOMPARE(player.totalTime(), -1);
        QCOMPARE(player.walkHeading(1), int(AudioBookPlayerInterface::NoBook));
    }

    void walksHeadingsAcrossSmilDocuments()
    {
        EpubAudioBookPlayer player;
        QVERIFY(player.open(m_book));
        QVERIFY(player.play());
        QCOMPARE(playingAudio(player), chapterAudio(1));
        QCOMPARE(player.walkHeading(1), int(AudioBookPlayerInterface::Refused));
        player.stop();
        for (int chapter : {2, 3}) {
            QCOMPARE(player.walkHeading(1), int(AudioBookPlayerInterface::Done));
            QVERIFY(player.isPlaying());
            QCOMPARE(playingAudio(player), chapterAudio(chapter));
            player.stop();
            QCOMPARE(storedMark().smilListPos, chapter - 1);
        }
        const qint64 place = storedMark().playerTime;
        // Past the last heading the reader stays where they were: play goes on there.
        QCOMPARE(player.walkHeading(1), int(AudioBookPlayerInterface::EndOfBook));
        QCOMPARE(storedMark().smilListPos, 2);
        const qsizetype before = EngineLog::count();
        QVERIFY(player.play());
        QCOMPARE(playingAudio(player), chapterAudio(3));
        compareNear(qMax<qint64>(0, EngineLog::lastStart(before).at), place);
        player.stop();
        for (int chapter : {2, 1}) {
            QCOMPARE(player.walkHeading(-1), int(AudioBookPlayerInterface::Done));
            QCOMPARE(playingAudio(player), chapterAudio(chapter));
            player.stop();
        }
        QCOMPARE(player.walkHeading(-1), int(AudioBookPlayerInterface::BeginOfBook));
        QCOMPARE(storedMark().smilListPos, 0);
        QCOMPARE(storedMark().playerTime, qint64(0));
    }

    void windsAcrossSmilDocuments_data()
    {
        QTest::addColumn<int>("markSmil");
        QTest::addColumn<int>("markMsec"); // negative: that many ms before the document's end
        QTest::addColumn<int>("seconds"); // negative: rewind
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("chapter"); // where it plays, 0 for none
        QTest::addColumn<int>("msec"); // position there; negative: before its end
        using R = AudioBookPlayerInterface;
        QTest::newRow("forward into the next") << 0 << -500 << 1 << int(R::Done) << 2 << 500;
        QTest::newRow("forward inside") << 1 << 0 << 1 << int(R::Done) << 2 << 1000;
        QTest::newRow("forward past the end") << 2 << -500 << 1 << int(R::EndOfBook) << 0 << 0;
        QTest::newRow("back into the previous") << 1 << 500 << -1 << int(R::Done) << 1 << -500;
        QTest::newRow("back before the start") << 0 << 500 << -1 << int(R::BeginOfBook) << 0 << 0;
    }
    void windsAcrossSmilDocuments()
    {
        QFETCH(int, markSmil);
        QFETCH(int, markMsec);
        QFETCH(int, seconds);
        QFETCH(int, chapter);
        QFETCH(int, msec);
        storeMark(markSmil, markMsec < 0 ? chapterDuration(markSmil + 1) + markMsec : markMsec);
        EpubAudioBookPlayer player;
        QVERIFY(player.open(m_book));
        const qsizetype before = EngineLog::count();
        QTEST(seconds > 0 ? player.fastForward(seconds) : player.rewind(seconds), "result");
        QCOMPARE(player.isPlaying(), chapter > 0);
        if (chapter == 0)
            return;
        QCOMPARE(playingAudio(player), chapterAudio(chapter));
        compareNear(EngineLog::lastStart(before).at, msec < 0 ? chapterDuration(chapter) + msec : msec);
    }

    void resumesWhereItStopped()
    {
        qint64 stoppedAt = -1;
        {
            EpubAudioBookPlayer player;
            QVERIFY(player.open(m_book));
            QCOMPARE(player.walkHeading(1), int(AudioBookPlayerInterface::Done));
            player.stop();
            stoppedAt = storedMark().playerTime;
            compareNear(stoppedAt, 0);
        }
        EpubAudioBookPlayer player;
        QVERIFY(player.open(m_book));
        const qsizetype before = EngineLog::count();
        QVERIFY(player.play());
        QCOMPARE(playingAudio(player), chapterAudio(2));
        compareNear(EngineLog::lastStart(before).at, stoppedAt);
        player.stop();
        QCOMPARE(player.elapsedTime(), int((chapterDuration(1) + storedMark().playerTime) / 1000));
    }

    void temporaryFilesDoNotPileUp()
    {
        const QString folder = m_root->path(QStringLiteral("/tmp/temporaryAudioFiles"));
        QVERIFY(QDir(folder).mkpath(QStringLiteral("left over")));
        QFile stale(QDir(folder).filePath(QStringLiteral("left over/tempAudiofile.mp3")));
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();
        {
            EpubAudioBookPlayer player;
            QCOMPARE(QDir(player.temporaryFolder()).absolutePath(), QDir(folder).absolutePath());
            QVERIFY(!stale.exists());
            QVERIFY(player.open(m_book));
            for (int i = 0; i < 3; ++i) {
                QVERIFY(player.play());
                QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 1);
                QCOMPARE(player.fastForward(2), int(AudioBookPlayerInterface::Done));
                QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 1);
                player.stop();
                QVERIFY(QDir(folder).entryList(QDir::Files).isEmpty());
            }
            QVERIFY(player.play());
        }
        QVERIFY(QDir(folder).entryList(QDir::Files).isEmpty());
        QVERIFY(QDir(m_work->path()).isEmpty());
    }

    void audioThatIsNotThereIsRefused_data()
    {
        QTest::addColumn<QString>("book");
        QTest::addColumn<QString>("log");
        QTest::newRow("empty entry (real book)") << TestData::sharedBook(QStringLiteral("epub3mo-minimal-mockaudio/epub3mo-minimal-mockaudio.epub"))
                                                 << "no audio data available";
        QTest::newRow("not audio") << TestData::generated(QStringLiteral("epub/good.epub")) << "audio does not play";
    }
    void audioThatIsNotThereIsRefused()
    {
        QFETCH(QString, book);
        QFETCH(QString, log);
        LogCapture capture;
        EpubAudioBookPlayer player;
        QVERIFY(player.open(book));
        QVERIFY(!player.play());
        QVERIFY(!player.isPlaying());
        QVERIFY(capture.contains(log));
        QVERIFY(QDir(player.temporaryFolder()).entryList(QDir::Files).isEmpty());
    }

    void missingAudioIsPassedOverByTheWalk()
    {
        const QString book = m_work->filePath(QStringLiteral("missing.epub"));
        QVERIFY(rewriteBook(m_book, book, QStringLiteral("del files['Audio/chapter2.mp3']")));
        LogCapture capture;
        EpubAudioBookPlayer player;
        QVERIFY(player.open(book));
        QCOMPARE(player.walkHeading(1), int(AudioBookPlayerInterface::Done));
        QVERIFY(capture.contains(QStringLiteral("no audio data available")));
        QCOMPARE(playingAudio(player), chapterAudio(3));
    }

    void windsThroughTheFilesOfAChapter_data()
    {
        QTest::addColumn<bool>("playing");
        QTest::addColumn<int>("item"); // the file of chapter 1 where it is (0-based)
        QTest::addColumn<int>("fromEnd"); // ms before that file's end
        QTest::addColumn<int>("seconds"); // negative: rewind
        QTest::addColumn<int>("landItem");
        QTest::newRow("playing, on into the next file") << true << 0 << 1000 << 2 << 1;
        QTest::newRow("stopped, on into the next file") << false << 0 << 400 << 1 << 1;
        QTest::newRow("stopped, on over a whole file") << false << 0 << 400 << 3 << 2;
        QTest::newRow("stopped, back into the file before") << false << 1 << 1000 << -1 << 0;
    }
    void windsThroughTheFilesOfAChapter()
    {
        QFETCH(bool, playing);
        QFETCH(int, item);
        QFETCH(int, fromEnd);
        QFETCH(int, seconds);
        QFETCH(int, landItem);
        m_package.close();
        m_book = TestData::generated(QStringLiteral("epub/generated-split.epub"));
        QVERIFY(m_package.open(m_book));
        // The lengths of chapter 1's files, by the clip ends its overlay gives.
        const QString smil = QString::fromUtf8(m_package.itemData(QStringLiteral("OEBPS/Smil/chapter1.smil")));
        static const QRegularExpression clipEnd(QStringLiteral("clipEnd=\"([^\"]+)\""));
        QList<qint64> lengths;
        for (const QRegularExpressionMatch &m : clipEnd.globalMatch(smil))
            lengths << SmilClips::clockMsec(m.captured(1));
        QCOMPARE(lengths.size(), 3);
        ResumemarkData mark;
        mark.title = m_package.metadataValue(DCType::Title);
        mark.clipNodePos = item;
        mark.playerTime = lengths.at(item) - fromEnd;
        QVERIFY(Resumemark().write(mark));
        EpubAudioBookPlayer player;
        QVERIFY(player.open(m_book));
        if (playing)
            QVERIFY(player.play());
        // Where the wind lands, counted through the files in order from where the engine is.
        qint64 target = (playing ? player.mediaPlayer()->currentTime() : mark.playerTime) + seconds * 1000;
        for (int i = 0; i < item; ++i)
            target += lengths.at(i);
        for (int i = 0; i < landItem; ++i)
            target -= lengths.at(i);
        const qsizetype before = EngineLog::count();
        QCOMPARE(seconds > 0 ? player.fastForward(seconds) : player.rewind(seconds), int(AudioBookPlayerInterface::Done));
        QCOMPARE(playingAudio(player), m_package.itemData(QStringLiteral("Audio/chapter1-%1.mp3").arg(landItem + 1)));
        compareNear(qMax<qint64>(0, EngineLog::lastStart(before).at), target);
    }

    void overlaysAsTestSuitesWriteThem()
    {
        // A chapter for each way test suites write overlays (see the generator): no clip begin and no
        // clip end, a clip end past the audio, an overlay named .mo, text targets that do not resolve,
        // an overlay without audio, an SVG page of a fixed layout, vertical text.
        m_package.close();
        m_book = TestData::generated(QStringLiteral("epub/generated-variants.epub"));
        QVERIFY(m_package.open(m_book));
        storeMark(1, 0);
        LogCapture log;
        EpubAudioBookPlayer player;
        QSignalSpy finished(&player, &EpubAudioBookPlayer::finished);
        QVERIFY(player.open(m_book));
        QVERIFY(player.play());
        QVERIFY2(finished.wait(20000), qPrintable(log.text()));
        QStringList played;
        static const QRegularExpression start(QStringLiteral("^\\[EpubAudioBookPlayer\\] plays (\\S+) from (\\d+) ms"));
        for (const QString &line : log.lines()) {
            if (const QRegularExpressionMatch m = start.match(line); m.hasMatch())
                played << m.captured(1) + QLatin1Char('@') + m.captured(2);
        }
        // Each from its start, on at the end of its audio, the chapter without audio passed over.
        QCOMPARE(played.join(QLatin1Char(' ')), QStringLiteral("Audio/chapter2.mp3@0 Audio/chapter3.mp3@0 Audio/chapter4.mp3@0 "
                                                               "Audio/chapter5.mp3@0 Audio/chapter7.mp3@0 Audio/chapter8.mp3@0"));
        QVERIFY(log.contains(QStringLiteral("no audio in media overlay smil6")));
        QVERIFY(!player.isPlaying());
    }

    void realBookPlaysAndWalks()
    {
        m_package.close();
        m_book = TestData::sharedBook(QStringLiteral("epub3mo-w3c-mol-navigation/epub3mo-w3c-mol-navigation.epub"));
        QVERIFY(m_package.open(m_book));
        EpubAudioBookPlayer player;
        QVERIFY(player.open(m_book));
        QCOMPARE(player.totalTime(), 36); // its media:duration is 00:00:36.266
        QVERIFY(player.play());
        QCOMPARE(playingAudio(player), m_package.itemData(QStringLiteral("EPUB/audio/ch1.mp3")));
        QCOMPARE(player.fastForward(30), int(AudioBookPlayerInterface::Done));
        QCOMPARE(playingAudio(player), m_package.itemData(QStringLiteral("EPUB/audio/ch2.mp3")));
        player.stop();
        QCOMPARE(player.walkHeading(-1), int(AudioBookPlayerInterface::Done));
        QCOMPARE(playingAudio(player), m_package.itemData(QStringLiteral("EPUB/audio/ch1.mp3")));
    }
};

QTEST_GUILESS_MAIN(EpubAudioBookPlayerTest)
#include "epubaudiobookplayertest.moc"
