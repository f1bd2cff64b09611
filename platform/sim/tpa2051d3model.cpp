// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sim/tpa2051d3model.h"

namespace Platform {

Tpa2051d3Model &Tpa2051d3Model::instance()
{
    static Tpa2051d3Model model;
    return model;
}

void Tpa2051d3Model::attach()
{
    SimI2cBus::attachDevice(QStringLiteral("/dev/i2c-1"), Address, this);
}

void Tpa2051d3Model::reset()
{
    std::fill(std::begin(m_regs), std::end(m_regs), quint8(0));
    m_pointer = 0;
    m_failWrites.clear();
    m_forced.clear();
    m_writes.clear();
    m_sets.clear();
}

quint8 Tpa2051d3Model::reg(int index) const
{
    return index >= 0 && index < RegisterCount ? m_regs[index] : 0;
}

QByteArray Tpa2051d3Model::registers() const
{
    return QByteArray(reinterpret_cast<const char *>(m_regs), RegisterCount);
}

void Tpa2051d3Model::failWrites(int reg, int count)
{
    if (count == 0)
        m_failWrites.remove(reg);
    else
        m_failWrites.insert(reg, count);
}

void Tpa2051d3Model::forceReadBack(int reg, quint8 value)
{
    m_forced.insert(reg, value);
}

int Tpa2051d3Model::i2cWrite(const unsigned char *data, int count)
{
    if (count < 1 || data[0] >= RegisterCount)
        return -1;
    const int r = data[0];
    auto failing = m_failWrites.find(r);
    if (failing != m_failWrites.end()) {
        if (failing.value() > 0 && --failing.value() == 0)
            m_failWrites.erase(failing);
        return -1;
    }
    m_pointer = r;
    if (count == 1)
        return 1;
    // Two-byte writes set one register; the chip auto-increments on longer ones.
    for (int i = 1; i < count && m_pointer < RegisterCount; ++i, ++m_pointer) {
        m_regs[m_pointer] = data[i];
        m_writes.append({m_pointer, data[i]});
        if (m_pointer == RegisterCount - 1)
            m_sets.append(registers());
    }
    m_pointer = r;
    return count;
}

int Tpa2051d3Model::i2cRead(unsigned char *data, int count)
{
    if (count < 1)
        return -1;
    for (int i = 0; i < count; ++i) {
        const int r = m_pointer + i;
        if (r >= RegisterCount)
            return i;
        if (m_forced.contains(r))
            data[i] = m_forced.value(r);
        else
            data[i] = r == 0 ? 0 : m_regs[r];
    }
    return count;
}

} // namespace Platform
