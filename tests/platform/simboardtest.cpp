// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/gpio.h"
#include "platform/inputeventsource.h"
#include "platform/platform.h"
#include "platform/sim/simboard.h"
#include "platform/systemactions.h"
#include "testroot.h"

#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTest>

using Platform::SimBoard;

class SimBoardTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void behavesLikeSysfs();
    void derivedOutputs_data();
    void derivedOutputs();
    void edgeReportsOnWatchedLine_data();
    void edgeReportsOnWatchedLine();
    void inputDevicePacesEvents();
    void switchStateQuery();
    void absentDeviceCannotBeOpened();
    void dmesgWritesBelowRootOnly();
    void systemActions_data();
    void systemActions();

private:
    std::unique_ptr<TestRoot> m_root;
    SimBoard *m_board = SimBoard::instance();
    Platform::Gpio *m_gpio = nullptr;
};

void SimBoardTest::initTestCase()
{
    Platform::setBackend(Platform::Backend::Simulated);
    m_gpio = Platform::gpio();
}

void SimBoardTest::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    m_root = std::make_unique<TestRoot>();
    m_board->reset();
}

void SimBoardTest::cleanup()
{
    m_root.reset();
}

void SimBoardTest::behavesLikeSysfs()
{
    bool ok = true;
    QCOMPARE(m_gpio->readValue(79, &ok), 0);
    QVERIFY(!ok); // not exported
    QVERIFY(!m_gpio->writeValue(79, 1));
    QVERIFY(!m_gpio->unexportLine(79));
    QVERIFY(m_gpio->exportLine(79));
    QVERIFY(!m_gpio->exportLine(79)); // busy
    QVERIFY(!m_gpio->writeValue(79, 1)); // still an input
    QVERIFY(m_gpio->setDirection(79, true));
    QVERIFY(!m_gpio->setEdge(79, "both")); // outputs have no edge
    QVERIFY(m_gpio->writeValue(79, 1));
    QCOMPARE(m_gpio->readValue(79, &ok), 1);
    QVERIFY(ok);
    QVERIFY(m_board->isOutput(79));
    QVERIFY(m_gpio->unexportLine(79));
    QVERIFY(!m_board->isExported(79));
    QVERIFY(m_gpio->exportLine(202));
    QVERIFY(!m_gpio->setEdge(202, "sideways"));
    QCOMPARE(m_board->edge(202), QByteArray("none"));
}

void SimBoardTest::derivedOutputs_data()
{
    QTest::addColumn<int>("revision");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("output"); // "led" or "usb"
    QTest::addColumn<int>("index"); // -1: the line is not that output

    QTest::newRow("Rev4 LED 0") << 0 << 79 << "led" << 0;
    QTest::newRow("Rev4 line 138 is no LED") << 0 << 138 << "led" << -1;
    QTest::newRow("Rev6 LED 0") << 7 << 138 << "led" << 0;
    QTest::newRow("Rev6 line 79 is no LED") << 7 << 79 << "led" << -1;
    QTest::newRow("LED 1") << 0 << 139 << "led" << 1;
    QTest::newRow("USB 0") << 7 << 204 << "usb" << 0;
    QTest::newRow("USB 1") << 7 << 203 << "usb" << 1;
}

void SimBoardTest::derivedOutputs()
{
    QFETCH(int, revision);
    QFETCH(int, line);
    QFETCH(QString, output);
    QFETCH(int, index);

    m_board->setRevision(revision);
    const bool led = output == QLatin1String("led");
    QSignalSpy changed(m_board, led ? &SimBoard::ledChanged : &SimBoard::usbPowerChanged);
    QSignalSpy lineChanged(m_board, &SimBoard::lineChanged);
    QVERIFY(m_gpio->exportLine(line));
    QVERIFY(m_gpio->setDirection(line, true));
    QVERIFY(m_gpio->writeValue(line, 1));
    QCOMPARE(lineChanged.count(), 1);
    QCOMPARE(lineChanged.at(0), (QList<QVariant>{line, 1}));

    const auto state = [&](int i) { return led ? m_board->led(i) : m_board->usbPower(i); };
    if (index < 0) {
        QCOMPARE(changed.count(), 0);
        QVERIFY(!state(0));
        QVERIFY(!state(1));
        return;
    }
    QVERIFY(state(index));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0), (QList<QVariant>{index, true}));
    QVERIFY(m_gpio->writeValue(line, 0));
    QVERIFY(!state(index));
    QCOMPARE(changed.count(), 2);
}

