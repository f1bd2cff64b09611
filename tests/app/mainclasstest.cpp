// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/mainclass.h"

#include "audio/audiosettings.h"
#include "input/board.h"
#include "input/input.h"
#include "input/keys.h"
#include "library/audiobook.h"
#include "library/bookshelf.h"
#include "library/cdromworker.h"
#include "library/mediaclass.h"
#include "library/mediasource.h"
#include "platform/platform.h"
#include "platform/sim/axp209model.h"
#include "platform/sim/simboard.h"
#include "platform/sim/simmedia.h"
#include "system/notifier.h"
#include "system/powermanager.h"
#include "system/sound.h"
#include "system/soundmanager.h"

#include "simsession.h"
#include "testmedium.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <memory>

using Platform::SimBoard;

namespace {
const QString s_adapterInput = QStringLiteral("/dev/input/event3");
constexpr int s_adapterKey = 30;
} // namespace

class MainClassTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void bootStatus_data();
    void bootStatus();
    void batteryEmptyStartPowersOffAgain();
    void errorBlinkCode_data();
    void errorBlinkCode();
    void powerUpEntersMainMode();
    void keyPressSpeaksItsFunction_data();
    void keyPressSpeaksItsFunction();
    void firstPressFlagIsSetOnEveryEntry();
    void keysWhileMediaBusy_data();
    void keysWhileMediaBusy();
    void volumeBeep_data();
    void volumeBeep();
    void keyHold_data();
    void keyHold();
    void standbyTimeout_data();
    void standbyTimeout();
    void usbFault_data();
    void usbFault();
    void startSlotWithoutMedia_data();
    void startSlotWithoutMedia();
    void idleMode_data();
    void idleMode();
    void noModeStartsInIdleMode_data();
    void noModeStartsInIdleMode();
    void noModeStartsWhileShuttingDown();
    void shelfTransitions_data();
    void shelfTransitions();
    void freshShelfAfterCharging_data();
    void freshShelfAfterCharging();
    void failedEject_data();
    void failedEject();
    void adapterDuringBatteryEmptyWarning();
    void bookFilesVanishWhilePlaying();

private:
    /** Builds the board (revision 4 or 6, adapter plugged or not) and the controller. */
    void createController(int revision, bool adapter);
    /** Controller powered up and in main mode, with the player record cleared. */
    void enterMainMode(int revision = 4, bool adapter = false);
    /** Basenames of the files spoken one at a time ("play -v 0.5 -q FILE"). */
    QStringList spokenFiles() const;
    /** Each playlist played, as the basenames of its items. */
    QList<QStringList> utterances() const;
    /** The file of every sound effect played, oldest first. */
    QStringList soundFiles() const;
    static QString soundFile(const QString &name)
    {
        Sound *sound = SoundManager::instance()->getSound(name);
        return sound ? sound->fileName() : QString();
    }

    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<FakePlayer> m_player;
    std::unique_ptr<MainClass> m_main;
};

void MainClassTest::initTestCase()
{
    Platform::setBackend(Platform::Backend::Simulated);
}

void MainClassTest::init()
{
    startSimulation(m_root, m_player);
    Platform::SimMedia::instance()->reset();
}

void MainClassTest::cleanup()
{
    m_main.reset();
    endSimulation(m_root, m_player);
}

void MainClassTest::createController(int revision, bool adapter)
{
    SimBoard *board = SimBoard::instance();
    board->setRevision(revision == 6 ? 7 : 0);
    Board::getInstance()->init();
    board->setKey(s_adapterInput, s_adapterKey, adapter);
    m_main = std::make_unique<MainClass>();
}

void MainClassTest::enterMainMode(int revision, bool adapter)
{
    createController(revision, adapter);
    QCOMPARE(m_main->errorCode(), 0);
    m_main->runPowerUp();
    QTRY_COMPARE(m_main->mode(), MainClass::Mode::Main);
    QVERIFY(m_main->input()->isEnabled());
    m_player->clear();
}

QStringList MainClassTest::spokenFiles() const
{
    QStringList files;
    const QStringList lines = m_player->lines();
    for (const QString &line : lines) {
        if (line.startsWith(QStringLiteral("argv: [-v] [0.5] [-q] [")) && !line.endsWith(QStringLiteral(".m3u]")))
            files << QFileInfo(line.mid(23).chopped(1)).fileName();
    }
    return files;
}

QList<QStringList> MainClassTest::utterances() const
{
    QList<QStringList> result;
    const QStringList lines = m_player->lines();
    for (const QString &line : lines) {
        if (line.startsWith(QStringLiteral("argv:")) && line.endsWith(QStringLiteral(".m3u]")))
            result.append(QStringList());
        else if (line.startsWith(QStringLiteral("item: ")) && !result.isEmpty())
            result.last() << QFileInfo(line.mid(6)).fileName();
    }
    return result;
}

QStringList MainClassTest::soundFiles() const
{
    QStringList files;
    const QStringList lines = m_player->lines();
    for (const QString &line : lines) {
        if (line.startsWith(QStringLiteral("argv: [-V1] [-q] [--norm=")))
            files << line.mid(line.lastIndexOf(QStringLiteral(" [")) + 2).chopped(1);
    }
    return files;
}

