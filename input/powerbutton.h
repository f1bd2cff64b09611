// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_INPUT_POWERBUTTON_H
#define QUIMBO_INPUT_POWERBUTTON_H

#include "input/inputdevice.h"

class QTimer;

/** The power button: pressed, held after 2000 ms (times the time scale), released unless held. */
class PowerButton : public InputDevice
{
    Q_OBJECT
public:
    explicit PowerButton(QObject *parent = nullptr);

public Q_SLOTS:
    void readData() override;

private Q_SLOTS:
    void holdTimerEvent();

private:
    bool m_held = false;
    QTimer *m_holdTimer;
};

#endif
