// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_LINUX_LINUXSYSTEMACTIONS_H
#define QUIMBO_PLATFORM_LINUX_LINUXSYSTEMACTIONS_H

#include "platform/systemactions.h"

namespace Platform {

/** Runs the commands for real with QProcess ("sh -c" for shell lines). */
class LinuxSystemActions : public SystemActions
{
public:
    int runShell(const QString &commandLine) override;
    int execute(const QString &program, const QStringList &arguments = {}) override;
    int executeBounded(const QString &program, const QStringList &arguments, int timeoutMsec) override;
    bool startDetached(const QString &program, const QStringList &arguments = {}) override;
};

} // namespace Platform

#endif
