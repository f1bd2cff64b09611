// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/mediasourcemanager.h"
#include "library/logcategory.h"

#include "logcapture.h"
#include "platform/mounter.h"
#include "platform/paths.h"
#include "platform/platform.h"
#include "platform/sim/simboard.h"
#include "platform/sim/simmedia.h"
#include "platform/systemactions.h"
#include "simstorageroot.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <cerrno>
#include <memory>

using Platform::SimMedia;

namespace {

// Records what would have reached mount(2) and umount2(2).
class RecordingMounter : public Platform::Mounter
{
public:
    int mount(const QString &device, const QString &mountPath, const QString &fileSystem, unsigned long flags, const QString &options) override
    {
        calls << QStringLiteral("%1 %2 %3 %4 %5").arg(device, mountPath, fileSystem).arg(flags).arg(options.isEmpty() ? QStringLiteral("-") : options);
        return result;
    }
    int unmount(const QString &mountPath, bool lazy) override
    {
        calls << QStringLiteral("unmount %1%2").arg(mountPath, lazy ? QStringLiteral(" lazy") : QString());
        return 0;
    }
    QStringList calls;
    int result = 0;
};

class RecordingActions : public Platform::SystemActions
{
public:
    int runShell(const QString &commandLine) override
    {
        calls << commandLine;
        return 0;
    }
    int execute(const QString &program, const QStringList &arguments) override
    {
        calls << (QStringList{program} + arguments).join(QLatin1Char(' '));
        return 0;
    }
    int executeBounded(const QString &program, const QStringList &arguments, int timeoutMsec) override
    {
        calls << (QStringList{program} + arguments).join(QLatin1Char(' ')) + QStringLiteral(" within %1").arg(timeoutMsec);
        return bounded;
    }
    bool startDetached(const QString &program, const QStringList &arguments) override
    {
        calls << (QStringList{program} + arguments).join(QLatin1Char(' '));
        return true;
    }
    QStringList calls;
    int bounded = 0;
};

MediaSource fileSystemSource(const QString &device, const QString &fileSystem)
{
    MediaSource source(device);
    source.setMimeType(MediaSource::MimeTypeFileSystem);
    source.setFileSystem(fileSystem);
    return source;
}

} // namespace

class MediaSourceManagerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void mountCalls_data();
    void mountCalls();
    void mountRefusesWhatIsNoFileSystem();
    void unmountNeedsAMountPath();
    void searchFindsBookFilesOnly();
    void searchOfAnUnmountableMedium();
    void logBackup_data();
    void logBackup();
    void logBackupWithoutLog();

private:
    std::unique_ptr<SimStorageRoot> m_root;
    RecordingMounter m_mounter;
    RecordingActions m_actions;
};

void MediaSourceManagerTest::init()
{
    m_root = std::make_unique<SimStorageRoot>(0.01);
    QVERIFY(m_root->isValid());
    m_mounter = RecordingMounter();
    m_actions = RecordingActions();
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
}

void MediaSourceManagerTest::cleanup()
{
    Platform::setMounter(nullptr);
    Platform::setSystemActions(nullptr);
    MediaSourceManager::unmountAll();
    m_root.reset();
}

void MediaSourceManagerTest::mountCalls_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("fileSystem");
    QTest::addColumn<int>("result"); // what mount(2) answers
    QTest::addColumn<QStringList>("mountCalls");
    QTest::addColumn<bool>("mounted");

    const QString vfatStick = QStringLiteral("/dev/sda1 /media/usb vfat 1024 -");
    const QString disc = QStringLiteral("/dev/cd-rom /media/cd iso9660 1 norock,check=relaxed");
    QTest::newRow("FAT stick, no access times") << "/dev/sda1" << "vfat" << 0 << QStringList{vfatStick} << true;
    QTest::newRow("data disc, read-only") << "/dev/cd-rom" << "iso9660" << 0 << QStringList{disc} << true;
    QTest::newRow("stick that never mounts: five tries")
        << "/dev/sda1" << "vfat" << int(EINVAL) << QStringList{vfatStick, vfatStick, vfatStick, vfatStick, vfatStick} << false;
    QStringList detached;
    for (int i = 0; i < 5; ++i)
        detached << disc << QStringLiteral("unmount /media/cd lazy");
    QTest::newRow("disc that never mounts: detached after each try") << "/dev/cd-rom" << "iso9660" << int(ENOMEDIUM) << detached << false;
}

