// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/idlemode.h"

#include "input/input.h"
#include "input/keys.h"
#include "system/logcategory.h"
#include "system/timerclass.h"

#include <QDebug>

IdleMode::IdleMode(Input *input, QObject *parent)
    : ModeBase(QStringLiteral("idle"), input, nullptr, parent)
{
    setStandby(Standby::Never);
    setSeemsOff(true);
    onKey(Hold, BUTTON_POWER, [this](int) {
        qCDebug(lcSystem).nospace() << "void IdleMode::keyHoldEvent(int): startup from idle mode";
        releaseKeys();
        Q_EMIT aboutToQuit();
        Q_EMIT quit();
    });
}

IdleMode::~IdleMode() = default;

void IdleMode::run()
{
    qCDebug(lcSystem) << Q_FUNC_INFO;
    // A device that looks switched off sets no alarm.
    sleepTimer()->stop();
    takeKeys();
}

void IdleMode::adapterStatusChanged(int status)
{
    if (status != 1)
        return;
    qCDebug(lcSystem).nospace() << Q_FUNC_INFO << ": adapter is disconnected.. shutdown";
    Q_EMIT shutdown();
}

void IdleMode::batteryStatusChanged(int status)
{
    if (status != 0)
        return;
    qCDebug(lcSystem).nospace() << Q_FUNC_INFO << ": battery is charged.. shutdown";
    Q_EMIT shutdown();
}
