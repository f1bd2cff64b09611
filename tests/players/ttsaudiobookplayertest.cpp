// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "enginelog.h"
#include "logcapture.h"
#include "playerfixture.h"
#include "testroot.h"

#include "audio/vlcmediaplayer.h"
#include "formats/epubparser.h"
#include "formats/textbook.h"
#include "library/resumemark.h"
#include "players/ttsaudiobookplayer.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

class TtsAudioBookPlayerTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<QTemporaryDir> m_books;

    static QString sentence(TtsAudioBookPlayer &player) { return player.book()->sentences().at(player.currentSentence()).text; }

    /** The sentence that started last, by its text; empty when none did. */
    static QString started(const QSignalSpy &spy, TtsAudioBookPlayer &player)
    {
        return spy.isEmpty() ? QString() : player.book()->sentences().at(spy.constLast().at(0).toInt()).text;
    }

private Q_SLOTS:
    void init() { PlayerFixture::startSimulated(m_root, m_books); }
    void cleanup() { PlayerFixture::endSimulated(m_root, m_books); }

    void readsEachKind_data();
    void readsEachKind();
    void jumpsBySentenceAndParagraph_data();
    void jumpsBySentenceAndParagraph();
    void endOfBook();
    void mixedBookPlaysItsRecordings_data();
    void mixedBookPlaysItsRecordings();
    void unreadableBookIsRefused();
};

void TtsAudioBookPlayerTest::readsEachKind_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("EPUB 3 without overlays") << TestData::generated(QStringLiteral("text/book.epub"));
    QTest::newRow("DAISY 2.02 text only") << TestData::generated(QStringLiteral("text/daisy202/ncc.html"));
    QTest::newRow("DAISY 3 text only") << TestData::generated(QStringLiteral("text/daisy3/book.opf"));
}

void TtsAudioBookPlayerTest::readsEachKind()
{
    QFETCH(QString, path);
    LogCapture log;
    {
        TtsAudioBookPlayer player;
        QSignalSpy spy(&player, &TtsAudioBookPlayer::sentenceStarted);
        QVERIFY(player.open(path));
        QVERIFY(player.play());
        QCOMPARE(started(spy, player), QStringLiteral("Chapter one"));
        // The sentence playing was spoken into a WAV file in the player's own folder.
        QFile wav(player.temporaryFolder() + QStringLiteral("sentence-0.wav"));
        QVERIFY(wav.open(QIODevice::ReadOnly));
        QVERIFY(wav.size() > 10000);
        QCOMPARE(wav.read(4), QByteArray("RIFF"));

        // Headings by level: the section below the first chapter only at level 2.
        player.stop();
        QVERIFY(!player.setLevel(3));
        QCOMPARE(player.walkHeading(1), int(AudioBookPlayerInterface::Done));
        QCOMPARE(started(spy, player), QStringLiteral("Chapter two"));
        player.stop();
        QCOMPARE(player.walkHeading(-1), int(AudioBookPlayerInterface::Done));
        QCOMPARE(started(spy, player), QStringLiteral("Chapter one"));
        player.stop();
        QVERIFY(player.setLevel(2));
        QCOMPARE(player.walkHeading(1), int(AudioBookPlayerInterface::Done));
        QCOMPARE(started(spy, player), QStringLiteral("A section"));
        player.stop();

        // Pages: stepping without play only moves; play starts at the page reached.
        QCOMPARE(player.walkPage(1, false), int(AudioBookPlayerInterface::Done));
        QVERIFY(!player.isPlaying());
        QCOMPARE(sentence(player), QStringLiteral("Chapter two"));
        QCOMPARE(player.walkPage(1, false), int(AudioBookPlayerInterface::EndOfBook));
        QCOMPARE(player.walkPage(-1, true), int(AudioBookPlayerInterface::Done));
        QCOMPARE(started(spy, player), QStringLiteral("A section"));
        QCOMPARE(player.fastForward(5), int(AudioBookPlayerInterface::Done));
        QCOMPARE(started(spy, player), QStringLiteral("Guten Tag, meine Damen und Herren."));
        player.stop();
    }
    // The German passage was spoken by a German voice.
    QVERIFY2(log.contains(QStringLiteral("[TtsSynthesizer] voice de")), qPrintable(log.text()));

    // A power cycle: a new player on the same device root goes on at the sentence it stopped at.
    const std::unique_ptr<TextBook> book = TextBook::open(path);
    ResumemarkData mark;
    mark.title = book->title();
    mark.smilListPos = -1;
    QVERIFY(Resumemark().read(mark));
    QCOMPARE(book->sentences().at(book->sentenceAt(mark.smilListPos, mark.clipNodePos)).text, QStringLiteral("Guten Tag, meine Damen und Herren."));
    TtsAudioBookPlayer player;
    QSignalSpy spy(&player, &TtsAudioBookPlayer::sentenceStarted);
    QVERIFY(player.open(path));
    QVERIFY(player.play());
    QCOMPARE(started(spy, player), QStringLiteral("Guten Tag, meine Damen und Herren."));
    player.stop();
    player.close();
    QVERIFY(QDir(player.temporaryFolder()).entryList(QDir::Files).isEmpty());
}