void MainClassTest::bootStatus_data()
{
    QTest::addColumn<bool>("adapter");
    QTest::addColumn<int>("bootSource"); // 0: switched on by connecting the adapter
    QTest::addColumn<int>("heldKey"); // BUTTON_NONE: nothing held
    QTest::addColumn<QVariant>("batteryEmpty"); // invalid: not stored
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("spoken");
    QTest::addColumn<QString>("logged");
    QTest::addColumn<QVariant>("shutdownGood"); // invalid: not written

    const QStringList nothing;
    QTest::newRow("battery, key absent") << false << 1 << BUTTON_NONE << QVariant() << 0 << nothing << QString() << QVariant(false);
    QTest::newRow("battery, last run ended empty")
        << false << 1 << BUTTON_NONE << QVariant(true) << 4 << QStringList{QStringLiteral("message001.wav"), QStringLiteral("message006.wav")}
        << "Quimbo batteryEmpty shutdown. Startup with adapter!" << QVariant();
    QTest::newRow("battery, a key held is ignored") << false << 0 << BUTTON_SLEEP_MENU << QVariant(false) << 0 << nothing << QString() << QVariant(false);
    QTest::newRow("adapter, power button") << true << 1 << BUTTON_SLEEP_MENU << QVariant(true) << 0 << nothing << QString() << QVariant(true);
    QTest::newRow("adapter boot, no key") << true << 0 << BUTTON_NONE << QVariant() << 1 << nothing << QString() << QVariant(true);
    QTest::newRow("adapter boot, sleep/menu") << true << 0 << BUTTON_SLEEP_MENU << QVariant() << 2 << nothing << QString() << QVariant(true);
    QTest::newRow("adapter boot, fast forward") << true << 0 << BUTTON_FAST_FORWARD << QVariant() << 3 << nothing << QString() << QVariant(true);
    QTest::newRow("adapter boot, rewind speaks the run time")
        << true << 0 << BUTTON_REWIND << QVariant() << 1
        << QStringList{QStringLiteral("message004.wav"), QStringLiteral("2.wav"), QStringLiteral("message013.wav"), QStringLiteral("5.wav"), QStringLiteral("message021.wav")}
        << "Last run time: 2:5 in minutes: 125" << QVariant(true);
    QTest::newRow("adapter boot, eject without a drive")
        << true << 0 << BUTTON_EJECT << QVariant() << 1 << QStringList{QStringLiteral("message007.wav"), QStringLiteral("message023.wav")}
        << "Emergency eject media from cd-rom player" << QVariant(true);
    QTest::newRow("adapter boot, eject a disc")
        << true << 0 << BUTTON_EJECT << QVariant() << 1 << QStringList{QStringLiteral("message007.wav")}
        << "[CdRomWorker::eject] disc is ejecting.." << QVariant(true);
}

void MainClassTest::bootStatus()
{
    QFETCH(bool, adapter);
    QFETCH(int, bootSource);
    QFETCH(int, heldKey);
    QFETCH(QVariant, batteryEmpty);
    QFETCH(QString, logged);
    QFETCH(QVariant, shutdownGood);

    {
        QSettings settings;
        settings.setValue(QStringLiteral("timeActive"), 125u);
        if (batteryEmpty.isValid())
            settings.setValue(QStringLiteral("batteryEmpty"), batteryEmpty);
    }
    Platform::SimMedia::instance()->setDrivePresent(!QByteArray(QTest::currentDataTag()).contains("without a drive"));
    // A battery that ran empty last time is still low: the start leaves "shutdownGood" alone.
    if (batteryEmpty.toBool() && !adapter)
        Platform::Axp209Model::instance().setBatteryMillivolts(3300);
    createController(4, adapter);
    QCOMPARE(m_main->errorCode(), 0);
    Platform::Axp209Model::instance().setAdapterBootSource(bootSource == 0);
    if (heldKey != BUTTON_NONE)
        SimBoard::instance()->pressKey(heldKey);
    m_player->clear();

    if (!logged.isEmpty())
        QTest::ignoreMessage(QtDebugMsg, logged.toUtf8().constData());
    QTEST(m_main->bootStatus(), "status");
    QTEST(spokenFiles(), "spoken");
    QCOMPARE(QSettings().value(QStringLiteral("shutdownGood")), shutdownGood);
    // The emergency eject powers the drive's port only while it tries.
    QVERIFY(!SimBoard::instance()->usbPower(0));
}

void MainClassTest::batteryEmptyStartPowersOffAgain()
{
    QSettings().setValue(QStringLiteral("batteryEmpty"), true);
    createController(4, false);
    QSignalSpy modes(m_main.get(), &MainClass::modeChanged);

    m_main->start(m_main->bootStatus());
    QTRY_COMPARE(m_main->mode(), MainClass::Mode::PoweredOff);

    QCOMPARE(modes.first().first().value<MainClass::Mode>(), MainClass::Mode::Shutdown);
    QVERIFY(SimBoard::instance()->isPoweredOff());
    QVERIFY(SimBoard::instance()->systemActionLog().contains(QStringLiteral("poweroff")));
    QCOMPARE(QSettings().value(QStringLiteral("shutdownGood")).toBool(), true);
    QCOMPARE(spokenFiles(), (QStringList{QStringLiteral("message001.wav"), QStringLiteral("message006.wav")}));
    // The shutdown tune was played (its file is gone with the sounds by now).
    QCOMPARE(soundFiles().size(), 1);
}

void MainClassTest::errorBlinkCode_data()
{
    QTest::addColumn<QString>("missingDevice"); // empty: no fault, the handler is called directly
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("pulses");

    QTest::newRow("code 0 blinks 7") << QString() << 0 << 7;
    QTest::newRow("audio subsystem") << "/dev/input/event2" << 1 << 1;
    QTest::newRow("power manager") << "/dev/input/event3" << 3 << 3;
    QTest::newRow("key input") << "/dev/input/event1" << 4 << 4;
}

