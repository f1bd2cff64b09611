// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/linuxmixer.h"

#include <QProcess>

namespace Platform {

QString LinuxMixer::sget(const QString &control, int timeoutMsec)
{
    QProcess amixer;
    // QProcess passes the control name as one argument: the quotes of the
    // shell command line are not needed.
    amixer.start(QStringLiteral("amixer"), {QStringLiteral("sget"), control});
    if (!amixer.waitForStarted(timeoutMsec) || !amixer.waitForFinished(timeoutMsec)) {
        qWarning("[LinuxMixer::sget] amixer did not answer: %s", qPrintable(amixer.errorString()));
        amixer.kill();
        amixer.waitForFinished(1000);
        return QString();
    }
    return QString::fromLocal8Bit(amixer.readAll());
}

void LinuxMixer::sset(const QString &control, int value)
{
    if (!QProcess::startDetached(QStringLiteral("amixer"), {QStringLiteral("sset"), control, QString::number(value)}))
        qWarning("[LinuxMixer::sset] cannot start amixer");
}

} // namespace Platform
