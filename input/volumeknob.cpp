// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/volumeknob.h"

#include "input/keys.h"

namespace {
constexpr int RelativeAxis = 2; // EV_REL
constexpr int AxisY = 1; // REL_Y
} // namespace

VolumeKnob::VolumeKnob(QObject *parent)
    : InputDevice(parent)
{
}

void VolumeKnob::readData()
{
    const QList<Platform::InputEvent> events = readEvents(Q_FUNC_INFO);
    for (const Platform::InputEvent &event : events) {
        if (event.type == RelativeAxis && event.code == AxisY) {
            // Only +1 is a step up; the encoder reports anything else on the way down.
            Q_EMIT keyEvent(event.value == 1 ? BUTTON_VOLUME_UP : BUTTON_VOLUME_DOWN, KEY_RELEASED);
            return;
        }
    }
}