void MainClassTest::errorBlinkCode()
{
    QFETCH(QString, missingDevice);

    // Long flashes of 300 ms, short ones of 75 ms.
    Platform::setTimeScale(0.3);
    SimBoard *board = SimBoard::instance();
    if (!missingDevice.isEmpty())
        board->setInputDevicePresent(missingDevice, false);

    struct Pulse {
        qint64 on = -1;
        qint64 off = -1;
    };
    QList<Pulse> flashes;
    QElapsedTimer clock;
    clock.start();
    QObject recording; // ends the recording with this test row
    connect(board, &SimBoard::ledChanged, &recording, [&](int led, bool on) {
        if (led != 0)
            return;
        if (on)
            flashes.append(Pulse{clock.elapsed(), -1});
        else if (!flashes.isEmpty() && flashes.last().off < 0)
            flashes.last().off = clock.elapsed();
    });

    createController(4, false);
    QTEST(m_main->errorCode(), "code");
    if (missingDevice.isEmpty()) {
        m_main->runErrorHandler();
    } else {
        // The boot decision finds the error handler already running and starts nothing else.
        QCOMPARE(m_main->bootStatus(), -1);
        m_main->start(-1);
    }
    QCOMPARE(m_main->mode(), MainClass::Mode::Error);
    QVERIFY(!board->led(1));
    QVERIFY(!board->usbPower(0));

    auto isLong = [](const Pulse &p) { return p.off >= 0 && p.off - p.on >= 200; };
    auto longFlashes = [&] { return std::count_if(flashes.cbegin(), flashes.cend(), isLong); };
    QTRY_VERIFY_WITH_TIMEOUT(longFlashes() >= 2, 20000);

    QVERIFY(isLong(flashes.first()));
    int shortFlashes = 0;
    for (int i = 1; !isLong(flashes.at(i)); ++i)
        ++shortFlashes;
    QTEST(shortFlashes, "pulses");
    QCOMPARE(m_main->mode(), MainClass::Mode::Error);
}

void MainClassTest::powerUpEntersMainMode()
{
    QSettings().setValue(QStringLiteral("lastPlayedMedia"), 2);
    createController(6, false);
    QSignalSpy modes(m_main.get(), &MainClass::modeChanged);
    m_main->start(0);
    QTRY_COMPARE(m_main->mode(), MainClass::Mode::Main);

    QCOMPARE(modes.size(), 2);
    QCOMPARE(modes.at(0).first().value<MainClass::Mode>(), MainClass::Mode::PowerUp);
    QCOMPARE(spokenFiles(), QStringList{QStringLiteral("message047.wav")});
    SimBoard *board = SimBoard::instance();
    QVERIFY(board->led(1));
    QVERIFY(board->usbPower(0));
    QVERIFY(!m_main->powerManager()->chargerLed());
    QVERIFY(m_main->mediaClass());
    QVERIFY(m_main->bookShelf());
    // The priority device is asked for once, and only for one start.
    QTRY_COMPARE(QSettings().value(QStringLiteral("lastPlayedMedia")).toInt(), 0);
}

void MainClassTest::keyPressSpeaksItsFunction_data()
{
    QTest::addColumn<int>("revision");
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<QList<QStringList>>("spoken"); // one utterance per key

    auto say = [](std::initializer_list<const char *> names) {
        QStringList list;
        for (const char *name : names)
            list << QString::fromLatin1(name);
        return list;
    };
    QTest::newRow("fast forward then rewind, Rev6") << 6 << QList<int>{BUTTON_FAST_FORWARD, BUTTON_REWIND}
                                                    << QList<QStringList>{say({"message010.wav", "message087.wav"}), say({"message032.wav"})};
    QTest::newRow("eject leaves the first press") << 4 << QList<int>{BUTTON_EJECT, BUTTON_REWIND}
                                                  << QList<QStringList>{say({"message007.wav", "message023.wav"}), say({"message032.wav", "message023.wav"})};
    QTest::newRow("pitch up") << 4 << QList<int>{BUTTON_PITCH_UP} << QList<QStringList>{say({"message041.wav", "1.wav"})};
    QTest::newRow("pitch down twice") << 4 << QList<int>{BUTTON_PITCH_DOWN, BUTTON_PITCH_DOWN}
                                      << QList<QStringList>{say({"message041.wav", "message020.wav", "1.wav"}), say({"message041.wav", "message020.wav", "2.wav"})};
    QTest::newRow("speed up twice") << 4 << QList<int>{BUTTON_SPEED_UP, BUTTON_SPEED_UP}
                                    << QList<QStringList>{say({"message036.wav", "1.wav"}), say({"message036.wav", "2.wav"})};
    QTest::newRow("speed down") << 4 << QList<int>{BUTTON_SPEED_DOWN} << QList<QStringList>{say({"message036.wav", "message020.wav", "1.wav"})};
}

void MainClassTest::keyPressSpeaksItsFunction()
{
    QFETCH(int, revision);
    QFETCH(QList<int>, keys);
    QFETCH(QList<QStringList>, spoken);

    enterMainMode(revision);
    for (int i = 0; i < keys.size(); ++i) {
        Q_EMIT m_main->input()->pressed(keys.at(i));
        // Each utterance is one run of the player; wait until it has read its playlist.
        QTRY_COMPARE(utterances().size(), i + 1);
        QTRY_COMPARE(utterances().at(i), spoken.at(i));
    }
    QCOMPARE(soundFiles(), QStringList());
}

