// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/linuxblockdevices.h"

#include "platform/releaser.h"

#include <libudev.h>

namespace Platform {

namespace {

using UdevDevicePtr = HandlePtr<udev_device, udev_device_unref>;
using UdevEnumeratePtr = HandlePtr<udev_enumerate, udev_enumerate_unref>;
using UdevMonitorPtr = HandlePtr<udev_monitor, udev_monitor_unref>;

QString text(const char *value)
{
    return value ? QString::fromUtf8(value) : QString();
}

BlockDevice convert(udev_device *device)
{
    if (!device)
        return BlockDevice();
    QMap<QString, QString> properties;
    udev_list_entry *entry;
    udev_list_entry_foreach(entry, udev_device_get_properties_list_entry(device))
        properties.insert(text(udev_list_entry_get_name(entry)), text(udev_list_entry_get_value(entry)));
    BlockDevice result = BlockDevice::fromProperties(properties, text(udev_device_get_devpath(device)));
    // The accessors know better than the property list for these.
    result.devNode = text(udev_device_get_devnode(device));
    result.subsystem = text(udev_device_get_subsystem(device));
    result.devType = text(udev_device_get_devtype(device));
    result.driver = text(udev_device_get_driver(device));
    if (udev_device *parent = udev_device_get_parent(device)) // owned by the child
        result.parentSysfsPath = text(udev_device_get_devpath(parent));
    return result;
}

class LinuxBlockDeviceMonitor : public BlockDeviceMonitor
{
public:
    explicit LinuxBlockDeviceMonitor(udev_monitor *monitor)
        : m_monitor(monitor)
    {
    }

    bool addFilter(const QString &subsystem, const QString &devType) override
    {
        return udev_monitor_filter_add_match_subsystem_devtype(m_monitor.get(), subsystem.toUtf8().constData(),
                                                               devType.isEmpty() ? nullptr : devType.toUtf8().constData())
            >= 0;
    }
    bool enableReceiving() override
    {
        m_receiving = udev_monitor_enable_receiving(m_monitor.get()) >= 0;
        return m_receiving;
    }
    int fd() const override { return m_receiving ? udev_monitor_get_fd(m_monitor.get()) : -1; }
    bool receive(BlockDeviceEvent *event) override
    {
        UdevDevicePtr device(udev_monitor_receive_device(m_monitor.get()));
        if (!device)
            return false;
        event->action = text(udev_device_get_action(device.get()));
        event->device = convert(device.get());
        return true;
    }

private:
    UdevMonitorPtr m_monitor;
    bool m_receiving = false;
};

} // namespace

LinuxBlockDevices::LinuxBlockDevices()
    : m_udev(udev_new())
{
}

LinuxBlockDevices::~LinuxBlockDevices()
{
    if (m_udev)
        udev_unref(m_udev);
}

bool LinuxBlockDevices::isValid() const
{
    return m_udev != nullptr;
}

QList<BlockDevice> LinuxBlockDevices::enumerate(const QString &subsystem, const QString &property, const QString &value)
{
    QList<BlockDevice> found;
    if (!m_udev)
        return found;
    UdevEnumeratePtr enumerate(udev_enumerate_new(m_udev));
    if (!enumerate)
        return found;
    udev_enumerate_add_match_subsystem(enumerate.get(), subsystem.toUtf8().constData());
    if (!property.isEmpty())
        udev_enumerate_add_match_property(enumerate.get(), property.toUtf8().constData(), value.toUtf8().constData());
    if (udev_enumerate_scan_devices(enumerate.get()) < 0)
        return found;
    udev_list_entry *entry;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get()))
    {
        UdevDevicePtr device(udev_device_new_from_syspath(m_udev, udev_list_entry_get_name(entry)));
        if (device)
            found << convert(device.get());
    }
    return found;
}

BlockDevice LinuxBlockDevices::deviceFromSysfsPath(const QString &sysfsPath)
{
    if (!m_udev)
        return BlockDevice();
    // udev wants the path with /sys in front; devpath values come without.
    const QString full = sysfsPath.startsWith(QLatin1String("/sys/")) ? sysfsPath : QStringLiteral("/sys") + sysfsPath;
    UdevDevicePtr device(udev_device_new_from_syspath(m_udev, full.toUtf8().constData()));
    return convert(device.get());
}

BlockDevice LinuxBlockDevices::deviceFromSubsystemAndName(const QString &subsystem, const QString &name)
{
    if (!m_udev)
        return BlockDevice();
    UdevDevicePtr device(udev_device_new_from_subsystem_sysname(m_udev, subsystem.toUtf8().constData(), name.toUtf8().constData()));
    return convert(device.get());
}

std::unique_ptr<BlockDeviceMonitor> LinuxBlockDevices::createMonitor()
{
    if (!m_udev)
        return nullptr;
    udev_monitor *monitor = udev_monitor_new_from_netlink(m_udev, "udev");
    if (!monitor)
        return nullptr;
    return std::make_unique<LinuxBlockDeviceMonitor>(monitor);
}

} // namespace Platform