void TtsAudioBookPlayerTest::jumpsBySentenceAndParagraph_data()
{
    QTest::addColumn<int>("fromHeading"); // walked to at level 2 before the jump: 0 stays at the start
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("lands");
    QTest::addColumn<int>("result");
    const int done = AudioBookPlayerInterface::Done;
    QTest::newRow("10 s on: the next sentence") << 0 << 10 << QStringLiteral("The first chapter starts here.") << done;
    QTest::newRow("10 s back: the sentence before") << 1 << -10 << QStringLiteral("It ends the section.") << done;
    // About 150 characters on from the start of the book: the paragraph holding
    // the German greeting, two paragraphs and a heading further on.
    QTest::newRow("11 s on: whole paragraphs") << 0 << 11 << QStringLiteral("Guten Tag, meine Damen und Herren.") << done;
    QTest::newRow("11 s back: whole paragraphs") << 2 << -11 << QStringLiteral("The first chapter starts here.") << done;
    QTest::newRow("a minute back: the start") << 1 << -60 << QString() << int(AudioBookPlayerInterface::BeginOfBook);
    QTest::newRow("a minute on: the end") << 0 << 60 << QString() << int(AudioBookPlayerInterface::EndOfBook);
}

void TtsAudioBookPlayerTest::jumpsBySentenceAndParagraph()
{
    QFETCH(int, fromHeading);
    QFETCH(int, seconds);
    QFETCH(QString, lands);
    QFETCH(int, result);
    TtsAudioBookPlayer player;
    QSignalSpy spy(&player, &TtsAudioBookPlayer::sentenceStarted);
    QVERIFY(player.open(TestData::generated(QStringLiteral("text/book.epub"))));
    QVERIFY(player.setLevel(2));
    for (int i = 0; i < fromHeading; ++i) {
        player.stop();
        QCOMPARE(player.walkHeading(1), int(AudioBookPlayerInterface::Done));
    }
    if (fromHeading == 0)
        QVERIFY(player.play());
    QVERIFY(player.isPlaying());
    spy.clear();
    QCOMPARE(seconds > 0 ? player.fastForward(seconds) : player.rewind(seconds), result);
    QCOMPARE(started(spy, player), lands);
    QCOMPARE(player.isPlaying(), !lands.isEmpty());
    player.stop();
}

void TtsAudioBookPlayerTest::endOfBook()
{
    TtsAudioBookPlayer player;
    QSignalSpy finished(&player, &TtsAudioBookPlayer::finished);
    QVERIFY(player.open(TestData::generated(QStringLiteral("text/book.epub"))));
    QCOMPARE(player.walkHeading(1), int(AudioBookPlayerInterface::Done));
    QVERIFY(finished.wait(20000));
    QVERIFY(!player.isPlaying());
    QCOMPARE(sentence(player), QStringLiteral("The second chapter is short."));
    // Play after the end starts the book again.
    QSignalSpy spy(&player, &TtsAudioBookPlayer::sentenceStarted);
    QVERIFY(player.play());
    QCOMPARE(started(spy, player), QStringLiteral("Chapter one"));
    player.stop();
}

