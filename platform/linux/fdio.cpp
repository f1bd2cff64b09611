// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/fdio.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace Platform::FdIo {

int open(const QByteArray &path, int flags)
{
    int fd;
    do {
        fd = ::open(path.constData(), flags);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

qint64 read(int fd, char *buffer, qint64 size)
{
    ssize_t n;
    do {
        n = ::read(fd, buffer, size_t(size));
    } while (n < 0 && errno == EINTR);
    return n;
}

bool writeAll(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

void close(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

bool writeFile(const QByteArray &path, const QByteArray &data)
{
    const int fd = open(path, O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = writeAll(fd, data.constData(), data.size());
    close(fd);
    return ok;
}

} // namespace Platform::FdIo
