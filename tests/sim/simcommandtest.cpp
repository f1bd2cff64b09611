// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sim/simboard.h"
#include "sim/simcommand.h"
#include "sim/simcommandrunner.h"
#include "sim/simscript.h"
#include "sim/simterminal.h"

#include <QSignalSpy>
#include "platform/sim/simmedia.h"

#include <QTest>
#include <testroot.h>

#include <functional>

class SimCommandTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parseValid_data();
    void parseValid();
    void parseInvalid_data();
    void parseInvalid();
    void scriptLines();
    void scriptLeadingRevisions();
    void scriptLeadingSetup();
    void terminalKeys_data();
    void terminalKeys();
    void awaitSeesEngineLines_data();
    void awaitSeesEngineLines();
    void terminalMediaKeysToggle();
};

void SimCommandTest::parseValid_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("written");

    QTest::newRow("press name") << "press play" << int(SimCommand::Press) << 2060 << 0 << "press play";
    QTest::newRow("press code") << "press 2059" << int(SimCommand::Press) << 2059 << 0 << "press ff";
    QTest::newRow("release upper case") << "  RELEASE Menu " << int(SimCommand::Release) << 2050 << 0 << "release menu";
    QTest::newRow("tap default") << "tap rew" << int(SimCommand::Tap) << 2058 << 200 << "tap rew 200";
    QTest::newRow("tap length") << "tap eject 40" << int(SimCommand::Tap) << 2051 << 40 << "tap eject 40";
    QTest::newRow("hold default") << "hold menu" << int(SimCommand::Hold) << 2050 << 2500 << "hold menu 2500";
    QTest::newRow("pitch keys") << "tap pitchdown" << int(SimCommand::Tap) << 2053 << 200 << "tap pitchdown 200";
    QTest::newRow("power hold") << "power hold" << int(SimCommand::Hold) << 2049 << 2500 << "hold power 2500";
    QTest::newRow("power tap length") << "power tap 90" << int(SimCommand::Tap) << 2049 << 90 << "tap power 90";
    QTest::newRow("knob up") << "knob +3" << int(SimCommand::Knob) << 0 << 3 << "knob +3";
    QTest::newRow("knob down") << "knob -1" << int(SimCommand::Knob) << 0 << -1 << "knob -1";
    QTest::newRow("headphones out") << "headphones OUT" << int(SimCommand::Headphones) << 0 << 0 << "headphones out";
    QTest::newRow("usb fault") << "usbfault on" << int(SimCommand::UsbFault) << 0 << 1 << "usbfault on";
    QTest::newRow("revision") << "revision 6" << int(SimCommand::Revision) << 0 << 6 << "revision 6";
    QTest::newRow("wait") << "wait 1200" << int(SimCommand::Wait) << 0 << 1200 << "wait 1200";
    QTest::newRow("log keeps spacing") << "log  hello   world " << int(SimCommand::Log) << 0 << 0 << "log hello   world";
    QTest::newRow("await") << "await  void MainClass::runMainClass()" << int(SimCommand::Await) << 0 << 0
                           << "await void MainClass::runMainClass()";
    QTest::newRow("status") << "status" << int(SimCommand::Status) << 0 << 0 << "status";
    QTest::newRow("quit") << "quit" << int(SimCommand::Quit) << 0 << 0 << "quit";
    // Media: the folder is the rest of the line, spaces and all.
    QTest::newRow("stick") << "usb insert  my books/stick 1 " << int(SimCommand::MediaInsert) << SimCommand::kUsbSlot << 0
                           << "usb insert my books/stick 1";
    QTest::newRow("exfat card") << "SD insert fs=exfat card" << int(SimCommand::MediaInsert) << SimCommand::kSdSlot << 0 << "sd insert fs=exfat card";
    QTest::newRow("stick without file system") << "usb insert fs=none /tmp/x" << int(SimCommand::MediaInsert) << SimCommand::kUsbSlot << 0
                                               << "usb insert fs=none /tmp/x";
    QTest::newRow("data disc") << "cd insert disc" << int(SimCommand::MediaInsert) << SimCommand::kCdDataDisc << 0 << "cd insert disc";
    QTest::newRow("audio disc") << "cd audio -tracks" << int(SimCommand::MediaInsert) << SimCommand::kCdAudioDisc << 0 << "cd audio -tracks";
    QTest::newRow("card out") << "sd remove" << int(SimCommand::MediaRemove) << SimCommand::kSdSlot << 0 << "sd remove";
    QTest::newRow("disc out") << "cd remove" << int(SimCommand::MediaRemove) << SimCommand::kCdDataDisc << 0 << "cd remove";
    QTest::newRow("tray open") << "cd open" << int(SimCommand::CdTray) << SimCommand::kCdDataDisc << 1 << "cd open";
    QTest::newRow("adapter in") << "adapter IN" << int(SimCommand::Adapter) << 0 << 1 << "adapter in";
    QTest::newRow("battery voltage") << "battery 3450" << int(SimCommand::BatteryVoltage) << 0 << 3450 << "battery 3450";
    QTest::newRow("battery below freezing") << "battery temp -5" << int(SimCommand::BatteryTemperature) << 0 << -5 << "battery temp -5";
    QTest::newRow("efuse") << "efuse trip" << int(SimCommand::EfuseTrip) << 0 << 0 << "efuse trip";
}

