// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "enginelog.h"
#include "logcapture.h"
#include "playerfixture.h"
#include "testroot.h"

#include "formats/epubparser.h"
#include "library/resumemark.h"
#include "platform/platform.h"
#include "platform/sim/simboard.h"
#include "players/epubaudiobookplayer.h"
#include "players/epubsmilaudioplaylist.h"

#include <QDir>
#include <QFile>
#include <QProcess>
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
                return EpubSmilAudioPlaylist::parseSmilClockValue(item.value);
        }
        return -1;
    }

    void storeMark(int smil, qint64 time)
    {
        ResumemarkData data;
        data.title = m_package.metadataValue(DCType::Title);
        data.identifier = m_package.metadataValue(DCType::Identifier);
        data.smilListPos = smil;
        data.playerTime = time;
        QVERIFY(Resumemark().write(data));
    }

    ResumemarkData storedMark()
    {
        ResumemarkData key;
        key.title = m_package.metadataValue(DCType::Title);
        key.identifier = m_package.metadataValue(DCType::Identifier);
        key.smilListPos = -1;
        return PlayerFixture::storedMark(key);
    }

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

    void playlistHasAnEntryPerChangeOfFile_data()
    {
        QTest::addColumn<QStringList>("sources");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("one file") << QStringList{"a.mp3", "a.mp3", "a.mp3"} << QStringList{"Book #1/a.mp3"};
        QTest::newRow("A B A") << QStringList{"a.mp3", "b.mp3", "a.mp3"}
                               << QStringList{"Book #1/a.mp3", "Book #1/b.mp3", "Book #1/a.mp3"};
        QTest::newRow("empty src left out") << QStringList{"a.mp3", "", "a.mp3", "../c%20d.mp3"}
                                            << QStringList{"Book #1/a.mp3", "c d.mp3"};
    }
    void playlistHasAnEntryPerChangeOfFile()
    {
        QFETCH(QStringList, sources);
        QByteArray smil = "<smil xmlns='http://www.w3.org/ns/SMIL'><body>";
        for (const QString &src : sources)
            smil += "<par><text src='t.xhtml#x'/><AUDIO src='" + src.toUtf8() + "' clipBegin='0s' clipEnd='1s'/></par>";
        smil += "</body></smil>";
        EpubSmilAudioPlaylist playlist;
        QVERIFY(playlist.load(smil, QStringLiteral("Book #1/chapter.smil")));
        QStringList loaded;
        for (int i = 0; i < playlist.count(); ++i)
            loaded << playlist.itemAt(i).src;
        QTEST(loaded, "entries");
        QCOMPARE(playlist.currentIndex(), playlist.count() - 1);
        QVERIFY(playlist.nextItem(1).isEmpty());
        QCOMPARE(playlist.currentIndex(), playlist.count() - 1);
        QCOMPARE(playlist.previousIndex(playlist.count()), -1);
        QCOMPARE(playlist.previousIndex(playlist.count() - 1), 0);
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

    void bookWithoutOverlaysIsRefused()
    {
        const QString book = m_work->filePath(QStringLiteral("no overlays.epub"));
        QVERIFY(rewriteBook(m_book, book, QStringLiteral("import re\nopf = re.sub(r' media-overlay=\"[^\"]*\"', '', opf)")));
        LogCapture log;
        EpubAudioBookPlayer player;
        QVERIFY(!player.open(book));
        QVERIFY(log.contains(QStringLiteral("epub doesn't have any media overlay documents")));
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
        QCOMPARE(player.walkHeading(1), int(AudioBookPlayerInterface::EndOfBook));
        QCOMPARE(player.fastForward(5), int(AudioBookPlayerInterface::EndOfBook));
        // At the end, play starts the book over.
        const qsizetype before = EngineLog::count();
        QVERIFY(player.play());
        QCOMPARE(playingAudio(player), chapterAudio(1));
        QCOMPARE(qMax<qint64>(0, EngineLog::lastStart(before).at), qint64(0));
        player.stop();
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
            QCOMPARE(player.fastForward(1), int(AudioBookPlayerInterface::Done));
            player.stop();
            stoppedAt = storedMark().playerTime;
            compareNear(stoppedAt, 1000);
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

    void missingAudioEntryIsRefusedByTheWalk()
    {
        const QString book = m_work->filePath(QStringLiteral("missing.epub"));
        QVERIFY(rewriteBook(m_book, book, QStringLiteral("del files['Audio/chapter2.mp3']")));
        LogCapture capture;
        EpubAudioBookPlayer player;
        QVERIFY(player.open(book));
        QCOMPARE(player.walkHeading(1), int(AudioBookPlayerInterface::EngineFailure));
        QVERIFY(capture.contains(QStringLiteral("no audio data available")));
        QCOMPARE(player.walkHeading(1), int(AudioBookPlayerInterface::Done));
        QCOMPARE(playingAudio(player), chapterAudio(3));
    }

    void realBookPlaysAndWalks()
    {
        m_package.close();
        m_book = TestData::sharedBook(QStringLiteral("epub3mo-w3c-mol-navigation/epub3mo-w3c-mol-navigation.epub"));
        QVERIFY(m_package.open(m_book));
        EpubAudioBookPlayer player;
        QVERIFY(player.open(m_book));
        QCOMPARE(player.totalTime(), int(EpubSmilAudioPlaylist::parseSmilClockValue(QStringLiteral("00:00:36.266")) / 1000));
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
