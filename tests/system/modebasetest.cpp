// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/mainmode.h"
#include "audio/audiosettings.h"
#include "input/input.h"
#include "input/keys.h"
#include "library/bookshelf.h"
#include "players/audiobookplayer.h"
#include "speech/messages.h"
#include "system/idlemode.h"
#include "system/keydescriber.h"
#include "system/modebase.h"
#include "system/systemmanual.h"
#include "system/systemsettings.h"
#include "system/timerclass.h"

#include "logcapture.h"
#include "simsession.h"
#include "testmedium.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {
const QString kManual = QStringLiteral(QUIMBO_BINARY_DIR "/emanuals/eng");
} // namespace

/**
 * The rules every mode shares, checked once over all of them, each a real
 * mode on the simulated board: the standby countdown, the device's sleep
 * timer and the book's sound around a spoken answer.
 */
class ModeBaseTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { Platform::setBackend(Platform::Backend::Simulated); }
    void init();
    void cleanup();

    void standby_data();
    void standby();
    void sleepTimer_data() { standby_data(); }
    void sleepTimer();
    void answerCutShortGivesTheSoundBack();
    void keysTheAnnouncementIgnoresClick();

private:
    /** Runs the mode of that name; a player or manual plays. */
    ModeBase *start(const QString &name);
    static bool engineMuted()
    {
        const QStringList mutes = Platform::SimBoard::instance()->engineEventLog().filter(QStringLiteral("mute "));
        return !mutes.isEmpty() && mutes.last() == QLatin1String("mute on");
    }

    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<FakePlayer> m_player;
    std::unique_ptr<AudioSettings> m_audio;
    std::unique_ptr<Input> m_input;
    std::unique_ptr<BookShelf> m_shelf;
    std::unique_ptr<ModeBase> m_mode;
};

void ModeBaseTest::init()
{
    startSimulation(m_root, m_player);
    if (QTest::currentTestFailed())
        return;
    m_audio = std::make_unique<AudioSettings>();
    m_input = std::make_unique<Input>();
    QVERIFY(m_input->initialize());
    QVERIFY(QDir().mkpath(m_root->path(QStringLiteral("/root/quimbo/emanuals"))));
    QVERIFY(QFile::link(kManual, m_root->path(QStringLiteral("/root/quimbo/emanuals/eng"))));
    // The books of the shelf and the player.
    m_shelf = std::make_unique<BookShelf>(m_audio.get(), m_input.get());
    TestMedium stick(*m_root, QStringLiteral("/media/usb"), MediaSource::MediaTypeUsb);
    QVERIFY(stick.addAll({QStringLiteral("mp3:A/01.mp3"), QStringLiteral("mp3:B/01.mp3")}));
    m_shelf->addMediaSource(stick.source(QStringLiteral("/dev/sda1")));
    QTRY_COMPARE_WITH_TIMEOUT(m_shelf->count(), 2, 20000);
}

void ModeBaseTest::cleanup()
{
    m_mode.reset();
    m_shelf.reset();
    m_input.reset();
    m_audio.reset();
    ModeBase::sleepTimer()->stop();
    endSimulation(m_root, m_player);
}

ModeBase *ModeBaseTest::start(const QString &name)
{
    AudioSettings *audio = m_audio.get();
    Input *input = m_input.get();
    if (name == QLatin1String("main")) {
        auto *mode = new MainMode(input, audio, nullptr);
        m_mode.reset(mode);
        mode->run();
    } else if (name == QLatin1String("shelf")) {
        m_shelf->run();
        return m_shelf.get();
    } else if (name == QLatin1String("player")) {
        auto *mode = new AudioBookPlayer(audio, input);
        m_mode.reset(mode);
        if (!mode->open(m_shelf->bookAt(0)))
            return nullptr;
        mode->run();
    } else if (name == QLatin1String("menu")) {
        auto *mode = new SystemSettings(audio, input);
        m_mode.reset(mode);
        mode->run();
    } else if (name == QLatin1String("manual")) {
        auto *mode = SystemManual::createManual(audio, input, nullptr, nullptr);
        m_mode.reset(mode);
        if (mode)
            mode->run();
    } else if (name == QLatin1String("describer")) {
        auto *mode = new KeyDescriber(audio, input);
        m_mode.reset(mode);
        mode->run();
    } else if (name == QLatin1String("idle")) {
        auto *mode = new IdleMode(input);
        m_mode.reset(mode);
        mode->run();
    }
    return m_mode.get();
}

void ModeBaseTest::standby_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("audio"); // it plays as it starts; play/stop stops it
    QTest::addColumn<bool>("seemsOff"); // idle mode: the device looks switched off, it sets no alarm

    QTest::newRow("main") << "main" << false << false;
    QTest::newRow("shelf") << "shelf" << false << false;
    QTest::newRow("player") << "player" << true << false;
    QTest::newRow("menu") << "menu" << false << false;
    QTest::newRow("manual") << "manual" << true << false;
    QTest::newRow("key describer") << "describer" << false << false;
    QTest::newRow("idle") << "idle" << false << true;
}

