// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sim/simcddrive.h"

#include "platform/sim/simmedia.h"

#include <QList>

namespace Platform {

SimCdDrive::SimCdDrive(SimMedia *media)
    : m_media(media)
{
}

bool SimCdDrive::open(bool readWrite)
{
    Q_UNUSED(readWrite)
    m_open = m_media->drivePresent();
    return m_open;
}

void SimCdDrive::close()
{
    m_open = false;
}

int SimCdDrive::mediaChanged()
{
    return m_open ? m_media->takeMediaChanged() : -1;
}

int SimCdDrive::driveStatus()
{
    return m_open ? m_media->driveStatus() : -1;
}

int SimCdDrive::discStatus()
{
    return m_open ? m_media->discStatus() : -1;
}

bool SimCdDrive::selectSpeed(int speed)
{
    return m_open && speed >= 0;
}

bool SimCdDrive::setReadAhead(long sectors)
{
    return m_open && sectors >= 0;
}

bool SimCdDrive::rereadPartitionTable()
{
    return m_open;
}

int SimCdDrive::sgVersion()
{
    return m_open ? 30536 : -1;
}

bool SimCdDrive::scsiCommand(const QByteArray &command, int timeoutMsec)
{
    if (!m_open || command.size() != 6 || timeoutMsec <= 0)
        return false;
    // START STOP UNIT with LoEj set and Start clear: the eject.
    if (quint8(command[0]) == 0x1B && (command[4] & 0x03) == 0x02)
        return m_media->ejectCommand();
    return quint8(command[0]) == 0x1E || quint8(command[0]) == 0x1B;
}

bool SimCdDrive::readTocHeader(int *firstTrack, int *lastTrack)
{
    const QList<CdTocEntry> toc = m_open ? m_media->tableOfContents() : QList<CdTocEntry>();
    if (toc.size() < 2)
        return false;
    *firstTrack = 1;
    *lastTrack = toc.at(toc.size() - 2).track;
    return true;
}

bool SimCdDrive::readTocEntry(int track, CdTocEntry *entry)
{
    const QList<CdTocEntry> toc = m_open ? m_media->tableOfContents() : QList<CdTocEntry>();
    for (const CdTocEntry &e : toc) {
        if (e.track == track) {
            *entry = e;
            return true;
        }
    }
    return false;
}

} // namespace Platform
