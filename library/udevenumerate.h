// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_LIBRARY_UDEVENUMERATE_H
#define QUIMBO_LIBRARY_UDEVENUMERATE_H

#include "library/udevdevice.h"

#include <QObject>

#include <memory>
#include <vector>

class UdevClass;

/** Lists devices of the udev database. Borrows the context; main thread. */
class UdevEnumerate : public QObject
{
    Q_OBJECT

public:
    using DeviceList = std::vector<std::unique_ptr<UdevDevice>>;

    explicit UdevEnumerate(UdevClass *udev, QObject *parent = nullptr);
    ~UdevEnumerate() override;

    /** Devices of the subsystem whose DEVTYPE is devtype. */
    DeviceList scanDevices(const QString &subsystem, const QString &devtype);
    /**
     * Block devices carrying a file system: partitions first, then whole
     * disks (a stick formatted without a partition table is a disk).
     */
    DeviceList scanStorageDevices();
    /** The same with a context of its own. */
    static DeviceList scanForStorageDevices();

private:
    UdevClass *const m_udev;
};

#endif
