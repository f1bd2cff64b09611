// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_GPIO_H
#define QUIMBO_PLATFORM_GPIO_H

#include <QByteArray>
#include <QSocketNotifier>

namespace Platform {

/**
 * The board's GPIO lines as the firmware sees them. Replaces the sysfs file
 * accesses of "/sys/class/gpio" (export, unexport, direction, edge, value)
 * and nothing else: which line does what is the callers' business.
 *
 * Thread-safe: the keypad scan thread and the main thread use it at once.
 *
 * Edge watching: openValue() returns a descriptor that a QSocketNotifier of
 * type edgeNotifierType() reports when the line changes (the Linux backend's
 * sysfs value file signals POLLPRI, i.e. QSocketNotifier::Exception; the
 * board model uses a pipe, i.e. QSocketNotifier::Read). After each report the
 * watcher calls rearm() ("rewind and read up to 10 bytes"), then reads the
 * line with readValue().
 */
class Gpio
{
public:
    virtual ~Gpio();

    /** Writes the line number to "export" / "unexport". False on failure. */
    virtual bool exportLine(int line) = 0;
    virtual bool unexportLine(int line) = 0;
    /** "out" when output is true, "in" otherwise. */
    virtual bool setDirection(int line, bool output) = 0;
    /** "none", "rising", "falling" or "both". */
    virtual bool setEdge(int line, const QByteArray &edge) = 0;
    /** Writes "1" for a non-zero value, "0" otherwise. */
    virtual bool writeValue(int line, int value) = 0;
    /**
     * 1 for a non-zero reading, 0 for zero. A line that cannot be read, or
     * whose value file holds no number, reads 0 and sets *ok to false.
     */
    virtual int readValue(int line, bool *ok = nullptr) = 0;

    /** A read-only descriptor watching the line's edges; -1 on failure. */
    virtual int openValue(int line) = 0;
    /** Closes a descriptor from openValue(). */
    virtual void closeValue(int fd) = 0;
    /** Rewinds and reads up to 10 bytes, re-arming the edge report; bytes read or -1. */
    virtual int rearm(int fd) = 0;
    /** The notifier type that reports an edge on an openValue() descriptor. */
    virtual QSocketNotifier::Type edgeNotifierType() const = 0;
};

/**
 * The process-wide GPIO backend of the active platform (sysfs below
 * Platform::root() on Linux, the SimBoard's lines when simulated).
 */
Gpio *gpio();

/**
 * Replaces the process-wide backend (tests: e.g. sysfs lines with simulated
 * system actions); nullptr goes back to the platform's own. Not owned.
 */
void setGpio(Gpio *gpio);

} // namespace Platform

#endif
