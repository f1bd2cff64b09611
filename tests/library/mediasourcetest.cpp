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
    void mediaIdOfFiles_data();
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

void MediaSourceTest::mediaIdOfFiles_data()
{
    QTest::addColumn<QStringList>("files"); // name:size, in list order
    QTest::addColumn<QString>("hashed"); // the file whose path is hashed

    QTest::newRow("first mp3 wins over earlier files") << QStringList{QStringLiteral("ncc.html:300"), QStringLiteral("a/01.MP3:1000"), QStringLiteral("a/02.mp3:2000")}
                                                       << "a/01.MP3";
    QTest::newRow("no mp3: the first file") << QStringList{QStringLiteral("book.epub:4096"), QStringLiteral("x.opf:10")} << "book.epub";
    QTest::newRow("no files") << QStringList() << QString();
}

void MediaSourceTest::mediaIdOfFiles()
{
    QFETCH(QStringList, files);
    QFETCH(QString, hashed);

    MediaSource source(QStringLiteral("/dev/sda1"));
    MediaSource copy(QStringLiteral("/dev/sdb1"));
    quint64 totalSize = 0;
    for (const QString &entry : files) {
        const QString name = entry.section(QLatin1Char(':'), 0, 0);
        const int size = entry.section(QLatin1Char(':'), 1).toInt();
        const QString path = m_dir.filePath(name);
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(QByteArray(size, 'z')), qint64(size));
        file.close();
        source.addFileInfo(QFileInfo(path));
        copy.addFileInfo(QFileInfo(path));
        totalSize += quint64(size);
    }
    QVERIFY(totalSize < 0x10000); // keeps the three parts from overlapping here
    if (files.isEmpty()) {
        QTest::ignoreMessage(QtDebugMsg, "[MediaSource::mediaId] no files available, mediaID is 0");
        QCOMPARE(source.mediaId(), quint64(0));
        return;
    }

    const quint64 id = source.mediaId();
    QCOMPARE(id & 0xFFFF, quint64(files.size()));
    QCOMPARE((id >> 16) & 0xFFFF, totalSize);
    QCOMPARE(uint(id >> 32), MediaSource::classicHash(m_dir.filePath(hashed)));
    // The same content on another device is the same medium.
    QCOMPARE(copy.mediaId(), id);
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
