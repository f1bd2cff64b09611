// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/delay.h"

#include "platform/platform.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

class DelayTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();

    void waitsTheScaledTime_data();
    void waitsTheScaledTime();
    void zeroReturnsAtOnce();
    void eventsAreDeliveredWhileWaiting();
    void nestedWaitsEndInOrder();
};

void DelayTest::cleanup()
{
    Platform::setTimeScale(1.0);
}

void DelayTest::waitsTheScaledTime_data()
{
    QTest::addColumn<int>("msec");
    QTest::addColumn<double>("scale");
    QTest::addColumn<int>("expected");

    QTest::newRow("unscaled") << 30 << 1.0 << 30;
    QTest::newRow("one second at 1/20") << 1000 << 0.05 << 50;
    QTest::newRow("tiny result is at least 1 ms") << 10 << 0.0001 << 1;
}

void DelayTest::waitsTheScaledTime()
{
    QFETCH(int, msec);
    QFETCH(double, scale);
    QFETCH(int, expected);

    Platform::setTimeScale(scale);
    QElapsedTimer clock;
    clock.start();
    Delay::msec(unsigned(msec));
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed >= expected - 1, qPrintable(QString::number(elapsed)));
    QVERIFY2(elapsed < expected + 500, qPrintable(QString::number(elapsed)));
}

void DelayTest::zeroReturnsAtOnce()
{
    bool delivered = false;
    QTimer::singleShot(0, this, [&] { delivered = true; });
    Delay::msec(0);
    // No event loop ran: a zero-length timer is still pending.
    QVERIFY(!delivered);
    QTRY_VERIFY(delivered);
}

void DelayTest::eventsAreDeliveredWhileWaiting()
{
    QStringList events;
    QTimer::singleShot(5, this, [&] { events << QStringLiteral("timer"); });
    QMetaObject::invokeMethod(this, [&] { events << QStringLiteral("queued call"); }, Qt::QueuedConnection);
    Delay::msec(100);
    QCOMPARE(events, (QStringList{QStringLiteral("queued call"), QStringLiteral("timer")}));
}

void DelayTest::nestedWaitsEndInOrder()
{
    QStringList events;
    QTimer::singleShot(10, this, [&] {
        Delay::msec(20);
        events << QStringLiteral("inner");
    });
    Delay::msec(80);
    events << QStringLiteral("outer");
    QCOMPARE(events, (QStringList{QStringLiteral("inner"), QStringLiteral("outer")}));
}

QTEST_GUILESS_MAIN(DelayTest)
#include "delaytest.moc"