void MediaSourceManagerTest::mountCalls()
{
    QFETCH(QString, device);
    QFETCH(QString, fileSystem);
    QFETCH(int, result);
    QFETCH(bool, mounted);

    Platform::setMounter(&m_mounter);
    m_mounter.result = result;
    MediaSourceManager manager(fileSystemSource(device, fileSystem));
    LogCapture log(lcLibrary());
    QCOMPARE(manager.mount(), mounted);
    QCOMPARE(manager.mediaSource().isMounted(), mounted);
    QTEST(m_mounter.calls, "mountCalls");
    QVERIFY(log.contains(QStringLiteral("[MediaSourceManager::mount] \"%1\" %2").arg(device, mounted ? "is mounted" : "failed to mount")));

    // Mounted once is mounted: no second call.
    m_mounter.calls.clear();
    QCOMPARE(manager.mount(), mounted);
    QCOMPARE(m_mounter.calls.isEmpty(), mounted);
}

void MediaSourceManagerTest::mountRefusesWhatIsNoFileSystem()
{
    Platform::setMounter(&m_mounter);
    Platform::setSystemActions(&m_actions);
    MediaSource audio(QStringLiteral("/dev/cd-rom"));
    audio.setMimeType(MediaSource::MimeTypeCdda);
    MediaSourceManager manager(audio);
    QTest::ignoreMessage(QtDebugMsg, "[MediaSourceManager::mount] wrong mediaSource has wrong mimeType: 0");
    QVERIFY(!manager.mount());
    QVERIFY(m_mounter.calls.isEmpty());

    // exFAT goes through its helper, which gets two seconds.
    m_actions.bounded = Platform::SystemActions::kTimedOut;
    MediaSourceManager exfat(fileSystemSource(QStringLiteral("/dev/sda1"), QStringLiteral("exfat")));
    LogCapture log(lcLibrary());
    QVERIFY(!exfat.mount());
    QCOMPARE(log.count(QStringLiteral("[MediaSourceManager::mountExFat] qprocess didn't finish")), 5);
    QVERIFY(m_mounter.calls.isEmpty());
    QCOMPARE(m_actions.calls.first(), QStringLiteral("mount.exfat %1 %2 within 2000").arg(m_root->path(QStringLiteral("/dev/sda1")),
                                                                                         m_root->path(QStringLiteral("/media/usb"))));
}

void MediaSourceManagerTest::unmountNeedsAMountPath()
{
    MediaSourceManager manager(fileSystemSource(QStringLiteral("/dev/loop0"), QStringLiteral("vfat")));
    QTest::ignoreMessage(QtDebugMsg, "[MediaSourceManager::unmount] we can't unmount, no mountPath available");
    QVERIFY(!manager.unmount());
}

void MediaSourceManagerTest::searchFindsBookFilesOnly()
{
    const QString stick = m_root->path(QStringLiteral("/host/stick"));
    const QStringList wanted = {
        QStringLiteral("Daisy Book/ncc.html"),
        QStringLiteral("Daisy Book/01 Chapter.MP3"),
        QStringLiteral("deep/1/2/3/4/5/six.mp3"),
        QStringLiteral("daisy3/book.OPF"),
        QStringLiteral("-dash #1 50% été 'quoted'/novel.epub"),
        QStringLiteral("NCC.HTML"),
    };
    const QStringList unwanted = {
        QStringLiteral("Daisy Book/notes.txt"),
        QStringLiteral("Daisy Book/ncc.html.bak"),
        QStringLiteral(".Trash-1000/old.mp3"),
        QStringLiteral("Daisy Book/.hidden.mp3"),
        QStringLiteral("cover.jpg"),
    };
    for (const QString &file : wanted + unwanted) {
        QVERIFY(QDir().mkpath(QFileInfo(stick + QLatin1Char('/') + file).absolutePath()));
        QFile out(stick + QLatin1Char('/') + file);
        QVERIFY(out.open(QIODevice::WriteOnly));
    }
    // Links are neither listed nor followed: a loop ends nowhere.
    QVERIFY(QFile::link(stick + QStringLiteral("/Daisy Book/01 Chapter.MP3"), stick + QStringLiteral("/link.mp3")));
    QVERIFY(QFile::link(stick, stick + QStringLiteral("/deep/loop")));
    QVERIFY(QDir().mkpath(stick + QStringLiteral("/folder.mp3")));
    QVERIFY(SimMedia::instance()->insert(SimMedia::UsbSlot, stick));

    MediaSourceManager manager(fileSystemSource(QStringLiteral("/dev/sda1"), QStringLiteral("vfat")));
    manager.setFileNameFilters({QStringLiteral("ncc.html"), QStringLiteral("*.opf"), QStringLiteral("*.mp3"), QStringLiteral("*.epub")});
    QSignalSpy ready(&manager, &MediaSourceManager::readySearchingFiles);
    QSignalSpy finished(&manager, &MediaSourceManager::finished);
    manager.startSearchingFiles();
    QCOMPARE(ready.size(), 1);
    QVERIFY(finished.isEmpty()); // a moment later, so the result is on its way first
    QVERIFY(finished.wait());

    const MediaSource found = ready.first().first().value<MediaSource>();
    QVERIFY(found.isMounted());
    QStringList relative;
    const QDir mountPoint(Platform::path(QStringLiteral("/media/usb")));
    for (const QFileInfo &info : found.fileInfoList())
        relative << mountPoint.relativeFilePath(info.absoluteFilePath());
    relative.sort();
    QStringList expected = wanted;
    expected.sort();
    QCOMPARE(relative.join(QLatin1Char('|')), expected.join(QLatin1Char('|')));
}

