// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/board.h"
#include "input/input.h"
#include "platform/platform.h"
#include "platform/sim/simboard.h"
#include "testroot.h"

#include <QSignalSpy>
#include <QTest>

class InputTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void settersBeforeInitializeOnlyLog_data();
    void settersBeforeInitializeOnlyLog();
    void initializeFailsWithoutDevice_data();
    void initializeFailsWithoutDevice();
    void eventsDroppedWhileDisabled();
    void knobAndPowerButton();
    void keypadPressHoldAndRelease();
    void keypadAutoRepeatPeriod();
    void destructionStopsKeypad();

private:
    /** An initialised, enabled Input on the simulated board, with the keypad scanning. */
    std::unique_ptr<Input> startInput();
    /**
     * A key already down at the keypad's very first scan is never a press:
     * wait until the scan thread has read the last row once more.
     */
    void waitForScan();

    std::unique_ptr<TestRoot> m_root;
};

void InputTest::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    Platform::setBackend(Platform::Backend::Simulated);
    m_root = std::make_unique<TestRoot>();
    Platform::SimBoard::instance()->reset();
    Board::getInstance()->resetForTesting();
}

void InputTest::cleanup()
{
    Platform::setTimeScale(1.0);
    m_root.reset();
}

std::unique_ptr<Input> InputTest::startInput()
{
    Board::getInstance()->init();
    auto input = std::make_unique<Input>();
    if (!input->initialize())
        return nullptr;
    input->setEnabled(true);
    return input;
}

void InputTest::waitForScan()
{
    Platform::SimBoard *board = Platform::SimBoard::instance();
    const int lastRow = Board::getInstance()->gpioRows().constLast();
    const int reads = board->lineReadCount(lastRow);
    QTRY_VERIFY_WITH_TIMEOUT(board->lineReadCount(lastRow) > reads, 5000);
}

void InputTest::settersBeforeInitializeOnlyLog_data()
{
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("logged");

    QTest::newRow("setEnabled") << "setEnabled" << "void Input::setEnabled(bool): can't enabled.. we are not initialized";
    QTest::newRow("setAutoRepeat") << "setAutoRepeat" << "void Input::setAutoRepeat(bool): can't enabled.. we are not initialized";
    QTest::newRow("setAutoRepeatTime") << "setAutoRepeatTime" << "void Input::setAutoRepeatTime(int): can't enabled.. we are not initialized";
    QTest::newRow("setReleaseEnabled") << "setReleaseEnabled" << "void Input::setReleaseEnabled(bool): can't enabled.. we are not initialized";
    QTest::newRow("lastKeyHolded") << "lastKeyHolded" << "int Input::lastKeyHolded() const: not initialized yet";
}

void InputTest::settersBeforeInitializeOnlyLog()
{
    QFETCH(QString, call);
    QFETCH(QString, logged);

    Input input;
    QSignalSpy enable(&input, &Input::keypadEnable);
    QSignalSpy repeat(&input, &Input::keypadAutoRepeat);
    QSignalSpy repeatTime(&input, &Input::keypadAutoRepeatTime);
    QSignalSpy release(&input, &Input::keypadReleaseEnabled);
    QTest::ignoreMessage(QtWarningMsg, qPrintable(logged));
    if (call == QLatin1String("setEnabled"))
        input.setEnabled(true);
    else if (call == QLatin1String("setAutoRepeat"))
        input.setAutoRepeat(true);
    else if (call == QLatin1String("setAutoRepeatTime"))
        input.setAutoRepeatTime(290);
    else if (call == QLatin1String("setReleaseEnabled"))
        input.setReleaseEnabled(true);
    else
        QCOMPARE(input.lastKeyHolded(), int(BUTTON_NONE));

    QVERIFY(!input.isEnabled());
    QCOMPARE(enable.count() + repeat.count() + repeatTime.count() + release.count(), 0);
    QCOMPARE(input.keyPressed(), int(BUTTON_NONE)); // no keypad yet
}

