// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/udevenumerate.h"

#include "library/logcategory.h"
#include "library/udevclass.h"

#include <QDebug>

UdevEnumerate::UdevEnumerate(UdevClass *udev, QObject *parent)
    : QObject(parent)
    , m_udev(udev)
{
    qRegisterMetaType<UdevDevice>("UdevDevice");
}

UdevEnumerate::~UdevEnumerate() = default;

UdevEnumerate::DeviceList UdevEnumerate::scanDevices(const QString &subsystem, const QString &devtype)
{
    DeviceList devices;
    if (!m_udev || !m_udev->isValid()) {
        qCDebug(lcLibrary) << "[UdevEnumerate::scanDevices] invalid udev library";
        return devices;
    }
    const std::shared_ptr<Platform::BlockDevices> context = m_udev->getUdev();
    for (const Platform::BlockDevice &device : context->enumerate(subsystem, QStringLiteral("DEVTYPE"), devtype))
        devices.push_back(std::make_unique<UdevDevice>(context, device));
    return devices;
}

UdevEnumerate::DeviceList UdevEnumerate::scanStorageDevices()
{
    DeviceList storage;
    for (const char *devtype : {"partition", "disk"}) {
        DeviceList devices = scanDevices(QStringLiteral("block"), QLatin1String(devtype));
        for (std::unique_ptr<UdevDevice> &device : devices) {
            if (!device->property(QStringLiteral("ID_FS_TYPE")).isEmpty())
                storage.push_back(std::move(device));
        }
    }
    return storage;
}

UdevEnumerate::DeviceList UdevEnumerate::scanForStorageDevices()
{
    UdevClass udev;
    UdevEnumerate enumerate(&udev);
    return enumerate.scanStorageDevices();
}
