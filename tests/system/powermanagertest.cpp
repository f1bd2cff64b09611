// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/powermanager.h"
#include "system/logcategory.h"

#include "input/board.h"
#include "platform/platform.h"
#include "platform/sim/axp209model.h"
#include "platform/sim/simboard.h"
#include "system/batteryfuelgauge.h"
#include "system/powermanagementic.h"

#include "logcapture.h"
#include "testroot.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using Platform::Axp209Model;
using Platform::SimBoard;

namespace {
const QString s_adapterInput = QStringLiteral("/dev/input/event3");
constexpr int s_adapterKey = 30;
constexpr int s_lowBattery = 3;
constexpr int s_emptyBattery = 2;
constexpr int s_charged = 0;

// Battery voltages (mV) that the discharge table puts at about these levels.
constexpr int s_mv40 = 3550;
constexpr int s_mv60 = 3700;
constexpr int s_mv70 = 3810;
} // namespace

class PowerManagerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void spikeIsDroppedFromTheWindow_data();
    void spikeIsDroppedFromTheWindow();
    void voltageOutsideTheTable_data();
    void voltageOutsideTheTable();
    void lowBatteryWarningRepeats();
    void levelNeverRisesOnBattery_data();
    void levelNeverRisesOnBattery();
    void badSamplesKeepTheLastGoodLevel_data();
    void badSamplesKeepTheLastGoodLevel();
    void chipFailsAtStart_data();
    void chipFailsAtStart();
    void adapterInputIsWatchedAgainWhenBack();
    void fullChargeAnnouncedOncePerCharge_data();
    void fullChargeAnnouncedOncePerCharge();
    void temperaturesFollowTheBoard();
    void bootSourceAndSettings_data();
    void bootSourceAndSettings();

private:
    /** A power manager on the simulated board, initialised; the adapter plugged or not. */
    void createManager(bool adapter, int revision = 0);
    BatteryFuelGauge *gauge() const { return m_pm->findChild<BatteryFuelGauge *>(); }
    /** Waits for the next computed level (a full window after a refresh, or one more sample). */
    int nextLevel();

    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<PowerManager> m_pm;
};

void PowerManagerTest::initTestCase()
{
    Platform::setBackend(Platform::Backend::Simulated);
}

void PowerManagerTest::init()
{
    m_root = std::make_unique<TestRoot>();
    QVERIFY(m_root->isValid());
    // Samples 50 ms and 5 s apart take 0.5 ms and 50 ms.
    Platform::setTimeScale(0.01);
    SimBoard::instance()->reset();
    Board::getInstance()->resetForTesting();
}

void PowerManagerTest::cleanup()
{
    m_pm.reset();
    m_root.reset();
    Platform::setTimeScale(1.0);
}

void PowerManagerTest::createManager(bool adapter, int revision)
{
    SimBoard *board = SimBoard::instance();
    board->setRevision(revision);
    Board::getInstance()->init();
    board->setKey(s_adapterInput, s_adapterKey, adapter);
    m_pm = std::make_unique<PowerManager>();
    QVERIFY(m_pm->initialize());
    QVERIFY(gauge());
}

int PowerManagerTest::nextLevel()
{
    QSignalSpy levels(gauge(), &BatteryFuelGauge::sendStateOfCharge);
    if (!levels.wait(5000))
        return -1;
    return levels.last().first().toInt();
}

void PowerManagerTest::spikeIsDroppedFromTheWindow_data()
{
    QTest::addColumn<int>("spike");
    QTest::addColumn<int>("position");

    QTest::newRow("a dip while the amplifier starts") << 3100 << 5;
    QTest::newRow("a surge as the first sample") << 4400 << 0;
    QTest::newRow("a dip as the last sample") << 2600 << 15;
}

void PowerManagerTest::spikeIsDroppedFromTheWindow()
{
    QFETCH(int, spike);
    QFETCH(int, position);

    createManager(false);
    QList<int> samples(16, 3900);
    samples[position] = spike;
    Axp209Model::instance().queueBatterySamples(samples);
    m_pm->refresh();

    QCOMPARE(nextLevel(), gauge()->determineStateOfCharge(3900));
    // Within the converter's 1.1 mV step of the steady voltage.
    QVERIFY(qAbs(gauge()->determineMedianVoltage() - 3900) <= 1);
}

void PowerManagerTest::voltageOutsideTheTable_data()
{
    QTest::addColumn<int>("millivolts");
    QTest::addColumn<int>("level");
    QTest::addColumn<bool>("logged");

    QTest::newRow("above the table: full") << 4350 << 100 << false;
    QTest::newRow("below the table: empty") << 2400 << 0 << true;
}

void PowerManagerTest::voltageOutsideTheTable()
{
    QFETCH(int, millivolts);

    createManager(false);
    LogCapture log(lcSystem());
    QTEST(gauge()->determineStateOfCharge(millivolts), "level");
    QTEST(log.contains(QStringLiteral("int BatteryFuelGauge::determineStateOfCharge(int) const: no battery value found.. return 0")), "logged");
}

