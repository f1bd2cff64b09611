// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/linuxcddrive.h"
#include "platform/linux/linuxmounter.h"

#include "testroot.h"

#include <QTest>

#include <cerrno>

// The drive backend on a fake device tree: what the firmware sees when the
// node is missing or is not a drive (a plain file answers no ioctl).
class LinuxCdDriveTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void missingNodeOrNoDrive();
    void mountOfWhatIsNoDevice();

private:
    std::unique_ptr<TestRoot> m_root;
};

void LinuxCdDriveTest::init()
{
    m_root = std::make_unique<TestRoot>();
    QVERIFY(m_root->isValid());
}

void LinuxCdDriveTest::cleanup()
{
    m_root.reset();
}

void LinuxCdDriveTest::missingNodeOrNoDrive()
{
    Platform::LinuxCdDrive drive(QStringLiteral("/dev/cd-rom"));
    // No node at all.
    QVERIFY(!drive.open(false));
    QVERIFY(!drive.open(true));
    QCOMPARE(drive.driveStatus(), -1);
    QCOMPARE(drive.mediaChanged(), -1);

    QVERIFY(m_root->writeFile(QStringLiteral("/dev/cd-rom"), "not a drive"));
    QVERIFY(drive.open(true));
    QCOMPARE(drive.mediaChanged(), -1);
    QCOMPARE(drive.driveStatus(), -1);
    QCOMPARE(drive.discStatus(), -1);
    QCOMPARE(drive.sgVersion(), -1);
    QVERIFY(!drive.scsiCommand(QByteArray("\x1B\x00\x00\x00\x02\x00", 6), 2000));
    QVERIFY(!drive.selectSpeed(4));
    QVERIFY(!drive.setReadAhead(4096));
    int first = 0;
    int last = 0;
    QVERIFY(!drive.readTocHeader(&first, &last));
    Platform::CdTocEntry entry;
    QVERIFY(!drive.readTocEntry(Platform::CdDrive::kLeadOut, &entry));
    drive.close();
    QCOMPARE(drive.driveStatus(), -1);
}

void LinuxCdDriveTest::mountOfWhatIsNoDevice()
{
    // Not root, or no such block device: mount(2) refuses and says why.
    QVERIFY(m_root->writeFile(QStringLiteral("/dev/sda1"), ""));
    Platform::LinuxMounter mounter;
    const int error = mounter.mount(QStringLiteral("/dev/sda1"), QStringLiteral("/media/usb"), QStringLiteral("vfat"),
                                    Platform::Mounter::kNoAccessTime, QString());
    QVERIFY2(error == EPERM || error == ENOENT || error == ENOTBLK || error == ENODEV, qPrintable(QString::number(error)));
    QVERIFY(mounter.unmount(QStringLiteral("/media/usb"), true) != 0);
}

QTEST_GUILESS_MAIN(LinuxCdDriveTest)
#include "linuxcddrivetest.moc"
