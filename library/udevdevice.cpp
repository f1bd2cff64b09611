// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/udevdevice.h"

UdevDevice::UdevDevice() = default;

UdevDevice::UdevDevice(std::shared_ptr<Platform::BlockDevices> context, const Platform::BlockDevice &device)
    : m_context(std::move(context))
{
    if (device.isValid())
        m_device = std::make_shared<const Platform::BlockDevice>(device);
}

bool UdevDevice::isValid() const
{
    return m_device != nullptr;
}

QString UdevDevice::devType() const
{
    return m_device ? m_device->devType : QString();
}

QString UdevDevice::devNode() const
{
    return m_device ? m_device->devNode : QString();
}

QString UdevDevice::driver() const
{
    return m_device ? m_device->driver : QString();
}

QString UdevDevice::subsystem() const
{
    return m_device ? m_device->subsystem : QString();
}

QString UdevDevice::sysfsPath() const
{
    return m_device ? m_device->sysfsPath : QString();
}

QString UdevDevice::property(const QString &name) const
{
    return m_device ? m_device->properties.value(name) : QString();
}

UdevDevice UdevDevice::parent() const
{
    if (!m_device || !m_context || m_device->parentSysfsPath.isEmpty())
        return UdevDevice();
    return UdevDevice(m_context, m_context->deviceFromSysfsPath(m_device->parentSysfsPath));
}
