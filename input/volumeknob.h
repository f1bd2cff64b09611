// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_INPUT_VOLUMEKNOB_H
#define QUIMBO_INPUT_VOLUMEKNOB_H

#include "input/inputdevice.h"

/** The rotary volume knob: one released event per detent (2054 up, 2055 down). */
class VolumeKnob : public InputDevice
{
    Q_OBJECT
public:
    explicit VolumeKnob(QObject *parent = nullptr);

public Q_SLOTS:
    void readData() override;
};

#endif
