// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakeplayer.h"
#include "logcapture.h"
#include "playerfixture.h"
#include "testroot.h"

#include "audio/audiosettings.h"
#include "input/input.h"
#include "input/keys.h"
#include "platform/platform.h"
#include "players/audiobookplayer.h"
#include "players/audiobookplayerinfo.h"
#include "players/audiobookplayerinterface.h"
#include "speech/messages.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTest>

namespace {

/**
 * A book player that only records what the front end asks of it and answers
 * the moving operations with the codes a test sets.
 */
class StandInPlayer : public QObject, public AudioBookPlayerInterface
{
    Q_OBJECT

public:
    explicit StandInPlayer(const QString &name)
        : m_name(name)
    {
    }

    QStringList calls;
    QHash<QString, int> results; ///< by operation name; Done when absent
    bool playing = false;
    bool playable = true; ///< whether play() finds anything to play
    int currentLevel = 2;
    int track = 4;

    QString name() override { return m_name; }
    bool open(const QString &url) override { return record(QStringLiteral("open(%1)").arg(url)), true; }
    void close() override { record(QStringLiteral("close()")); }
    bool play() override
    {
        record(QStringLiteral("play()"));
        playing = playable;
        return playable;
    }
    void stop() override
    {
        record(QStringLiteral("stop()"));
        playing = false;
    }
    void pause() override { record(QStringLiteral("pause()")); }
    void unpause() override { record(QStringLiteral("unpause()")); }
    void mute(bool muted) override { record(QStringLiteral("mute(%1)").arg(muted)); }
    void changeTempo(double) override { record(QStringLiteral("changeTempo()")); }
    void changePitch(int semitones) override { record(QStringLiteral("changePitch(%1)").arg(semitones)); }
    int level() override { return currentLevel; }
    bool setLevel(int level) override
    {
        record(QStringLiteral("setLevel(%1)").arg(level));
        if (level < 1 || level > 6)
            return false;
        currentLevel = level;
        return true;
    }
    int walkHeading(int step) override { return answer(QStringLiteral("walkHeading"), QStringLiteral("walkHeading(%1)").arg(step)); }
    int walkPage(int step, bool play) override
    {
        return answer(QStringLiteral("walkPage"), QStringLiteral("walkPage(%1,%2)").arg(step).arg(play ? QStringLiteral("true") : QStringLiteral("false")));
    }
    int trackNumber() override { return track; }
    int changeTrackNumber(int step) override
    {
        record(QStringLiteral("changeTrackNumber(%1)").arg(step));
        track += step;
        return track;
    }
    int totalTracks() override { return 9; }
    int fastForward(int seconds) override { return answer(QStringLiteral("fastForward"), QStringLiteral("fastForward(%1)").arg(seconds)); }
    int rewind(int seconds) override { return answer(QStringLiteral("rewind"), QStringLiteral("rewind(%1)").arg(seconds)); }
    bool isPlaying() override { return playing; }
    void setResume(bool resume) override { record(QStringLiteral("setResume(%1)").arg(resume)); }
    void resetResumeMark() override { record(QStringLiteral("resetResumeMark()")); }
    int totalTime() override { return 3 * 3600 + 25 * 60; }
    int elapsedTime() override { return 3600 + 60 + 7; }
    VlcMediaPlayer *mediaPlayer() override { return nullptr; }

Q_SIGNALS:
    void finished();

private:
    void record(const QString &call) { calls << call; }
    int answer(const QString &operation, const QString &call)
    {
        record(call);
        const int result = results.value(operation, Done);
        // A move that ends the book leaves the player stopped.
        if (result == EndOfBook || result == BeginOfBook)
            playing = false;
        else if (result == Done && !call.endsWith(QLatin1String("false)")))
            playing = true;
        return result;
    }

    QString m_name;
};

using PlayerFixture::spoken;

} // namespace

class AudioBookPlayerTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<FakePlayer> m_sounds;
    std::unique_ptr<AudioSettings> m_audioSettings;
    std::unique_ptr<Input> m_input;
    std::unique_ptr<AudioBookPlayer> m_frontEnd;
    StandInPlayer *m_player = nullptr; ///< owned by the front end
    QString m_playerName;

    /** A front end on a stand-in player for an opened book; playing when @p playing. */
    void start(const QString &playerName, bool playing, int navigationMode = 1)
    {
        QSettings().setValue(QStringLiteral("navigationMode"), navigationMode);
        m_playerName = playerName;
        m_player = nullptr;
        AudioBookPlayer::setPlayerFactory([this](int) {
            m_player = new StandInPlayer(m_playerName);
            return m_player;
        });
        m_frontEnd = std::make_unique<AudioBookPlayer>(m_audioSettings.get(), m_input.get());
        AudioBook book;
        book.setMimeType(playerName == QLatin1String("Daisy Player") ? AudioBook::Daisy : AudioBook::Epub);
        book.setUrl(QStringLiteral("/media/usb/book/ncc.html"));
        QVERIFY(m_frontEnd->open(book));
        QVERIFY(m_player);
        m_frontEnd->runIdle();
        if (playing)
            m_player->play();
        m_player->calls.clear();
    }

    void tap(int key)
    {
        Q_EMIT m_input->pressed(key);
        Q_EMIT m_input->released(key);
    }

    static void addKeyColumns()
    {
        QTest::addColumn<QString>("player");
        QTest::addColumn<int>("key");
    }

