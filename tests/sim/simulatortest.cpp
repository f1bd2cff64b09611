// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The real quimbo-basic on the simulated board, driven through its control
// socket and scripts, judged by the log it writes and the prompts it starts.
#include "quimboversion.h"
#include "testroot.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString kBinary = QStringLiteral(QUIMBO_BINARY_DIR "/bin/quimbo-basic");
const QString kPlayWrapper = QStringLiteral(QUIMBO_SOURCE_DIR "/tools/sim-bin/play");
// Short enough that boot waits and the 2 s hold take a few hundred ms. Key
// times count in scan ticks of at least 1 ms, so taps here last 100 ticks:
// even a busy machine scans a key that long five times.
const QByteArray kTimeScale = "0.05";
constexpr int kProcessTimeoutMsec = 30000;

// Records every start of "play": its arguments, then each line of a playlist
// it was given (the firmware rewrites the playlist for the next utterance).
// A playlist holding $PLAY_SLOW lasts two seconds, so what the device does
// while an answer sounds can be seen.
const char kStandInPlay[] = "#!/bin/sh\n"
                            "echo \"play $*\" >> \"$PLAY_RECORD\"\n"
                            "for a in \"$@\"; do\n"
                            "  case \"$a\" in *.m3u) sed 's/^/  /' \"$a\" >> \"$PLAY_RECORD\"\n"
                            "    [ -n \"$PLAY_SLOW\" ] && grep -qs \"$PLAY_SLOW\" \"$a\" && sleep 2;; esac\n"
                            "done\n"
                            "exit 0\n";
const QString kRoadBook = QStringLiteral(QUIMBO_GENERATED_DATA "/daisy/road202");
const QString kManual = QStringLiteral(QUIMBO_BINARY_DIR "/emanuals/eng");
} // namespace

class SimulatorTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void mainModeKeys();
    void demoEndsByItself();
    void badScriptLinesAreReported();
    void scriptInsertsAndRemovesMedia();
    void playWrapperNamesPrompts();
    void adapterStartWithMenuHeldInstallsUpdate();
    void adapterStartWithFastForwardHeldCopiesLogs();
    void holdsAndTapsReachTheFirmware_data();
    void holdsAndTapsReachTheFirmware();
    void statusAlongARoad();
    void playWrapperTakesTheClipsTime();

private:
    void start(const QStringList &arguments);
    /** Starts the firmware with a control socket and connects to it. */
    void startWithSocket(const QStringList &arguments);
    QString send(const QString &line);
    /** A stick holding the road book; its folder. */
    QString roadStick();
    /** The playlists handed to play, each as its list of message file names. */
    QList<QStringList> playlists() const;

    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<QTemporaryDir> m_bin;
    std::unique_ptr<QProcess> m_firmware;
    std::unique_ptr<QLocalSocket> m_socket;
    QString m_record;
};

void SimulatorTest::initTestCase()
{
    QVERIFY2(QFileInfo(kBinary).isExecutable(), qPrintable(kBinary));
}

