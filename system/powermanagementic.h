// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_SYSTEM_POWERMANAGEMENTIC_H
#define QUIMBO_SYSTEM_POWERMANAGEMENTIC_H

#include <QObject>

#include <memory>

namespace Platform {
class I2cBus;
}

/**
 * Register access to the AXP209 power chip (0x34 on "/dev/i2c-0"). A failed
 * read gives -1 (-1.0 for a measurement); the caller decides what a missing
 * value means. Main thread.
 */
class PowerManagementIC : public QObject
{
    Q_OBJECT

public:
    explicit PowerManagementIC(QObject *parent = nullptr);
    ~PowerManagementIC() override;

    /** Opens the bus, selects the chip and writes its start-up registers; false and a log line on failure. */
    bool initialize();
    void uninitialize();

    int readRegister(int reg);
    bool writeRegister(int reg, int value);
    /** 1 when any bit of @p mask is set, 0 when none, -1 on a failed read. */
    int readRegisterBit(int reg, int mask);
    /** Read-modify-write; a failed read writes nothing and returns false. */
    bool writeRegisterBit(int reg, int mask, bool set);
    /** (high << shift) | (low & 0x0F) of a 12-bit pair with shift 4; -1 on a failed read. */
    int readTwoByteRegister(int high, int low, int shift = 4);

    bool isAdapterBootSource();
    bool isAdapterConnected();
    bool isBatteryConnected();
    /** 1 charging, 0 not, -1 the chip did not answer. */
    int isCharging();

    /** mV, mA and degrees Celsius; -1.0 when the registers cannot be read. */
    float adapterVoltage();
    float adapterCurrent();
    float internalTemperature();
    /** The averaged thermistor input, five samples 10 ms apart; -1.0 on a failed read. */
    float externalTemperature();
    float batteryVoltage();
    float batteryChargeCurrent();
    float batteryDischargeCurrent();

    /** Low 3 bits of the GPIO2 control: 2 releases the amplifier reset line, 0 pulls it low. */
    bool gpio2Output(int value);
    /** The start-up sound line. */
    bool gpio3Output(bool high);
    /** true: the charger drives the charge LED; false: the LED is kept dark. */
    bool chargeLedControl(bool byCharger);
    /** Whether the charger drives the LED now (-1: the chip did not answer). */
    int chargeLedByCharger();
    int fuelGauge();

private:
    float measurement(int high, int low, double factor, double offset = 0.0);

    std::unique_ptr<Platform::I2cBus> m_bus;
};

#endif
