// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/batteryfuelgauge.h"

#include "platform/platform.h"
#include "system/logcategory.h"
#include "system/powermanagementic.h"

#include <QDebug>
#include <QList>
#include <QTimer>

#include <algorithm>
#include <numeric>

namespace {
constexpr int s_refreshMsec = 50;
constexpr int s_sampleMsec = 5000;
constexpr int s_windowSize = 16;
// Below this a cell is destroyed, above it no charger goes: a reading out
// there is the bus or the chip, not the battery (all-ones reads 4504 mV).
constexpr int s_lowestPlausibleMv = 2000;
constexpr int s_highestPlausibleMv = 4500;
} // namespace

struct BatteryValues {
    int lowVoltage;
    int highVoltage;
    double lowCharge;
    double highCharge;
};

class BatteryFuelGaugePrivate
{
public:
    explicit BatteryFuelGaugePrivate(PowerManagementIC *pmic)
        : pmic(pmic)
    {
        for (const BatteryValues &row : table)
            highestVoltage = std::max(highestVoltage, row.highVoltage);
    }

    /** One sample in mV, or -1 (logged once per run of bad samples). */
    int sample()
    {
        const float v = pmic ? pmic->batteryVoltage() : -1.0f;
        const int mV = int(v);
        if (v >= 0 && mV >= s_lowestPlausibleMv && mV <= s_highestPlausibleMv) {
            if (badSamples > 0)
                qCDebug(lcSystem, "[BatteryFuelGauge] battery voltage readable again after %d bad samples", badSamples);
            badSamples = 0;
            return mV;
        }
        if (badSamples++ == 0) {
            if (v < 0)
                qCWarning(lcSystem, "[BatteryFuelGauge] battery voltage not readable, keeping the last good samples");
            else
                qCWarning(lcSystem, "[BatteryFuelGauge] battery voltage %d mV ignored, keeping the last good samples", mV);
        }
        return -1;
    }

    bool valid = false;
    int stateOfCharge = -1;
    int highestVoltage = 0;
    const QList<BatteryValues> table{
        {3973, 4300, 85.0, 100.0},
        {3936, 3973, 81.7, 85.0},
        {3877, 3936, 76.7, 81.7},
        {3844, 3877, 73.4, 76.7},
        {3680, 3844, 58.4, 73.4},
        {3422, 3680, 22.0, 58.4},
        {3222, 3422, 8.7, 22.0},
        {3055, 3222, 5.4, 8.7},
        {2844, 3055, 2.1, 5.4},
        {2600, 2844, 0.5, 2.1},
        {2500, 2600, 0.0, 0.5},
    };
    QList<int> voltages;
    PowerManagementIC *pmic;
    int badSamples = 0;
    QTimer refreshTimer;
    QTimer sampleTimer;
};

BatteryFuelGauge::BatteryFuelGauge(PowerManagementIC *pmic, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<BatteryFuelGaugePrivate>(pmic))
{
    connect(&d->refreshTimer, &QTimer::timeout, this, &BatteryFuelGauge::refreshTimerEvent);
    connect(&d->sampleTimer, &QTimer::timeout, this, &BatteryFuelGauge::sampleTimerEvent);
    // The power manager decides at once on the level, before a window is full.
    d->valid = pmic != nullptr;
    const int first = d->sample();
    if (first > 0)
        d->stateOfCharge = determineStateOfCharge(first);
    refresh();
}

BatteryFuelGauge::~BatteryFuelGauge() = default;

bool BatteryFuelGauge::isValid() const
{
    return d->valid;
}

int BatteryFuelGauge::stateOfCharge() const
{
    return d->stateOfCharge;
}

void BatteryFuelGauge::refresh()
{
    qCDebug(lcSystem) << Q_FUNC_INFO;
    d->refreshTimer.stop();
    d->sampleTimer.stop();
    d->voltages.clear();
    d->refreshTimer.start(Platform::scaledMsec(s_refreshMsec));
}

int BatteryFuelGauge::determineMedianVoltage() const
{
    if (d->voltages.isEmpty())
        return 0;
    QList<int> sorted = d->voltages;
    std::sort(sorted.begin(), sorted.end());
    if (sorted.size() > 2) {
        sorted.removeFirst();
        sorted.removeLast();
    }
    return int(std::accumulate(sorted.cbegin(), sorted.cend(), qint64(0)) / sorted.size());
}

int BatteryFuelGauge::determineStateOfCharge(int mV) const
{
    for (const BatteryValues &row : d->table) {
        if (row.lowVoltage <= mV && mV <= row.highVoltage) {
            const double fraction = double(mV - row.lowVoltage) / double(row.highVoltage - row.lowVoltage);
            return int(row.lowCharge + fraction * (row.highCharge - row.lowCharge));
        }
    }
    if (mV >= d->highestVoltage)
        return 100;
    qCDebug(lcSystem).nospace() << Q_FUNC_INFO << ": no battery value found.. return 0";
    return 0;
}

void BatteryFuelGauge::refreshTimerEvent()
{
    const int mV = d->sample();
    if (mV < 0)
        return;
    d->voltages.append(mV);
    if (d->voltages.size() < s_windowSize)
        return;
    d->refreshTimer.stop();
    d->stateOfCharge = determineStateOfCharge(determineMedianVoltage());
    Q_EMIT sendStateOfCharge(d->stateOfCharge);
    d->sampleTimer.start(Platform::scaledMsec(s_sampleMsec));
}

void BatteryFuelGauge::sampleTimerEvent()
{
    const int mV = d->sample();
    if (mV < 0)
        return;
    if (!d->voltages.isEmpty())
        d->voltages.removeFirst();
    d->voltages.append(mV);
    d->stateOfCharge = determineStateOfCharge(determineMedianVoltage());
    Q_EMIT sendStateOfCharge(d->stateOfCharge);
}
