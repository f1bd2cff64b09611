// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/linuxinputeventsource.h"

#include "platform/linux/fdio.h"
#include "platform/paths.h"


#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <linux/input.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <type_traits>
#include <unistd.h>

namespace Platform {

namespace {
// How long a read that stopped inside a record waits for the rest. An evdev
// node never splits records; a pipe might, but a writer that stalls longer
// than this is broken, and the firmware must not hang on it.
constexpr int PartialRecordWaitMsec = 100;

// The record is whatever this build's kernel header says: the board's 32-bit
// kernel writes 16 bytes, a 64-bit one 24. Decoding copies it into the
// struct, so neither the size nor the alignment of the buffer is assumed.
constexpr int RecordSize = int(sizeof(input_event));
static_assert(offsetof(input_event, type) + 8 == sizeof(input_event), "type, code and value end the record without padding");
static_assert(sizeof(long) != 4 || RecordSize == 16, "the 32-bit board's kernel writes 16-byte records");
constexpr int BufferSize = 32 * RecordSize;
static_assert(BufferSize % RecordSize == 0, "a full buffer must end on a record boundary");
} // namespace

int LinuxInputEventSource::recordSize()
{
    return RecordSize;
}

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
    input_event record = {};
    record.input_event_sec = decltype(record.input_event_sec)(event.sec);
    record.input_event_usec = decltype(record.input_event_usec)(event.usec);
    record.type = quint16(event.type);
    record.code = quint16(event.code);
    record.value = qint32(event.value);
    return QByteArray(reinterpret_cast<const char *>(&record), RecordSize);
}

InputEvent LinuxInputEventSource::decode(const char *bytes)
{
    input_event record;
    std::memcpy(&record, bytes, sizeof record);
    InputEvent event;
    // The 32-bit kernel hands out seconds as an unsigned word (valid until 2106); read
    // through a signed time_t they would turn negative in 2038.
    using Seconds = std::make_unsigned_t<decltype(record.input_event_sec)>;
    event.sec = qint64(Seconds(record.input_event_sec));
    event.usec = qint64(record.input_event_usec);
    event.type = record.type;
    event.code = record.code;
    event.value = record.value;
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
