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
#include "system/modebase.h"
#include "system/notifier.h"
#include "system/powermanager.h"
#include "system/sound.h"
#include "system/soundmanager.h"

#include "simsession.h"
#include "testmedium.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPointer>
#include <QRegularExpression>
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
    void keysWhileMediaBusy_data();
    void keysWhileMediaBusy();
    void volumeBeep_data();
    void volumeBeep();
    void usbFault_data();
    void usbFault();
    void startSlotWithoutMedia_data();
    void startSlotWithoutMedia();
    void transitions_data();
    void transitions();
    void adapterDuringBatteryEmptyWarning_data();
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
    // Every entry into main mode says "no media" once more.
    QTest::newRow("play, twice and after entering again") << 4 << QList<int>{BUTTON_PLAY_STOP, BUTTON_PLAY_STOP, BUTTON_NONE, BUTTON_PLAY_STOP}
                                                        << QList<QStringList>{say({"message029.wav", "message023.wav"}), say({"message029.wav"}),
                                                                              say({"message029.wav", "message023.wav"})};
    QTest::newRow("speed down") << 4 << QList<int>{BUTTON_SPEED_DOWN} << QList<QStringList>{say({"message036.wav", "message020.wav", "1.wav"})};
}

void MainClassTest::keyPressSpeaksItsFunction()
{
    QFETCH(int, revision);
    QFETCH(QList<int>, keys);
    QFETCH(QList<QStringList>, spoken);

    enterMainMode(revision);
    int i = 0;
    for (int key : std::as_const(keys)) {
        if (key == BUTTON_NONE) {
            m_main->runMainClass();
            continue;
        }
        Q_EMIT m_main->input()->pressed(key);
        // Each utterance is one run of the player; wait until it has read its playlist.
        QTRY_COMPARE(utterances().size(), i + 1);
        QTRY_COMPARE(utterances().at(i), spoken.at(i));
        ++i;
    }
    QCOMPARE(soundFiles(), QStringList());
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

void MainClassTest::transitions_data()
{
    using Mode = MainClass::Mode;
    QTest::addColumn<QStringList>("steps"); // "ACTION>HOLDER": what the reader or the device does, then who holds the keys
    // (a step "charging" puts the adapter in from the start)
    QTest::addColumn<QList<MainClass::Mode>>("modes"); // the controller's modes from main mode on
    QTest::addColumn<QStringList>("heard"); // the last utterance, when given

    const QString eject = QStringLiteral("message007.wav");
    const QString failed = QStringLiteral("message084.wav");
    const QString bookshelf = QStringLiteral("message074.wav");
    // "usb N" and "sd N" insert a medium of N books ("usb N bad": books that do not open); "-usb" and
    // "-inuse" remove one; "stick N" goes into the simulated slot; "~MS" after the holder: it follows after about MS of device time.
    QTest::newRow("power held in main mode") << QStringList{"hold power>off"} << QList<Mode>{Mode::Shutdown, Mode::PoweredOff} << QStringList();
    QTest::newRow("menu left with no books") << QStringList{"hold menu>menu", "release menu>main"} << QList<Mode>{Mode::SystemSettings, Mode::Main}
                                             << QStringList();
    // A medium inserted while the menu is open does not pull the device to the shelf; leaving the menu does.
    QTest::newRow("menu left with one book") << QStringList{"hold menu>menu", "usb 1>menu", "release menu>player"}
                                             << QList<Mode>{Mode::SystemSettings, Mode::Player} << QStringList();
    QTest::newRow("menu left with several books") << QStringList{"hold menu>menu", "usb 2>menu", "release menu>shelf"}
                                                  << QList<Mode>{Mode::SystemSettings, Mode::BookShelf} << QStringList();
    QTest::newRow("one book starts by itself") << QStringList{"usb 1>player"} << QList<Mode>{Mode::BookShelf, Mode::Player} << QStringList();
    // The shelf gets it back and waits for the reader: it is not started by itself again.
    QTest::newRow("a book that does not open") << QStringList{"usb 1 bad>shelf"} << QList<Mode>{Mode::BookShelf, Mode::Player, Mode::BookShelf}
                                               << QStringList();
    QTest::newRow("the last medium taken out of the shelf") << QStringList{"usb 2>shelf", "-usb>main"} << QList<Mode>{Mode::BookShelf, Mode::Main}
                                                            << QStringList();
    QTest::newRow("quit to the shelf from the player's menu") << QStringList{"usb 2>shelf", "play>player", "stop>player", "hold menu>menu", "play>shelf"}
                                                              << QList<Mode>{Mode::BookShelf, Mode::Player, Mode::BookShelf} << QStringList();
    QTest::newRow("book's medium removed, books left: the shelf after a second")
        << QStringList{"usb 2>shelf", "sd 1>shelf", "play>player", "-inuse>shelf~1000"} << QList<Mode>{Mode::BookShelf, Mode::Player, Mode::BookShelf}
        << QStringList();
    QTest::newRow("book's medium removed, nothing left: main mode at once") << QStringList{"usb 1>player", "-inuse>main~10"}
                                                                            << QList<Mode>{Mode::BookShelf, Mode::Player, Mode::Main} << QStringList();
    // The shelf's own menu is ended by the shelf that follows: one mode acts on the keys.
    QTest::newRow("book's medium removed while the shelf's menu is open") << QStringList{"usb 2>shelf", "sd 1>shelf", "hold menu>menu", "-inuse>shelf"}
                                                                          << QList<Mode>{Mode::BookShelf} << QStringList();
    QTest::newRow("eject and quit") << QStringList{"disc>player", "eject>main"} << QList<Mode>{Mode::BookShelf, Mode::Player, Mode::Main}
                                    << QStringList();
    QTest::newRow("eject on the shelf") << QStringList{"usb 2>shelf", "disc>shelf", "books 3>shelf", "eject>shelf", "books 2>shelf"} << QList<Mode>{Mode::BookShelf} << QStringList();
    QTest::newRow("eject failing in the player: back to the shelf") << QStringList{"disc>player", "eject fails>shelf"}
                                                                    << QList<Mode>{Mode::BookShelf, Mode::Player, Mode::BookShelf}
                                                                    << QStringList{eject, failed, bookshelf};
    QTest::newRow("eject failing while a stick's book plays")
        << QStringList{"usb 2>shelf", "disc>shelf", "books 3>shelf", "release ff>shelf", "play>player", "eject fails>player"}
        << QList<Mode>{Mode::BookShelf, Mode::Player} << QStringList{eject, failed};
    QTest::newRow("eject failing on the shelf") << QStringList{"usb 2>shelf", "disc>shelf", "books 3>shelf", "eject fails>shelf", "books 3>shelf"} << QList<Mode>{Mode::BookShelf}
                                                << QStringList{eject, failed};
    // A medium pulled as the shutdown begins queues the shelf; the shutdown's own waits let it through.
    QTest::newRow("power held, the shelf queued meanwhile") << QStringList{"hold power queuing shelf>off"} << QList<Mode>{Mode::Shutdown, Mode::PoweredOff}
                                                            << QStringList();
    QTest::newRow("power held on the shelf") << QStringList{"usb 2>shelf", "hold power>off"}
                                             << QList<Mode>{Mode::BookShelf, Mode::Shutdown, Mode::PoweredOff} << QStringList();
    // Charging, the shutdown turns into idle mode, which alone holds the keys afterwards (from the shelf: the rows below).
    QTest::newRow("shutdown into idle from the menu") << QStringList{"charging", "hold menu>menu", "hold power>idle"}
                                                      << QList<Mode>{Mode::SystemSettings, Mode::Shutdown, Mode::Idle} << QStringList();
    QTest::newRow("shutdown into idle from the player's menu")
        << QStringList{"charging", "usb 1>player", "stop>player", "hold menu>menu", "hold power>idle"}
        << QList<Mode>{Mode::BookShelf, Mode::Player, Mode::Shutdown, Mode::Idle} << QStringList();
    // Switched off into charging and on again: the media are read afresh, their books listed once.
    QTest::newRow("on again after charging, from the shelf") << QStringList{"charging", "stick 2>shelf", "hold power>idle", "hold power>shelf", "books 2>shelf"}
                                                             << QList<Mode>{Mode::BookShelf, Mode::Shutdown, Mode::Idle, Mode::PowerUp, Mode::Main, Mode::BookShelf}
                                                             << QStringList();
    // The stick remembers the book: it starts again by itself.
    QTest::newRow("on again after charging, from a book")
        << QStringList{"charging", "stick 2>shelf", "play>player", "hold power>idle", "hold power>player", "books 2>player"}
        << QList<Mode>{Mode::BookShelf, Mode::Player, Mode::Shutdown, Mode::Idle, Mode::PowerUp, Mode::Main, Mode::BookShelf, Mode::Player} << QStringList();
    // A device that looks switched off never starts talking: a start queued just before is dropped.
    QTest::newRow("idle mode: queued starts dropped") << QStringList{"charging", "usb 2>shelf", "hold power>idle", "start shelf>idle", "start player>idle", "start main>idle"}
                                                     << QList<Mode>{Mode::BookShelf, Mode::Shutdown, Mode::Idle} << QStringList();
    QTest::newRow("idle mode: adapter removed") << QStringList{"charging", "hold power>idle", "unplug>off"}
                                                << QList<Mode>{Mode::Shutdown, Mode::Idle, Mode::Shutdown, Mode::PoweredOff} << QStringList();
    QTest::newRow("idle mode: fully charged") << QStringList{"charging", "hold power>idle", "charged>off"}
                                              << QList<Mode>{Mode::Shutdown, Mode::Idle, Mode::Shutdown, Mode::PoweredOff} << QStringList();
    QTest::newRow("idle mode: power held, adapter removed in the start-up tune") << QStringList{"charging", "hold power>idle", "hold power unplugging>off"}
                                                                                 << QList<Mode>{Mode::Shutdown, Mode::Idle, Mode::Shutdown, Mode::PoweredOff} << QStringList();
}

void MainClassTest::transitions()
{
    QFETCH(QStringList, steps);
    QFETCH(QList<MainClass::Mode>, modes);
    QFETCH(QStringList, heard);

    Platform::SimMedia *sim = Platform::SimMedia::instance();
    TestMedium disc(*m_root, QStringLiteral("/host/disc"), MediaSource::MediaTypeCdRom);
    QVERIFY(disc.add(QStringLiteral("mp3:01.mp3")));
    QHash<QString, MediaSource> inserted; // by "usb" and "sd"
    enterMainMode(4, steps.removeAll(QStringLiteral("charging")) > 0);
    QSignalSpy changes(m_main.get(), &MainClass::modeChanged);
    Input *input = m_main->input();
    for (const QString &step : std::as_const(steps)) {
        const QString action = step.section(QLatin1Char('>'), 0, 0);
        const QString holder = step.section(QLatin1Char('>'), 1).section(QLatin1Char('~'), 0, 0);
        const int delay = step.section(QLatin1Char('~'), 1).toInt();
        const QStringList words = action.split(QLatin1Char(' '));
        const qsizetype changed = changes.size();
        // Where a delay is measured device time runs at half speed: a second is
        // told from "at once" even when a loaded machine answers late.
        const double scale = delay > 0 ? 2.0 : 0.01;
        Platform::setTimeScale(scale);
        QElapsedTimer clock;
        clock.start();
        if (words.first() == QLatin1String("usb") || words.first() == QLatin1String("sd")) {
            TestMedium medium(*m_root, QStringLiteral("/media/") + words.first(),
                              words.first() == QLatin1String("usb") ? MediaSource::MediaTypeUsb : MediaSource::MediaTypeMmc);
            for (int book = 0; book < words.at(1).toInt(); ++book) {
                const QString file = QStringLiteral("%1/01.mp3").arg(QChar(u'A' + book));
                QVERIFY(medium.add(QStringLiteral("mp3:") + file));
                if (words.size() > 2)
                    QVERIFY(QFile::resize(medium.hostPath(file), 0));
            }
            inserted.insert(words.first(), medium.source(words.first() == QLatin1String("usb") ? QStringLiteral("/dev/sda1") : QStringLiteral("/dev/mmcblk0p1")));
            Q_EMIT m_main->mediaClass()->mediaSourceInserted(inserted.value(words.first()));
            QTRY_COMPARE_WITH_TIMEOUT(m_main->bookShelf()->pendingSearches(), 0, 20000);
        } else if (words.first() == QLatin1String("stick")) {
            // In the simulated slot: the media class mounts and reads it, at every power-up again.
            TestMedium stick(*m_root, QStringLiteral("/host/stick"), MediaSource::MediaTypeUsb);
            for (int book = 0; book < words.at(1).toInt(); ++book)
                QVERIFY(stick.add(QStringLiteral("mp3:%1/01.mp3").arg(QChar(u'A' + book))));
            QVERIFY(sim->insert(Platform::SimMedia::UsbSlot, stick.hostPath()));
        } else if (words.first() == QLatin1String("books")) {
            QTRY_VERIFY(!m_main->mediaClass()->isBusy());
            QTRY_COMPARE(m_main->bookShelf()->count(), words.at(1).toInt());
        } else if (words.first() == QLatin1String("-usb")) {
            Q_EMIT m_main->mediaClass()->mediaSourceRemoved(inserted.take(QStringLiteral("usb")));
        } else if (words.first() == QLatin1String("-inuse")) {
            const QString url = m_main->bookShelf()->bookInUse().url();
            const QString key = url.contains(QLatin1String("/media/usb/")) ? QStringLiteral("usb") : QStringLiteral("sd");
            QVERIFY2(inserted.contains(key), qPrintable(url));
            Q_EMIT m_main->mediaClass()->mediaSourceRemoved(inserted.take(key));
        } else if (words.first() == QLatin1String("disc")) {
            QVERIFY(sim->insertDisc(Platform::SimMedia::AudioDisc, disc.hostPath()));
        } else if (words.first() == QLatin1String("eject")) {
            QTRY_VERIFY(!m_main->mediaClass()->isBusy());
            if (words.size() > 1)
                sim->setEjectFailures(CdRomWorker::kEjectAttempts);
            m_player->clear();
            Q_EMIT input->pressed(BUTTON_EJECT);
            // A book on another medium plays on with the keys.
            if (holder != QLatin1String("player"))
                QTRY_VERIFY(!input->isEnabled());
        } else if (words.first() == QLatin1String("start")) {
            QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("dropped, the device is in idle mode$")));
            const char *slot = words.last() == QLatin1String("shelf") ? "runBookShelf" : words.last() == QLatin1String("main") ? "runMainClass" : "runPlayer";
            QVERIFY(QMetaObject::invokeMethod(m_main.get(), slot));
        } else if (words.first() == QLatin1String("unplug")) {
            SimBoard::instance()->setKey(s_adapterInput, s_adapterKey, false);
        } else if (words.first() == QLatin1String("charged")) {
            // The charger stops at a full cell; the gauge then reads it full.
            Platform::Axp209Model::instance().setBatteryMillivolts(Platform::Axp209Model::FullMillivolts + 20);
        } else if (words.first() == QLatin1String("stop")) {
            QTRY_VERIFY(ModeBase::keyHolder() && ModeBase::keyHolder()->audioPlaying());
            Q_EMIT input->pressed(BUTTON_PLAY_STOP);
            Q_EMIT input->released(BUTTON_PLAY_STOP);
            QTRY_VERIFY(!ModeBase::keyHolder()->audioPlaying());
        } else {
            if (words.contains(QLatin1String("queuing"))) {
                QTest::ignoreMessage(QtDebugMsg, "void MainClass::runBookShelf(): dropped, the device is shutting down");
                connect(m_main.get(), &MainClass::aboutToShutdown, this, [this] { QMetaObject::invokeMethod(m_main.get(), "runBookShelf", Qt::QueuedConnection); });
            }
            const QString name = words.value(1, words.first());
            int key = name == QLatin1String("play") ? BUTTON_PLAY_STOP : name == QLatin1String("menu") ? BUTTON_SLEEP_MENU : BUTTON_POWER;
            if (name == QLatin1String("ff"))
                key = BUTTON_FAST_FORWARD;
            if (words.first() != QLatin1String("release"))
                Q_EMIT input->pressed(key);
            if (words.first() == QLatin1String("hold"))
                Q_EMIT input->holded(key);
            else
                Q_EMIT input->released(key);
            if (words.contains(QLatin1String("unplugging")))
                SimBoard::instance()->setKey(s_adapterInput, s_adapterKey, false);
        }

        if (holder == QLatin1String("off")) {
            QTRY_COMPARE_WITH_TIMEOUT(m_main->mode(), MainClass::Mode::PoweredOff, 10000);
            continue;
        }
        // Exactly one mode holds the keys, the one the step leads to.
        auto holderName = [] { return ModeBase::keyHolder() ? ModeBase::keyHolder()->modeName() : QString(); };
        QTRY_COMPARE_WITH_TIMEOUT(holderName(), holder, 20000);
        QTRY_VERIFY(input->isEnabled());
        // Charging, the device looks switched off and says nothing.
        QCOMPARE(m_main->powerManager()->chargerLed(), holder == QLatin1String("idle"));
        if (delay > 0) {
            QTRY_VERIFY(changes.size() > changed);
            const qint64 elapsed = clock.elapsed();
            const qint64 second = qint64(1000 * scale);
            QVERIFY2(delay >= 1000 ? elapsed >= second * 9 / 10 : elapsed < second * 9 / 10, qPrintable(QString::number(elapsed)));
        }
    }
    QTRY_COMPARE(changes.size(), modes.size());
    for (int i = 0; i < modes.size(); ++i)
        QCOMPARE(changes.at(i).first().value<MainClass::Mode>(), modes.at(i));
    if (!heard.isEmpty()) {
        QTRY_VERIFY(!utterances().isEmpty());
        QCOMPARE(utterances().first(), heard);
        QVERIFY(!sim->isTrayOpen());
    }
    // Settled: no mode starts late.
    QTest::qWait(50);
    QCOMPARE(changes.size(), modes.size());
}

