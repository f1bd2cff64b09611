// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sim/siminputeventsource.h"

#include "platform/sim/simboard.h"

namespace Platform {

SimInputEventSource::SimInputEventSource(SimBoard *board)
    : m_board(board)
{
}

SimInputEventSource::~SimInputEventSource()
{
    SimInputEventSource::close();
}

bool SimInputEventSource::open(const QString &devicePath)
{
    close();
    const int fd = m_board->openInputDevice(devicePath);
    if (fd < 0)
        return false;
    adopt(fd);
    m_devicePath = devicePath;
    return true;
}

void SimInputEventSource::close()
{
    // The board closes the read end together with its write end.
    const int descriptor = release();
    if (descriptor < 0)
        return;
    m_board->closeInputDevice(descriptor);
    m_devicePath.clear();
}

ReadResult SimInputEventSource::read(InputEvent *event)
{
    const ReadResult result = LinuxInputEventSource::read(event);
    m_board->inputDeviceRead(fd());
    return result;
}

ReadResult SimInputEventSource::readEvents(QList<InputEvent> *events)
{
    const ReadResult result = LinuxInputEventSource::readEvents(events);
    m_board->inputDeviceRead(fd());
    return result;
}

int SimInputEventSource::state(int type, int code)
{
    if (!isOpen() || (type != EventKey && type != EventSw))
        return -1;
    return m_board->inputState(m_devicePath, type, code) ? 1 : 0;
}

} // namespace Platform