void PowerManagerTest::lowBatteryWarningRepeats()
{
    Axp209Model::instance().setBatteryMillivolts(s_mv40);
    createManager(false);
    // Each sample 0.5 ms apart: 62 of them take a moment, not minutes.
    Platform::setTimeScale(0.0001);
    m_pm->refresh();

    QList<int> samplesAtWarning;
    int samples = 0;
    connect(gauge(), &BatteryFuelGauge::sendStateOfCharge, this, [&samples] { ++samples; });
    connect(m_pm.get(), &PowerManager::batteryStatusChanged, this, [&](int status) {
        if (status == s_lowBattery)
            samplesAtWarning << samples;
    });
    QTRY_VERIFY_WITH_TIMEOUT(samplesAtWarning.size() >= 2, 20000);
    // The first level computed warns at once (counted here after the manager saw it).
    QCOMPARE(samplesAtWarning.first(), 0);
    QCOMPARE(samplesAtWarning.at(1) - samplesAtWarning.first(), 61);
}

void PowerManagerTest::levelNeverRisesOnBattery_data()
{
    QTest::addColumn<bool>("chargeBetween");
    QTest::addColumn<int>("status");

    QTest::newRow("on battery the lower level stays") << false << 3;
    QTest::newRow("a charge in between starts afresh") << true << 4;
}

void PowerManagerTest::levelNeverRisesOnBattery()
{
    QFETCH(bool, chargeBetween);

    Axp209Model &chip = Axp209Model::instance();
    chip.setBatteryMillivolts(s_mv60);
    createManager(false);
    m_pm->refresh();
    QVERIFY(nextLevel() >= 0);
    QCOMPARE(m_pm->batteryStatus(), 3);

    if (chargeBetween) {
        SimBoard::instance()->setKey(s_adapterInput, s_adapterKey, true);
        QTRY_COMPARE(m_pm->adapterStatus(), int(PowerManager::AdapterConnected));
        QCOMPARE(m_pm->batteryStatus(), 1);
        SimBoard::instance()->setKey(s_adapterInput, s_adapterKey, false);
        QTRY_COMPARE(m_pm->adapterStatus(), int(PowerManager::AdapterDisconnected));
    }
    chip.setBatteryMillivolts(s_mv70);
    m_pm->refresh();
    QVERIFY(nextLevel() >= 0);
    QTEST(m_pm->batteryStatus(), "status");
}

void PowerManagerTest::badSamplesKeepTheLastGoodLevel_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("logged");

    QTest::newRow("chip does not answer") << "silent" << "battery voltage not readable";
    QTest::newRow("all ones") << "ones" << "battery voltage 4504 mV ignored";
    QTest::newRow("zero") << "zero" << "battery voltage 0 mV ignored";
}

void PowerManagerTest::badSamplesKeepTheLastGoodLevel()
{
    QFETCH(QString, failure);
    QFETCH(QString, logged);

    Axp209Model &chip = Axp209Model::instance();
    chip.setBatteryMillivolts(s_mv60);
    createManager(false);
    m_pm->refresh();
    const int good = nextLevel();
    QVERIFY(good > 48);
    QSignalSpy battery(m_pm.get(), &PowerManager::batteryStatusChanged);

    LogCapture log(lcSystem());
    if (failure == QLatin1String("silent")) {
        chip.setResponding(false);
    } else {
        const quint8 value = failure == QLatin1String("ones") ? 0xFF : 0x00;
        chip.forceReadBack(0x78, value);
        chip.forceReadBack(0x79, value);
    }
    QTRY_VERIFY(log.contains(logged));
    chip.setResponding(true);
    chip.clearForced();

    QCOMPARE(nextLevel(), good);
    // Logged once for the whole run of bad samples, not at each.
    QCOMPARE(log.count(logged), 1);
    QVERIFY(battery.isEmpty());
    QCOMPARE(m_pm->batteryStatus(), 3);
}

void PowerManagerTest::chipFailsAtStart_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("logged");

    QTest::newRow("chip does not answer") << "silent" << "bool PowerManagementIC::initialize(): error initializing the PMIC!";
    QTest::newRow("adapter input missing") << "input" << "bool PowerManager::initialize(): error cannot open adapter input!";
}

void PowerManagerTest::chipFailsAtStart()
{
    QFETCH(QString, failure);
    QFETCH(QString, logged);

    Board::getInstance()->init();
    if (failure == QLatin1String("silent"))
        Axp209Model::instance().setResponding(false);
    else
        SimBoard::instance()->setInputDevicePresent(s_adapterInput, false);
    LogCapture log(lcSystem());
    PowerManager pm;
    QVERIFY(!pm.initialize());
    QVERIFY2(log.contains(logged), qPrintable(log.text()));
}

