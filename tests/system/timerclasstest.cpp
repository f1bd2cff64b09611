// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/timerclass.h"

#include "platform/platform.h"

#include <QSignalSpy>
#include <QTest>

class TimerClassTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void countdown_data();
    void countdown();
    void lengthsOutOfRange();
};

void TimerClassTest::initTestCase()
{
    // One second of the firmware lasts 10 ms here.
    Platform::setTimeScale(0.01);
}

void TimerClassTest::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
}

// The standby and sleep timers run on this countdown; how keys restart them is
// checked over every mode in modebasetest.
void TimerClassTest::countdown_data()
{
    QTest::addColumn<int>("length"); // set before start(); 0: none
    QTest::addColumn<int>("warning");
    QTest::addColumn<int>("restart"); // start(seconds) while it runs; 0: not
    QTest::addColumn<QStringList>("events");

    QTest::newRow("expires") << 3 << 0 << 0 << QStringList{"timeout"};
    QTest::newRow("warning shorter than the length") << 10 << 4 << 0 << QStringList{"warning", "timeout"};
    QTest::newRow("warning as long as the length") << 10 << 10 << 0 << QStringList{"timeout"};
    QTest::newRow("no length: it does not start") << 0 << 1 << 0 << QStringList();
    QTest::newRow("a new length replaces the running one") << 3600 << 0 << 2 << QStringList{"timeout"};
}

void TimerClassTest::countdown()
{
    QFETCH(int, length);
    QFETCH(int, warning);
    QFETCH(int, restart);
    QFETCH(QStringList, events);

    TimerClass timer;
    QStringList heard;
    connect(&timer, &TimerClass::timeoutWarning, this, [&] { heard << QStringLiteral("warning"); });
    connect(&timer, &TimerClass::timeout, this, [&] { heard << QStringLiteral("timeout"); });
    timer.setTime(length);
    timer.setWarningTime(warning);
    // Not running: a restart leaves it stopped.
    timer.restartTimer();
    QVERIFY(!timer.isActive());
    QCOMPARE(timer.time(), 0);

    timer.start();
    QCOMPARE(timer.time(), length);
    if (restart > 0) {
        timer.start(restart);
        QCOMPARE(timer.time(), restart);
    }
    QTRY_COMPARE_WITH_TIMEOUT(heard, events, 2000);
    QTest::qWait(50);
    QCOMPARE(heard, events);
    QVERIFY(!timer.isActive());
    QCOMPARE(timer.time(), 0);
}

void TimerClassTest::lengthsOutOfRange()
{
    TimerClass timer;
    timer.setTime(5);
    QTest::ignoreMessage(QtWarningMsg, "[TimerClass::setTime] invalid time: -5");
    timer.setTime(-5);
    QTest::ignoreMessage(QtWarningMsg, "[TimerClass::setTime] invalid time: 2147484");
    timer.setTime(2147484);
    timer.start();
    QCOMPARE(timer.time(), 5);

    // The warning is told in whole minutes.
    timer.setWarningTime(59);
    QCOMPARE(timer.warningTime(), 0);
    timer.setWarningTime(119);
    QCOMPARE(timer.warningTime(), 1);
    QTest::ignoreMessage(QtWarningMsg, "[TimerClass::setWarningTime] invalid warning time: -1");
    timer.setWarningTime(-1);
    QCOMPARE(timer.warningTime(), 1);
}

QTEST_GUILESS_MAIN(TimerClassTest)
#include "timerclasstest.moc"
