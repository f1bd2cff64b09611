// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/linuxcddrive.h"

#include "platform/linux/fdio.h"
#include "platform/paths.h"

#include <climits> // CDSL_CURRENT
#include <fcntl.h>
#include <linux/cdrom.h>
#include <linux/fs.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>

#include <cstring>

namespace Platform {

LinuxCdDrive::LinuxCdDrive(const QString &node)
    : m_node(node)
{
}

LinuxCdDrive::~LinuxCdDrive()
{
    close();
}

bool LinuxCdDrive::open(bool readWrite)
{
    close();
    m_fd = FdIo::open(nativePath(m_node), (readWrite ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC);
    return m_fd >= 0;
}

void LinuxCdDrive::close()
{
    if (m_fd >= 0)
        FdIo::close(m_fd);
    m_fd = -1;
}

int LinuxCdDrive::mediaChanged()
{
    return m_fd < 0 ? -1 : ::ioctl(m_fd, CDROM_MEDIA_CHANGED, CDSL_CURRENT);
}

int LinuxCdDrive::driveStatus()
{
    return m_fd < 0 ? -1 : ::ioctl(m_fd, CDROM_DRIVE_STATUS, CDSL_CURRENT);
}

int LinuxCdDrive::discStatus()
{
    return m_fd < 0 ? -1 : ::ioctl(m_fd, CDROM_DISC_STATUS);
}

bool LinuxCdDrive::selectSpeed(int speed)
{
    return m_fd >= 0 && ::ioctl(m_fd, CDROM_SELECT_SPEED, speed) >= 0;
}

bool LinuxCdDrive::setReadAhead(long sectors)
{
    return m_fd >= 0 && ::ioctl(m_fd, BLKRASET, sectors) >= 0;
}

bool LinuxCdDrive::rereadPartitionTable()
{
    return m_fd >= 0 && ::ioctl(m_fd, BLKRRPART) >= 0;
}

int LinuxCdDrive::sgVersion()
{
    int version = 0;
    if (m_fd < 0 || ::ioctl(m_fd, SG_GET_VERSION_NUM, &version) < 0)
        return -1;
    return version;
}

bool LinuxCdDrive::scsiCommand(const QByteArray &command, int timeoutMsec)
{
    if (m_fd < 0 || command.size() != 6)
        return false;
    unsigned char cdb[6];
    std::memcpy(cdb, command.constData(), sizeof cdb);
    unsigned char sense[32] = {};
    sg_io_hdr_t io;
    std::memset(&io, 0, sizeof io);
    io.interface_id = 'S';
    io.cmd_len = sizeof cdb;
    io.cmdp = cdb;
    io.dxfer_direction = SG_DXFER_NONE;
    io.mx_sb_len = sizeof sense;
    io.sbp = sense;
    io.timeout = unsigned(timeoutMsec);
    if (::ioctl(m_fd, SG_IO, &io) < 0)
        return false;
    return (io.info & SG_INFO_OK_MASK) == SG_INFO_OK;
}

bool LinuxCdDrive::readTocHeader(int *firstTrack, int *lastTrack)
{
    cdrom_tochdr header;
    if (m_fd < 0 || ::ioctl(m_fd, CDROMREADTOCHDR, &header) < 0)
        return false;
    *firstTrack = header.cdth_trk0;
    *lastTrack = header.cdth_trk1;
    return true;
}

bool LinuxCdDrive::readTocEntry(int track, CdTocEntry *entry)
{
    cdrom_tocentry e;
    std::memset(&e, 0, sizeof e);
    e.cdte_track = quint8(track);
    e.cdte_format = CDROM_LBA;
    if (m_fd < 0 || ::ioctl(m_fd, CDROMREADTOCENTRY, &e) < 0)
        return false;
    entry->track = track;
    entry->dataTrack = (e.cdte_ctrl & CDROM_DATA_TRACK) != 0;
    entry->lba = e.cdte_addr.lba;
    return true;
}

} // namespace Platform