void MainClassTest::firstPressFlagIsSetOnEveryEntry()
{
    enterMainMode();
    const QStringList withHint{QStringLiteral("message029.wav"), QStringLiteral("message023.wav")};
    const QStringList plain{QStringLiteral("message029.wav")};

    Q_EMIT m_main->input()->pressed(BUTTON_PLAY_STOP);
    QTRY_COMPARE(utterances().size(), 1);
    QTRY_COMPARE(utterances().at(0), withHint);
    Q_EMIT m_main->input()->pressed(BUTTON_PLAY_STOP);
    QTRY_COMPARE(utterances().size(), 2);
    QTRY_COMPARE(utterances().at(1), plain);

    m_main->runMainClass();
    Q_EMIT m_main->input()->pressed(BUTTON_PLAY_STOP);
    QTRY_COMPARE(utterances().size(), 3);
    QTRY_COMPARE(utterances().at(2), withHint);

    // Keys without a spoken function only click.
    Q_EMIT m_main->input()->pressed(BUTTON_POWER);
    QTRY_COMPARE(soundFiles(), QStringList{soundFile(QStringLiteral("beep"))});
    QCOMPARE(utterances().size(), 3);
}

void MainClassTest::keysWhileMediaBusy_data()
{
    QTest::addColumn<QString>("cause");
    QTest::newRow("CD drive spinning up") << "drive";
    QTest::newRow("shelf reading a stick's books") << "shelf";
}

void MainClassTest::keysWhileMediaBusy()
{
    QFETCH(QString, cause);

    enterMainMode();
    QSignalSpy modes(m_main.get(), &MainClass::modeChanged);
    TestMedium stick(*m_root, QStringLiteral("/media/usb"), MediaSource::MediaTypeUsb);
    if (cause == QLatin1String("drive")) {
        m_main->mediaClass()->cdromStatusChanged(0);
    } else {
        // A file that makes no book: the shelf reads it and stays closed.
        QVERIFY(stick.add(QStringLiteral("junk:Book/ncc.html")));
        Q_EMIT m_main->mediaClass()->mediaSourceInserted(stick.source(QStringLiteral("/dev/sda1")));
    }

    QTest::ignoreMessage(QtDebugMsg, "void MainClass::keyPressEvent(int): mediaClass is busy.");
    QTest::ignoreMessage(QtDebugMsg, "void MainClass::keyReleaseEvent(int): mediaClass is busy.");
    QTest::ignoreMessage(QtDebugMsg, "void MainClass::keyHoldEvent(int): mediaClass is busy.");
    Q_EMIT m_main->input()->pressed(BUTTON_PLAY_STOP);
    Q_EMIT m_main->input()->released(BUTTON_SLEEP_MENU);
    Q_EMIT m_main->input()->holded(BUTTON_SLEEP_MENU);
    QTRY_COMPARE(spokenFiles(), QStringList{QStringLiteral("message030.wav")});

    // The settings menu would have opened 10 ms (scaled) after the hold.
    QVERIFY(!modes.wait(200));
    QCOMPARE(m_main->mode(), MainClass::Mode::Main);
    QCOMPARE(utterances().size(), 0);
    QCOMPARE(spokenFiles().size(), 1);
}

void MainClassTest::volumeBeep_data()
{
    QTest::addColumn<int>("volume");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("sound");

    QTest::newRow("down to the minimum 7") << 8 << BUTTON_VOLUME_DOWN << "doubleBeep";
    QTest::newRow("up to the maximum 21") << 20 << BUTTON_VOLUME_UP << "doubleBeep";
    QTest::newRow("up into the RS1 level is refused") << 16 << BUTTON_VOLUME_UP << "alarmBeep";
    QTest::newRow("at the RS1 level from above") << 18 << BUTTON_VOLUME_DOWN << "shortBeep";
    QTest::newRow("safe range up") << 9 << BUTTON_VOLUME_UP << "tickBeep";
}

void MainClassTest::volumeBeep()
{
    QFETCH(int, volume);
    QFETCH(int, key);
    QFETCH(QString, sound);

    enterMainMode();
    // Keep the RS1 confirmation beep of a refused step out of this test.
    m_main->audioSettings()->setTimerLengths(100000, 100000, 300000);
    AudioSettings::setVolume(volume);
    QCOMPARE(AudioSettings::volume(), volume);

    Q_EMIT m_main->input()->released(key);
    QTRY_COMPARE(soundFiles().size(), 1);
    QCOMPARE(soundFiles().first(), soundFile(sound));
}

void MainClassTest::keyHold_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QList<MainClass::Mode>>("modes");

    QTest::newRow("power button shuts down") << BUTTON_POWER << QList<MainClass::Mode>{MainClass::Mode::Shutdown, MainClass::Mode::PoweredOff};
    // The menu stays open until it is left with the same key.
    QTest::newRow("sleep/menu opens the settings menu")
        << BUTTON_SLEEP_MENU << QList<MainClass::Mode>{MainClass::Mode::SystemSettings, MainClass::Mode::Main};
}

