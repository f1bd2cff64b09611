// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_INPUTEVENTSOURCE_H
#define QUIMBO_PLATFORM_INPUTEVENTSOURCE_H

#include <QList>
#include <QString>

#include <memory>

namespace Platform {

/** One decoded input event (the board's record: sec, usec, type, code, value). */
struct InputEvent {
    qint64 sec = 0;
    qint64 usec = 0;
    int type = 0;
    int code = 0;
    int value = 0;
};

/** Event types and codes the firmware uses (values of the Linux input API). */
enum InputEventType {
    EventSyn = 0, ///< EV_SYN
    EventKey = 1, ///< EV_KEY
    EventRel = 2, ///< EV_REL
    EventSw = 5, ///< EV_SW
};

enum class ReadResult {
    Event, ///< at least one event was decoded
    WouldBlock, ///< nothing to read now
    EndOfFile, ///< the device reported end of file, or is gone (unplugged)
    Failed, ///< the read failed (or stopped inside a record); errno-level detail is not kept
};

/**
 * One input-event device ("/dev/input/eventN"). Replaces open(2)/read(2) and
 * the EVIOCGKEY/EVIOCGSW state queries; the record layout on the wire is the
 * backend's own (the kernel's struct input_event, 16 bytes on the board);
 * callers only see decoded events.
 *
 * Not thread-safe: lives on the thread that uses it (the main thread).
 * fd() is pollable: a QSocketNotifier of type Read reports new events.
 */
class InputEventSource
{
public:
    virtual ~InputEventSource();

    /**
     * Opens the device by its absolute device path ("/dev/input/event1");
     * the backend adds the root. Non-blocking, close-on-exec.
     */
    virtual bool open(const QString &devicePath) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    /** The pollable descriptor, -1 when closed. */
    virtual int fd() const = 0;

    /**
     * Reads one whole record. A record cut short counts as Failed.
     */
    virtual ReadResult read(InputEvent *event) = 0;
    /**
     * One notification's worth: reads up to 32 records until the total
     * is a whole number of records (interrupted and would-block reads in the
     * middle of a record are retried), then decodes them all into *events.
     * Returns Event, WouldBlock (nothing there), EndOfFile or Failed.
     */
    virtual ReadResult readEvents(QList<InputEvent> *events) = 0;

    /**
     * The current state of a key (type EventKey) or switch (type EventSw):
     * 1 down/on, 0 up/off, -1 when the query failed.
     */
    virtual int state(int type, int code) = 0;
};

/** A closed input-event source of the active platform. */
std::unique_ptr<InputEventSource> createInputEventSource();

} // namespace Platform

#endif