void SimulatorTest::init()
{
    m_root = std::make_unique<TestRoot>();
    m_bin = std::make_unique<QTemporaryDir>();
    QVERIFY(m_bin->isValid());
    QFile play(m_bin->filePath(QStringLiteral("play")));
    QVERIFY(play.open(QIODevice::WriteOnly));
    play.write(kStandInPlay);
    play.close();
    QVERIFY(play.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    m_record = m_root->path(QStringLiteral("/tmp/play-record"));
    QDir().mkpath(m_root->path(QStringLiteral("/tmp")));
}

void SimulatorTest::cleanup()
{
    m_socket.reset();
    if (m_firmware && m_firmware->state() != QProcess::NotRunning) {
        m_firmware->kill();
        m_firmware->waitForFinished(5000);
    }
    if (QTest::currentTestFailed() && m_firmware) {
        qInfo().noquote() << "firmware output:\n" << m_firmware->readAllStandardOutput();
        qInfo().noquote() << "log:\n" << m_root->log();
    }
    m_firmware.reset();
    m_bin.reset();
    m_root.reset();
}

void SimulatorTest::start(const QStringList &arguments)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QUIMBO_ROOT"), m_root->root());
    env.insert(QStringLiteral("QUIMBO_PLATFORM"), QStringLiteral("sim"));
    env.insert(QStringLiteral("QUIMBO_TIME_SCALE"), QString::fromLatin1(kTimeScale));
    env.insert(QStringLiteral("PLAY_RECORD"), m_record);
    env.insert(QStringLiteral("PLAY_SLOW"), QStringLiteral("message037"));
    env.insert(QStringLiteral("PATH"), m_bin->path() + QLatin1Char(':') + env.value(QStringLiteral("PATH")));
    m_firmware = std::make_unique<QProcess>();
    m_firmware->setProcessEnvironment(env);
    // Debug lines go to standard error too; only the simulator's own output matters here.
    m_firmware->setStandardErrorFile(QProcess::nullDevice());
    m_firmware->setStandardInputFile(QProcess::nullDevice());
    TestData::startBuiltProgram(m_firmware.get(), kBinary, QStringList{QStringLiteral("--sim")} + arguments);
    QVERIFY(m_firmware->waitForStarted(5000));
}

QString SimulatorTest::send(const QString &line)
{
    m_socket->write(line.toUtf8() + '\n');
    m_socket->flush();
    QElapsedTimer timer;
    timer.start();
    while (!m_socket->canReadLine() && timer.elapsed() < kProcessTimeoutMsec)
        m_socket->waitForReadyRead(100);
    return QString::fromUtf8(m_socket->readLine()).trimmed();
}

void SimulatorTest::startWithSocket(const QStringList &arguments)
{
    const QString socketPath = m_root->path(QStringLiteral("/tmp/sim.sock"));
    start(arguments + QStringList{QStringLiteral("--control"), socketPath});
    m_socket = std::make_unique<QLocalSocket>();
    QTRY_VERIFY_WITH_TIMEOUT((m_socket->abort(), m_socket->connectToServer(socketPath), m_socket->waitForConnected(100)), 10000);
}

QString SimulatorTest::roadStick()
{
    const QString stick = m_root->path(QStringLiteral("/host/stick"));
    QDir().mkpath(stick + QStringLiteral("/road202"));
    for (const QString &file : QDir(kRoadBook).entryList(QDir::Files))
        QFile::copy(kRoadBook + QLatin1Char('/') + file, stick + QStringLiteral("/road202/") + file);
    return stick;
}

QList<QStringList> SimulatorTest::playlists() const
{
    QFile file(m_record);
    QList<QStringList> lists;
    if (!file.open(QIODevice::ReadOnly))
        return lists;
    bool inList = false;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith("play ")) {
            inList = line.contains(".m3u");
            if (inList)
                lists.append(QStringList());
        } else if (inList && line.startsWith("  ")) {
            lists.last().append(QFileInfo(QString::fromUtf8(line.trimmed())).fileName());
        }
    }
    return lists;
}