void MainClassTest::keyHold()
{
    QFETCH(int, key);
    QFETCH(QList<MainClass::Mode>, modes);
    
    enterMainMode();
    QSignalSpy changes(m_main.get(), &MainClass::modeChanged);
    Q_EMIT m_main->input()->holded(key);
    if (modes.first() == MainClass::Mode::SystemSettings) {
        QTRY_COMPARE(m_main->mode(), MainClass::Mode::SystemSettings);
        QTRY_VERIFY(m_main->input()->isEnabled());
        Q_EMIT m_main->input()->released(key);
    }
    QTRY_COMPARE(changes.size(), modes.size());
    for (int i = 0; i < modes.size(); ++i)
        QCOMPARE(changes.at(i).first().value<MainClass::Mode>(), modes.at(i));
}

void MainClassTest::standbyTimeout_data()
{
    QTest::addColumn<bool>("adapter");
    QTest::addColumn<MainClass::Mode>("finalMode");
    QTest::addColumn<bool>("poweredOff");

    QTest::newRow("on battery: power-off") << false << MainClass::Mode::PoweredOff << true;
    QTest::newRow("charging: idle mode") << true << MainClass::Mode::Idle << false;
}

void MainClassTest::standbyTimeout()
{
    QFETCH(bool, adapter);
    QFETCH(MainClass::Mode, finalMode);
    QFETCH(bool, poweredOff);

    enterMainMode(4, adapter);
    // The 30 minutes take 180 ms from here on.
    Platform::setTimeScale(0.0001);
    m_main->runMainClass();

    QTest::ignoreMessage(QtDebugMsg, "[ModeBase] standby: 30 minutes without a key in main, switching off");
    QTRY_COMPARE_WITH_TIMEOUT(m_main->mode(), finalMode, 10000);

    SimBoard *board = SimBoard::instance();
    QCOMPARE(board->isPoweredOff(), poweredOff);
    QVERIFY(!board->led(1));
    QVERIFY(!board->usbPower(0));
    QVERIFY(m_main->powerManager()->chargerLed());
    // Double beep first, then the shutdown tune. The player records a sound when its
    // process has started, which a loaded machine may do after the mode changed.
    QTRY_COMPARE(soundFiles().size(), 2);
    const QStringList sounds = soundFiles();
    if (!poweredOff) {
        QCOMPARE(sounds.at(0), soundFile(QStringLiteral("doubleBeep")));
        QCOMPARE(sounds.at(1), soundFile(QStringLiteral("shutdown")));
        QVERIFY(m_main->mediaClass() == nullptr);
        return;
    }
    QCOMPARE(QSettings().value(QStringLiteral("shutdownGood")).toBool(), true);
    QVERIFY(board->systemActionLog().contains(QStringLiteral("dmesg > ") + m_root->path(QStringLiteral("/root/quimbo/dmesg_shutdown"))));
    QVERIFY(m_main->input() == nullptr);
}

void MainClassTest::usbFault_data()
{
    QTest::addColumn<int>("revision");
    QTest::addColumn<QList<QStringList>>("spoken");

    QTest::newRow("Rev6 reports the fault") << 6 << QList<QStringList>{{QStringLiteral("message086.wav")}};
    QTest::newRow("Rev4 has no fault line") << 4 << QList<QStringList>{};
}

void MainClassTest::usbFault()
{
    QFETCH(int, revision);
    QFETCH(QList<QStringList>, spoken);

    enterMainMode(revision);
    if (!spoken.isEmpty())
        QTest::ignoreMessage(QtDebugMsg, "void MainClass::usbFaultEvent(): external usb fault event triggered");
    SimBoard::instance()->setInputLine(202, 1);
    SimBoard::instance()->setInputLine(202, 0);

    if (spoken.isEmpty()) {
        QSignalSpy modes(m_main.get(), &MainClass::modeChanged);
        QVERIFY(!modes.wait(100));
        QCOMPARE(utterances(), spoken);
    } else {
        // Both edges may be reported; every report of a line still low speaks the warning.
        QTRY_VERIFY(!utterances().isEmpty() && !utterances().last().isEmpty());
        for (const QStringList &utterance : utterances())
            QCOMPARE(utterance, spoken.first());
    }
    QCOMPARE(m_main->mode(), MainClass::Mode::Main);
}

void MainClassTest::startSlotWithoutMedia_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("spoken");
    QTest::addColumn<QString>("tone"); // the player run that is not a message, empty: none
    QTest::addColumn<QString>("logged");

    QTest::newRow("log backup plays the failure tone")
        << 3 << QStringList{}
        << FakePlayer::argv(QStringLiteral("-q -n synth 2 sin 2500 fade 1 0 2 1.8 trim 0 1 repeat 1").split(QLatin1Char(' ')))
        << "[MainClass::runLogBackup] failed";
    QTest::newRow("update finds nothing") << 2 << QStringList{QStringLiteral("message038.wav"), QStringLiteral("message024.wav")} << QString()
                                          << "void MainClass::runUpdate(): no updates/datapackages files found";
}

void MainClassTest::startSlotWithoutMedia()
{
    QFETCH(int, status);
    QFETCH(QString, tone);
    QFETCH(QString, logged);

    createController(4, true);
    m_player->clear();
    QTest::ignoreMessage(QtDebugMsg, logged.toUtf8().constData());
    m_main->start(status);
    QTRY_COMPARE(m_main->mode(), MainClass::Mode::Idle);

    QTEST(spokenFiles(), "spoken");
    if (!tone.isEmpty())
        QVERIFY2(m_player->lines().contains(tone), qPrintable(m_player->lines().join(QLatin1Char('\n'))));
    QVERIFY(m_main->powerManager()->chargerLed());
    QVERIFY(SimBoard::instance()->systemActionLog().filter(QStringLiteral("poweroff")).isEmpty());
}