void SimBoardTest::edgeReportsOnWatchedLine_data()
{
    QTest::addColumn<QByteArray>("edge");
    QTest::addColumn<int>("to");
    QTest::addColumn<bool>("reported");

    QTest::newRow("both, falling") << QByteArray("both") << 0 << true;
    QTest::newRow("falling, falling") << QByteArray("falling") << 0 << true;
    QTest::newRow("rising, falling") << QByteArray("rising") << 0 << false;
    QTest::newRow("none") << QByteArray("none") << 0 << false;
    QTest::newRow("no change") << QByteArray("both") << 1 << false;
}

void SimBoardTest::edgeReportsOnWatchedLine()
{
    QFETCH(QByteArray, edge);
    QFETCH(int, to);
    QFETCH(bool, reported);

    // The USB over-current input rests high and falls on a fault.
    QVERIFY(m_gpio->exportLine(202));
    QVERIFY(m_gpio->setDirection(202, false));
    QVERIFY(m_gpio->setEdge(202, edge));
    const int fd = m_gpio->openValue(202);
    QVERIFY(fd >= 0);
    QCOMPARE(m_gpio->readValue(202), 1);
    QSocketNotifier notifier(fd, m_gpio->edgeNotifierType());
    QSignalSpy activated(&notifier, &QSocketNotifier::activated);

    m_board->setInputLine(202, to);
    QCOMPARE(m_gpio->rearm(fd) > 0, reported); // the report is there at once, or not at all
    QCOMPARE(m_gpio->readValue(202), to);
    QCOMPARE(m_gpio->rearm(fd), 0);

    if (reported) {
        m_board->setInputLine(202, 1);
        m_board->setInputLine(202, 0);
        QVERIFY(activated.wait(5000));
        QVERIFY(m_gpio->rearm(fd) > 0);
    }
    m_gpio->closeValue(fd);
}

void SimBoardTest::inputDevicePacesEvents()
{
    std::unique_ptr<Platform::InputEventSource> knob = Platform::createInputEventSource();
    QVERIFY(knob->open(QStringLiteral("/dev/input/event0")));
    QCOMPARE(m_board->inputDeviceOpenCount(QStringLiteral("/dev/input/event0")), 1);

    m_board->turnKnob(-3);
    // One detent per read, each followed by its EV_SYN.
    for (int detent = 0; detent < 3; ++detent) {
        QList<Platform::InputEvent> events;
        QCOMPARE(knob->readEvents(&events), Platform::ReadResult::Event);
        QCOMPARE(events.size(), 2);
        QCOMPARE(events.at(0).type, int(Platform::EventRel));
        QCOMPARE(events.at(0).code, 1);
        QCOMPARE(events.at(0).value, -1);
        QCOMPARE(events.at(1).type, int(Platform::EventSyn));
    }
    QList<Platform::InputEvent> none;
    QCOMPARE(knob->readEvents(&none), Platform::ReadResult::WouldBlock);
    QVERIFY(none.isEmpty());

    knob->close();
    QCOMPARE(m_board->inputDeviceOpenCount(QStringLiteral("/dev/input/event0")), 0);
    m_board->turnKnob(1); // nobody listens: dropped quietly
}