void InputTest::initializeFailsWithoutDevice_data()
{
    QTest::addColumn<bool>("simulated");
    QTest::addColumn<QString>("absent");
    QTest::addColumn<QString>("logged");

    QTest::newRow("power button missing") << true << "/dev/input/event1" << "bool Input::initialize(): failed to initialize the power button";
    QTest::newRow("knob missing") << true << "/dev/input/event0" << "bool Input::initialize(): failed to initialize the volume knob";
    QTest::newRow("no device nodes on a Linux root") << false << "" << "bool Input::initialize(): failed to initialize the power button";
}

void InputTest::initializeFailsWithoutDevice()
{
    QFETCH(bool, simulated);
    QFETCH(QString, absent);
    QFETCH(QString, logged);

    if (!simulated)
        Platform::setBackend(Platform::Backend::Linux);
    else
        Platform::SimBoard::instance()->setInputDevicePresent(absent, false);

    Input input;
    QTest::ignoreMessage(QtWarningMsg, "bool InputDevice::initialize(const char*): failed to open device");
    QTest::ignoreMessage(QtWarningMsg, qPrintable(logged));
    QVERIFY(!input.initialize());
    QCOMPARE(input.keyPressed(), int(BUTTON_NONE));
    QTest::ignoreMessage(QtWarningMsg, "void Input::setEnabled(bool): can't enabled.. we are not initialized");
    input.setEnabled(true);
    QVERIFY(!input.isEnabled());
}

void InputTest::eventsDroppedWhileDisabled()
{
    Board::getInstance()->init();
    Input input;
    QVERIFY(input.initialize());
    QSignalSpy pressed(&input, &Input::pressed);
    QSignalSpy released(&input, &Input::released);
    QSignalSpy holded(&input, &Input::holded);
    QSignalSpy repeated(&input, &Input::repeated);

    // keyEvent is where every device's events end; drive it as a queued delivery would.
    const auto deliver = [&input](int key, int type) {
        QVERIFY(QMetaObject::invokeMethod(&input, "keyEvent", Qt::DirectConnection, Q_ARG(int, key), Q_ARG(int, type)));
    };
    deliver(BUTTON_PLAY_STOP, KEY_PRESSED);
    QCOMPARE(pressed.count(), 0);

    input.setEnabled(true);
    deliver(BUTTON_PLAY_STOP, KEY_PRESSED);
    deliver(BUTTON_PLAY_STOP, KEY_HELD);
    deliver(BUTTON_PLAY_STOP, KEY_REPEATED);
    deliver(BUTTON_PLAY_STOP, KEY_RELEASED);
    deliver(BUTTON_PLAY_STOP, 4); // not an event type
    deliver(BUTTON_PLAY_STOP, -1);
    QCOMPARE(pressed.count(), 1);
    QCOMPARE(holded.count(), 1);
    QCOMPARE(repeated.count(), 1);
    QCOMPARE(released.count(), 1);
    QCOMPARE(released.at(0).at(0).toInt(), int(BUTTON_PLAY_STOP));

    input.setEnabled(false);
    QVERIFY(!input.isEnabled());
    deliver(BUTTON_EJECT, KEY_PRESSED);
    QCOMPARE(pressed.count(), 1);
}

void InputTest::knobAndPowerButton()
{
    std::unique_ptr<Input> input = startInput();
    QVERIFY(input);
    Platform::SimBoard *board = Platform::SimBoard::instance();
    QSignalSpy pressed(&*input, &Input::pressed);
    QSignalSpy released(&*input, &Input::released);

    board->turnKnob(1);
    QVERIFY(released.wait(5000));
    board->turnKnob(-2);
    QTRY_COMPARE_WITH_TIMEOUT(released.count(), 3, 5000);
    QCOMPARE(pressed.count(), 0); // the knob is only ever released
    QCOMPARE(released.at(0).at(0).toInt(), int(BUTTON_VOLUME_UP));
    QCOMPARE(released.at(1).at(0).toInt(), int(BUTTON_VOLUME_DOWN));
    QCOMPARE(released.at(2).at(0).toInt(), int(BUTTON_VOLUME_DOWN));

    released.clear();
    board->setPowerButton(true);
    QVERIFY(pressed.wait(5000));
    QCOMPARE(pressed.at(0).at(0).toInt(), int(BUTTON_POWER));
    board->setPowerButton(false);
    QVERIFY(released.wait(5000));
    QCOMPARE(released.at(0).at(0).toInt(), int(BUTTON_POWER));
}