void SimCommandTest::parseValid()
{
    QFETCH(QString, line);
    QString error;
    const SimCommand command = SimCommand::parse(line, &error);
    QVERIFY2(command.isValid(), qPrintable(error));
    QTEST(int(command.type), "type");
    QTEST(command.key, "key");
    QTEST(command.value, "value");
    QTEST(command.toString(), "written");
    // What toString() writes reads back as the same command.
    QCOMPARE(SimCommand::parse(command.toString(), nullptr).toString(), command.toString());
}

void SimCommandTest::parseInvalid_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("error");

    QTest::newRow("unknown verb") << "jump play" << "unknown command \"jump\"";
    QTest::newRow("unknown key") << "press stop" << "unknown key \"stop\"";
    QTest::newRow("knob code as key") << "tap 2054" << "the knob turns";
    QTest::newRow("code out of range") << "press 2061" << "unknown key \"2061\"";
    QTest::newRow("press with length") << "press play 100" << "takes 1 argument";
    QTest::newRow("tap without key") << "tap" << "takes 1 to 2 arguments";
    QTest::newRow("negative length") << "hold play -5" << "bad duration";
    QTest::newRow("absurd length") << "wait 99999999999" << "bad duration";
    QTest::newRow("knob without sign") << "knob 3" << "+N or -N";
    QTest::newRow("knob zero") << "knob +0" << "+N or -N";
    QTest::newRow("knob too far") << "knob +500" << "+N or -N";
    QTest::newRow("power verb") << "power kick" << "press, release, tap or hold";
    QTest::newRow("headphones") << "headphones maybe" << "in or out";
    QTest::newRow("revision 5") << "revision 5" << "4 or 6";
    QTest::newRow("status with argument") << "status now" << "takes 0 argument";
    QTest::newRow("await nothing") << "await" << "takes the text of a log line";
    QTest::newRow("empty") << "   " << "empty command";
    QTest::newRow("stick without folder") << "usb insert" << "insert [fs=TYPE] DIR or remove";
    QTest::newRow("file system without folder") << "sd insert fs=exfat" << "insert [fs=TYPE] DIR or remove";
    QTest::newRow("remove with folder") << "usb remove x" << "insert [fs=TYPE] DIR or remove";
    QTest::newRow("stick has no tray") << "usb open" << "insert [fs=TYPE] DIR or remove";
    QTest::newRow("disc verb") << "cd burn x" << "insert DIR, audio DIR, remove, open or close";
    QTest::newRow("adapter maybe") << "adapter maybe" << "in or out";
    QTest::newRow("battery without value") << "battery" << "takes MV";
    QTest::newRow("battery absurd voltage") << "battery 65535" << "takes MV";
    QTest::newRow("battery temperature word") << "battery temp warm" << "takes MV";
    QTest::newRow("efuse reset") << "efuse reset" << "takes trip";
}

