// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/linuxmixer.h"

#include "platform/logcategory.h"

#include <QProcess>

namespace Platform {

namespace {
// amixer answers in milliseconds; this only bounds a hung one.
constexpr int SetLimitMsec = 5000;
} // namespace

QString LinuxMixer::sget(const QString &control, int timeoutMsec)
{
    QProcess amixer;
    // QProcess passes the control name as one argument: the quotes of the
    // shell command line are not needed.
    amixer.start(QStringLiteral("amixer"), {QStringLiteral("sget"), control});
    if (!amixer.waitForStarted(timeoutMsec) || !amixer.waitForFinished(timeoutMsec)) {
        qCWarning(lcPlatform, "[LinuxMixer::sget] amixer did not answer: %s", qPrintable(amixer.errorString()));
        amixer.kill();
        amixer.waitForFinished(1000);
        return QString();
    }
    return QString::fromLocal8Bit(amixer.readAll());
}

void LinuxMixer::sset(const QString &control, int value)
{
    // Waited for: the knob reads the level back right after setting it, and a
    // detached amixer still running then makes fast turns drop or repeat a step.
    QProcess amixer;
    amixer.start(QStringLiteral("amixer"), {QStringLiteral("sset"), control, QString::number(value)});
    if (!amixer.waitForStarted(SetLimitMsec) || !amixer.waitForFinished(SetLimitMsec)) {
        qCWarning(lcPlatform, "[LinuxMixer::sset] amixer did not answer: %s", qPrintable(amixer.errorString()));
        amixer.kill();
        amixer.waitForFinished(1000);
    }
}

} // namespace Platform
