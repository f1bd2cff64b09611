// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_SYSTEMACTIONS_H
#define QUIMBO_PLATFORM_SYSTEMACTIONS_H

#include <QString>
#include <QStringList>

namespace Platform {

/**
 * System commands the firmware starts: shell lines ("dmesg > FILE",
 * "udevadm control --reload-rules"), "sync", "poweroff", "reboot". Replaces
 * QProcess/system(3) so that off the device nothing is powered off and no
 * system command runs. Callers pass paths already put below the root
 * (Platform::path()). Thread-safe; may be used from any thread.
 */
class SystemActions
{
public:
    virtual ~SystemActions();

    /** Runs a command line through "sh -c" and waits; its exit code, -1 when it could not run. */
    virtual int runShell(const QString &commandLine) = 0;
    /** Runs a program and waits; its exit code, -1 when it could not run. */
    virtual int execute(const QString &program, const QStringList &arguments = {}) = 0;
    /** executeBounded(): the program did not finish in time and was killed. */
    static constexpr int kTimedOut = -2;
    /**
     * Runs a program with its output and error output merged, waiting at most
     * timeoutMsec: its exit code, -1 when it could not run, kTimedOut.
     * Mounting an exFAT medium ("mount.exfat DEVICE MOUNTPATH") goes through
     * here, with device paths as they are on the device.
     */
    virtual int executeBounded(const QString &program, const QStringList &arguments, int timeoutMsec);
    /** Starts a program detached; false when it could not be started. */
    virtual bool startDetached(const QString &program, const QStringList &arguments = {}) = 0;

    int sync() { return execute(QStringLiteral("sync")); }
    bool syncDetached() { return startDetached(QStringLiteral("sync")); }
    bool poweroff() { return startDetached(QStringLiteral("poweroff")); }
    bool reboot() { return startDetached(QStringLiteral("reboot")); }
};

/** The process-wide system actions of the active platform. */
SystemActions *systemActions();

/**
 * Replaces the process-wide system actions (tests: record instead of run);
 * nullptr goes back to the platform's own. Not owned.
 */
void setSystemActions(SystemActions *actions);

} // namespace Platform

#endif
