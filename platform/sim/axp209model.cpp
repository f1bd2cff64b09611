// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sim/axp209model.h"

#include "platform/platform.h"
#include "platform/sim/simboard.h"

#include <QMutexLocker>

#include <algorithm>
#include <cmath>

namespace Platform {

namespace {
const QString s_adapterInput = QStringLiteral("/dev/input/event3");
constexpr int s_adapterKey = 30;
constexpr int s_eventKey = 1;
constexpr int s_adapterMillivolts = 5000;
constexpr int s_chargeMilliamps = 600;
constexpr int s_playMilliamps = 250;
constexpr double s_chipTemperature = 38.0;
// The battery never reads outside what a lithium cell and its protection allow.
constexpr double s_lowestMillivolts = 2500.0;

// The 12-bit value (high << 4) | (low & 0x0F) of a measurement register pair.
quint8 highByte(int raw)
{
    return quint8(std::clamp(raw, 0, 0xFFF) >> 4);
}

quint8 lowByte(int raw)
{
    return quint8(std::clamp(raw, 0, 0xFFF) & 0x0F);
}
} // namespace

Axp209Model::Axp209Model() = default;

Axp209Model &Axp209Model::instance()
{
    static Axp209Model model;
    return model;
}

void Axp209Model::attach()
{
    SimI2cBus::attachDevice(QStringLiteral("/dev/i2c-0"), Address, this);
}

void Axp209Model::reset()
{
    QMutexLocker lock(&m_mutex);
    std::fill(std::begin(m_regs), std::end(m_regs), quint8(0));
    m_pointer = 0;
    m_batteryMv = RestMillivolts;
    m_batteryPresent = true;
    m_batteryTemperature = 25.0;
    m_adapterBoot = false;
    m_timeRunning = false;
    m_drainPerMinute = 2.0;
    m_responding = true;
    m_forced.clear();
    m_queuedSamples.clear();
    m_latchedVoltageRaw = 0;
    m_readCounts.clear();
    m_writes.clear();
}

void Axp209Model::setBatteryMillivolts(int mV)
{
    QMutexLocker lock(&m_mutex);
    advanceLocked();
    m_batteryMv = std::max<double>(mV, 0);
}

int Axp209Model::batteryMillivolts() const
{
    QMutexLocker lock(&m_mutex);
    const_cast<Axp209Model *>(this)->advanceLocked();
    return int(m_batteryMv);
}

void Axp209Model::setBatteryPresent(bool present)
{
    QMutexLocker lock(&m_mutex);
    m_batteryPresent = present;
}

void Axp209Model::setBatteryTemperature(double celsius)
{
    QMutexLocker lock(&m_mutex);
    m_batteryTemperature = celsius;
}

double Axp209Model::batteryTemperature() const
{
    QMutexLocker lock(&m_mutex);
    return m_batteryTemperature;
}

void Axp209Model::setAdapterBootSource(bool adapter)
{
    QMutexLocker lock(&m_mutex);
    m_adapterBoot = adapter;
}

bool Axp209Model::isAdapterConnected() const
{
    return SimBoard::instance()->inputState(s_adapterInput, s_eventKey, s_adapterKey);
}

bool Axp209Model::isCharging() const
{
    QMutexLocker lock(&m_mutex);
    return isAdapterConnected() && m_batteryPresent && m_batteryMv < FullMillivolts;
}

void Axp209Model::setTimeRunning(bool running, double drainPerMinute)
{
    QMutexLocker lock(&m_mutex);
    advanceLocked();
    m_timeRunning = running;
    m_drainPerMinute = drainPerMinute;
    m_clock.start();
}

void Axp209Model::advanceLocked()
{
    if (!m_timeRunning || !m_clock.isValid())
        return;
    const double minutes = m_clock.restart() / timeScale() / 60000.0;
    if (SimBoard::instance()->isPoweredOff() && !isAdapterConnected())
        return;
    if (isAdapterConnected()) {
        if (m_batteryMv < FullMillivolts)
            m_batteryMv = std::min<double>(FullMillivolts, m_batteryMv + 3 * m_drainPerMinute * minutes);
    } else {
        m_batteryMv = std::max(s_lowestMillivolts, m_batteryMv - m_drainPerMinute * minutes);
    }
}

void Axp209Model::setResponding(bool responding)
{
    QMutexLocker lock(&m_mutex);
    m_responding = responding;
}

void Axp209Model::forceReadBack(int reg, quint8 value)
{
    QMutexLocker lock(&m_mutex);
    m_forced.insert(reg, value);
}

void Axp209Model::clearForced()
{
    QMutexLocker lock(&m_mutex);
    m_forced.clear();
}

void Axp209Model::queueBatterySamples(const QList<int> &millivolts)
{
    QMutexLocker lock(&m_mutex);
    m_queuedSamples += millivolts;
}

quint8 Axp209Model::reg(int index) const
{
    QMutexLocker lock(&m_mutex);
    return index >= 0 && index < 256 ? m_regs[index] : 0;
}

int Axp209Model::readCount(int reg) const
{
    QMutexLocker lock(&m_mutex);
    return m_readCounts.value(reg);
}

QList<QPair<int, int>> Axp209Model::writes() const
{
    QMutexLocker lock(&m_mutex);
    return m_writes;
}

int Axp209Model::externalTemperatureRaw(double celsius)
{
    // The thermistor curve the firmware inverts: 10 kOhm at 25 degrees, B = 3453.
    const double a = 800.0 * std::exp(3453.0 * (1.0 / (celsius + 273.15) - 1.0 / 298.15));
    return int(std::lround(a));
}

quint8 Axp209Model::readLocked(int reg)
{
    m_readCounts[reg] += 1;
    if (m_forced.contains(reg))
        return m_forced.value(reg);
    advanceLocked();
    const bool adapter = isAdapterConnected();
    const bool charging = adapter && m_batteryPresent && m_batteryMv < FullMillivolts;
    const bool running = !SimBoard::instance()->isPoweredOff();
    switch (reg) {
    case 0x00:
        return quint8((adapter ? 0x80 : 0) | (adapter ? 0x40 : 0) | (m_adapterBoot ? 0x01 : 0));
    case 0x01:
        return quint8((m_batteryPresent ? 0x20 : 0) | (charging ? 0x40 : 0));
    case 0x56:
    case 0x57: {
        const int raw = adapter ? int(s_adapterMillivolts / 1.7) : 0;
        return reg == 0x56 ? highByte(raw) : lowByte(raw);
    }
    case 0x58:
    case 0x59: {
        const int mA = adapter ? (charging ? s_chargeMilliamps : 0) + (running ? s_playMilliamps : 0) : 0;
        const int raw = int(mA / 0.625);
        return reg == 0x58 ? highByte(raw) : lowByte(raw);
    }
    case 0x5E:
    case 0x5F: {
        const int raw = int(std::lround((s_chipTemperature + 144.7) / 0.1));
        return reg == 0x5E ? highByte(raw) : lowByte(raw);
    }
    case 0x62:
    case 0x63: {
        const int raw = externalTemperatureRaw(m_batteryTemperature);
        return reg == 0x62 ? highByte(raw) : lowByte(raw);
    }
    case 0x78: {
        // The high byte latches the sample; the low byte that follows belongs to it.
        double mV = m_batteryPresent ? m_batteryMv : 0.0;
        if (!m_queuedSamples.isEmpty())
            mV = m_queuedSamples.takeFirst();
        m_latchedVoltageRaw = int(std::lround(mV / 1.1));
        return highByte(m_latchedVoltageRaw);
    }
    case 0x79:
        return lowByte(m_latchedVoltageRaw);
    case 0x7A:
    case 0x7B: {
        const int raw = charging ? int(s_chargeMilliamps / 0.5) : 0;
        return reg == 0x7A ? highByte(raw) : lowByte(raw);
    }
    case 0x7C:
    case 0x7D: {
        const int raw = !adapter && running ? int(s_playMilliamps / 0.5) : 0;
        return reg == 0x7C ? highByte(raw) : lowByte(raw);
    }
    case 0xB9: {
        const double percent = (m_batteryMv - 3300.0) / (FullMillivolts - 3300.0) * 100.0;
        return quint8(std::clamp(int(percent), 0, 100));
    }
    default:
        return m_regs[reg];
    }
}

int Axp209Model::i2cWrite(const unsigned char *data, int count)
{
    QMutexLocker lock(&m_mutex);
    if (!m_responding || count < 1)
        return -1;
    m_pointer = data[0];
    for (int i = 1; i < count; ++i) {
        const int r = (data[0] + i - 1) & 0xFF;
        m_regs[r] = data[i];
        m_writes.append({r, data[i]});
    }
    return count;
}

int Axp209Model::i2cRead(unsigned char *data, int count)
{
    QMutexLocker lock(&m_mutex);
    if (!m_responding || count < 1)
        return -1;
    for (int i = 0; i < count; ++i)
        data[i] = readLocked((m_pointer + i) & 0xFF);
    return count;
}

} // namespace Platform
