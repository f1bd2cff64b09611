// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_SIM_SIMMIXER_H
#define QUIMBO_PLATFORM_SIM_SIMMIXER_H

#include "platform/mixer.h"

#include <QList>
#include <QPair>

namespace Platform {

/**
 * The simulated board's mixer: one process-wide value per control (the
 * amplifier's "Power Amplifier" starts at 27), answered in amixer's own
 * text so the caller's parsing is exercised too.
 */
class SimMixer : public Mixer
{
public:
    QString sget(const QString &control, int timeoutMsec) override;
    void sset(const QString &control, int value) override;

    static int value(const QString &control);
    static void setValue(const QString &control, int value);
    /** Every sset in order, as (control, value). */
    static QList<QPair<QString, int>> history();
    /** Back to the start values with an empty history. */
    static void reset();
};

} // namespace Platform

#endif
