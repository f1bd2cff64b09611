// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/timerclass.h"

#include "platform/platform.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

class TimerClassTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void expiresAfterItsLength();
    void warning_data();
    void warning();
    void restartOfStoppedTimerKeepsItStopped();
    void restartOfRunningTimerCountsFromTheFullLength();
    void startWithoutLengthDoesNothing();
    void startWithLengthReplacesTheRunningCountdown();
    void warningTimeInWholeMinutes_data();
    void warningTimeInWholeMinutes();
    void refusesNegativeLengths();
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

void TimerClassTest::expiresAfterItsLength()
{
    TimerClass timer;
    QSignalSpy timeout(&timer, &TimerClass::timeout);
    timer.setTime(3);
    QCOMPARE(timer.time(), 0); // not running yet

    timer.start();
    QCOMPARE(timer.time(), 3);
    QVERIFY(timeout.wait(2000));
    QCOMPARE(timeout.count(), 1);
    QCOMPARE(timer.time(), 0);
    QVERIFY(!timer.isActive());
}

void TimerClassTest::warning_data()
{
    QTest::addColumn<int>("time");
    QTest::addColumn<int>("warningTime");
    QTest::addColumn<bool>("warned");

    QTest::newRow("warning shorter than the time") << 10 << 4 << true;
    QTest::newRow("warning equal to the time") << 10 << 10 << false;
    QTest::newRow("no warning set") << 10 << 0 << false;
}

void TimerClassTest::warning()
{
    QFETCH(int, time);
    QFETCH(int, warningTime);
    QFETCH(bool, warned);

    TimerClass timer;
    QList<QString> events;
    connect(&timer, &TimerClass::timeoutWarning, this, [&] { events << QStringLiteral("warning"); });
    connect(&timer, &TimerClass::timeout, this, [&] { events << QStringLiteral("timeout"); });
    QSignalSpy timeout(&timer, &TimerClass::timeout);
    timer.setTime(time);
    timer.setWarningTime(warningTime);
    timer.start();
    QVERIFY(timeout.wait(2000));

    const QList<QString> expected = warned ? QList<QString>{QStringLiteral("warning"), QStringLiteral("timeout")}
                                           : QList<QString>{QStringLiteral("timeout")};
    QCOMPARE(events, expected);
}

void TimerClassTest::restartOfStoppedTimerKeepsItStopped()
{
    TimerClass timer;
    QSignalSpy timeout(&timer, &TimerClass::timeout);
    timer.setTime(1);
    timer.restartTimer();
    QVERIFY(!timer.isActive());
    QCOMPARE(timer.time(), 0);

    timer.start();
    timer.stop();
    timer.restartTimer();
    QVERIFY(!timer.isActive());
    QVERIFY(!timeout.wait(100)); // ten times its length
}

void TimerClassTest::restartOfRunningTimerCountsFromTheFullLength()
{
    TimerClass timer;
    QSignalSpy timeout(&timer, &TimerClass::timeout);
    timer.setTime(20); // 200 ms here
    timer.start();
    QElapsedTimer clock;
    clock.start();

    // Key releases every 20 ms for twice the countdown's length keep it from expiring.
    qint64 lastRestart = 0;
    QTimer keyReleases;
    connect(&keyReleases, &QTimer::timeout, this, [&] {
        if (clock.elapsed() >= 400) {
            keyReleases.stop();
            return;
        }
        timer.restartTimer();
        lastRestart = clock.elapsed();
    });
    keyReleases.start(20);

    QVERIFY(timeout.wait(3000));
    QVERIFY(!keyReleases.isActive());
    // A countdown that ignored the restarts would end about 200 ms before the last one;
    // the margin below the full length leaves room for the coarse timer's 5 % and a busy machine.
    QVERIFY2(clock.elapsed() - lastRestart >= 150, qPrintable(QString::number(clock.elapsed() - lastRestart)));
    QCOMPARE(timeout.count(), 1);
}

void TimerClassTest::startWithoutLengthDoesNothing()
{
    TimerClass timer;
    timer.setWarningTime(1);
    timer.start();
    QVERIFY(!timer.isActive());
    QCOMPARE(timer.time(), 0);
}

void TimerClassTest::startWithLengthReplacesTheRunningCountdown()
{
    TimerClass timer;
    QSignalSpy timeout(&timer, &TimerClass::timeout);
    timer.start(3600);
    QCOMPARE(timer.time(), 3600);
    timer.start(2);
    QCOMPARE(timer.time(), 2);
    QVERIFY(timeout.wait(2000));
    QCOMPARE(timeout.count(), 1);
}

void TimerClassTest::warningTimeInWholeMinutes_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<int>("minutes");

    QTest::newRow("59 s") << 59 << 0;
    QTest::newRow("60 s") << 60 << 1;
    QTest::newRow("119 s") << 119 << 1;
}

void TimerClassTest::warningTimeInWholeMinutes()
{
    QFETCH(int, seconds);

    TimerClass timer;
    timer.setWarningTime(seconds);
    QTEST(timer.warningTime(), "minutes");
}

void TimerClassTest::refusesNegativeLengths()
{
    TimerClass timer;
    timer.setTime(5);
    QTest::ignoreMessage(QtWarningMsg, "[TimerClass::setTime] invalid time: -5");
    timer.setTime(-5);
    QTest::ignoreMessage(QtWarningMsg, "[TimerClass::setTime] invalid time: 2147484");
    timer.setTime(2147484);
    timer.start();
    QCOMPARE(timer.time(), 5);

    timer.setWarningTime(2);
    QTest::ignoreMessage(QtWarningMsg, "[TimerClass::setWarningTime] invalid warning time: -1");
    timer.setWarningTime(-1);
    QCOMPARE(timer.warningTime(), 0);
}

QTEST_GUILESS_MAIN(TimerClassTest)
#include "timerclasstest.moc"
