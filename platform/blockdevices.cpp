// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/blockdevices.h"

#include "platform/linux/linuxblockdevices.h"
#include "platform/platform.h"
#include "platform/sim/simblockdevices.h"
#include "platform/sim/simmedia.h"

namespace Platform {

BlockDeviceMonitor::~BlockDeviceMonitor() = default;
BlockDevices::~BlockDevices() = default;

BlockDevice BlockDevice::fromProperties(const QMap<QString, QString> &properties, const QString &sysfsPath)
{
    BlockDevice device;
    device.sysfsPath = sysfsPath.isEmpty() ? properties.value(QStringLiteral("DEVPATH")) : sysfsPath;
    device.devNode = properties.value(QStringLiteral("DEVNAME"));
    device.subsystem = properties.value(QStringLiteral("SUBSYSTEM"));
    device.devType = properties.value(QStringLiteral("DEVTYPE"));
    device.driver = properties.value(QStringLiteral("DRIVER"));
    device.properties = properties;
    return device;
}

QList<BlockDevice> parseUdevExport(const QByteArray &text)
{
    QList<BlockDevice> devices;
    QString sysfsPath;
    QMap<QString, QString> properties;
    auto finish = [&] {
        if (!sysfsPath.isEmpty()) {
            BlockDevice device = BlockDevice::fromProperties(properties, sysfsPath);
            if (device.devType == QLatin1String("partition"))
                device.parentSysfsPath = sysfsPath.section(QLatin1Char('/'), 0, -2);
            devices << device;
        }
        sysfsPath.clear();
        properties.clear();
    };
    for (const QByteArray &rawLine : text.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.isEmpty()) {
            finish();
            continue;
        }
        const int colon = line.indexOf(':');
        if (colon != 1)
            continue;
        const char tag = line.at(0);
        const QString value = QString::fromUtf8(line.mid(2).trimmed());
        if (tag == 'P') {
            finish();
            sysfsPath = value;
        } else if (tag == 'E') {
            const int equals = value.indexOf(QLatin1Char('='));
            if (equals > 0)
                properties.insert(value.left(equals), value.mid(equals + 1));
        } else if (tag == 'N' && !properties.contains(QStringLiteral("DEVNAME"))) {
            properties.insert(QStringLiteral("DEVNAME"), QStringLiteral("/dev/") + value);
        }
    }
    finish();
    return devices;
}

std::shared_ptr<BlockDevices> createBlockDevices()
{
    if (backend() == Backend::Simulated)
        return std::make_shared<SimBlockDevices>(SimMedia::instance());
    return std::make_shared<LinuxBlockDevices>();
}

} // namespace Platform
