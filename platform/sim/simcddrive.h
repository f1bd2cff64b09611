// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_SIM_SIMCDDRIVE_H
#define QUIMBO_PLATFORM_SIM_SIMCDDRIVE_H

#include "platform/cddrive.h"

namespace Platform {

class SimMedia;

/** The CD drive of the simulated board (SimMedia) behind the drive ioctls. */
class SimCdDrive : public CdDrive
{
public:
    explicit SimCdDrive(SimMedia *media);

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
    SimMedia *const m_media;
    bool m_open = false;
};

} // namespace Platform

#endif
