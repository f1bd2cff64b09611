// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_LIBRARY_UDEVMONITOR_H
#define QUIMBO_LIBRARY_UDEVMONITOR_H

#include "library/udevdevice.h"

#include <QObject>

#include <memory>

class QSocketNotifier;
class UdevClass;

/**
 * Reports devices being added and removed, from the udev netlink source.
 * Borrows the context; main thread, driven by a read notifier on the
 * monitor's descriptor.
 */
class UdevMonitor : public QObject
{
    Q_OBJECT

public:
    explicit UdevMonitor(UdevClass *udev, QObject *parent = nullptr);
    ~UdevMonitor() override;

    /** Creates the monitor; false (logged) without udev or when it cannot be created. */
    bool initialize();
    /** Adds a filter on subsystem and device type; several filters add up. */
    bool filterSubSystemDevType(const QString &subsystem, const QString &devtype);

public Q_SLOTS:
    /** Starts receiving; a second start or a missing monitor is refused (logged). */
    void start();

Q_SIGNALS:
    void deviceAdded(UdevDevice device);
    void deviceRemoved(UdevDevice device);

private Q_SLOTS:
    void udevEventHandler();

private:
    UdevClass *const m_udev;
    std::unique_ptr<Platform::BlockDeviceMonitor> m_monitor;
    QSocketNotifier *m_notifier = nullptr;
};

#endif
