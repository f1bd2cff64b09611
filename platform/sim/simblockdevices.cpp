// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sim/simblockdevices.h"

#include "platform/sim/simmedia.h"

#include <QList>
#include <QPair>

namespace Platform {

namespace {

class SimBlockDeviceMonitor : public BlockDeviceMonitor
{
public:
    explicit SimBlockDeviceMonitor(SimMedia *media)
        : m_media(media)
    {
    }
    ~SimBlockDeviceMonitor() override
    {
        if (m_fd >= 0)
            m_media->closeMonitor(m_fd);
    }

    bool addFilter(const QString &subsystem, const QString &devType) override
    {
        m_filters.append({subsystem, devType});
        return true;
    }
    bool enableReceiving() override
    {
        if (m_fd < 0)
            m_fd = m_media->openMonitor();
        return m_fd >= 0;
    }
    int fd() const override { return m_fd; }
    bool receive(BlockDeviceEvent *event) override
    {
        while (m_media->takeEvent(m_fd, event)) {
            if (passes(event->device))
                return true;
        }
        return false;
    }

private:
    bool passes(const BlockDevice &device) const
    {
        if (m_filters.isEmpty())
            return true;
        for (const auto &filter : m_filters) {
            if (filter.first == device.subsystem && (filter.second.isEmpty() || filter.second == device.devType))
                return true;
        }
        return false;
    }

    SimMedia *const m_media;
    int m_fd = -1;
    QList<QPair<QString, QString>> m_filters;
};

} // namespace

SimBlockDevices::SimBlockDevices(SimMedia *media)
    : m_media(media)
{
}

QList<BlockDevice> SimBlockDevices::enumerate(const QString &subsystem, const QString &property, const QString &value)
{
    QList<BlockDevice> found;
    for (const BlockDevice &device : m_media->devices()) {
        if (device.subsystem == subsystem && (property.isEmpty() || device.properties.value(property) == value))
            found << device;
    }
    return found;
}

BlockDevice SimBlockDevices::deviceFromSysfsPath(const QString &sysfsPath)
{
    for (const BlockDevice &device : m_media->devices()) {
        if (device.sysfsPath == sysfsPath)
            return device;
    }
    return BlockDevice();
}

BlockDevice SimBlockDevices::deviceFromSubsystemAndName(const QString &subsystem, const QString &name)
{
    for (const BlockDevice &device : m_media->devices()) {
        if (device.subsystem == subsystem && device.sysfsPath.section(QLatin1Char('/'), -1) == name)
            return device;
    }
    return BlockDevice();
}

std::unique_ptr<BlockDeviceMonitor> SimBlockDevices::createMonitor()
{
    return std::make_unique<SimBlockDeviceMonitor>(m_media);
}

} // namespace Platform
