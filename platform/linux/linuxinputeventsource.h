// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_LINUX_LINUXINPUTEVENTSOURCE_H
#define QUIMBO_PLATFORM_LINUX_LINUXINPUTEVENTSOURCE_H

#include "platform/inputeventsource.h"

namespace Platform {

/**
 * An evdev device node below Platform::root(), read as the kernel's records
 * (struct input_event of this build: seconds, microseconds, 16-bit type,
 * 16-bit code, 32-bit signed value; 16 bytes on the 32-bit board, 24 on
 * x86-64). Also reads any descriptor carrying such records (adopt()), e.g. a
 * pipe in tests or the board model.
 */
class LinuxInputEventSource : public InputEventSource
{
public:
    /** Size of one record: sizeof(struct input_event), fixed when the backend is compiled. */
    static int recordSize();

    LinuxInputEventSource() = default;
    ~LinuxInputEventSource() override;

    bool open(const QString &devicePath) override;
    void close() override;
    bool isOpen() const override { return m_fd >= 0; }
    int fd() const override { return m_fd; }
    ReadResult read(InputEvent *event) override;
    ReadResult readEvents(QList<InputEvent> *events) override;
    int state(int type, int code) override;

    /** Takes ownership of an open descriptor (switched to non-blocking). */
    void adopt(int fd);
    /** Gives up the descriptor without closing it; -1 when closed. */
    int release();

    /** The kernel's record for an event, and back. */
    static QByteArray encode(const InputEvent &event);
    static InputEvent decode(const char *record);

private:
    /** Reads until a whole number of records is in buffer; bytes read or a result. */
    ReadResult fill(char *buffer, int capacity, int *total);

    int m_fd = -1;
};

} // namespace Platform

#endif
