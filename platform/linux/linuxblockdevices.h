// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_LINUX_LINUXBLOCKDEVICES_H
#define QUIMBO_PLATFORM_LINUX_LINUXBLOCKDEVICES_H

#include "platform/blockdevices.h"

struct udev;

namespace Platform {

/** Block devices through libudev: its context, enumeration and netlink monitor. */
class LinuxBlockDevices : public BlockDevices
{
public:
    LinuxBlockDevices();
    ~LinuxBlockDevices() override;

    bool isValid() const override;
    QList<BlockDevice> enumerate(const QString &subsystem, const QString &property, const QString &value) override;
    BlockDevice deviceFromSysfsPath(const QString &sysfsPath) override;
    BlockDevice deviceFromSubsystemAndName(const QString &subsystem, const QString &name) override;
    std::unique_ptr<BlockDeviceMonitor> createMonitor() override;

private:
    struct udev *m_udev = nullptr;
};

} // namespace Platform

#endif
