// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_INPUT_WIRINGLINUX_H
#define QUIMBO_INPUT_WIRINGLINUX_H

#include <QSocketNotifier>

/**
 * GPIO lines by number, on top of Platform::gpio(). Failures are logged with
 * the line number and the caller carries on; a failed read gives 0.
 */
class WiringLinux
{
public:
    enum Mode {
        ModeInput = 0, ///< direction "in"
        ModeOutput = 1, ///< direction "out"
        ModeInputEdge = 2, ///< direction "in", edge "both"
    };

    /** Unexports, exports and configures the line. */
    static void pinMode(int pin, int mode);
    static void digitalWrite(int pin, int value);
    static int digitalRead(int pin);
    /** The line's value file opened read-only for edge watching; -1 on failure. */
    static int pinOpen(int pin);
    static void pinReset(int pin);

    // Edge watching on a pinOpen() descriptor.
    /** Closes a pinOpen() descriptor. */
    static void pinClose(int fd);
    /** Rewinds and reads up to 10 bytes, which re-arms the edge report. */
    static int pinRearm(int fd);
    /** The QSocketNotifier type that reports edges on a pinOpen() descriptor. */
    static QSocketNotifier::Type edgeNotifierType();
};

/** Unexports the line; 0 on success, -1 on failure. */
int gpio_unexport(int pin);
/** Sets the direction "out" or "in"; 0 on success, -1 on failure. */
int gpio_set_dir(int pin, bool out);

#endif
