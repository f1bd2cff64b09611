// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/linuxsystemactions.h"

#include <QProcess>

namespace Platform {

int LinuxSystemActions::runShell(const QString &commandLine)
{
    return execute(QStringLiteral("sh"), {QStringLiteral("-c"), commandLine});
}

namespace {

// Runs program to its end or for timeoutMsec at most: its exit code, -1 when it
// could not run or crashed, timedOut when it had to be killed.
int run(const QString &program, const QStringList &arguments, QProcess::ProcessChannelMode channels, int timeoutMsec, int timedOut)
{
    QProcess process;
    process.setProcessChannelMode(channels);
    process.start(program, arguments);
    if (!process.waitForStarted())
        return -1;
    if (!process.waitForFinished(timeoutMsec)) {
        process.kill();
        process.waitForFinished(1000);
        return timedOut;
    }
    if (process.exitStatus() != QProcess::NormalExit)
        return -1;
    return process.exitCode();
}

} // namespace

int LinuxSystemActions::execute(const QString &program, const QStringList &arguments)
{
    // The commands run here (dmesg, sync, udevadm) finish in well under a
    // minute; a wait without a bound would hang the firmware on a broken one.
    return run(program, arguments, QProcess::ForwardedChannels, 60000, -1);
}

int LinuxSystemActions::executeBounded(const QString &program, const QStringList &arguments, int timeoutMsec)
{
    return run(program, arguments, QProcess::MergedChannels, timeoutMsec, kTimedOut);
}

bool LinuxSystemActions::startDetached(const QString &program, const QStringList &arguments)
{
    return QProcess::startDetached(program, arguments);
}

} // namespace Platform
