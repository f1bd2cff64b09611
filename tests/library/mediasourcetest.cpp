// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/mediasource.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class MediaSourceTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void typeFromDevice_data();
    void typeFromDevice();
    void equalityIgnoresAllButDeviceAndType();
    void classicHash_data();
    void classicHash();
    void mediaIdOfFiles();
    void bootDevice_data();
    void bootDevice();

private:
    QTemporaryDir m_dir;
};

void MediaSourceTest::init()
{
    QVERIFY(m_dir.isValid());
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
}

void MediaSourceTest::typeFromDevice_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<int>("mediaType");
    QTest::addColumn<QString>("mountPath");

    QTest::newRow("scsi cd") << "/dev/sr0" << 1 << "/media/cd";
    QTest::newRow("cd-rom link") << "/dev/cd-rom" << 1 << "/media/cd";
    QTest::newRow("sd card partition") << "/dev/mmcblk0p1" << 4 << "/media/mmc";
    QTest::newRow("usb partition") << "/dev/sdb1" << 2 << "/media/usb";
    QTest::newRow("loop device") << "/dev/loop0" << 0 << QString();
    QTest::newRow("no device") << QString() << 0 << QString();
}

void MediaSourceTest::typeFromDevice()
{
    QFETCH(QString, device);
    QFETCH(int, mediaType);
    QFETCH(QString, mountPath);

    if (device.isEmpty())
        QTest::ignoreMessage(QtDebugMsg, "MediaSource::MediaSource(const QString&): empty device added");
    const MediaSource source(device);
    QCOMPARE(source.device(), device);
    QCOMPARE(int(source.mediaType()), mediaType);
    QCOMPARE(source.mountPath(), mountPath);
    QCOMPARE(source.mimeType(), MediaSource::MimeTypeUndefined);
    QVERIFY(!source.isMounted());
    QVERIFY(source.fileInfoList().isEmpty());
}

void MediaSourceTest::equalityIgnoresAllButDeviceAndType()
{
    MediaSource a(QStringLiteral("/dev/sda1"));
    MediaSource b(QStringLiteral("/dev/sda1"));
    b.setMountPath(QStringLiteral("/elsewhere"));
    b.setMounted(true);
    b.setMimeType(MediaSource::MimeTypeFileSystem);
    b.addFileInfo(QFileInfo(QStringLiteral("/media/usb/book/01.mp3")));
    QVERIFY(a == b);

    b.setMediaType(MediaSource::MediaTypeMmc);
    QVERIFY(a != b);
    QVERIFY(MediaSource(QStringLiteral("/dev/sda1")) != MediaSource(QStringLiteral("/dev/sdb1")));
}

void MediaSourceTest::classicHash_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<uint>("hash");

    // Values of the string hash that identifiers stored on the devices were made with.
    QTest::newRow("empty") << QString() << 0u;
    QTest::newRow("one letter") << "a" << 97u;
    QTest::newRow("long path folds the high bits") << "/media/usb/Book/01 Chapter.mp3" << 211684019u;
}

void MediaSourceTest::classicHash()
{
    QFETCH(QString, text);

    QTEST(MediaSource::classicHash(text), "hash");
}

// The id's layout is pinned on real books by the portable output test; here
// only what those cannot show: no files, and the device playing no part.
void MediaSourceTest::mediaIdOfFiles()
{
    MediaSource source(QStringLiteral("/dev/sda1"));
    QTest::ignoreMessage(QtDebugMsg, "[MediaSource::mediaId] no files available, mediaID is 0");
    QCOMPARE(source.mediaId(), quint64(0));

    MediaSource copy(QStringLiteral("/dev/sdb1"));
    for (const QString &name : {QStringLiteral("ncc.html"), QStringLiteral("a/01.mp3")}) {
        const QString path = m_dir.filePath(name);
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("zz") == 2);
        file.close();
        source.addFileInfo(QFileInfo(path));
        copy.addFileInfo(QFileInfo(path));
    }
    QVERIFY(source.mediaId() != 0);
    QCOMPARE(copy.mediaId(), source.mediaId());
}

void MediaSourceTest::bootDevice_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("bootDevice");
    QTest::addColumn<bool>("isBoot");

    QTest::newRow("Rev4 system card") << "/dev/mmcblk0p2" << "/dev/mmcblk0" << true;
    QTest::newRow("Rev4 user card slot") << "/dev/mmcblk1p1" << "/dev/mmcblk0" << false;
    QTest::newRow("usb stick") << "/dev/sda1" << "/dev/mmcblk1" << false;
    QTest::newRow("case matters") << "/DEV/MMCBLK1P1" << "/dev/mmcblk1" << false;
}

void MediaSourceTest::bootDevice()
{
    QFETCH(QString, device);
    QFETCH(QString, bootDevice);

    QTEST(MediaSource(device).isBootDevice(bootDevice), "isBoot");
}

QTEST_GUILESS_MAIN(MediaSourceTest)
#include "mediasourcetest.moc"