void SimCommandTest::parseInvalid()
{
    QFETCH(QString, line);
    QFETCH(QString, error);
    QString reason;
    const SimCommand command = SimCommand::parse(line, &reason);
    QVERIFY(!command.isValid());
    QVERIFY2(reason.contains(error), qPrintable(reason));
}

void SimCommandTest::scriptLines()
{
    const SimScript script = SimScript::parse(QStringLiteral(
        "# a comment\n"
        "\n"
        "tap play\n"
        "@1500 knob +2\n"
        "jump now\n"
        "@abc tap ff\n"
        "   # indented comment\n"
        "hold power 3000\n"
        "press 2070\n"
        "@200\n"));

    QCOMPARE(script.entries().size(), 3);
    QCOMPARE(script.entries().at(0).lineNumber, 3);
    QCOMPARE(script.entries().at(0).atMsec, -1);
    QCOMPARE(script.entries().at(0).command.toString(), QStringLiteral("tap play 200"));
    QCOMPARE(script.entries().at(1).lineNumber, 4);
    QCOMPARE(script.entries().at(1).atMsec, 1500);
    QCOMPARE(script.entries().at(1).command.toString(), QStringLiteral("knob +2"));
    QCOMPARE(script.entries().at(2).lineNumber, 8);
    QCOMPARE(script.entries().at(2).command.toString(), QStringLiteral("hold power 3000"));

    const QStringList expected = {
        QStringLiteral("line 5: unknown command \"jump\": jump now"),
        QStringLiteral("line 6: bad time prefix: @abc tap ff"),
        QStringLiteral("line 9: unknown key \"2070\": press 2070"),
        QStringLiteral("line 10: empty command: @200"),
    };
    QCOMPARE(script.errors(), expected);
}

void SimCommandTest::scriptLeadingRevisions()
{
    SimScript script = SimScript::parse(QStringLiteral("# board\nrevision 6\nrevision 4\ntap play\nrevision 6\n"));
    const QList<SimScript::Entry> revisions = script.takeLeadingRevisions();
    QCOMPARE(revisions.size(), 2);
    QCOMPARE(revisions.at(0).command.value, 6);
    QCOMPARE(revisions.at(1).command.value, 4);
    // A revision after the first key is left for the runner, which refuses it.
    QCOMPARE(script.entries().size(), 2);
    QCOMPARE(script.entries().at(1).command.type, SimCommand::Revision);
}

void SimCommandTest::scriptLeadingSetup()
{
    SimScript script = SimScript::parse(QStringLiteral("revision 6\nadapter in\npress menu\nbattery 3700\nawait x\npress play\n"));
    const QList<SimScript::Entry> setup = script.takeLeadingSetup();
    QStringList lines;
    for (const SimScript::Entry &entry : setup)
        lines << entry.command.toString();
    QCOMPARE(lines, (QStringList{QStringLiteral("revision 6"), QStringLiteral("adapter in"), QStringLiteral("press menu"), QStringLiteral("battery 3700")}));
    // What follows the first other line runs with the firmware.
    QCOMPARE(script.entries().size(), 2);
    QCOMPARE(script.entries().at(1).command.toString(), QStringLiteral("press play"));
}

void SimCommandTest::terminalKeys_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<bool>("headphonesIn");
    QTest::addColumn<QString>("command");

    QTest::newRow("s taps play") << QByteArray("s") << false << "tap play 200";
    QTest::newRow("S holds play") << QByteArray("S") << false << "hold play 2500";
    QTest::newRow("q taps menu") << QByteArray("q") << false << "tap menu 200";
    QTest::newRow("c speed up") << QByteArray("c") << false << "tap speedup 200";
    QTest::newRow("x pitch down") << QByteArray("x") << false << "tap pitchdown 200";
    QTest::newRow("p power") << QByteArray("p") << false << "tap power 200";
    QTest::newRow("plus") << QByteArray("+") << false << "knob +1";
    QTest::newRow("up arrow") << QByteArray("\x1b[A") << false << "knob +1";
    QTest::newRow("down arrow") << QByteArray("\x1b[B") << false << "knob -1";
    QTest::newRow("h plugs in") << QByteArray("h") << false << "headphones in";
    QTest::newRow("h pulls out") << QByteArray("h") << true << "headphones out";
    QTest::newRow("ctrl-d") << QByteArray("\x04") << false << "quit";
    QTest::newRow("g plugs the adapter") << QByteArray("g") << false << "adapter in";
    QTest::newRow("unbound") << QByteArray("k") << false << "";
}

