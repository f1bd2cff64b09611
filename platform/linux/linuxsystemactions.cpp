// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/linuxsystemactions.h"

#include <QProcess>

namespace Platform {

int LinuxSystemActions::runShell(const QString &commandLine)
{
    return execute(QStringLiteral("sh"), {QStringLiteral("-c"), commandLine});
}

int LinuxSystemActions::execute(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted())
        return -1;
    // The commands run here (dmesg, sync, udevadm) finish in well under a
    // minute; a wait without a bound would hang the firmware on a broken one.
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished(1000);
        return -1;
    }
    if (process.exitStatus() != QProcess::NormalExit)
        return -1;
    return process.exitCode();
}

int LinuxSystemActions::executeBounded(const QString &program, const QStringList &arguments, int timeoutMsec)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted())
        return -1;
    if (!process.waitForFinished(timeoutMsec)) {
        process.kill();
        process.waitForFinished(1000);
        return kTimedOut;
    }
    if (process.exitStatus() != QProcess::NormalExit)
        return -1;
    return process.exitCode();
}

bool LinuxSystemActions::startDetached(const QString &program, const QStringList &arguments)
{
    return QProcess::startDetached(program, arguments);
}

} // namespace Platform