void MainClassTest::idleMode_data()
{
    QTest::addColumn<QString>("event");
    QTest::addColumn<MainClass::Mode>("finalMode");

    QTest::newRow("power button held: power-up") << "hold power" << MainClass::Mode::Main;
    QTest::newRow("adapter removed: power-off") << "unplug" << MainClass::Mode::PoweredOff;
    QTest::newRow("fully charged: power-off") << "charged" << MainClass::Mode::PoweredOff;
}

void MainClassTest::idleMode()
{
    QFETCH(QString, event);
    QFETCH(MainClass::Mode, finalMode);

    createController(4, true);
    Platform::Axp209Model::instance().setAdapterBootSource(true);
    m_main->start(m_main->bootStatus());
    QTRY_COMPARE(m_main->mode(), MainClass::Mode::Idle);
    QVERIFY(m_main->powerManager()->chargerLed());
    // Charging says nothing.
    QVERIFY(spokenFiles().isEmpty());
    m_player->clear();

    QSignalSpy modes(m_main.get(), &MainClass::modeChanged);
    if (event == QLatin1String("hold power")) {
        QTRY_VERIFY(m_main->input()->isEnabled());
        Q_EMIT m_main->input()->holded(BUTTON_POWER);
    } else if (event == QLatin1String("unplug")) {
        SimBoard::instance()->setKey(s_adapterInput, s_adapterKey, false);
    } else {
        // The charger stops at a full cell; the gauge then reads it full.
        Platform::Axp209Model::instance().setBatteryMillivolts(Platform::Axp209Model::FullMillivolts + 20);
    }
    QTRY_COMPARE(m_main->mode(), finalMode);

    if (finalMode == MainClass::Mode::Main) {
        QCOMPARE(modes.first().first().value<MainClass::Mode>(), MainClass::Mode::PowerUp);
        QCOMPARE(spokenFiles(), QStringList{QStringLiteral("message047.wav")});
        QVERIFY(!m_main->powerManager()->chargerLed());
    } else {
        QCOMPARE(modes.first().first().value<MainClass::Mode>(), MainClass::Mode::Shutdown);
        QVERIFY(SimBoard::instance()->isPoweredOff());
    }
}

void MainClassTest::noModeStartsInIdleMode_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("logged");

    QTest::newRow("bookshelf") << "bookshelf" << "void MainClass::runBookShelf(): dropped, the device is in idle mode";
    QTest::newRow("player") << "player" << "void MainClass::runPlayer(bool): dropped, the device is in idle mode";
    QTest::newRow("main mode") << "main" << "void MainClass::runMainClass(): dropped, the device is in idle mode";
}

void MainClassTest::noModeStartsInIdleMode()
{
    QFETCH(QString, start);
    QFETCH(QString, logged);

    // Powered up once (so the bookshelf exists), then back to charging.
    createController(4, true);
    m_main->runPowerUp();
    QTRY_COMPARE(m_main->mode(), MainClass::Mode::Main);
    m_main->runIdleMode();
    QTRY_VERIFY(m_main->input()->isEnabled());
    m_player->clear();

    QTest::ignoreMessage(QtDebugMsg, logged.toUtf8().constData());
    // What a timer or a pulled medium queued just before.
    if (start == QLatin1String("bookshelf"))
        QMetaObject::invokeMethod(m_main.get(), "runBookShelf");
    else if (start == QLatin1String("player"))
        QMetaObject::invokeMethod(m_main.get(), "runPlayer", Q_ARG(bool, true));
    else
        m_main->runMainClass();

    QCOMPARE(m_main->mode(), MainClass::Mode::Idle);
    QVERIFY(spokenFiles().isEmpty());
}

void MainClassTest::noModeStartsWhileShuttingDown()
{
    enterMainMode();
    // A medium pulled as the shutdown begins queues the bookshelf; the
    // shutdown's own waits let it through the event loop.
    connect(m_main.get(), &MainClass::aboutToShutdown, this, [this] {
        QMetaObject::invokeMethod(m_main.get(), "runBookShelf", Qt::QueuedConnection);
    });
    QTest::ignoreMessage(QtDebugMsg, "void MainClass::runBookShelf(): dropped, the device is shutting down");
    QSignalSpy modes(m_main.get(), &MainClass::modeChanged);
    m_main->runShutdown();
    QTRY_COMPARE(m_main->mode(), MainClass::Mode::PoweredOff);
    for (const QList<QVariant> &change : std::as_const(modes))
        QVERIFY(change.first().value<MainClass::Mode>() != MainClass::Mode::BookShelf);
}

void MainClassTest::shelfTransitions_data()
{
    using Mode = MainClass::Mode;
    QTest::addColumn<QStringList>("tree"); // of the stick
    QTest::addColumn<QString>("action"); // once the shelf speaks
    QTest::addColumn<QList<MainClass::Mode>>("modes"); // from main mode on
    QTest::addColumn<int>("bookshelfWords"); // how often "bookshelf" is said: once per start in normal mode

    const QStringList one = {QStringLiteral("mp3:A/01.mp3")};
    const QStringList two = {QStringLiteral("mp3:A/01.mp3"), QStringLiteral("mp3:B/01.mp3")};
    // Their MP3 files are emptied: such a book does not open, the shelf gets it back and waits for the reader.
    QTest::newRow("one book starts by itself, once") << one << QString() << QList<Mode>{Mode::BookShelf, Mode::Player, Mode::BookShelf} << 1;
    QTest::newRow("play key") << two << "play" << QList<Mode>{Mode::BookShelf, Mode::Player, Mode::BookShelf} << 2;
    QTest::newRow("the last medium taken out") << two << "remove" << QList<Mode>{Mode::BookShelf, Mode::Main} << 1;
    QTest::newRow("power held") << two << "power" << QList<Mode>{Mode::BookShelf, Mode::Shutdown, Mode::PoweredOff} << 1;
}