void SimCommandTest::terminalKeys()
{
    QFETCH(QByteArray, key);
    QFETCH(bool, headphonesIn);
    QTEST(SimTerminal::commandForKey(key, headphonesIn, false).toString(), "command");
}

void SimCommandTest::terminalMediaKeysToggle()
{
    const QString folder = QStringLiteral(QUIMBO_TEST_DATA);
    Platform::SimMedia *media = Platform::SimMedia::instance();
    media->reset();
    QCOMPARE(SimTerminal::commandForKey("1", false, false).toString(), QString()); // no stick given
    SimTerminal::setMediaFolders(folder + QStringLiteral("/udev"), folder + QStringLiteral("/smil"), folder);

    const struct {
        const char *key;
        QString in;
        QString out;
        std::function<void()> insert;
    } keys[] = {
        {"1", QStringLiteral("usb insert ") + folder + QStringLiteral("/udev"), QStringLiteral("usb remove"),
         [&] { media->insert(Platform::SimMedia::UsbSlot, folder); }},
        {"3", QStringLiteral("sd insert ") + folder + QStringLiteral("/smil"), QStringLiteral("sd remove"),
         [&] { media->insert(Platform::SimMedia::SdSlot, folder); }},
        {"2", QStringLiteral("cd audio ") + folder, QStringLiteral("cd remove"), [&] { media->insertDisc(Platform::SimMedia::AudioDisc, folder); }},
    };
    for (const auto &k : keys) {
        QCOMPARE(SimTerminal::commandForKey(k.key, false, false).toString(), k.in);
        k.insert();
        QCOMPARE(SimTerminal::commandForKey(k.key, false, false).toString(), k.out);
    }
    SimTerminal::setMediaFolders(QString(), QString(), QString());
    media->reset();
}

QTEST_GUILESS_MAIN(SimCommandTest)
#include "simcommandtest.moc"

void SimCommandTest::awaitSeesEngineLines_data()
{
    QTest::addColumn<QString>("awaited");
    QTest::addColumn<QString>("answer");
    QTest::newRow("the engine's line") << "engine seek 1500" << "ok";
    QTest::newRow("as shown") << "[sim] engine play /book/a.mp3" << "ok";
    QTest::newRow("an earlier line does not count twice") << "engine stop at" << "error";
}

void SimCommandTest::awaitSeesEngineLines()
{
    QFETCH(QString, awaited);
    QFETCH(QString, answer);
    TestRoot root;
    Platform::SimBoard *board = Platform::SimBoard::instance();
    board->reset();
    SimCommandRunner runner;
    QSignalSpy answered(&runner, &SimCommandRunner::answered);
    // The stop was matched by the first await; the second one must find a new one.
    board->recordEngineEvent(QStringLiteral("stop at 0"));
    runner.enqueue(SimCommand::parse(QStringLiteral("await engine stop at"), nullptr));
    QTRY_COMPARE(answered.count(), 1);
    answered.clear();
    runner.enqueue(SimCommand::parse(QStringLiteral("await ") + awaited, nullptr));
    board->recordEngineEvent(QStringLiteral("play /book/a.mp3 at 0"));
    board->recordEngineEvent(QStringLiteral("seek 1500"));
    if (answer == QLatin1String("error")) {
        // Nothing new comes: the await stays open; it is cut short here.
        QVERIFY(!answered.wait(300));
        return;
    }
    QTRY_COMPARE(answered.count(), 1);
    QCOMPARE(answered.at(0).at(1).toString(), answer);
}
