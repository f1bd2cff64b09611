// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_LINUX_FDIO_H
#define QUIMBO_PLATFORM_LINUX_FDIO_H

#include <QByteArray>

// Small descriptor helpers that retry on EINTR, so that callers only see
// real failures (errno is left as the system call set it).
namespace Platform::FdIo {

/** open(2) with the flags given, retried on EINTR; -1 on failure. */
int open(const QByteArray &path, int flags);
/** read(2) retried on EINTR; bytes read, 0 at end of file, -1 on failure. */
qint64 read(int fd, char *buffer, qint64 size);
/** write(2) retried on EINTR until everything is written; false on failure. */
bool writeAll(int fd, const char *data, qint64 size);
/** close(2) ignoring EINTR (the descriptor is gone either way on Linux). */
void close(int fd);
/** Opens path write-only (truncating), writes data, closes; false on any failure. */
bool writeFile(const QByteArray &path, const QByteArray &data);

} // namespace Platform::FdIo

#endif
