// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_LIBRARY_UDEVDEVICE_H
#define QUIMBO_LIBRARY_UDEVDEVICE_H

#include "platform/blockdevices.h"

#include <QMetaType>
#include <QString>

#include <memory>

/**
 * One device of the udev database (a block device, its parent, ...). A
 * value: a copy shares the device and keeps the udev context alive. Travels
 * in the monitor's signals. An invalid device answers empty strings.
 */
class UdevDevice
{
public:
    UdevDevice();
    UdevDevice(std::shared_ptr<Platform::BlockDevices> context, const Platform::BlockDevice &device);

    bool isValid() const;
    QString devType() const;
    QString devNode() const;
    QString driver() const;
    QString subsystem() const;
    QString sysfsPath() const;
    /** A udev property ("ID_FS_TYPE"); empty when absent. */
    QString property(const QString &name) const;
    /** The parent device; invalid for a device without one. */
    UdevDevice parent() const;

private:
    std::shared_ptr<Platform::BlockDevices> m_context;
    std::shared_ptr<const Platform::BlockDevice> m_device;
};

Q_DECLARE_METATYPE(UdevDevice)

#endif
