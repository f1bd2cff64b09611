// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cddrive.h"
#include "platform/mounter.h"
#include "platform/paths.h"
#include "platform/platform.h"
#include "platform/sim/simboard.h"
#include "platform/sim/simmedia.h"
#include "testroot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QtEndian>

#include <cerrno>

using Platform::CdDrive;
using Platform::SimMedia;

namespace {

QByteArray le32(quint32 v)
{
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

// A WAV file of CD audio (44.1 kHz, stereo, 16 bit) of the given length.
QByteArray wav(int milliseconds)
{
    const quint32 data = quint32(176400LL * milliseconds / 1000);
    QByteArray fmt = QByteArray::fromHex("0100020044ac000010b1020004001000");
    return "RIFF" + le32(36 + data) + "WAVE" + "fmt " + le32(16) + fmt + "data" + le32(data) + QByteArray(int(data), '\0');
}

// An ID3 tag and then frames of MPEG-1 layer III, 128 kbit/s, 44.1 kHz (417 bytes, 1152 samples each).
QByteArray mp3(int frames)
{
    QByteArray out = QByteArray("ID3\x03\x00\x00\x00\x00\x00\x14", 10) + QByteArray(20, 'x');
    for (int i = 0; i < frames; ++i)
        out += QByteArray::fromHex("fffb9000") + QByteArray(413, '\0');
    return out;
}

} // namespace

class SimMediaTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void tableOfContents();
    void driveAnswers_data();
    void driveAnswers();
    void mountLinksTheFolder();

private:
    std::unique_ptr<TestRoot> m_root;
};

void SimMediaTest::initTestCase()
{
    Platform::setBackend(Platform::Backend::Simulated);
}

void SimMediaTest::init()
{
    m_root = std::make_unique<TestRoot>();
    QVERIFY(m_root->isValid());
    Platform::SimBoard::instance()->reset();
    SimMedia::instance()->reset();
}

void SimMediaTest::cleanup()
{
    SimMedia::instance()->reset();
    m_root.reset();
}

void SimMediaTest::tableOfContents()
{
    QVERIFY(m_root->writeFile(QStringLiteral("/disc/01 overture.wav"), wav(2000))); // 150 frames of 1/75 s
    QVERIFY(m_root->writeFile(QStringLiteral("/disc/02 aria.mp3"), mp3(115))); // 3.004 s: 225 frames
    QVERIFY(m_root->writeFile(QStringLiteral("/disc/cover.jpg"), "not a track"));
    QVERIFY(SimMedia::instance()->insertDisc(SimMedia::AudioDisc, m_root->path(QStringLiteral("/disc"))));

    const std::unique_ptr<CdDrive> drive = Platform::createCdDrive(QStringLiteral("/dev/cdrom"));
    QVERIFY(drive->open(false));
    int first = 0;
    int last = 0;
    QVERIFY(drive->readTocHeader(&first, &last));
    QCOMPARE(first, 1);
    QCOMPARE(last, 2);
    QList<int> starts;
    for (int track : {1, 2, int(CdDrive::kLeadOut)}) {
        Platform::CdTocEntry entry;
        QVERIFY(drive->readTocEntry(track, &entry));
        QVERIFY(!entry.dataTrack);
        starts << entry.lba;
    }
    QCOMPARE(starts, (QList<int>{0, 150, 375}));
    Platform::CdTocEntry none;
    QVERIFY(!drive->readTocEntry(3, &none));
}

void SimMediaTest::driveAnswers_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<int>("driveStatus");
    QTest::addColumn<int>("discStatus");

    QTest::newRow("audio disc") << "audio" << int(CdDrive::kDiscOk) << int(CdDrive::kAudio);
    QTest::newRow("data disc") << "data" << int(CdDrive::kDiscOk) << int(CdDrive::kData1);
    QTest::newRow("empty") << "empty" << int(CdDrive::kNoDisc) << int(CdDrive::kNoDisc);
    QTest::newRow("tray open") << "open" << int(CdDrive::kTrayOpen) << int(CdDrive::kNoDisc);
    QTest::newRow("spinning up") << "notready" << int(CdDrive::kDriveNotReady) << int(CdDrive::kData1);
}

