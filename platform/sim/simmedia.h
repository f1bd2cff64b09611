// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_SIM_SIMMEDIA_H
#define QUIMBO_PLATFORM_SIM_SIMMEDIA_H

#include "platform/blockdevices.h"
#include "platform/cddrive.h"

#include <QObject>
#include <QString>

#include <memory>

namespace Platform {

class SimMediaPrivate;

/**
 * The storage of the simulated board: a USB slot, an SD card slot and a
 * USB CD drive, next to the system card the firmware runs from.
 *
 * A medium is a host directory. Inserting one raises a block-device "add"
 * event (node "/dev/sda1" for the stick, "/dev/mmcblk1p1" or "/dev/mmcblk0p1"
 * for the card, whichever is not the system card of the board's revision)
 * with its file-system type; mounting it puts a symbolic link to the host
 * directory at the mount point below the root, so that what the firmware
 * writes to the medium lands in the host directory, as on a stick. Removing
 * it raises the "remove" event and leaves a mount point whose files are gone.
 *
 * The CD drive takes a data disc (a directory, file system "iso9660") or an
 * audio disc (a directory of ".wav" or ".mp3" files, one per track in name
 * order, from which the table of contents is computed). Its tray opens and
 * closes; each change sets the drive's media-changed flag.
 *
 * Thread-safe: searches mount from their own threads and the CD poller runs
 * on its own. Signals are emitted from the changing thread, outside the lock.
 */
class SimMedia : public QObject
{
    Q_OBJECT
public:
    enum Slot {
        UsbSlot,
        SdSlot,
    };
    enum Disc {
        NoDisc,
        DataDisc,
        AudioDisc,
    };

    static SimMedia *instance();

    /** Empty slots, empty closed CD drive, nothing mounted, no pending event, no fault. */
    void reset();

    /**
     * Puts a medium into a slot (an occupied slot is emptied first). An empty
     * fileSystem models a stick without a file system. False when the
     * directory does not exist.
     */
    bool insert(Slot slot, const QString &hostDirectory, const QString &fileSystem = QStringLiteral("vfat"));
    /** Takes the medium out; false when the slot was empty. */
    bool remove(Slot slot);
    bool isInserted(Slot slot) const;
    /** Raises a "change" event for the slot's devices, as a card reader does when it rescans; false when empty. */
    bool announceChange(Slot slot);
    QString hostDirectory(Slot slot) const;
    QString deviceNode(Slot slot) const;

    /** Opens the tray, lays the disc in and closes it. False when the directory does not exist. */
    bool insertDisc(Disc kind, const QString &hostDirectory);
    /** Opens the tray and takes the disc out; the tray stays open. */
    void removeDisc();
    void setTrayOpen(bool open);
    bool isTrayOpen() const;
    Disc disc() const;
    QString discDirectory() const;
    /** While set the drive answers "not ready", as while it spins up. */
    void setDriveNotReady(bool notReady);
    /** Whether the drive node exists (a drive is plugged in); true after reset(). */
    void setDrivePresent(bool present);
    /** The next n eject commands fail. */
    void setEjectFailures(int n);
    /** How many eject commands (successful or not) the drive received. */
    int ejectCommandCount() const;
    /** The table of contents of the disc in the drive: the tracks, then the lead-out. */
    QList<CdTocEntry> tableOfContents() const;

    /** The device mounted at a mount path ("/media/usb"), empty when none. */
    QString mountedDevice(const QString &mountPath) const;
    /** "mountPath=device" for each mount, in mount-path order. */
    QStringList mounts() const;

    /** The system card, partitions and the attached media as udev would list them. */
    QList<BlockDevice> devices() const;

    // --- used by the simulated seam backends ---
    /** @internal mount(2) on the simulated media; 0 or an errno value. */
    int mount(const QString &device, const QString &mountPath, const QString &fileSystem, unsigned long flags);
    /** @internal umount2(2). */
    int unmount(const QString &mountPath);
    /** @internal A pipe that becomes readable for each hot-plug event; events are queued per descriptor. */
    int openMonitor();
    void closeMonitor(int fd);
    /** @internal Takes the next event of a monitor descriptor; false when none waits. */
    bool takeEvent(int fd, BlockDeviceEvent *event);
    /** @internal The drive as the ioctls see it. */
    bool drivePresent() const;
    int takeMediaChanged();
    int driveStatus() const;
    int discStatus() const;
    /** @internal An eject command reached the drive; false when it fails. */
    bool ejectCommand();

Q_SIGNALS:
    /** "usb", "sd" or "cd" and what happened ("inserted DIR", "removed", "tray open", ...). */
    void mediaChanged(const QString &slot, const QString &what);
    void mounted(const QString &device, const QString &mountPath);
    void unmounted(const QString &mountPath);

private:
    SimMedia();
    ~SimMedia() override;
    friend class SimMediaPrivate;
    const std::unique_ptr<SimMediaPrivate> d;
};

} // namespace Platform

#endif
