// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_PLATFORM_H
#define QUIMBO_PLATFORM_PLATFORM_H

#include <QStringList>

namespace Platform {

/** Which world the firmware runs in. Chosen once at start-up. */
enum class Backend {
    Linux, ///< the device: sysfs, evdev, I2C, ioctls, real system commands
    Simulated, ///< the board model of platform/sim
};

/**
 * The active backend. Unless setBackend() was called, it comes from the
 * environment variable QUIMBO_PLATFORM ("sim" selects the board model).
 * Only the Platform::create…() factories look at this.
 */
Backend backend();
void setBackend(Backend backend);

/**
 * Reads "--platform=sim" / "--platform=linux" or "--sim" from the command
 * line (falling back to QUIMBO_PLATFORM) and fixes the backend.
 */
void chooseBackend(const QStringList &arguments);

/**
 * Process-wide time scale: every timer length of the firmware (timers,
 * Delay::msec, keypad ticks) is multiplied by it. 1.0 on the device; tests and
 * scripted simulations shorten time with QUIMBO_TIME_SCALE (e.g. 0.01) or
 * setTimeScale().
 */
double timeScale();
void setTimeScale(double scale);

/** msec scaled by timeScale(); never below 1 for a positive input. */
int scaledMsec(int msec);

} // namespace Platform

#endif
