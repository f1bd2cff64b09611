// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_LIBRARY_UDEVCLASS_H
#define QUIMBO_LIBRARY_UDEVCLASS_H

#include "library/udevdevice.h"

#include <memory>

/**
 * The udev context: the way to the device database, borrowed by
 * UdevEnumerate and UdevMonitor. On the simulated board it is the board's
 * storage. Main thread.
 */
class UdevClass
{
public:
    UdevClass();
    ~UdevClass();

    /** False when the udev library could not be reached (logged once). */
    bool isValid() const;
    std::shared_ptr<Platform::BlockDevices> getUdev() const;

    UdevDevice deviceFromSubSystemAndName(const QString &subsystem, const QString &name) const;
    UdevDevice deviceFromSysfsPath(const QString &sysfsPath) const;

private:
    std::shared_ptr<Platform::BlockDevices> m_udev;
};

#endif