void MediaSourceManagerTest::searchOfAnUnmountableMedium()
{
    // No medium in the slot: the search reports an empty medium and still finishes.
    MediaSourceManager manager(fileSystemSource(QStringLiteral("/dev/sda1"), QStringLiteral("vfat")));
    manager.setFileNameFilters({QStringLiteral("*.mp3")});
    QSignalSpy ready(&manager, &MediaSourceManager::readySearchingFiles);
    QSignalSpy finished(&manager, &MediaSourceManager::finished);
    manager.startSearchingFiles();
    QVERIFY(finished.wait());
    QCOMPARE(ready.size(), 1);
    const MediaSource found = ready.first().first().value<MediaSource>();
    QVERIFY(!found.isMounted());
    QVERIFY(found.fileInfoList().isEmpty());
}

void MediaSourceManagerTest::logBackup_data()
{
    QTest::addColumn<QStringList>("atHome"); // files in /root/quimbo
    QTest::addColumn<QStringList>("onMedium"); // files in the medium's root afterwards

    QTest::newRow("everything") << QStringList{"log", "log1", "dmesg_startup", "dmesg_shutdown"}
                                << QStringList{"book.mp3", "dmesg_shutdown", "dmesg_startup", "log", "log1"};
    QTest::newRow("no rotated log: an old one on the medium goes") << QStringList{"log", "dmesg_startup"}
                                                                   << QStringList{"book.mp3", "dmesg_startup", "log"};
}

void MediaSourceManagerTest::logBackup()
{
    QFETCH(QStringList, atHome);

    const QString stick = m_root->path(QStringLiteral("/host/stick"));
    QVERIFY(QDir().mkpath(stick));
    for (const char *name : {"book.mp3", "log1", "log"}) {
        QFile old(stick + QLatin1Char('/') + QLatin1String(name));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("from an earlier backup");
    }
    for (const QString &name : atHome)
        QVERIFY(m_root->writeFile(QStringLiteral("/root/quimbo/") + name, "fresh " + name.toLatin1()));
    QVERIFY(SimMedia::instance()->insert(SimMedia::SdSlot, stick));

    Platform::setSystemActions(&m_actions);
    MediaSourceManager manager(fileSystemSource(SimMedia::instance()->deviceNode(SimMedia::SdSlot), QStringLiteral("vfat")));
    QVERIFY(manager.systemBackup());
    QVERIFY(manager.mediaSource().isMounted());
    QCOMPARE(m_actions.calls, QStringList{QStringLiteral("sync")});
    QTEST(QDir(stick).entryList(QDir::Files, QDir::Name), "onMedium");
    for (const QString &name : atHome) {
        QFile copy(stick + QLatin1Char('/') + name);
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), "fresh " + name.toLatin1());
    }
}

void MediaSourceManagerTest::logBackupWithoutLog()
{
    QVERIFY(QDir().mkpath(m_root->path(QStringLiteral("/host/stick"))));
    QVERIFY(SimMedia::instance()->insert(SimMedia::UsbSlot, m_root->path(QStringLiteral("/host/stick"))));
    MediaSourceManager manager(fileSystemSource(QStringLiteral("/dev/sda1"), QStringLiteral("vfat")));
    QTest::ignoreMessage(QtDebugMsg, "[MediaSourceManager::systemBackup] failed to copy the log file to mediasource");
    QVERIFY(!manager.systemBackup());

    MediaSourceManager nothing(fileSystemSource(QStringLiteral("/dev/mmcblk1p1"), QStringLiteral("vfat")));
    QTest::ignoreMessage(QtDebugMsg, "[MediaSourceManager::systemBackup] failed to mount media source");
    QVERIFY(!nothing.systemBackup());
}

QTEST_GUILESS_MAIN(MediaSourceManagerTest)
#include "mediasourcemanagertest.moc"
