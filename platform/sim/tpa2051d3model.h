// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_SIM_TPA2051D3MODEL_H
#define QUIMBO_PLATFORM_SIM_TPA2051D3MODEL_H

#include "platform/sim/simi2cbus.h"

#include <QByteArray>
#include <QHash>
#include <QList>

namespace Platform {

/**
 * Register model of the TPA2051D3 amplifier at 0x70 on "/dev/i2c-1": seven
 * registers, a register pointer set by a one-byte write, read-back of what was
 * written. Register 0 is the chip's status register and reads as 0.
 * Tests inject failures: writes to a register that are not acknowledged, or a
 * register that reads back something else.
 */
class Tpa2051d3Model : public SimI2cDevice
{
public:
    static constexpr int Address = 0x70;
    static constexpr int RegisterCount = 7;

    static Tpa2051d3Model &instance();
    /** Attaches the model to "/dev/i2c-1" (idempotent). */
    void attach();

    /** Back to power-on: registers 0, no failures, empty history. */
    void reset();

    quint8 reg(int index) const;
    /** The 7 registers as bytes. */
    QByteArray registers() const;
    /** Every register write in order, as (register, value). */
    QList<QPair<int, int>> writes() const { return m_writes; }
    /** Each register set complete after a write of register 6, in order. */
    QList<QByteArray> appliedSets() const { return m_sets; }

    /** The next @p count writes to @p reg are not acknowledged (-1 = always). */
    void failWrites(int reg, int count);
    /** Reads of @p reg answer @p value whatever was written. */
    void forceReadBack(int reg, quint8 value);

    int i2cWrite(const unsigned char *data, int count) override;
    int i2cRead(unsigned char *data, int count) override;

private:
    quint8 m_regs[RegisterCount] = {};
    int m_pointer = 0;
    QHash<int, int> m_failWrites;
    QHash<int, quint8> m_forced;
    QList<QPair<int, int>> m_writes;
    QList<QByteArray> m_sets;
};

} // namespace Platform

#endif