void TtsAudioBookPlayerTest::mixedBookPlaysItsRecordings_data()
{
    // A chapter read aloud, a recorded one, then one read aloud again.
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("recording"); // where the narration's bytes are
    const QString epub = TestData::generated(QStringLiteral("text/mixed.epub"));
    QTest::newRow("EPUB 3, one document with an overlay") << epub << epub + QStringLiteral("#OEBPS/audio/ch2.mp3");
    QTest::newRow("DAISY 2.02 textPartAudio") << TestData::generated(QStringLiteral("text/mixed202/ncc.html"))
                                              << TestData::generated(QStringLiteral("text/mixed202/ch2.mp3"));
    QTest::newRow("DAISY 3 textPartAudio") << TestData::generated(QStringLiteral("text/mixed3/book.opf"))
                                           << TestData::generated(QStringLiteral("text/mixed3/ch2.mp3"));
}

void TtsAudioBookPlayerTest::mixedBookPlaysItsRecordings()
{
    QFETCH(QString, path);
    QFETCH(QString, recording);
    QByteArray narration;
    if (recording.contains(QLatin1Char('#'))) {
        EpubParser archive;
        QVERIFY(archive.open(path));
        narration = archive.itemData(recording.section(QLatin1Char('#'), 1));
    } else {
        QFile file(recording);
        QVERIFY(file.open(QIODevice::ReadOnly));
        narration = file.readAll();
    }
    QVERIFY(narration.size() > 1000);
    QVERIFY(TextBook::isTextOnly(path));
    {
        TtsAudioBookPlayer player;
        QSignalSpy spy(&player, &TtsAudioBookPlayer::sentenceStarted);
        QVERIFY(player.open(path));
        QVERIFY(player.play());
        QCOMPARE(started(spy, player), QStringLiteral("Read aloud"));
        // Headings lead into the recorded chapter, which plays its narration, and out of it.
        for (const auto &[step, heading, recorded] : {std::make_tuple(1, "Narrated", true), std::make_tuple(1, "Read again", false),
                                                      std::make_tuple(-1, "Narrated", true), std::make_tuple(1, "Read again", false)}) {
            player.stop();
            const qsizetype from = EngineLog::count();
            QCOMPARE(player.walkHeading(step), int(AudioBookPlayerInterface::Done));
            QCOMPARE(started(spy, player), QLatin1String(heading));
            QFile played(EngineLog::lastStart(from).file);
            QVERIFY(played.open(QIODevice::ReadOnly));
            QCOMPARE(played.readAll() == narration, recorded);
        }
        QCOMPARE(player.fastForward(5), int(AudioBookPlayerInterface::Done));
        QCOMPARE(started(spy, player), QStringLiteral("The last chapter is read aloud."));
        player.stop();
    }
    // After a power cycle the book goes on at that sentence of the text-only part.
    TtsAudioBookPlayer player;
    QSignalSpy spy(&player, &TtsAudioBookPlayer::sentenceStarted);
    QVERIFY(player.open(path));
    QVERIFY(player.play());
    QCOMPARE(started(spy, player), QStringLiteral("The last chapter is read aloud."));
    player.stop();
    // The recording was not a sentence of the book's own folder to be tidied away.
    QVERIFY(recording.contains(QLatin1Char('#')) || QFile::exists(recording));
}

void TtsAudioBookPlayerTest::unreadableBookIsRefused()
{
    const QString path = m_books->filePath(QStringLiteral("cut.epub"));
    QFile source(TestData::generated(QStringLiteral("text/book.epub")));
    QVERIFY(source.open(QIODevice::ReadOnly));
    QFile cut(path);
    QVERIFY(cut.open(QIODevice::WriteOnly));
    cut.write(source.read(source.size() / 2));
    cut.close();
    LogCapture log;
    TtsAudioBookPlayer player;
    QVERIFY(!player.open(path));
    QVERIFY(!player.play());
    QVERIFY2(log.contains(QStringLiteral("Tts Player: cannot read")), qPrintable(log.text()));
}

QTEST_GUILESS_MAIN(TtsAudioBookPlayerTest)
#include "ttsaudiobookplayertest.moc"
