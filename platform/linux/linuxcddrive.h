// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_LINUX_LINUXCDDRIVE_H
#define QUIMBO_PLATFORM_LINUX_LINUXCDDRIVE_H

#include "platform/cddrive.h"

namespace Platform {

/** The drive through its device node and the CD-ROM, block and SG_IO ioctls. */
class LinuxCdDrive : public CdDrive
{
public:
    /** node: the device path (put below the root, like every path). */
    explicit LinuxCdDrive(const QString &node);
    ~LinuxCdDrive() override;

    bool open(bool readWrite) override;
    void close() override;
    int mediaChanged() override;
    int driveStatus() override;
    int discStatus() override;
    bool selectSpeed(int speed) override;
    bool setReadAhead(long sectors) override;
    bool rereadPartitionTable() override;
    int sgVersion() override;
    bool scsiCommand(const QByteArray &command, int timeoutMsec) override;
    bool readTocHeader(int *firstTrack, int *lastTrack) override;
    bool readTocEntry(int track, CdTocEntry *entry) override;

private:
    const QString m_node;
    int m_fd = -1;
};

} // namespace Platform

#endif