void SimMediaTest::driveAnswers()
{
    QFETCH(QString, state);
    SimMedia *sim = SimMedia::instance();
    QVERIFY(QDir().mkpath(m_root->path(QStringLiteral("/disc"))));
    if (state == QLatin1String("audio"))
        QVERIFY(sim->insertDisc(SimMedia::AudioDisc, m_root->path(QStringLiteral("/disc"))));
    else if (state == QLatin1String("data") || state == QLatin1String("notready"))
        QVERIFY(sim->insertDisc(SimMedia::DataDisc, m_root->path(QStringLiteral("/disc"))));
    sim->setTrayOpen(state == QLatin1String("open"));
    sim->setDriveNotReady(state == QLatin1String("notready"));

    const std::unique_ptr<CdDrive> drive = Platform::createCdDrive();
    QCOMPARE(drive->driveStatus(), -1); // not open yet
    QVERIFY(drive->open(false));
    QTEST(drive->driveStatus(), "driveStatus");
    QTEST(drive->discStatus(), "discStatus");
    // A change is told once.
    QCOMPARE(drive->mediaChanged(), state == QLatin1String("empty") ? 0 : 1);
    QCOMPARE(drive->mediaChanged(), 0);
}

void SimMediaTest::mountLinksTheFolder()
{
    QVERIFY(m_root->writeFile(QStringLiteral("/host/stick/book/01.mp3"), "mp3"));
    QVERIFY(QDir().mkpath(m_root->path(QStringLiteral("/media/usb"))));
    SimMedia *sim = SimMedia::instance();
    QVERIFY(sim->insert(SimMedia::UsbSlot, m_root->path(QStringLiteral("/host/stick"))));
    Platform::Mounter *mounter = Platform::mounter();

    // The file system has to be the medium's.
    QCOMPARE(mounter->mount(QStringLiteral("/dev/sda1"), QStringLiteral("/media/usb"), QStringLiteral("iso9660"), 0, QString()), EINVAL);
    QCOMPARE(mounter->mount(QStringLiteral("/dev/sdb1"), QStringLiteral("/media/usb"), QStringLiteral("vfat"), 0, QString()), ENXIO);
    QCOMPARE(mounter->mount(QStringLiteral("/dev/sda1"), QStringLiteral("/media/usb"), QStringLiteral("vfat"), 0, QString()), 0);
    QCOMPARE(mounter->mount(QStringLiteral("/dev/sda1"), QStringLiteral("/media/usb"), QStringLiteral("vfat"), 0, QString()), EBUSY);
    QVERIFY(QFileInfo::exists(Platform::path(QStringLiteral("/media/usb/book/01.mp3"))));

    // A removed stick leaves its mount point empty until it is unmounted.
    QVERIFY(sim->remove(SimMedia::UsbSlot));
    QVERIFY(!QFileInfo::exists(Platform::path(QStringLiteral("/media/usb/book/01.mp3"))));
    QCOMPARE(mounter->unmount(QStringLiteral("/media/usb"), true), 0);
    QCOMPARE(mounter->unmount(QStringLiteral("/media/usb"), true), EINVAL);
    QVERIFY(QFileInfo(Platform::path(QStringLiteral("/media/usb"))).isDir());
    QVERIFY(!QFileInfo(Platform::path(QStringLiteral("/media/usb"))).isSymLink());
    // The medium's own files are untouched.
    QVERIFY(QFileInfo::exists(m_root->path(QStringLiteral("/host/stick/book/01.mp3"))));
}

QTEST_GUILESS_MAIN(SimMediaTest)
#include "simmediatest.moc"