void MainClassTest::shelfTransitions()
{
    QFETCH(QStringList, tree);
    QFETCH(QString, action);
    QFETCH(QList<MainClass::Mode>, modes);
    QFETCH(int, bookshelfWords);

    enterMainMode();
    QSignalSpy changes(m_main.get(), &MainClass::modeChanged);
    TestMedium stick(*m_root, QStringLiteral("/media/usb"), MediaSource::MediaTypeUsb);
    QVERIFY(stick.addAll(tree));
    for (const QString &entry : tree)
        QVERIFY(QFile::resize(m_root->path(QStringLiteral("/media/usb/") + entry.section(QLatin1Char(':'), 1)), 0));
    const MediaSource medium = stick.source(QStringLiteral("/dev/sda1"));
    Q_EMIT m_main->mediaClass()->mediaSourceInserted(medium);
    QTRY_COMPARE_WITH_TIMEOUT(m_main->mode(), MainClass::Mode::BookShelf, 20000);
    // The shelf has spoken its first title (the word "bookshelf" comes first in normal mode).
    QTRY_VERIFY(!utterances().isEmpty());

    if (action == QLatin1String("play"))
        Q_EMIT m_main->input()->released(BUTTON_PLAY_STOP);
    else if (action == QLatin1String("remove"))
        Q_EMIT m_main->mediaClass()->mediaSourceRemoved(medium);
    else if (action == QLatin1String("power"))
        Q_EMIT m_main->input()->holded(BUTTON_POWER);

    QTRY_COMPARE(changes.size(), modes.size());
    for (int i = 0; i < modes.size(); ++i)
        QCOMPARE(changes.at(i).first().value<MainClass::Mode>(), modes.at(i));
    if (modes.last() != MainClass::Mode::BookShelf)
        return;
    // Back on the shelf in normal mode: the reader hears "bookshelf" and the title, and nothing starts by itself.
    QTRY_COMPARE(spokenFiles().count(QStringLiteral("message074.wav")), bookshelfWords);
    QTRY_VERIFY(utterances().size() >= 2 && utterances().last().size() == 3);
    QCOMPARE(m_main->bookShelf()->mode(), int(BookShelf::NormalMode));
    QVERIFY(m_main->bookShelf()->isActive());
    QCOMPARE(changes.size(), modes.size());
}

void MainClassTest::freshShelfAfterCharging_data()
{
    QTest::addColumn<bool>("played"); // a book was playing at the switch-off
    QTest::addColumn<MainClass::Mode>("again"); // where the second power-up leads

    QTest::newRow("switched off on the shelf") << false << MainClass::Mode::BookShelf;
    // The stick remembers the book: it starts again by itself.
    QTest::newRow("switched off while a book played") << true << MainClass::Mode::Player;
}

void MainClassTest::freshShelfAfterCharging()
{
    QFETCH(bool, played);
    QFETCH(MainClass::Mode, again);

    const QString stick = m_root->path(QStringLiteral("/host/stick"));
    TestMedium books(*m_root, QStringLiteral("/host/stick"), MediaSource::MediaTypeUsb);
    QVERIFY(books.addAll({QStringLiteral("mp3:A/01.mp3"), QStringLiteral("mp3:B/01.mp3")}));
    QVERIFY(Platform::SimMedia::instance()->insert(Platform::SimMedia::UsbSlot, stick));
    // On the adapter: switching off goes into idle mode, which charges.
    createController(4, true);
    m_main->runPowerUp();
    for (int run = 0; run < 2; ++run) {
        const MainClass::Mode expected = run == 0 ? MainClass::Mode::BookShelf : again;
        QTRY_COMPARE_WITH_TIMEOUT(m_main->mode(), expected, 20000);
        QTRY_COMPARE(m_main->bookShelf()->count(), 2);
        QCOMPARE(m_main->bookShelf()->bookAt(1).number(), 2);
        if (run == 1)
            break;
        QTRY_VERIFY(m_main->bookShelf()->isActive());
        if (played) {
            Q_EMIT m_main->input()->released(BUTTON_PLAY_STOP);
            QTRY_COMPARE(m_main->mode(), MainClass::Mode::Player);
            QTRY_VERIFY(m_main->input()->isEnabled());
        }
        Q_EMIT m_main->input()->holded(BUTTON_POWER);
        QTRY_COMPARE(m_main->mode(), MainClass::Mode::Idle);
        QTRY_VERIFY(m_main->input()->isEnabled());
        Q_EMIT m_main->input()->holded(BUTTON_POWER);
    }
    // Settled: the media were searched once.
    QTRY_VERIFY(!m_main->mediaClass()->isBusy());
    QCOMPARE(m_main->bookShelf()->count(), 2);
}

void MainClassTest::failedEject_data()
{
    QTest::addColumn<bool>("stick"); // with two books: the shelf stays open; without, the disc's book starts
    QTest::addColumn<MainClass::Mode>("from");
    QTest::addColumn<QStringList>("told");

    const QString eject = QStringLiteral("message007.wav");
    const QString failed = QStringLiteral("message084.wav");
    QTest::newRow("in the player: back to the shelf") << false << MainClass::Mode::Player << QStringList{eject, failed, QStringLiteral("message074.wav")};
    QTest::newRow("on the shelf") << true << MainClass::Mode::BookShelf << QStringList{eject, failed};
}

