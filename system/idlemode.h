// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_SYSTEM_IDLEMODE_H
#define QUIMBO_SYSTEM_IDLEMODE_H

#include "system/modebase.h"

class Input;

/**
 * The charging state in which the device looks switched off: the audio is
 * powered down and only a held power button wakes it. No standby and no
 * sleep timer run here. Created by the main controller for one charging
 * period; it deletes itself (deferred) when it emits quit() or shutdown().
 * Main thread.
 */
class IdleMode : public ModeBase
{
    Q_OBJECT

public:
    explicit IdleMode(Input *input, QObject *parent = nullptr);
    ~IdleMode() override;

public Q_SLOTS:
    void run();
    /** Adapter removed (1): the device switches off. */
    void adapterStatusChanged(int status);
    /** Fully charged (0): the device switches off. */
    void batteryStatusChanged(int status);

Q_SIGNALS:
    void quit();
    void aboutToQuit();
};

#endif