void SimulatorTest::mainModeKeys()
{
    // The controller's own test speaks each revision's words for no medium; here the option picks the board.
    const QString socketPath = m_root->path(QStringLiteral("/tmp/sim.sock"));
    start({QStringLiteral("--revision"), QStringLiteral("6"), QStringLiteral("--control"), socketPath});
    m_socket = std::make_unique<QLocalSocket>();
    QTRY_VERIFY_WITH_TIMEOUT((m_socket->abort(), m_socket->connectToServer(socketPath), m_socket->waitForConnected(100)), 10000);

    QCOMPARE(send(QStringLiteral("await USB Fault notifier is active")), QStringLiteral("ok"));
    QCOMPARE(send(QStringLiteral("await void MainClass::runMainClass()")), QStringLiteral("ok"));
    QVERIFY(m_root->log().contains(QStringLiteral("PCB revision    : \"Rev6\"")));
    // Main mode takes the keys once its start is over.
    QTRY_VERIFY_WITH_TIMEOUT(send(QStringLiteral("status")).contains(QLatin1String(" input=on ")), 10000);

    // The first play/stop in main mode also says that there is no medium.
    QCOMPARE(send(QStringLiteral("tap play 1000")), QStringLiteral("ok"));
    QCOMPARE(send(QStringLiteral("await void MainClass::keyPressEvent(int)")), QStringLiteral("ok"));
    QTRY_COMPARE(playlists().size(), 1);
    QCOMPARE(playlists().at(0), (QStringList{QStringLiteral("message029.wav"), QStringLiteral("message087.wav")}));

    QCOMPARE(send(QStringLiteral("tap play 1000")), QStringLiteral("ok"));
    QCOMPARE(send(QStringLiteral("await void MainClass::keyPressEvent(int)")), QStringLiteral("ok"));
    QTRY_COMPARE(playlists().size(), 2);
    QCOMPARE(playlists().at(1), QStringList{QStringLiteral("message029.wav")});

    // The knob reaches main mode as a release.
    QCOMPARE(send(QStringLiteral("knob +1")), QStringLiteral("ok"));
    QCOMPARE(send(QStringLiteral("await void MainClass::keyReleaseEvent(int)")), QStringLiteral("ok"));

    const QString status = send(QStringLiteral("status"));
    QVERIFY2(status.contains(QLatin1String("led1=on")), qPrintable(status));
    QVERIFY2(status.contains(QLatin1String("usb0=on")), qPrintable(status));
    // A Rev6 board reports a fault on the USB port.
    QCOMPARE(send(QStringLiteral("usbfault on")), QStringLiteral("ok"));
    QCOMPARE(send(QStringLiteral("await : external usb fault event triggered")), QStringLiteral("ok"));
    QVERIFY(send(QStringLiteral("status")).contains(QLatin1String("line202=0")));

    // Holding the power button shuts down; the board's power-off ends the
    // process, quite possibly before the hold is over and answered.
    m_socket->write("hold power\n");
    m_socket->flush();
    QVERIFY(m_firmware->waitForFinished(kProcessTimeoutMsec));
    QCOMPARE(m_firmware->exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_firmware->exitCode(), 0);
    const QString log = m_root->log();
    QVERIFY(log.contains(QLatin1String("Debug: void MainClass::keyHoldEvent(int)")));
    QVERIFY(log.contains(QLatin1String("Debug: void MainClass::runShutdown()")));
    const QString output = QString::fromUtf8(m_firmware->readAllStandardOutput());
    QVERIFY2(output.contains(QLatin1String("[sim] system: poweroff")), qPrintable(output));
    QVERIFY2(output.contains(QLatin1String("[sim] LED1 off")), qPrintable(output));
}

void SimulatorTest::demoEndsByItself()
{
    start({QStringLiteral("--demo")});
    QVERIFY(m_firmware->waitForFinished(kProcessTimeoutMsec));
    QCOMPARE(m_firmware->exitCode(), 0);
    const QString output = QString::fromUtf8(m_firmware->readAllStandardOutput());
    for (const char *expected : {"[sim] running script demo", "[sim] > tap play 500", "[sim] > knob +2",
                                 "[sim] > hold power 2500", "[sim] system: poweroff"}) {
        QVERIFY2(output.contains(QLatin1String(expected)), expected);
    }
    // Every key of the demo reached main mode: four keypad taps, and the
    // power button pressed twice (a tap, then the hold).
    QCOMPARE(m_root->log().count(QLatin1String("Debug: void MainClass::keyPressEvent(int)")), 6);
}

