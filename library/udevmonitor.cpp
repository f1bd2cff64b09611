// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/udevmonitor.h"

#include "library/logcategory.h"
#include "library/udevclass.h"

#include <QDebug>
#include <QSocketNotifier>

UdevMonitor::UdevMonitor(UdevClass *udev, QObject *parent)
    : QObject(parent)
    , m_udev(udev)
{
    qRegisterMetaType<UdevDevice>("UdevDevice");
}

UdevMonitor::~UdevMonitor() = default;

bool UdevMonitor::initialize()
{
    if (!m_udev || !m_udev->isValid()) {
        qCDebug(lcLibrary) << "[UDevMonitor::initialize] invalid udev library";
        return false;
    }
    m_monitor = m_udev->getUdev()->createMonitor();
    if (!m_monitor) {
        qCDebug(lcLibrary) << "[UDevMonitor::initialize] unable to create an udev monitor";
        return false;
    }
    return true;
}

bool UdevMonitor::filterSubSystemDevType(const QString &subsystem, const QString &devtype)
{
    return m_monitor && m_monitor->addFilter(subsystem, devtype);
}

void UdevMonitor::start()
{
    qCDebug(lcLibrary) << "[UDevMonitor::start]";
    if (m_notifier) {
        qCDebug(lcLibrary) << "[UDevMonitor::start] already started";
        return;
    }
    if (!m_monitor || !m_monitor->enableReceiving() || m_monitor->fd() < 0) {
        qCDebug(lcLibrary) << "[UDevMonitor::start] invalid udev monitor";
        return;
    }
    m_notifier = new QSocketNotifier(m_monitor->fd(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &UdevMonitor::udevEventHandler);
}

void UdevMonitor::udevEventHandler()
{
    Platform::BlockDeviceEvent event;
    if (!m_monitor->receive(&event))
        return;
    const UdevDevice device(m_udev->getUdev(), event.device);
    if (event.action == QLatin1String("add"))
        Q_EMIT deviceAdded(device);
    else if (event.action == QLatin1String("remove"))
        Q_EMIT deviceRemoved(device);
}
