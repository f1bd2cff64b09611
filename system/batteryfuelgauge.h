// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_SYSTEM_BATTERYFUELGAUGE_H
#define QUIMBO_SYSTEM_BATTERYFUELGAUGE_H

#include <QObject>

#include <memory>

class BatteryFuelGaugePrivate;
class PowerManagementIC;

/**
 * The battery's state of charge from its voltage: a window of 16 samples
 * (collected 50 ms apart after refresh(), then one new sample every 5 s),
 * its extremes dropped, the rest averaged and looked up in the discharge
 * table. A sample the chip does not deliver, or one no battery can show,
 * is logged and left out; the window keeps its last good samples.
 * Main thread.
 */
class BatteryFuelGauge : public QObject
{
    Q_OBJECT

public:
    explicit BatteryFuelGauge(PowerManagementIC *pmic, QObject *parent = nullptr);
    ~BatteryFuelGauge() override;

    /** Whether the gauge has a chip to sample. */
    bool isValid() const;
    /** Percent, from the last computation (at construction: one sample); -1 while no sample was good. */
    int stateOfCharge() const;
    /** Throws the window away and collects a fresh one. */
    void refresh();
    /** Mean of the window without its smallest and largest sample (mV); 0 for an empty window. */
    int determineMedianVoltage() const;
    /** Percent for @p mV from the discharge table. */
    int determineStateOfCharge(int mV) const;

Q_SIGNALS:
    void sendStateOfCharge(int soc);

private Q_SLOTS:
    void refreshTimerEvent();
    void sampleTimerEvent();

private:
    const std::unique_ptr<BatteryFuelGaugePrivate> d;
};

#endif