private Q_SLOTS:
    void init()
    {
        m_root = std::make_unique<TestRoot>();
        Platform::setBackend(Platform::Backend::Simulated);
        m_sounds = std::make_unique<FakePlayer>();
        m_audioSettings = std::make_unique<AudioSettings>();
        m_input = std::make_unique<Input>();
    }

    void cleanup()
    {
        m_frontEnd.reset();
        m_input.reset();
        m_audioSettings.reset();
        m_sounds.reset();
        m_root.reset();
        AudioBookPlayer::setPlayerFactory(nullptr);
        Platform::setBackend(Platform::Backend::Linux);
        Platform::setTimeScale(1.0);
    }

    void shortWindWhilePlayingAnswersByResult_data()
    {
        addKeyColumns();
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("call");
        QTest::addColumn<QStringList>("answer");
        const QString daisy = QStringLiteral("Daisy Player");
        const QString digital = QStringLiteral("Digital Player");
        const QString cd = QStringLiteral("Cdda Player");
        QTest::newRow("daisy jump done") << daisy << BUTTON_FAST_FORWARD << 0 << "fastForward(10)" << QStringList();
        QTest::newRow("daisy end of book") << daisy << BUTTON_FAST_FORWARD << 4 << "fastForward(10)" << QStringList{Message::end_of_book};
        // A folder of MP3 files and an EPUB are books; only a disc is a CD.
        QTest::newRow("mp3 folder end of book") << digital << BUTTON_FAST_FORWARD << 4 << "fastForward(10)" << QStringList{Message::end_of_book};
        QTest::newRow("epub end of book") << QStringLiteral("Epub Player") << BUTTON_FAST_FORWARD << 4 << "fastForward(10)"
                                          << QStringList{Message::end_of_book};
        QTest::newRow("cd end of cd") << cd << BUTTON_FAST_FORWARD << 4 << "fastForward(10)" << QStringList{Message::end_of_cd};
        QTest::newRow("daisy start of book") << daisy << BUTTON_REWIND << 3 << "rewind(-10)" << QStringList{Message::start_of_book};
        QTest::newRow("mp3 folder start of book") << digital << BUTTON_REWIND << 3 << "rewind(-10)" << QStringList{Message::start_of_book};
        QTest::newRow("cd begin of cd") << cd << BUTTON_REWIND << 3 << "rewind(-10)" << QStringList{Message::begin_of_cd};
        QTest::newRow("engine failure is silent") << daisy << BUTTON_REWIND << 7 << "rewind(-10)" << QStringList();
    }
    void shortWindWhilePlayingAnswersByResult()
    {
        QFETCH(QString, player);
        QFETCH(int, key);
        QFETCH(int, result);
        QFETCH(QString, call);
        start(player, true);
        m_player->results.insert(key == BUTTON_FAST_FORWARD ? QStringLiteral("fastForward") : QStringLiteral("rewind"), result);
        LogCapture log;
        tap(key);
        QCOMPARE(m_player->calls, QStringList{call});
        QTEST(spoken(log), "answer");
    }

    void heldWindKeyAccelerates_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("operation");
        QTest::addColumn<int>("sign");
        QTest::newRow("fast forward") << BUTTON_FAST_FORWARD << "fastForward" << 1;
        QTest::newRow("rewind") << BUTTON_REWIND << "rewind" << -1;
    }
    void heldWindKeyAccelerates()
    {
        QFETCH(int, key);
        QFETCH(QString, operation);
        QFETCH(int, sign);
        start(QStringLiteral("Daisy Player"), true);
        LogCapture log;
        Q_EMIT m_input->pressed(key);
        Q_EMIT m_input->holded(key);
        QStringList announcements;
        for (int repeat = 0; repeat < 16; ++repeat) {
            const qsizetype before = spoken(log).size();
            Q_EMIT m_input->repeated(key);
            announcements << spoken(log).mid(before).join(QLatin1Char(' '));
        }
        // One minute in twelve 5-s steps, then jumps of one, three and five minutes.
        QStringList expected;
        for (int step = 0; step < 12; ++step)
            expected << QStringLiteral("%1(%2)").arg(operation).arg(sign * 5);
        for (int seconds : {60, 180, 300, 300, 300})
            expected << QStringLiteral("%1(%2)").arg(operation).arg(sign * seconds);
        QCOMPARE(m_player->calls, expected);
        // The minutes really wound are announced from the first minute jump on:
        // twelve 5-s steps and 1 minute, then 3 more, then 5 more each time.
        QCOMPARE(announcements.mid(11),
                 (QStringList{QStringLiteral("2 ") + Message::minutes, QStringLiteral("5 ") + Message::minutes,
                              QStringLiteral("10 ") + Message::minutes, QStringLiteral("15 ") + Message::minutes,
                              QStringLiteral("20 ") + Message::minutes}));
        QVERIFY(announcements.mid(0, 11).join(QString()).isEmpty());
        // Releasing the held key does not jump again.
        m_player->calls.clear();
        Q_EMIT m_input->released(key);
        QCOMPARE(m_player->calls, QStringList());
    }

    void holdReachingAnEndAnswersOnce_data()
    {
        addKeyColumns();
        QTest::addColumn<bool>("playing");
        QTest::addColumn<QString>("answer");
        QTest::newRow("daisy, playing") << "Daisy Player" << BUTTON_FAST_FORWARD << true << Message::end_of_book;
        QTest::newRow("daisy, stopped") << "Daisy Player" << BUTTON_FAST_FORWARD << false << Message::end_of_book;
        QTest::newRow("epub") << "Epub Player" << BUTTON_FAST_FORWARD << true << Message::end_of_book;
        QTest::newRow("mp3 folder") << "Digital Player" << BUTTON_FAST_FORWARD << true << Message::end_of_book;
        QTest::newRow("cd") << "Cdda Player" << BUTTON_FAST_FORWARD << true << Message::end_of_cd;
        QTest::newRow("mp3 folder, back") << "Digital Player" << BUTTON_REWIND << true << Message::start_of_book;
    }
    void holdReachingAnEndAnswersOnce()
    {
        QFETCH(QString, player);
        QFETCH(int, key);
        QFETCH(bool, playing);
        QFETCH(QString, answer);
        start(player, playing);
        const QString operation = key == BUTTON_FAST_FORWARD ? QStringLiteral("fastForward") : QStringLiteral("rewind");
        LogCapture log;
        Q_EMIT m_input->pressed(key);
        Q_EMIT m_input->holded(key);
        Q_EMIT m_input->repeated(key);
        m_player->results.insert(operation, key == BUTTON_FAST_FORWARD ? 4 : 3);
        Q_EMIT m_input->repeated(key);
        QCOMPARE(spoken(log), QStringList{answer});
        const QStringList calls = m_player->calls;
        // Letting go adds no jump and no second answer.
        Q_EMIT m_input->released(key);
        QCOMPARE(m_player->calls, calls);
        QCOMPARE(spoken(log), QStringList{answer});
        QCOMPARE(calls.size(), 3);
    }

    void windKeysWhileStoppedFollowTheNavigationMode_data()
    {
        addKeyColumns();
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("hold");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QStringList>("answer");
        const QString daisy = QStringLiteral("Daisy Player");
        const QString epub = QStringLiteral("Epub Player");
        const QString digital = QStringLiteral("Digital Player");
        QTest::newRow("time") << daisy << BUTTON_REWIND << 1 << false << QStringList{"rewind(-10)"} << QStringList();
        QTest::newRow("daisy headings") << daisy << BUTTON_FAST_FORWARD << 2 << false << QStringList{"walkHeading(1)"} << QStringList();
        QTest::newRow("daisy heading back") << daisy << BUTTON_REWIND << 2 << false << QStringList{"walkHeading(-1)"} << QStringList();
        QTest::newRow("digital tracks") << digital << BUTTON_FAST_FORWARD << 2 << false << QStringList{"changeTrackNumber(1)"}
                                        << QStringList{"5"};
        QTest::newRow("daisy pages") << daisy << BUTTON_FAST_FORWARD << 3 << false << QStringList{"walkPage(1,true)"} << QStringList();
        QTest::newRow("epub pages walk headings") << epub << BUTTON_REWIND << 3 << false << QStringList{"walkHeading(-1)"} << QStringList();
        QTest::newRow("daisy level up held") << daisy << BUTTON_FAST_FORWARD << 2 << true << QStringList{"setLevel(3)"}
                                             << QStringList{Message::level, "3"};
        QTest::newRow("daisy pages held, played on release")
            << daisy << BUTTON_REWIND << 3 << true << QStringList{"walkPage(-1,false)", "walkPage(0,true)"} << QStringList();
    }
    void windKeysWhileStoppedFollowTheNavigationMode()
    {
        QFETCH(QString, player);
        QFETCH(int, key);
        QFETCH(int, mode);
        QFETCH(bool, hold);
        QFETCH(QStringList, calls);
        start(player, false, mode);
        LogCapture log;
        Q_EMIT m_input->pressed(key);
        if (hold)
            Q_EMIT m_input->holded(key);
        Q_EMIT m_input->released(key);
        QCOMPARE(m_player->calls, calls);
        QTEST(spoken(log), "answer");
    }

    void walkPastTheEndsIsAnswered_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("playsAfterwards");
        QTest::newRow("end of book") << BUTTON_FAST_FORWARD << 4 << Message::end_of_book << false;
        QTest::newRow("start of book") << BUTTON_REWIND << 3 << Message::start_of_book << true;
    }
    void walkPastTheEndsIsAnswered()
    {
        QFETCH(int, key);
        QFETCH(int, result);
        QFETCH(QString, answer);
        QFETCH(bool, playsAfterwards);
        start(QStringLiteral("Daisy Player"), false, 2);
        m_player->results.insert(QStringLiteral("walkHeading"), result);
        LogCapture log;
        tap(key);
        QCOMPARE(spoken(log), QStringList{answer});
        // The answer has ended once the messages' player has run.
        QTRY_VERIFY(m_sounds->lines().join(QLatin1Char('\n')).contains(QStringLiteral("end: ")));
        QTRY_COMPARE(m_player->calls.contains(QStringLiteral("play()")), playsAfterwards);
        QCOMPARE(m_player->playing, playsAfterwards);
    }

    void sleepKeyStepsTheTimer()
    {
        start(QStringLiteral("Daisy Player"), false);
        QStringList answers;
        for (int press = 0; press < 5; ++press) {
            LogCapture log;
            tap(BUTTON_SLEEP_MENU);
            answers << spoken(log).join(QLatin1Char(' '));
        }
        const QString timer = Message::sleep_timer + QLatin1Char(' ');
        QCOMPARE(answers, (QStringList{timer + "15 " + Message::minutes, timer + "30 " + Message::minutes, timer + "45 " + Message::minutes,
                                       timer + "60 " + Message::minutes, timer + Message::off}));
    }

    void playStopTogglesAndQuitSavesThePosition()
    {
        start(QStringLiteral("Daisy Player"), false);
        tap(BUTTON_PLAY_STOP);
        QVERIFY(m_player->playing);
        tap(BUTTON_PLAY_STOP);
        QVERIFY(!m_player->playing);
        tap(BUTTON_PLAY_STOP);
        QSignalSpy quit(m_frontEnd.get(), &AudioBookPlayer::quit);
        m_frontEnd->aboutToQuit();
        QCOMPARE(quit.count(), 1);
        QCOMPARE(m_player->calls, (QStringList{"play()", "stop()", "play()", "stop()"}));
        // No key reaches the player after it has quit.
        tap(BUTTON_PLAY_STOP);
        QCOMPARE(m_player->calls.size(), 4);
    }

    void everyWayOutStoresThePosition_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<bool>("playing");
        QTest::addColumn<QString>("signal");
        QTest::newRow("power button held") << "power" << true << "shutdown";
        QTest::newRow("sleep timer") << "sleep" << true << "shutdown";
        QTest::newRow("medium pulled or shutdown") << "quit" << true << "quit";
    }
    void everyWayOutStoresThePosition()
    {
        QFETCH(QString, way);
        QFETCH(bool, playing);
        QFETCH(QString, signal);
        // Thirty minutes in under a second.
        Platform::setTimeScale(0.0005);
        start(QStringLiteral("Daisy Player"), playing);
        QSignalSpy shutdown(m_frontEnd.get(), &AudioBookPlayer::shutdown);
        QSignalSpy quit(m_frontEnd.get(), &AudioBookPlayer::quit);
        if (way == QLatin1String("power")) {
            Q_EMIT m_input->pressed(BUTTON_POWER);
            Q_EMIT m_input->holded(BUTTON_POWER);
        } else if (way == QLatin1String("sleep")) {
            tap(BUTTON_SLEEP_MENU);
        } else if (way == QLatin1String("quit")) {
            m_frontEnd->aboutToQuit();
        }
        QSignalSpy &ended = signal == QLatin1String("quit") ? quit : shutdown;
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 10000);
        QVERIFY(!m_player->playing);
        // A player that was reading has been stopped, which stores its place.
        QCOMPARE(m_player->calls.contains(QStringLiteral("stop()")), playing);
    }

    void holdingPlayRestartsTheBook()
    {
        start(QStringLiteral("Daisy Player"), true);
        LogCapture log;
        Q_EMIT m_input->pressed(BUTTON_PLAY_STOP);
        Q_EMIT m_input->holded(BUTTON_PLAY_STOP);
        QCOMPARE(spoken(log), QStringList{Message::start_of_book});
        QCOMPARE(m_player->calls, (QStringList{"stop()", "mute(1)", "resetResumeMark()", "setResume(0)", "play()", "setResume(1)", "pause()"}));
        m_player->calls.clear();
        // When the answer has been spoken the book plays, audibly.
        QTRY_COMPARE(m_player->calls, (QStringList{"unpause()", "mute(0)"}));
    }

    void endOfBookIsSpoken()
    {
        start(QStringLiteral("Daisy Player"), true);
        LogCapture log;
        m_player->playing = false;
        Q_EMIT m_player->finished();
        QCOMPARE(spoken(log), QStringList{Message::end_of_book});
    }

    void positionAnnouncement()
    {
        start(QStringLiteral("Daisy Player"), true);
        LogCapture log;
        Q_EMIT m_input->pressed(BUTTON_SLEEP_MENU);
        Q_EMIT m_input->holded(BUTTON_SLEEP_MENU);
        QCOMPARE(m_player->calls, QStringList{"stop()"});
        // The stand-in is 1:01:07 into a book of 3:25 (seconds left out of the total).
        QCOMPARE(spoken(log), (QStringList{Message::info, Message::current_position, "1", Message::hour, "1", Message::minute, "7", Message::seconds,
                                           Message::total_time, "3", Message::hours, "25", Message::minutes}));
        // Play/stop ends the announcement and goes on reading.
        Q_EMIT m_input->released(BUTTON_SLEEP_MENU);
        tap(BUTTON_PLAY_STOP);
        QCOMPARE(m_player->calls.last(), QStringLiteral("play()"));
    }

    void timeToWords_data()
    {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QStringList>("words");
        QTest::newRow("unknown") << -1 << "hhmmss" << QStringList{Message::undefined};
        QTest::newRow("one of each") << 3661 << "hhmmss" << QStringList{"1", Message::hour, "1", Message::minute, "1", Message::second};
        QTest::newRow("seconds left out") << 7322 << "hhmm" << QStringList{"2", Message::hours, "2", Message::minutes};
        QTest::newRow("no hours") << 125 << "hhmmss" << QStringList{"2", Message::minutes, "5", Message::seconds};
        QTest::newRow("whole hour") << 3600 << "hhmmss" << QStringList{"1", Message::hour, "0", Message::minutes};
    }
    void timeToWords()
    {
        QFETCH(int, seconds);
        QFETCH(QString, format);
        QTEST(AudioBookPlayerInfo::timeToMessages(seconds, format), "words");
    }

    void booksWithoutAPlayerAreRefused()
    {
        AudioBookPlayer frontEnd(m_audioSettings.get(), m_input.get());
        AudioBook book;
        LogCapture log;
        QVERIFY(!frontEnd.open(book));
        // The reader hears it, not only the log.
        QVERIFY(log.contains(QStringLiteral("[Messages::play]: ")) && log.contains(Message::failed));
        QSignalSpy quit(&frontEnd, &AudioBookPlayer::quit);
        frontEnd.run();
        QCOMPARE(quit.count(), 1);
    }

    void aBookWithNothingToPlaySaysSo()
    {
        start(QStringLiteral("Daisy Player"), false);
        m_player->playable = false;
        LogCapture log;
        tap(BUTTON_PLAY_STOP);
        QCOMPARE(spoken(log), QStringList{Message::failed});
        QVERIFY(!m_player->playing);
    }
};

QTEST_GUILESS_MAIN(AudioBookPlayerTest)
#include "audiobookplayertest.moc"