void MainClassTest::failedEject()
{
    QFETCH(bool, stick);
    QFETCH(MainClass::Mode, from);

    Platform::SimMedia *sim = Platform::SimMedia::instance();
    TestMedium tracks(*m_root, QStringLiteral("/host/disc"), MediaSource::MediaTypeCdRom);
    QVERIFY(tracks.add(QStringLiteral("mp3:01.mp3")));
    QVERIFY(sim->insertDisc(Platform::SimMedia::AudioDisc, tracks.hostPath()));
    TestMedium books(*m_root, QStringLiteral("/host/stick"), MediaSource::MediaTypeUsb);
    if (stick) {
        QVERIFY(books.addAll({QStringLiteral("mp3:A/01.mp3"), QStringLiteral("mp3:B/01.mp3")}));
        QVERIFY(sim->insert(Platform::SimMedia::UsbSlot, books.hostPath()));
    }
    createController(4, false);
    m_main->runPowerUp();
    QTRY_COMPARE_WITH_TIMEOUT(m_main->bookShelf()->count(), stick ? 3 : 1, 20000);
    QTRY_COMPARE(m_main->mode(), from);
    QTRY_VERIFY(stick ? m_main->bookShelf()->isActive() : m_main->input()->isEnabled());
    sim->setEjectFailures(CdRomWorker::kEjectAttempts);
    QTRY_VERIFY(!m_main->mediaClass()->isBusy());
    m_player->clear();

    QTest::ignoreMessage(QtDebugMsg, "[MediaClass::ejectCd] the drive did not eject the disc");
    Q_EMIT m_main->input()->pressed(BUTTON_EJECT);
    QTRY_VERIFY(!m_main->input()->isEnabled());
    // Told, and on the shelf with the keys back.
    QTRY_VERIFY(!utterances().isEmpty());
    QTEST(utterances().first(), "told");
    QCOMPARE(m_main->mode(), MainClass::Mode::BookShelf);
    QTRY_VERIFY(m_main->input()->isEnabled());
    QCOMPARE(m_main->bookShelf()->count(), stick ? 3 : 1);
    QVERIFY(!sim->isTrayOpen());
}

void MainClassTest::adapterDuringBatteryEmptyWarning()
{
    enterMainMode();
    // The adapter comes in while the reader hears "battery empty, will power off".
    QObject plugging; // the connection ends with this test
    connect(Notifier::instance(), &Notifier::startNotify, &plugging, [] { SimBoard::instance()->setKey(s_adapterInput, s_adapterKey, true); });
    // A fresh window of samples: straight to empty, with no low-battery warning first.
    Platform::Axp209Model::instance().setBatteryMillivolts(3300);
    m_main->powerManager()->refresh();
    QTRY_COMPARE_WITH_TIMEOUT(m_main->mode(), MainClass::Mode::Idle, 20000);
    QVERIFY(!SimBoard::instance()->isPoweredOff());
    QCOMPARE(QSettings().value(QStringLiteral("batteryEmpty")).toBool(), false);

    // Charged and started again on battery: the device starts as usual.
    m_main.reset();
    Platform::Axp209Model::instance().setBatteryMillivolts(4100);
    createController(4, false);
    QCOMPARE(m_main->bootStatus(), 0);
}

void MainClassTest::bookFilesVanishWhilePlaying()
{
    enterMainMode();
    TestMedium stick(*m_root, QStringLiteral("/media/usb"), MediaSource::MediaTypeUsb);
    QVERIFY(stick.addAll({QStringLiteral("mp3:A/01.mp3"), QStringLiteral("mp3:A/02.mp3")}));
    Q_EMIT m_main->mediaClass()->mediaSourceInserted(stick.source(QStringLiteral("/dev/sda1")));
    // The only book starts by itself.
    QTRY_COMPARE_WITH_TIMEOUT(m_main->mode(), MainClass::Mode::Player, 20000);
    QTRY_VERIFY(m_main->input()->isEnabled());

    // Stopped once, so a place is stored, then on again.
    const QString marks = QStringLiteral("/root/quimbo/resumemark.xml");
    Q_EMIT m_main->input()->pressed(BUTTON_PLAY_STOP);
    Q_EMIT m_main->input()->released(BUTTON_PLAY_STOP);
    QTRY_VERIFY(m_root->exists(marks));
    const QByteArray stored = m_root->readFile(marks);
    Q_EMIT m_main->input()->pressed(BUTTON_PLAY_STOP);
    Q_EMIT m_main->input()->released(BUTTON_PLAY_STOP);
    m_player->clear();

    // Gone without a removal report: the playing file ends, the next one is missing.
    QVERIFY(QDir(stick.hostPath(QStringLiteral("A"))).removeRecursively());
    QTRY_COMPARE_WITH_TIMEOUT(m_main->mode(), MainClass::Mode::Main, 20000);
    QCOMPARE(m_main->bookShelf()->count(), 0);
    QStringList heard = spokenFiles();
    for (const QStringList &utterance : utterances())
        heard += utterance;
    QVERIFY2(!heard.contains(QStringLiteral("message008.wav")) && !heard.contains(QStringLiteral("message070.wav")), qPrintable(heard.join(QLatin1Char(' '))));
    QCOMPARE(m_root->readFile(marks), stored);
}

QTEST_GUILESS_MAIN(MainClassTest)
#include "mainclasstest.moc"
