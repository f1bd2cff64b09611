// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/udevclass.h"

#include "library/logcategory.h"

#include <QDebug>

UdevClass::UdevClass()
    : m_udev(Platform::createBlockDevices())
{
    if (!m_udev->isValid())
        qCDebug(lcLibrary) << "[UdevClass::UdevClass] unable to get udev library";
}

UdevClass::~UdevClass() = default;

bool UdevClass::isValid() const
{
    return m_udev->isValid();
}

std::shared_ptr<Platform::BlockDevices> UdevClass::getUdev() const
{
    return m_udev;
}

UdevDevice UdevClass::deviceFromSubSystemAndName(const QString &subsystem, const QString &name) const
{
    if (!isValid())
        return UdevDevice();
    return UdevDevice(m_udev, m_udev->deviceFromSubsystemAndName(subsystem, name));
}

UdevDevice UdevClass::deviceFromSysfsPath(const QString &sysfsPath) const
{
    if (!isValid())
        return UdevDevice();
    return UdevDevice(m_udev, m_udev->deviceFromSysfsPath(sysfsPath));
}