void SimBoardTest::switchStateQuery()
{
    const QString jack = QStringLiteral("/dev/input/event2");
    std::unique_ptr<Platform::InputEventSource> source = Platform::createInputEventSource();
    QVERIFY(source->open(jack));
    QCOMPARE(source->state(Platform::EventSw, 2), 0);

    m_board->setSwitch(jack, 2, true);
    QCOMPARE(source->state(Platform::EventSw, 2), 1);
    QCOMPARE(source->state(Platform::EventKey, 2), 0);
    QVERIFY(m_board->inputState(jack, Platform::EventSw, 2));
    Platform::InputEvent event;
    QCOMPARE(source->read(&event), Platform::ReadResult::Event);
    QCOMPARE(event.type, int(Platform::EventSw));
    QCOMPARE(event.code, 2);
    QCOMPARE(event.value, 1);
    QCOMPARE(source->read(&event), Platform::ReadResult::Event);
    QCOMPARE(event.type, int(Platform::EventSyn));

    m_board->setKey(jack, 35, true);
    QCOMPARE(source->state(Platform::EventKey, 35), 1);
    QCOMPARE(source->state(Platform::EventRel, 35), -1); // not a state

    source->close();
    QCOMPARE(source->state(Platform::EventSw, 2), -1);
}

void SimBoardTest::absentDeviceCannotBeOpened()
{
    std::unique_ptr<Platform::InputEventSource> source = Platform::createInputEventSource();
    QVERIFY(!source->open(QStringLiteral("/dev/input/event7"))); // the board has event0 to event3
    m_board->setInputDevicePresent(QStringLiteral("/dev/input/event7"), true);
    QVERIFY(source->open(QStringLiteral("/dev/input/event7")));
    source->close();
    m_board->setInputDevicePresent(QStringLiteral("/dev/input/event3"), false);
    QVERIFY(!source->open(QStringLiteral("/dev/input/event3")));
    QVERIFY(!source->isOpen());
    QCOMPARE(source->fd(), -1);
    m_board->setInputDevicePresent(QStringLiteral("/dev/input/event3"), true);
    QVERIFY(source->open(QStringLiteral("/dev/input/event3")));
}

void SimBoardTest::dmesgWritesBelowRootOnly()
{
    Platform::SystemActions *actions = Platform::systemActions();
    const QString inside = m_root->path(QStringLiteral("/root/quimbo/dmesg_startup"));
    QCOMPARE(actions->runShell(QStringLiteral("dmesg > ") + inside), 0);
    QVERIFY(m_root->readFile(QStringLiteral("/root/quimbo/dmesg_startup")).startsWith("[    0.000000] "));

    QTemporaryDir elsewhere;
    const QString outside = elsewhere.filePath(QStringLiteral("dmesg_startup"));
    QVERIFY(actions->runShell(QStringLiteral("dmesg > ") + outside) != 0);
    QVERIFY(!QFile::exists(outside));
    QCOMPARE(m_board->systemActionLog().size(), 2);
}

void SimBoardTest::systemActions_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("recorded");
    QTest::addColumn<bool>("poweredOff");

    QTest::newRow("sync") << "sync" << "sync" << false;
    QTest::newRow("poweroff") << "poweroff" << "poweroff" << true;
    QTest::newRow("reboot") << "reboot" << "reboot" << false;
    QTest::newRow("shell line") << "shell:udevadm control --reload-rules" << "udevadm control --reload-rules" << false;
}

void SimBoardTest::systemActions()
{
    QFETCH(QString, action);
    QFETCH(QString, recorded);
    QFETCH(bool, poweredOff);

    Platform::SystemActions *actions = Platform::systemActions();
    QSignalSpy spy(m_board, &SimBoard::systemAction);
    QSignalSpy off(m_board, &SimBoard::poweredOff);
    if (action == QLatin1String("sync"))
        QCOMPARE(actions->sync(), 0);
    else if (action == QLatin1String("poweroff"))
        QVERIFY(actions->poweroff());
    else if (action == QLatin1String("reboot"))
        QVERIFY(actions->reboot());
    else
        QCOMPARE(actions->runShell(action.mid(6)), 0);

    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), recorded);
    QCOMPARE(m_board->systemActionLog(), QStringList{recorded});
    QCOMPARE(m_board->isPoweredOff(), poweredOff);
    QCOMPARE(off.count(), poweredOff ? 1 : 0);
}

QTEST_GUILESS_MAIN(SimBoardTest)
#include "simboardtest.moc"
