// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_MOUNTER_H
#define QUIMBO_PLATFORM_MOUNTER_H

#include <QString>

namespace Platform {

/**
 * Mounting file systems. Replaces mount(2) and umount2(2); the exFAT helper
 * "mount.exfat" is started through SystemActions instead. Paths are device
 * paths ("/dev/sda1", "/media/usb"); the backend puts them below the root.
 * Thread-safe: the media searches mount from their own threads.
 */
class Mounter
{
public:
    /** Flag values of mount(2) the firmware uses. */
    static constexpr unsigned long kReadOnly = 1; // MS_RDONLY
    static constexpr unsigned long kNoAccessTime = 1024; // MS_NOATIME

    virtual ~Mounter();
    /** Like mount(2): 0 on success, else the errno value. */
    virtual int mount(const QString &device, const QString &mountPath, const QString &fileSystem, unsigned long flags, const QString &options) = 0;
    /** Like umount2(2), lazily (MNT_DETACH) when asked: 0 on success, else the errno value. */
    virtual int unmount(const QString &mountPath, bool lazy) = 0;
};

/** The process-wide mounter of the active platform. */
Mounter *mounter();
/** Replaces it (tests); nullptr goes back to the platform's own. Not owned. */
void setMounter(Mounter *mounter);

} // namespace Platform

#endif
