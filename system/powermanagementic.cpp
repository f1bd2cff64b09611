// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/powermanagementic.h"

#include "platform/i2cbus.h"
#include "system/delay.h"
#include "system/logcategory.h"

#include <QDebug>

#include <cmath>

namespace {
const QString s_bus = QStringLiteral("/dev/i2c-0");
constexpr int s_address = 0x34;

// Charge current, voltage targets, ADC enables, GPIO2 released, temperature thresholds.
constexpr std::pair<int, int> s_startupRegisters[] = {
    {0x31, 0x00}, {0x32, 0x46}, {0x33, 0xC9}, {0x36, 0x9E}, {0x82, 0xF3},
    {0x84, 0x32}, {0x93, 0x02}, {0x39, 0x24}, {0x38, 0x99}, {0x3C, 0x99},
};

constexpr int s_ledControl = 0x32;
constexpr int s_ledByRegister = 0x08;
constexpr int s_ledOutput = 0x30;
} // namespace

PowerManagementIC::PowerManagementIC(QObject *parent)
    : QObject(parent)
{
}

PowerManagementIC::~PowerManagementIC() = default;

bool PowerManagementIC::initialize()
{
    const char *const signature = Q_FUNC_INFO;
    m_bus = Platform::createI2cBus();
    if (!m_bus || !m_bus->open(s_bus)) {
        qCDebug(lcSystem).nospace() << signature << ": error could not open i2c bus!";
        m_bus.reset();
        return false;
    }
    if (!m_bus->setSlaveAddress(s_address, true)) {
        qCDebug(lcSystem).nospace() << signature << ": error could not talk to the PMIC!";
        uninitialize();
        return false;
    }
    for (const auto &[reg, value] : s_startupRegisters) {
        if (!writeRegister(reg, value)) {
            qCDebug(lcSystem).nospace() << signature << ": error initializing the PMIC!";
            return false;
        }
    }
    return true;
}

void PowerManagementIC::uninitialize()
{
    if (m_bus)
        m_bus->close();
    m_bus.reset();
}

int PowerManagementIC::readRegister(int reg)
{
    if (!m_bus || reg < 0 || reg > 0xFF)
        return -1;
    const unsigned char r = static_cast<unsigned char>(reg);
    unsigned char value = 0;
    if (m_bus->write(&r, 1) != 1 || m_bus->read(&value, 1) != 1)
        return -1;
    return value;
}

bool PowerManagementIC::writeRegister(int reg, int value)
{
    if (!m_bus || reg < 0 || reg > 0xFF)
        return false;
    const unsigned char data[2] = {static_cast<unsigned char>(reg), static_cast<unsigned char>(value)};
    return m_bus->write(data, 2) == 2;
}

int PowerManagementIC::readRegisterBit(int reg, int mask)
{
    const int value = readRegister(reg);
    if (value < 0)
        return -1;
    return (value & mask) ? 1 : 0;
}

bool PowerManagementIC::writeRegisterBit(int reg, int mask, bool set)
{
    const int value = readRegister(reg);
    if (value < 0)
        return false;
    return writeRegister(reg, set ? (value | mask) : (value & ~mask));
}

int PowerManagementIC::readTwoByteRegister(int high, int low, int shift)
{
    const int h = readRegister(high);
    if (h < 0)
        return -1;
    const int l = readRegister(low);
    if (l < 0)
        return -1;
    return (h << shift) | (l & 0x0F);
}

bool PowerManagementIC::isAdapterBootSource()
{
    return readRegisterBit(0x00, 0x01) == 1;
}

bool PowerManagementIC::isAdapterConnected()
{
    return readRegisterBit(0x00, 0x80) == 1;
}

bool PowerManagementIC::isBatteryConnected()
{
    return readRegisterBit(0x01, 0x20) == 1;
}

int PowerManagementIC::isCharging()
{
    return readRegisterBit(0x01, 0x40);
}

float PowerManagementIC::measurement(int high, int low, double factor, double offset)
{
    const int raw = readTwoByteRegister(high, low);
    if (raw < 0)
        return -1.0f;
    return float(offset + raw * factor);
}

float PowerManagementIC::adapterVoltage()
{
    return measurement(0x56, 0x57, 1.7);
}

float PowerManagementIC::adapterCurrent()
{
    return measurement(0x58, 0x59, 0.625);
}

float PowerManagementIC::internalTemperature()
{
    return measurement(0x5E, 0x5F, 0.1, -144.7);
}

float PowerManagementIC::externalTemperature()
{
    constexpr int samples = 5;
    double sum = 0;
    for (int i = 0; i < samples; ++i) {
        const int raw = readTwoByteRegister(0x62, 0x63);
        if (raw <= 0)
            return -1.0f;
        sum += raw;
        if (i + 1 < samples)
            Delay::msec(10);
    }
    const double a = sum / samples;
    // 10 kOhm thermistor, B = 3453, referenced to 25 degrees.
    return float(1.0 / (std::log((a / 0.08) / 10000.0) / 3453.0 + 0.0033540164346805303) - 273.15);
}

float PowerManagementIC::batteryVoltage()
{
    return measurement(0x78, 0x79, 1.1);
}

float PowerManagementIC::batteryChargeCurrent()
{
    return measurement(0x7A, 0x7B, 0.5);
}

float PowerManagementIC::batteryDischargeCurrent()
{
    return measurement(0x7C, 0x7D, 0.5);
}

bool PowerManagementIC::gpio2Output(int value)
{
    const int current = readRegister(0x93);
    if (current < 0)
        return false;
    return writeRegister(0x93, (current & ~0x07) | (value & 0x07));
}

bool PowerManagementIC::gpio3Output(bool high)
{
    return writeRegisterBit(0x95, 0x02, high);
}

bool PowerManagementIC::chargeLedControl(bool byCharger)
{
    if (byCharger)
        return writeRegisterBit(s_ledControl, s_ledByRegister, false);
    // Output off first, then hand the LED to the register: it stays dark.
    const int value = readRegister(s_ledControl);
    if (value < 0 || !writeRegister(s_ledControl, value & ~s_ledOutput))
        return false;
    return writeRegisterBit(s_ledControl, s_ledByRegister, true);
}

int PowerManagementIC::chargeLedByCharger()
{
    const int bit = readRegisterBit(s_ledControl, s_ledByRegister);
    return bit < 0 ? -1 : (bit == 0 ? 1 : 0);
}

int PowerManagementIC::fuelGauge()
{
    const int value = readRegister(0xB9);
    return value < 0 ? -1 : (value & 0x7F);
}
