// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/idlemode.h"

#include "input/input.h"
#include "system/logcategory.h"

#include <QDebug>

IdleMode::IdleMode(Input *input, QObject *parent)
    : QObject(parent)
    , m_input(input)
{
    m_input->setEnabled(false);
    m_input->setAutoRepeat(false);
    connect(m_input, &Input::holded, this, &IdleMode::keyHoldEvent);
}

IdleMode::~IdleMode() = default;

void IdleMode::run()
{
    qCDebug(lcSystem) << Q_FUNC_INFO;
    m_input->setEnabled(true);
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

void IdleMode::keyHoldEvent(int key)
{
    if (key != 2049)
        return;
    qCDebug(lcSystem).nospace() << Q_FUNC_INFO << ": startup from idle mode";
    m_input->setEnabled(false);
    Q_EMIT aboutToQuit();
    Q_EMIT quit();
}