void SimulatorTest::badScriptLinesAreReported()
{
    const QString script = QStringLiteral("/tmp/test.script");
    QVERIFY(m_root->writeFile(script,
                              "# waits for main mode, then leaves\n"
                              "await void MainClass::runMainClass()\n"
                              "press nothing\n"
                              "knob 3\n"
                              "revision 6\n"
                              "quit\n"));
    start({QStringLiteral("--script"), m_root->path(script)});
    QVERIFY(m_firmware->waitForFinished(kProcessTimeoutMsec));
    QCOMPARE(m_firmware->exitCode(), 0);
    const QString log = m_root->log();
    QVERIFY2(log.contains(QLatin1String("Warning: [SimController::startScript] ") + m_root->path(script)
                          + QLatin1String(" line 3: unknown key \"nothing\": press nothing")),
             qPrintable(log));
    QVERIFY(log.contains(QLatin1String(" line 4: \"knob\" takes +N or -N")));
    // Too late for the straps: the board stays a Rev4.
    QVERIFY(log.contains(QLatin1String("revision 6 error: the revision can only be set before the firmware starts")));
    QVERIFY(log.contains(QLatin1String("PCB revision    : \"Rev4\"")));
}

void SimulatorTest::scriptInsertsAndRemovesMedia()
{
    const QString stick = QStringLiteral("/host/Books #1/");
    QVERIFY(m_root->writeFile(stick + QStringLiteral("Daisy Book/ncc.html"), "<html/>"));
    QVERIFY(m_root->writeFile(stick + QStringLiteral("Daisy Book/01 chapter.mp3"), "ID3"));
    QVERIFY(m_root->writeFile(QStringLiteral("/host/card/readme.txt"), "no book here"));
    const QString script = QStringLiteral("/tmp/media.script");
    QVERIFY(m_root->writeFile(script, ("await [UDevMonitor::start]\n"
                                       "usb insert " + m_root->path(stick) + "\n"
                                       "await [MediaClass::searchingFilesReady] files: 2\n"
                                       "status\n"
                                       "sd insert " + m_root->path(QStringLiteral("/host/card")) + "\n"
                                       "await [MediaClass::searchingFilesReady] mediaSource is empty.\n"
                                       "usb remove\n"
                                       "await [MediaClass::udevDeviceRemoved] storage deivce: \"/dev/sda\"\n"
                                       "quit\n").toUtf8()));
    start({QStringLiteral("--script"), m_root->path(script)});
    QVERIFY(m_firmware->waitForFinished(kProcessTimeoutMsec));
    QCOMPARE(m_firmware->exitCode(), 0);
    const QString output = QString::fromUtf8(m_firmware->readAllStandardOutput());
    for (const QString &expected : {QStringLiteral("[sim] usb inserted %1 (/dev/sda1, vfat)").arg(QDir::cleanPath(m_root->path(stick))),
                                    QStringLiteral("[sim] mounted /dev/sda1 on /media/usb"), QStringLiteral("mounts=/media/usb=/dev/sda1"),
                                    QStringLiteral("[sim] sd inserted"), QStringLiteral("[sim] usb removed"),
                                    QStringLiteral("[sim] unmounted /media/usb")}) {
        QVERIFY2(output.contains(expected), qPrintable(expected + QStringLiteral(" not in:\n") + output));
    }
    const QString log = m_root->log();
    QVERIFY(log.contains(QLatin1String("[MediaSourceManager::mount] \"/dev/sda1\" is mounted")));
    // The card without a book is refused, and left unmounted.
    QVERIFY(log.contains(QLatin1String("[MediaSourceManager::unmount] \"/dev/mmcblk1p1\" unmount succesfull")));
}

