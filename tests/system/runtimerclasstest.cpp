// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/runtimerclass.h"

#include "platform/platform.h"
#include "testroot.h"

#include <QSettings>
#include <QTest>

#include <memory>

class RunTimerClassTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void keepsThePreviousRunTime_data();
    void keepsThePreviousRunTime();
    void countsInFiveMinuteSteps();

private:
    static uint stored() { return QSettings().value(QStringLiteral("timeActive"), 0u).toUInt(); }
    std::unique_ptr<TestRoot> m_root;
};

void RunTimerClassTest::init()
{
    m_root = std::make_unique<TestRoot>();
    QVERIFY(m_root->isValid());
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
}

void RunTimerClassTest::cleanup()
{
    m_root.reset();
    Platform::setTimeScale(1.0);
}

void RunTimerClassTest::keepsThePreviousRunTime_data()
{
    QTest::addColumn<QVariant>("stored"); // invalid: key absent
    QTest::addColumn<uint>("previous");

    QTest::newRow("absent") << QVariant() << 0u;
    QTest::newRow("125 minutes") << QVariant(125u) << 125u;
    QTest::newRow("not a number") << QVariant(QStringLiteral("many")) << 0u;
}

void RunTimerClassTest::keepsThePreviousRunTime()
{
    QFETCH(QVariant, stored);
    QFETCH(uint, previous);

    if (stored.isValid())
        QSettings().setValue(QStringLiteral("timeActive"), stored);

    RunTimerClass timer;
    QCOMPARE(timer.currentRunTime(), previous);
    timer.start();
    // The new power cycle starts at 0; the previous one is still reported.
    QCOMPARE(this->stored(), 0u);
    QCOMPARE(timer.currentRunTime(), previous);
}

void RunTimerClassTest::countsInFiveMinuteSteps()
{
    QSettings().setValue(QStringLiteral("timeActive"), 40u);
    // Five minutes last 30 ms here.
    Platform::setTimeScale(0.0001);
    RunTimerClass timer;
    timer.start();
    QTRY_VERIFY_WITH_TIMEOUT(stored() >= 15u, 5000);
    QCOMPARE(stored() % 5u, 0u);
    QCOMPARE(timer.currentRunTime(), 40u);
}

QTEST_GUILESS_MAIN(RunTimerClassTest)
#include "runtimerclasstest.moc"
