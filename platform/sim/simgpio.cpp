// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sim/simgpio.h"

#include "platform/sim/simboard.h"

namespace Platform {

SimGpio::SimGpio(SimBoard *board)
    : m_board(board)
{
}

bool SimGpio::exportLine(int line)
{
    return m_board->exportLine(line);
}

bool SimGpio::unexportLine(int line)
{
    return m_board->unexportLine(line);
}

bool SimGpio::setDirection(int line, bool output)
{
    return m_board->setDirection(line, output);
}

bool SimGpio::setEdge(int line, const QByteArray &edge)
{
    return m_board->setEdge(line, edge);
}

bool SimGpio::writeValue(int line, int value)
{
    return m_board->writeLine(line, value);
}

int SimGpio::readValue(int line, bool *ok)
{
    int value = 0;
    const bool read = m_board->readLine(line, &value);
    if (ok)
        *ok = read;
    return read && value ? 1 : 0;
}

int SimGpio::openValue(int line)
{
    return m_board->openLineWatch(line);
}

void SimGpio::closeValue(int fd)
{
    m_board->closeLineWatch(fd);
}

int SimGpio::rearm(int fd)
{
    return m_board->drainLineWatch(fd);
}

QSocketNotifier::Type SimGpio::edgeNotifierType() const
{
    return QSocketNotifier::Read;
}

} // namespace Platform