void MainClassTest::adapterDuringBatteryEmptyWarning_data()
{
    QTest::addColumn<bool>("reading"); // a book plays when the battery runs out
    QTest::newRow("in main mode") << false;
    QTest::newRow("while a book plays") << true;
}

void MainClassTest::adapterDuringBatteryEmptyWarning()
{
    QFETCH(bool, reading);
    enterMainMode();
    QPointer<ModeBase> player;
    if (reading) {
        TestMedium stick(*m_root, QStringLiteral("/media/usb"), MediaSource::MediaTypeUsb);
        QVERIFY(stick.add(QStringLiteral("mp3:A/01.mp3")));
        Q_EMIT m_main->mediaClass()->mediaSourceInserted(stick.source(QStringLiteral("/dev/sda1")));
        QTRY_COMPARE_WITH_TIMEOUT(m_main->mode(), MainClass::Mode::Player, 20000);
        QTRY_VERIFY(m_main->input()->isEnabled());
        player = ModeBase::keyHolder();
    }
    // Idle mode never begins beside the book's player.
    bool playerAtIdle = false;
    connect(m_main.get(), &MainClass::modeChanged, m_main.get(), [&](MainClass::Mode mode) { playerAtIdle |= mode == MainClass::Mode::Idle && player; });
    // The adapter comes in while the reader hears "battery empty, will power off".
    QObject plugging; // the connection ends with this test
    connect(Notifier::instance(), &Notifier::startNotify, &plugging, [] { SimBoard::instance()->setKey(s_adapterInput, s_adapterKey, true); });
    // A fresh window of samples: straight to empty, with no low-battery warning first.
    Platform::Axp209Model::instance().setBatteryMillivolts(3300);
    m_main->powerManager()->refresh();
    QTRY_COMPARE_WITH_TIMEOUT(m_main->mode(), MainClass::Mode::Idle, 20000);
    QVERIFY(!playerAtIdle);
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
