// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/linuxinputeventsource.h"

#include "platform/linux/fdio.h"
#include "platform/paths.h"

#include <QtEndian>

#include <cerrno>
#include <fcntl.h>
#include <linux/input.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace Platform {

namespace {
// How long a read that stopped inside a record waits for the rest. An evdev
// node never splits records; a pipe might, but a writer that stalls longer
// than this is broken, and the firmware must not hang on it.
constexpr int PartialRecordWaitMsec = 100;
constexpr int BufferSize = 512; // 32 records
} // namespace

LinuxInputEventSource::~LinuxInputEventSource()
{
    LinuxInputEventSource::close();
}

bool LinuxInputEventSource::open(const QString &devicePath)
{
    close();
    m_fd = FdIo::open(nativePath(devicePath), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    return m_fd >= 0;
}

void LinuxInputEventSource::close()
{
    FdIo::close(m_fd);
    m_fd = -1;
}

void LinuxInputEventSource::adopt(int fd)
{
    close();
    m_fd = fd;
    if (m_fd >= 0) {
        const int flags = ::fcntl(m_fd, F_GETFL);
        if (flags >= 0)
            ::fcntl(m_fd, F_SETFL, flags | O_NONBLOCK);
    }
}

int LinuxInputEventSource::release()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

QByteArray LinuxInputEventSource::encode(const InputEvent &event)
{
    char record[RecordSize];
    qToLittleEndian<quint32>(quint32(event.sec), record);
    qToLittleEndian<quint32>(quint32(event.usec), record + 4);
    qToLittleEndian<quint16>(quint16(event.type), record + 8);
    qToLittleEndian<quint16>(quint16(event.code), record + 10);
    qToLittleEndian<qint32>(qint32(event.value), record + 12);
    return QByteArray(record, RecordSize);
}

InputEvent LinuxInputEventSource::decode(const char *record)
{
    InputEvent event;
    event.sec = qFromLittleEndian<quint32>(record);
    event.usec = qFromLittleEndian<quint32>(record + 4);
    event.type = qFromLittleEndian<quint16>(record + 8);
    event.code = qFromLittleEndian<quint16>(record + 10);
    event.value = qFromLittleEndian<qint32>(record + 12);
    return event;
}

ReadResult LinuxInputEventSource::fill(char *buffer, int capacity, int *total)
{
    *total = 0;
    if (m_fd < 0)
        return ReadResult::Failed;
    do {
        const ssize_t n = ::read(m_fd, buffer + *total, size_t(capacity - *total));
        if (n == 0)
            return ReadResult::EndOfFile;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                if (*total == 0)
                    return ReadResult::WouldBlock;
                pollfd pfd{m_fd, POLLIN, 0};
                int ready;
                do {
                    ready = ::poll(&pfd, 1, PartialRecordWaitMsec);
                } while (ready < 0 && errno == EINTR);
                if (ready <= 0)
                    return ReadResult::Failed;
                continue;
            }
            // A device unplugged under us answers ENODEV: it is gone, like a
            // stream at its end, not a read that may work next time.
            return errno == ENODEV ? ReadResult::EndOfFile : ReadResult::Failed;
        }
        *total += int(n);
    } while (*total % RecordSize != 0);
    return ReadResult::Event;
}

ReadResult LinuxInputEventSource::read(InputEvent *event)
{
    char record[RecordSize];
    int total = 0;
    const ReadResult result = fill(record, RecordSize, &total);
    if (result == ReadResult::Event && event)
        *event = decode(record);
    return result;
}

ReadResult LinuxInputEventSource::readEvents(QList<InputEvent> *events)
{
    char buffer[BufferSize];
    int total = 0;
    const ReadResult result = fill(buffer, BufferSize, &total);
    if (result != ReadResult::Event)
        return result;
    for (int offset = 0; offset + RecordSize <= total; offset += RecordSize)
        events->append(decode(buffer + offset));
    return result;
}

int LinuxInputEventSource::state(int type, int code)
{
    if (m_fd < 0 || code < 0 || code > KEY_MAX)
        return -1;
    unsigned char bits[KEY_MAX / 8 + 1] = {}; // 96 bytes
    int request;
    if (type == EventKey)
        request = int(EVIOCGKEY(sizeof bits));
    else if (type == EventSw)
        request = int(EVIOCGSW(sizeof bits));
    else
        return -1;
    if (::ioctl(m_fd, request, bits) < 0)
        return -1;
    return (bits[code / 8] >> (code % 8)) & 1;
}

} // namespace Platform