void PowerManagerTest::adapterInputIsWatchedAgainWhenBack()
{
    createManager(false, 7);
    QSignalSpy adapter(m_pm.get(), &PowerManager::adapterStatusChanged);
    QSignalSpy levels(gauge(), &BatteryFuelGauge::sendStateOfCharge);
    SimBoard *board = SimBoard::instance();

    LogCapture log(lcSystem());
    board->setInputDevicePresent(s_adapterInput, false);
    QTRY_VERIFY(log.contains(QStringLiteral("void PowerManager::adapterEventChange(): error can not read from the adapter input")));
    // Plugged while the input was away: reported once it is back.
    board->setKey(s_adapterInput, s_adapterKey, true);
    board->setInputDevicePresent(s_adapterInput, true);
    QTRY_COMPARE(adapter.size(), 1);
    QCOMPARE(adapter.last().first().toInt(), int(PowerManager::AdapterConnected));

    board->setKey(s_adapterInput, s_adapterKey, false);
    QTRY_COMPARE(adapter.size(), 2);
    QCOMPARE(adapter.last().first().toInt(), int(PowerManager::AdapterDisconnected));
    // Pulling the adapter starts a fresh window: its level comes within 16 quick samples.
    levels.clear();
    QVERIFY(levels.wait(1000));
    // The e-fuse trips.
    board->setInputLine(36, 0);
    QTRY_COMPARE(adapter.size(), 3);
    QCOMPARE(adapter.last().first().toInt(), int(PowerManager::AdapterFailure));
}

void PowerManagerTest::fullChargeAnnouncedOncePerCharge_data()
{
    QTest::addColumn<int>("pollsUnplugged");
    QTest::newRow("pulled for a while") << 3;
    // Idle mode waits for this announcement to switch off.
    QTest::newRow("pulled and plugged between two polls") << 0;
}

void PowerManagerTest::fullChargeAnnouncedOncePerCharge()
{
    QFETCH(int, pollsUnplugged);

    Axp209Model &chip = Axp209Model::instance();
    chip.setBatteryMillivolts(Axp209Model::FullMillivolts + 20);
    createManager(true);
    QSignalSpy battery(m_pm.get(), &PowerManager::batteryStatusChanged);
    QTRY_COMPARE(battery.size(), 1);
    QCOMPARE(battery.first().first().toInt(), s_charged);
    QCOMPARE(m_pm->batteryStatus(), 0);

    // Still plugged: no second announcement however long it stays.
    const int polls = chip.readCount(0x5E);
    QTRY_VERIFY(chip.readCount(0x5E) > polls + 3);
    QCOMPARE(battery.size(), 1);

    SimBoard::instance()->setKey(s_adapterInput, s_adapterKey, false);
    const int pulledAt = chip.readCount(0x5E);
    QTRY_VERIFY(chip.readCount(0x5E) >= pulledAt + pollsUnplugged);
    SimBoard::instance()->setKey(s_adapterInput, s_adapterKey, true);
    QTRY_COMPARE(battery.size(), 2);
    QCOMPARE(battery.last().first().toInt(), s_charged);
}

void PowerManagerTest::temperaturesFollowTheBoard()
{
    Axp209Model::instance().setBatteryTemperature(41.0);
    createManager(true);
    QTRY_VERIFY(qAbs(m_pm->externalTemperature() - 41.0) < 0.5);
    // The chip's own sensor reads a plausible warm board.
    QVERIFY(m_pm->interalTemperature() > 0 && m_pm->interalTemperature() < 85);

    Axp209Model::instance().setBatteryTemperature(2.0);
    QTRY_VERIFY(qAbs(m_pm->externalTemperature() - 2.0) < 0.5);
}

void PowerManagerTest::bootSourceAndSettings_data()
{
    QTest::addColumn<bool>("adapter");
    QTest::addColumn<int>("millivolts");
    QTest::addColumn<QVariant>("batteryEmpty");
    QTest::addColumn<QVariant>("shutdownGood");

    QTest::newRow("adapter: both reset") << true << 3300 << QVariant(false) << QVariant(true);
    QTest::newRow("battery at 40 %: good") << false << s_mv60 << QVariant(true) << QVariant(true);
    QTest::newRow("battery low: untouched") << false << 3300 << QVariant(true) << QVariant(false);
}

void PowerManagerTest::bootSourceAndSettings()
{
    QFETCH(bool, adapter);
    QFETCH(int, millivolts);
    QFETCH(QVariant, batteryEmpty);
    QFETCH(QVariant, shutdownGood);

    {
        QSettings settings;
        settings.setValue(QStringLiteral("batteryEmpty"), true);
        settings.setValue(QStringLiteral("shutdownGood"), false);
    }
    Axp209Model::instance().setBatteryMillivolts(millivolts);
    Axp209Model::instance().setAdapterBootSource(adapter);
    createManager(adapter);

    QCOMPARE(m_pm->bootSource(), adapter ? 0 : 1);
    QSettings settings;
    QCOMPARE(settings.value(QStringLiteral("batteryEmpty")), batteryEmpty);
    QCOMPARE(settings.value(QStringLiteral("shutdownGood")), shutdownGood);
}

QTEST_GUILESS_MAIN(PowerManagerTest)
#include "powermanagertest.moc"