void ModeBaseTest::standby()
{
    QFETCH(QString, mode);
    QFETCH(bool, audio);
    QFETCH(bool, seemsOff);

    // Thirty minutes in nine seconds: time enough for a loaded machine to look in between.
    Platform::setTimeScale(0.005);
    ModeBase *holder = start(mode);
    QVERIFY(holder);
    QTRY_COMPARE(ModeBase::keyHolder(), holder);
    QVERIFY(m_input->isEnabled());
    QSignalSpy shutdown(holder, &ModeBase::shutdown);
    if (audio) {
        // Playing, nobody is away: no countdown; stopped and silent, it runs.
        QTRY_VERIFY(holder->audioPlaying());
        QCOMPARE(ModeBase::standbyLeft(), -1);
        Q_EMIT m_input->pressed(BUTTON_PLAY_STOP);
        Q_EMIT m_input->released(BUTTON_PLAY_STOP);
        QTRY_VERIFY(!holder->audioPlaying());
    }
    QTRY_COMPARE(ModeBase::standbyLeft() > 0, !seemsOff);

    if (!seemsOff) {
        // Every key counts the 30 minutes anew, even one the mode ignores.
        QTRY_VERIFY(ModeBase::standbyLeft() < ModeBase::StandbySeconds - 200);
        Q_EMIT m_input->repeated(BUTTON_VOLUME_UP);
        // A coarse timer may end up to 5 % early.
        QVERIFY2(ModeBase::standbyLeft() > ModeBase::StandbySeconds * 19 / 20 - 5, qPrintable(QString::number(ModeBase::standbyLeft())));
    }

    // Thirty minutes in a fifth of a second from the next key on.
    Platform::setTimeScale(0.0001);
    m_player->clear();
    Q_EMIT m_input->repeated(BUTTON_VOLUME_UP);
    if (seemsOff) {
        QVERIFY(!shutdown.wait(400));
        QCOMPARE(ModeBase::keyHolder(), holder);
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(shutdown.count(), 1, 5000);
    // The sound is recorded once its player process has started, which a loaded machine may do late.
    QTRY_VERIFY(soundPlayed(*m_player, QStringLiteral("doubleBeep")));
    QCOMPARE(ModeBase::keyHolder(), nullptr);
    QVERIFY(!m_input->isEnabled());
}

void ModeBaseTest::sleepTimer()
{
    QFETCH(QString, mode);
    QFETCH(bool, audio);
    QFETCH(bool, seemsOff);

    // Set before this mode took the keys (in a book, say): the timer is the device's and goes on.
    ModeBase::sleepTimer()->start(ModeBase::SleepMaxSeconds);
    LogCapture log;
    ModeBase *holder = start(mode);
    QVERIFY(holder);
    QSignalSpy shutdown(holder, &ModeBase::shutdown);
    if (seemsOff) {
        QCOMPARE(ModeBase::sleepLeft(), -1);
        QVERIFY(!shutdown.wait(1000));
        return;
    }
    QTRY_COMPARE(holder->audioPlaying(), audio);
    QVERIFY(ModeBase::sleepLeft() > 0);
    const qsizetype events = Platform::SimBoard::instance()->engineEventLog().size();
    // Near its end, the last minute lasting two seconds: said by whichever mode holds
    // the keys, with its audio paused meanwhile.
    Platform::setTimeScale(0.03);
    ModeBase::sleepTimer()->start(ModeBase::SleepWarningSeconds + 5);
    QTRY_VERIFY(log.contains(Message::time_remaining));
    if (audio) {
        // Paused for the answer and going on after it.
        const auto after = [events] { return Platform::SimBoard::instance()->engineEventLog().mid(events).join(QLatin1Char('\n')); };
        QVERIFY(after().contains(QLatin1String("pause at")));
        QTRY_VERIFY(after().section(QStringLiteral("pause at"), -1).contains(QLatin1String("play ")));
    }
    QTRY_COMPARE_WITH_TIMEOUT(shutdown.count(), 1, 10000);
    QCOMPARE(ModeBase::keyHolder(), nullptr);
    QVERIFY(!m_input->isEnabled());
    QVERIFY(!holder->audioPlaying());
}

void ModeBaseTest::answerCutShortGivesTheSoundBack()
{
    ModeBase *player = start(QStringLiteral("player"));
    QVERIFY(player);
    QTRY_VERIFY(player->audioPlaying());
    // "Start of book" is said over the muted book; play/stop cuts it short.
    Q_EMIT m_input->pressed(BUTTON_PLAY_STOP);
    Q_EMIT m_input->holded(BUTTON_PLAY_STOP);
    QVERIFY(player->audioMuted());
    QVERIFY(engineMuted());
    for (bool playing : {false, true}) {
        Q_EMIT m_input->pressed(BUTTON_PLAY_STOP);
        Q_EMIT m_input->released(BUTTON_PLAY_STOP);
        QTRY_COMPARE(player->audioPlaying(), playing);
        QVERIFY(!player->audioMuted());
        QVERIFY(!engineMuted());
    }
}

void ModeBaseTest::keysTheAnnouncementIgnoresClick()
{
    ModeBase *player = start(QStringLiteral("player"));
    QVERIFY(player);
    QTRY_VERIFY(player->audioPlaying());
    // A long position announcement: held sleep/menu while the book plays.
    m_player->setSeconds(30);
    Q_EMIT m_input->pressed(BUTTON_SLEEP_MENU);
    Q_EMIT m_input->holded(BUTTON_SLEEP_MENU);
    QTRY_VERIFY(!player->audioPlaying());
    for (int key : {BUTTON_SPEED_DOWN, BUTTON_PITCH_UP, BUTTON_EJECT}) {
        m_player->clear();
        Q_EMIT m_input->pressed(key);
        Q_EMIT m_input->released(key);
        QTRY_VERIFY(soundPlayed(*m_player, QStringLiteral("beep")));
    }
    // Clicked, not done.
    QCOMPARE(m_audio->speed(), 0);
    QCOMPARE(m_audio->pitch(), 0);
}

QTEST_GUILESS_MAIN(ModeBaseTest)
#include "modebasetest.moc"