void SimulatorTest::adapterStartWithMenuHeldInstallsUpdate()
{
    const QString package = QStringLiteral(QUIMBO_GENERATED_DATA "/update/firmware-good.zip");
    QVERIFY2(QFileInfo::exists(package), qPrintable(package));
    const QString stick = m_root->path(QStringLiteral("/host/update stick"));
    QVERIFY(QDir().mkpath(stick));
    QVERIFY(QFile::copy(package, stick + QStringLiteral("/update.zip")));
    // The firmware now installed, which the package replaces.
    QVERIFY(m_root->writeFile(QStringLiteral("/root/quimbo/bin/quimbo-basic"), "#!/bin/sh\necho " QUIMBO_VERSION_STRING "\n"));
    QVERIFY(QFile::setPermissions(m_root->path(QStringLiteral("/root/quimbo/bin/quimbo-basic")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

    const QString script = QStringLiteral("/tmp/update.script");
    QVERIFY(m_root->writeFile(script, ("usb insert " + stick + "\n"
                                       "adapter in\n"
                                       "press menu\n"
                                       "await void MainClass::runUpdate()\n"
                                       "release menu\n").toUtf8()));
    start({QStringLiteral("--script"), m_root->path(script)});
    // A finished update powers off even on the adapter, which ends the simulation.
    QVERIFY(m_firmware->waitForFinished(kProcessTimeoutMsec));
    QCOMPARE(m_firmware->exitCode(), 0);

    const QString log = m_root->log();
    QVERIFY(log.contains(QLatin1String("update/datapackges files found.. start update")));
    QVERIFY(log.contains(QLatin1String("[KalUpdateManager::firmwareUpdate]: firmware updated to: \"" QUIMBO_TEST_UPDATE_VERSION "\"")));
    QVERIFY(!log.contains(QLatin1String("we are charging.. so we are going in idle mode")));
    QVERIFY(m_root->readFile(QStringLiteral("/root/quimbo/bin/quimbo-basic")).contains(QUIMBO_TEST_UPDATE_VERSION));
    QVERIFY(QString::fromUtf8(m_firmware->readAllStandardOutput()).contains(QLatin1String("poweroff")));
}

void SimulatorTest::adapterStartWithFastForwardHeldCopiesLogs()
{
    const QString stick = m_root->path(QStringLiteral("/host/log stick"));
    QVERIFY(QDir().mkpath(stick));
    const QString script = QStringLiteral("/tmp/logs.script");
    QVERIFY(m_root->writeFile(script, ("usb insert " + stick + "\n"
                                       "adapter in\n"
                                       "press ff\n"
                                       "await [MainClass::runLogBackup]\n"
                                       "release ff\n"
                                       "await void MainClass::runIdleMode()\n"
                                       "status\n"
                                       "quit\n").toUtf8()));
    start({QStringLiteral("--script"), m_root->path(script)});
    QVERIFY(m_firmware->waitForFinished(kProcessTimeoutMsec));
    QCOMPARE(m_firmware->exitCode(), 0);

    QVERIFY(m_root->log().contains(QLatin1String("[MainClass::runLogBackup] succesfull")));
    QVERIFY(m_root->readFile(QStringLiteral("/host/log stick/log")).contains("void MainClass::runLogBackup()"));
    // Charging afterwards: the device looks off, the adapter stays in.
    const QString output = QString::fromUtf8(m_firmware->readAllStandardOutput());
    QVERIFY2(output.contains(QLatin1String("adapter=in")) && output.contains(QLatin1String("charging=yes")), qPrintable(output));
}

void SimulatorTest::playWrapperNamesPrompts()
{
    const QString eng = QStringLiteral("/root/quimbo/messages/eng/");
    QVERIFY(m_root->writeFile(eng + QStringLiteral("message047.wav"), "RIFF"));
    QVERIFY(m_root->writeFile(eng + QStringLiteral("message029.wav"), "RIFF"));
    QVERIFY(m_root->writeFile(eng + QStringLiteral("12.wav"), "RIFF"));
    QVERIFY(m_root->writeFile(QStringLiteral("/root/quimbo/tmpPlaylist.m3u"),
                              (m_root->path(eng) + QStringLiteral("message029.wav\n") + m_root->path(eng) + QStringLiteral("12.wav\n")).toUtf8()));
    const QString voice = m_root->path(QStringLiteral("/tmp/voice.log"));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QUIMBO_SIM_VOICE_LOG"), voice);
    env.insert(QStringLiteral("PLAY_RECORD"), m_record);
    // The wrapper hands over to the next play on PATH: the stand-in.
    env.insert(QStringLiteral("PATH"), QFileInfo(kPlayWrapper).absolutePath() + QLatin1Char(':') + m_bin->path() + QStringLiteral(":/usr/bin:/bin"));
    for (const QString &file : {m_root->path(eng + QStringLiteral("message047.wav")), m_root->path(QStringLiteral("/root/quimbo/tmpPlaylist.m3u"))}) {
        QProcess play;
        play.setProcessEnvironment(env);
        play.start(kPlayWrapper, {QStringLiteral("-v"), QStringLiteral("0.5"), QStringLiteral("-q"), file});
        QVERIFY(play.waitForFinished(10000));
        QCOMPARE(play.exitCode(), 0);
    }
    QCOMPARE(m_root->readFile(QStringLiteral("/tmp/voice.log")), QByteArray("047 Welcome\n029 Play, stop\nnumber 12\n"));
    QCOMPARE(playlists().size(), 1);
    QVERIFY(QString::fromUtf8(m_root->readFile(QStringLiteral("/tmp/play-record"))).startsWith(QLatin1String("play -v 0.5 -q ")));
}

void SimulatorTest::holdsAndTapsReachTheFirmware_data()
{
    QTest::addColumn<QString>("revision");
    QTest::addColumn<bool>("stick");
    QTest::addColumn<QStringList>("commands");
    // Every command must answer "ok"; an await that times out fails the row.
    // "? TEXT" waits until the status line holds TEXT.
    QTest::newRow("play held in a playing book: its start, then on from there")
        << QStringLiteral("4") << true
        << QStringList{QStringLiteral("await engine play"), QStringLiteral("wait 3000"), QStringLiteral("hold play 2500"),
                       QStringLiteral("await message037.wav"),
                       QStringLiteral("await engine play %ROOT%/media/usb/road202/audio0001.mp3 at 0"),
                       QStringLiteral("await engine mute off")};
    QTest::newRow("play held in the manual: the contents")
        << QStringLiteral("6") << false
        << QStringList{QStringLiteral("await void MainClass::runMainClass()"), QStringLiteral("hold menu 2500"),
                       QStringLiteral("await void SystemSettings::run()"), QStringLiteral("? mode=menu "), QStringLiteral("? input=on "), QStringLiteral("wait 2000"),
                       QStringLiteral("tap play 200"),
                       QStringLiteral("await engine play %ROOT%/root/quimbo/emanuals/eng/audio0001.mp3"), QStringLiteral("hold play 2500"),
                       QStringLiteral("await engine play %ROOT%/root/quimbo/emanuals/eng/audio0002.mp3")};
    // The shortest tap the keypad takes (its debounce) on each key; the power
    // button and the adapter answer with named sounds.
    QStringList taps{QStringLiteral("await void MainClass::runMainClass()"), QStringLiteral("? input=on ")};
    for (const char *key : {"ff", "rew", "menu", "speeddown", "eject", "play", "pitchup", "pitchdown", "speedup"})
        taps << QStringLiteral("tap %1 60").arg(QLatin1String(key)) << QStringLiteral("await void MainClass::keyPressEvent(int)");
    taps << QStringLiteral("knob +1") << QStringLiteral("await [sim] sound tick_beep") << QStringLiteral("adapter in")
         << QStringLiteral("await [sim] sound charger_connect");
    QTest::newRow("taps of 60 ms on every key in main mode") << QStringLiteral("4") << false << taps;
}

void SimulatorTest::holdsAndTapsReachTheFirmware()
{
    QFETCH(QString, revision);
    QFETCH(bool, stick);
    QFETCH(QStringList, commands);
    if (revision == QLatin1String("6")) {
        QVERIFY(QDir().mkpath(m_root->path(QStringLiteral("/root/quimbo/emanuals"))));
        QVERIFY(QFile::link(kManual, m_root->path(QStringLiteral("/root/quimbo/emanuals/eng"))));
    }
    QStringList arguments{QStringLiteral("--revision"), revision};
    if (stick)
        arguments << QStringLiteral("--usb") << roadStick();
    startWithSocket(arguments);
    for (QString command : std::as_const(commands)) {
        command.replace(QLatin1String("%ROOT%"), m_root->root());
        if (command.startsWith(QLatin1Char('?'))) {
            QTRY_VERIFY_WITH_TIMEOUT(send(QStringLiteral("status")).contains(command.mid(1)), 10000);
            continue;
        }
        QCOMPARE(send(command) + QLatin1Char(' ') + command, QStringLiteral("ok ") + command);
    }
    QCOMPARE(send(QStringLiteral("quit")), QStringLiteral("ok"));
    QVERIFY(m_firmware->waitForFinished(kProcessTimeoutMsec));
    QCOMPARE(m_firmware->exitCode(), 0);
}

void SimulatorTest::statusAlongARoad()
{
    startWithSocket({QStringLiteral("--usb"), roadStick()});
    // Each command, then the status fields it must lead to (polled).
    const QList<std::pair<QString, QStringList>> road = {
        {QStringLiteral("await engine play"), {"mode=player", "book=daisy:road202", "player=playing", "muted=no", "ear=audible", "input=on", "shelf=1"}},
        {QStringLiteral("tap play 200"), {"player=stopped", "ear=silent", "muted=no"}},
        {QStringLiteral("tap menu 200"), {"sleep=15", "player=stopped"}},
        {QStringLiteral("tap play 200"), {"player=playing", "ear=audible", "standby=off"}},
        // "Start of book" lasts two seconds here: the book waits, silent.
        {QStringLiteral("hold play 2500"), {"muted=yes", "ear=silent"}},
        {QStringLiteral("await engine mute off"), {"player=playing", "muted=no", "ear=audible"}},
        // The sleep timer is the device's: it goes on without the book.
        {QStringLiteral("usb remove"), {"mode=main", "book=none", "player=none", "shelf=0", "ear=silent"}},
    };
    const QRegularExpression counting(QStringLiteral(" standby=\\d+ "));
    for (const auto &[command, fields] : road) {
        QCOMPARE(send(command), QStringLiteral("ok"));
        QString status;
        const auto matches = [&] {
            status = send(QStringLiteral("status"));
            for (const QString &field : fields) {
                if (!QString(status + QLatin1Char(' ')).contains(QLatin1Char(' ') + field + QLatin1Char(' ')))
                    return false;
            }
            return true;
        };
        QTRY_VERIFY2_WITH_TIMEOUT(matches(), qPrintable(command + QStringLiteral(": ") + status), 10000);
        // Stopped on the shelf, in a book or in main mode, the device counts down to switching itself off.
        if (status.contains(QLatin1String("player=stopped")) || status.contains(QLatin1String("mode=main")))
            QVERIFY2(counting.match(status).hasMatch(), qPrintable(status));
    }
}

void SimulatorTest::playWrapperTakesTheClipsTime()
{
    // A clip of 1.2 s at half its length, on a null device that takes it at once.
    const QString clip = m_root->path(QStringLiteral("/tmp/clip.wav"));
    QVERIFY(QProcess::execute(QStringLiteral("sox"), {QStringLiteral("-q"), QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("8000"), clip,
                                                     QStringLiteral("synth"), QStringLiteral("1.2"), QStringLiteral("sine"), QStringLiteral("440")}) == 0);
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QUIMBO_SIM_VOICE_LOG"), m_root->path(QStringLiteral("/tmp/voice.log")));
        env.insert(QStringLiteral("PLAY_RECORD"), m_record);
        env.insert(QStringLiteral("PATH"), QFileInfo(kPlayWrapper).absolutePath() + QLatin1Char(':') + m_bin->path() + QStringLiteral(":/usr/bin:/bin"));
        env.insert(QStringLiteral("QUIMBO_SIM_PLAY_SCALE"), QStringLiteral("0.5"));
        QProcess play;
        play.setProcessEnvironment(env);
        QElapsedTimer clock;
        clock.start();
        play.start(kPlayWrapper, {QStringLiteral("-q"), clip});
        QVERIFY(play.waitForFinished(10000));
        QCOMPARE(play.exitCode(), 0);
        QVERIFY2(clock.elapsed() >= 600, qPrintable(QString::number(clock.elapsed())));
    }
}

QTEST_GUILESS_MAIN(SimulatorTest)
#include "simulatortest.moc"
