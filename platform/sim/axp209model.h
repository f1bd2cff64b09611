// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_SIM_AXP209MODEL_H
#define QUIMBO_PLATFORM_SIM_AXP209MODEL_H

#include "platform/sim/simi2cbus.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QMutex>

namespace Platform {

/**
 * Register model of the AXP209 power chip at 0x34 on "/dev/i2c-0" with the
 * battery behind it: a one-byte write sets the register pointer, reads
 * answer from the pointer on. The measurement registers (adapter, battery,
 * temperatures, the power and charge status) are computed from the model's
 * state; every other register reads back what was written.
 *
 * The adapter is the simulated board's adapter input ("/dev/input/event3",
 * key 30), so plugging it there is plugging it here. The battery charges
 * while the adapter is in and, once the simulator lets time run
 * (setTimeRunning), drains while the device is on battery; both follow the
 * process time scale.
 *
 * Tests inject failures: a chip that does not acknowledge at all, a
 * register that reads garbage, or a list of battery voltages that the
 * next samples read one by one. Thread-safe.
 */
class Axp209Model : public SimI2cDevice
{
public:
    static constexpr int Address = 0x34;
    /** Above this the charger reports the battery full and stops charging. */
    static constexpr int FullMillivolts = 4290;
    static constexpr int RestMillivolts = 3900;

    static Axp209Model &instance();
    /** Attaches the model to "/dev/i2c-0" (idempotent). */
    void attach();

    /**
     * Back to a fresh board: battery present at RestMillivolts and 25 degrees,
     * switched on by the power button, time stopped, no failures, no history.
     */
    void reset();

    void setBatteryMillivolts(int mV);
    int batteryMillivolts() const;
    void setBatteryPresent(bool present);
    void setBatteryTemperature(double celsius);
    double batteryTemperature() const;
    /** Whether connecting the adapter switched the device on (power status bit 0). */
    void setAdapterBootSource(bool adapter);
    bool isAdapterConnected() const;
    /** Adapter in, battery present and below FullMillivolts. */
    bool isCharging() const;

    /**
     * Lets the battery charge and drain with the passing time; @p drainPerMinute
     * is the loss in mV per simulated minute on battery (charging is three times
     * as fast).
     */
    void setTimeRunning(bool running, double drainPerMinute = 2.0);

    /** false: the chip acknowledges no transaction at all. */
    void setResponding(bool responding);
    /** Reads of @p reg answer @p value whatever the state is; clearForced() ends it. */
    void forceReadBack(int reg, quint8 value);
    void clearForced();
    /** The next battery voltage samples read these values (mV) one by one, then the state again. */
    void queueBatterySamples(const QList<int> &millivolts);

    /** Register as written (not computed). */
    quint8 reg(int index) const;
    /** How often a register was read since the last reset. */
    int readCount(int reg) const;
    /** Every register write in order, as (register, value). */
    QList<QPair<int, int>> writes() const;

    int i2cWrite(const unsigned char *data, int count) override;
    int i2cRead(unsigned char *data, int count) override;

private:
    Axp209Model();
    quint8 readLocked(int reg);
    void advanceLocked();
    static int externalTemperatureRaw(double celsius);

    mutable QMutex m_mutex;
    quint8 m_regs[256] = {};
    int m_pointer = 0;
    double m_batteryMv = RestMillivolts;
    bool m_batteryPresent = true;
    double m_batteryTemperature = 25.0;
    bool m_adapterBoot = false;
    bool m_timeRunning = false;
    double m_drainPerMinute = 2.0;
    QElapsedTimer m_clock;
    bool m_responding = true;
    QHash<int, quint8> m_forced;
    QList<int> m_queuedSamples;
    int m_latchedVoltageRaw = 0;
    QHash<int, int> m_readCounts;
    QList<QPair<int, int>> m_writes;
};

} // namespace Platform

#endif