void InputTest::keypadPressHoldAndRelease()
{
    Platform::setTimeScale(0.1); // 1 ms scan ticks
    Platform::SimBoard *board = Platform::SimBoard::instance();
    board->setRevision(7);
    std::unique_ptr<Input> input = startInput();
    QVERIFY(input);
    QCOMPARE(input->keyPressed(), int(BUTTON_NONE));
    QCOMPARE(input->lastKeyHolded(), int(BUTTON_NONE));
    input->setAutoRepeat(false);
    waitForScan();
    if (QTest::currentTestFailed())
        return;

    QSignalSpy pressed(&*input, &Input::pressed);
    QSignalSpy released(&*input, &Input::released);
    QSignalSpy holded(&*input, &Input::holded);
    board->pressKey(BUTTON_SPEED_UP);
    QVERIFY(pressed.wait(5000));
    QCOMPARE(pressed.at(0).at(0).toInt(), int(BUTTON_SPEED_UP));
    QTRY_COMPARE_WITH_TIMEOUT(holded.count(), 1, 10000);
    QCOMPARE(holded.at(0).at(0).toInt(), int(BUTTON_SPEED_UP));
    QCOMPARE(input->lastKeyHolded(), int(BUTTON_SPEED_UP));

    // The listener wants the release of the held key after all.
    input->setReleaseEnabled(true);
    board->releaseKey(BUTTON_SPEED_UP);
    QVERIFY(released.wait(5000));
    QCOMPARE(released.at(0).at(0).toInt(), int(BUTTON_SPEED_UP));
}

void InputTest::keypadAutoRepeatPeriod()
{
    Platform::setTimeScale(0.1);
    Platform::SimBoard *board = Platform::SimBoard::instance();
    std::unique_ptr<Input> input = startInput();
    QVERIFY(input);
    input->setAutoRepeatTime(290);
    waitForScan();
    if (QTest::currentTestFailed())
        return;

    QSignalSpy holded(&*input, &Input::holded);
    QSignalSpy repeated(&*input, &Input::repeated);
    QSignalSpy released(&*input, &Input::released);
    board->pressKey(BUTTON_REWIND);
    QTRY_COMPARE_WITH_TIMEOUT(holded.count(), 1, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(repeated.count() >= 2, 10000);
    QCOMPARE(repeated.at(1).at(0).toInt(), int(BUTTON_REWIND));
    // The key is still down: the matrix scan says so.
    QCOMPARE(input->keyPressed(), int(BUTTON_REWIND));
    board->releaseKey(BUTTON_REWIND);
    QVERIFY(released.wait(5000)); // a repeat re-armed the release
}

void InputTest::destructionStopsKeypad()
{
    std::unique_ptr<Input> input = startInput();
    QVERIFY(input);
    Platform::SimBoard *board = Platform::SimBoard::instance();
    QVERIFY(board->isExported(70));
    QCOMPARE(board->inputDeviceOpenCount(QStringLiteral("/dev/input/event0")), 1);
    QTest::ignoreMessage(QtDebugMsg, "~Input");
    input.reset();
    // The keypad thread has ended and the keypad has given its lines back.
    QVERIFY(!board->isExported(70));
    QVERIFY(!board->isExported(64));
    QCOMPARE(board->inputDeviceOpenCount(QStringLiteral("/dev/input/event0")), 0);
    QCOMPARE(board->inputDeviceOpenCount(QStringLiteral("/dev/input/event1")), 0);
}

QTEST_GUILESS_MAIN(InputTest)
#include "inputtest.moc"
