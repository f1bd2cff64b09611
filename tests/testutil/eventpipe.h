// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_TESTS_EVENTPIPE_H
#define QUIMBO_TESTS_EVENTPIPE_H

#include "platform/linux/linuxinputeventsource.h"

#include <QByteArray>

#include <memory>

#include <fcntl.h>
#include <unistd.h>

/** A pipe read as an input device node: the tests write kernel records into it. */
struct EventPipe {
    EventPipe()
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) == 0) {
            readFd = fds[0];
            writeFd = fds[1];
        }
    }
    ~EventPipe() { closeWriter(); }
    /** A source that reads the pipe (and closes its end). */
    std::unique_ptr<Platform::LinuxInputEventSource> source() const
    {
        auto source = std::make_unique<Platform::LinuxInputEventSource>();
        source->adopt(readFd);
        return source;
    }
    bool write(const QByteArray &bytes) const { return ::write(writeFd, bytes.constData(), size_t(bytes.size())) == bytes.size(); }
    void closeWriter()
    {
        if (writeFd >= 0)
            ::close(writeFd);
        writeFd = -1;
    }
    int readFd = -1;
    int writeFd = -1;
};

#endif
