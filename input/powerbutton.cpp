// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/powerbutton.h"

#include "input/keys.h"
#include "platform/platform.h"

#include <QTimer>

namespace {
constexpr int KeyEventType = 1; // EV_KEY
constexpr int PowerKey = 116; // KEY_POWER
constexpr int HoldMsec = 2000;
} // namespace

PowerButton::PowerButton(QObject *parent)
    : InputDevice(parent)
    , m_holdTimer(new QTimer(this))
{
    m_holdTimer->setSingleShot(true);
    connect(m_holdTimer, &QTimer::timeout, this, &PowerButton::holdTimerEvent);
}

void PowerButton::readData()
{
    const QList<Platform::InputEvent> events = readEvents(Q_FUNC_INFO);
    for (const Platform::InputEvent &event : events) {
        if (event.type != KeyEventType || event.code != PowerKey)
            continue;
        if (event.value != 0) {
            m_holdTimer->start(Platform::scaledMsec(HoldMsec));
            Q_EMIT keyEvent(BUTTON_POWER, KEY_PRESSED);
        } else {
            m_holdTimer->stop();
            if (m_held)
                m_held = false;
            else
                Q_EMIT keyEvent(BUTTON_POWER, KEY_RELEASED);
        }
        return;
    }
}

void PowerButton::holdTimerEvent()
{
    m_holdTimer->stop();
    m_held = true;
    Q_EMIT keyEvent(BUTTON_POWER, KEY_HELD);
}
