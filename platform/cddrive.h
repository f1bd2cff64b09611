// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_CDDRIVE_H
#define QUIMBO_PLATFORM_CDDRIVE_H

#include <QByteArray>
#include <QString>

#include <memory>

namespace Platform {

/** One entry of a disc's table of contents, as CDROMREADTOCENTRY gives it in LBA form. */
struct CdTocEntry {
    int track = 0; ///< 1..99, or kLeadOut
    bool dataTrack = false; ///< the control field's data bit
    int lba = 0; ///< logical block address (frames of 1/75 s; the first track starts at 0)
};

/**
 * The optical drive as the firmware sees it. Replaces the CD-ROM, block and
 * SCSI-generic ioctls on one open descriptor of the drive node; what a
 * status means is decided by the callers. Lives on the thread that created
 * it; not thread-safe. Several instances may be open on one drive.
 */
class CdDrive
{
public:
    // Answers of the drive status and disc status requests (values of <linux/cdrom.h>).
    static constexpr int kNoInfo = 0;
    static constexpr int kNoDisc = 1;
    static constexpr int kTrayOpen = 2;
    static constexpr int kDriveNotReady = 3;
    static constexpr int kDiscOk = 4;
    static constexpr int kAudio = 100;
    static constexpr int kData1 = 101;
    static constexpr int kLeadOut = 0xAA;

    virtual ~CdDrive();

    /** Opens the node non-blocking, read-only or read-write. False: no drive (logged by the caller). */
    virtual bool open(bool readWrite) = 0;
    virtual void close() = 0;

    /** CDROM_MEDIA_CHANGED: greater than 0 when the medium changed since the last question, -1 on failure. */
    virtual int mediaChanged() = 0;
    /** CDROM_DRIVE_STATUS: one of the status values, -1 on failure. */
    virtual int driveStatus() = 0;
    /** CDROM_DISC_STATUS: kAudio, kData1, ... or -1. */
    virtual int discStatus() = 0;
    /** CDROM_SELECT_SPEED. */
    virtual bool selectSpeed(int speed) = 0;
    /** BLKRASET. */
    virtual bool setReadAhead(long sectors) = 0;
    /** BLKRRPART. */
    virtual bool rereadPartitionTable() = 0;

    /** SG_GET_VERSION_NUM; -1 when the node is no SCSI-generic device. */
    virtual int sgVersion() = 0;
    /** SG_IO of a 6-byte command without data transfer; false on any failure or sense data. */
    virtual bool scsiCommand(const QByteArray &command, int timeoutMsec) = 0;

    /** CDROMREADTOCHDR. */
    virtual bool readTocHeader(int *firstTrack, int *lastTrack) = 0;
    /** CDROMREADTOCENTRY in LBA form; track may be kLeadOut. */
    virtual bool readTocEntry(int track, CdTocEntry *entry) = 0;
};

/**
 * A drive on a device node: "/dev/cd-rom" (disc detection, eject) or
 * "/dev/cdrom" (table of contents); both name the one drive.
 */
std::unique_ptr<CdDrive> createCdDrive(const QString &deviceNode = QStringLiteral("/dev/cd-rom"));

} // namespace Platform

#endif
