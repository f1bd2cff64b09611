// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/udevclass.h"
#include "library/udevenumerate.h"
#include "library/udevmonitor.h"

#include "platform/blockdevices.h"
#include "platform/platform.h"
#include "platform/sim/simboard.h"
#include "platform/sim/simmedia.h"
#include "simstorageroot.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

using Platform::SimMedia;

class UdevTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void recordedDeviceList_data();
    void recordedDeviceList();
    void storageScanKeepsFileSystems();
    void monitorReportsAddAndRemove();

private:
    std::unique_ptr<SimStorageRoot> m_root;
};

void UdevTest::init()
{
    m_root = std::make_unique<SimStorageRoot>();
    QVERIFY(m_root->isValid());
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
}

void UdevTest::cleanup()
{
    m_root.reset();
}

void UdevTest::recordedDeviceList_data()
{
    QTest::addColumn<QString>("name"); // last part of the sysfs path
    QTest::addColumn<QString>("devNode");
    QTest::addColumn<QString>("subsystem");
    QTest::addColumn<QString>("devType");
    QTest::addColumn<QString>("fileSystem");
    QTest::addColumn<QString>("parent"); // last part of the parent's sysfs path

    QTest::newRow("stick partition") << "sda1" << "/dev/sda1" << "block" << "partition" << "vfat" << "sda";
    QTest::newRow("stick with a partition table") << "sda" << "/dev/sda" << "block" << "disk" << "" << "";
    QTest::newRow("stick without a partition table") << "sdb" << "/dev/sdb" << "block" << "disk" << "exfat" << "";
    QTest::newRow("not a block device") << "lo" << "" << "net" << "" << "" << "";
}

void UdevTest::recordedDeviceList()
{
    QFETCH(QString, name);

    QFile file(QStringLiteral(QUIMBO_TEST_DATA "/udev/export-db.txt"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<Platform::BlockDevice> devices = Platform::parseUdevExport(file.readAll());
    // The record without a sysfs path is dropped.
    QCOMPARE(devices.size(), 7);
    const auto it = std::find_if(devices.cbegin(), devices.cend(), [&](const Platform::BlockDevice &d) { return d.sysfsPath.endsWith(QLatin1Char('/') + name); });
    QVERIFY(it != devices.cend());
    QTEST(it->devNode, "devNode");
    QTEST(it->subsystem, "subsystem");
    QTEST(it->devType, "devType");
    QTEST(it->properties.value(QStringLiteral("ID_FS_TYPE")), "fileSystem");
    QTEST(it->parentSysfsPath.section(QLatin1Char('/'), -1), "parent");
}

void UdevTest::storageScanKeepsFileSystems()
{
    SimMedia *sim = SimMedia::instance();
    QVERIFY(sim->insert(SimMedia::UsbSlot, m_root->medium(QStringLiteral("stick"))));
    QVERIFY(sim->insert(SimMedia::SdSlot, m_root->medium(QStringLiteral("card")), QString())); // no file system
    QVERIFY(sim->insertDisc(SimMedia::DataDisc, m_root->medium(QStringLiteral("disc"))));

    UdevClass udev;
    QVERIFY(udev.isValid());
    UdevEnumerate enumerate(&udev);
    QStringList nodes;
    for (const std::unique_ptr<UdevDevice> &device : enumerate.scanStorageDevices())
        nodes << device->devNode() + QLatin1Char(':') + device->property(QStringLiteral("ID_FS_TYPE"));
    // Partitions first, then whole disks; nothing without a file system.
    QCOMPARE(nodes, (QStringList{QStringLiteral("/dev/mmcblk0p1:ext4"), QStringLiteral("/dev/sda1:vfat"), QStringLiteral("/dev/sr0:iso9660")}));
    QCOMPARE(UdevEnumerate::scanForStorageDevices().size(), std::size_t(3));

    const UdevDevice partition = udev.deviceFromSubSystemAndName(QStringLiteral("block"), QStringLiteral("sda1"));
    QCOMPARE(partition.devType(), QStringLiteral("partition"));
    QCOMPARE(partition.parent().devNode(), QStringLiteral("/dev/sda"));
    QVERIFY(!partition.parent().parent().isValid());
    QVERIFY(partition.property(QStringLiteral("NO_SUCH_PROPERTY")).isEmpty());
}

void UdevTest::monitorReportsAddAndRemove()
{
    UdevClass udev;
    UdevMonitor monitor(&udev);
    QVERIFY(monitor.initialize());
    QVERIFY(monitor.filterSubSystemDevType(QStringLiteral("block"), QStringLiteral("partition")));
    QSignalSpy added(&monitor, &UdevMonitor::deviceAdded);
    QSignalSpy removed(&monitor, &UdevMonitor::deviceRemoved);
    QTest::ignoreMessage(QtDebugMsg, "[UDevMonitor::start]");
    monitor.start();
    QTest::ignoreMessage(QtDebugMsg, "[UDevMonitor::start]");
    QTest::ignoreMessage(QtDebugMsg, "[UDevMonitor::start] already started");
    monitor.start();

    QVERIFY(SimMedia::instance()->insert(SimMedia::UsbSlot, m_root->medium(QStringLiteral("stick"))));
    // Actions other than add and remove are dropped.
    QVERIFY(SimMedia::instance()->announceChange(SimMedia::UsbSlot));
    QVERIFY(SimMedia::instance()->remove(SimMedia::UsbSlot));
    QTRY_COMPARE(removed.size(), 1);
    // Only the partitions pass the filter; the disks' events are dropped.
    QCOMPARE(added.size(), 1);
    QCOMPARE(added.first().first().value<UdevDevice>().devNode(), QStringLiteral("/dev/sda1"));
    QCOMPARE(removed.first().first().value<UdevDevice>().devNode(), QStringLiteral("/dev/sda1"));
}

QTEST_GUILESS_MAIN(UdevTest)
#include "udevtest.moc"
