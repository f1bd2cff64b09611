// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_BLOCKDEVICES_H
#define QUIMBO_PLATFORM_BLOCKDEVICES_H

#include <QList>
#include <QMap>
#include <QString>

#include <memory>

namespace Platform {

/** One device as udev describes it: its place in sysfs, its node and its properties. */
struct BlockDevice {
    QString sysfsPath; ///< "/devices/.../block/sda/sda1"
    QString devNode; ///< "/dev/sda1"
    QString subsystem; ///< "block"
    QString devType; ///< "disk", "partition"
    QString driver;
    QString parentSysfsPath; ///< empty for a device without parent
    QMap<QString, QString> properties; ///< "ID_FS_TYPE" → "vfat", ...

    bool isValid() const { return !sysfsPath.isEmpty(); }

    /**
     * A device from udev's property list: node from DEVNAME, type from
     * DEVTYPE, subsystem from SUBSYSTEM, driver from DRIVER; sysfsPath from
     * DEVPATH unless given.
     */
    static BlockDevice fromProperties(const QMap<QString, QString> &properties, const QString &sysfsPath = QString());
};

/** What a hot-plug event reports: the action ("add", "remove", "change", ...) and the device. */
struct BlockDeviceEvent {
    QString action;
    BlockDevice device;
};

/**
 * Parses a device list in the form "udevadm info --export-db" prints it
 * ("P:" starts a device, "N:" its node name, "E: KEY=VALUE" its properties,
 * a blank line ends it). Lines it does not know are skipped; a device without
 * a "P:" line is dropped.
 */
QList<BlockDevice> parseUdevExport(const QByteArray &text);

/**
 * Hot-plug events of block devices. Replaces the netlink monitor of libudev.
 * Hands out a pollable descriptor that is readable while an event waits; one
 * receive() takes one event and never blocks. Lives on the thread that
 * created it.
 */
class BlockDeviceMonitor
{
public:
    virtual ~BlockDeviceMonitor();
    /** Adds a filter on subsystem and device type; several filters add up. */
    virtual bool addFilter(const QString &subsystem, const QString &devType) = 0;
    virtual bool enableReceiving() = 0;
    /** Readable while an event waits; -1 before enableReceiving(). */
    virtual int fd() const = 0;
    /** Takes one waiting event; false when none could be read. */
    virtual bool receive(BlockDeviceEvent *event) = 0;
};

/**
 * Enumeration of devices and the source of hot-plug monitors. Replaces the
 * udev context and enumeration of libudev. Not thread-safe: one per user.
 */
class BlockDevices
{
public:
    virtual ~BlockDevices();
    /** False when the device database cannot be reached (no udev library). */
    virtual bool isValid() const = 0;
    /** Devices of the subsystem whose property has the value (an empty property matches all). */
    virtual QList<BlockDevice> enumerate(const QString &subsystem, const QString &property, const QString &value) = 0;
    /** The device at a sysfs path; an invalid device when there is none. */
    virtual BlockDevice deviceFromSysfsPath(const QString &sysfsPath) = 0;
    /** The device of a subsystem by its kernel name ("sda1"). */
    virtual BlockDevice deviceFromSubsystemAndName(const QString &subsystem, const QString &name) = 0;
    /** A new monitor; null when it cannot be created. */
    virtual std::unique_ptr<BlockDeviceMonitor> createMonitor() = 0;
};

/** The block devices of the active platform (libudev on the device, the media slots of the simulated board). */
std::shared_ptr<BlockDevices> createBlockDevices();

} // namespace Platform

#endif
