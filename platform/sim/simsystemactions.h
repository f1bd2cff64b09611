// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_SIM_SIMSYSTEMACTIONS_H
#define QUIMBO_PLATFORM_SIM_SIMSYSTEMACTIONS_H

#include "platform/systemactions.h"

namespace Platform {

class SimBoard;

/**
 * Runs nothing: records each action on the board model (SimBoard emits
 * systemAction()). "dmesg > FILE" writes a short kernel log to FILE when FILE
 * is below the root; "poweroff" switches the model off; "mount.exfat"
 * mounts a medium of the simulated slots.
 */
class SimSystemActions : public SystemActions
{
public:
    explicit SimSystemActions(SimBoard *board);

    int runShell(const QString &commandLine) override;
    int execute(const QString &program, const QStringList &arguments = {}) override;
    /** "mount.exfat DEVICE MOUNTPATH" mounts a simulated exFAT medium (exit code 0, else 32). */
    int executeBounded(const QString &program, const QStringList &arguments, int timeoutMsec) override;
    bool startDetached(const QString &program, const QStringList &arguments = {}) override;

private:
    SimBoard *m_board;
};

} // namespace Platform

#endif
