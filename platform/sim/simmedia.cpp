// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sim/simmedia.h"

#include "platform/logcategory.h"
#include "platform/paths.h"
#include "platform/sim/simboard.h"
#include "platform/sim/simcdaudio.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QMutex>
#include <QQueue>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace Platform {

namespace {

// The system card as "udevadm info --export-db" lists it on the board; %1 is
// the card's kernel name, which depends on the board revision.
const char kSystemCard[] = "P: /devices/platform/soc/1c0f000.mmc/mmc_host/mmc0/mmc0:0007/block/%1\n"
                           "N: %1\n"
                           "E: DEVPATH=/devices/platform/soc/1c0f000.mmc/mmc_host/mmc0/mmc0:0007/block/%1\n"
                           "E: DEVNAME=/dev/%1\n"
                           "E: DEVTYPE=disk\n"
                           "E: SUBSYSTEM=block\n"
                           "E: ID_PART_TABLE_TYPE=dos\n"
                           "\n"
                           "P: /devices/platform/soc/1c0f000.mmc/mmc_host/mmc0/mmc0:0007/block/%1/%1p1\n"
                           "N: %1p1\n"
                           "E: DEVPATH=/devices/platform/soc/1c0f000.mmc/mmc_host/mmc0/mmc0:0007/block/%1/%1p1\n"
                           "E: DEVNAME=/dev/%1p1\n"
                           "E: DEVTYPE=partition\n"
                           "E: SUBSYSTEM=block\n"
                           "E: ID_FS_TYPE=ext4\n"
                           "\n";

constexpr int kFramesPerSecond = 75;

// Length of a WAV file's sound in CD frames; 0 when it is no WAV file.
qint64 wavFrames(QFile *file)
{
    const QByteArray head = file->read(12);
    if (head.size() < 12 || !head.startsWith("RIFF") || head.mid(8, 4) != "WAVE")
        return 0;
    quint32 byteRate = 0;
    for (int chunks = 0; chunks < 64; ++chunks) {
        const QByteArray chunk = file->read(8);
        if (chunk.size() < 8)
            return 0;
        const quint32 size = quint8(chunk[4]) | quint8(chunk[5]) << 8 | quint8(chunk[6]) << 16 | quint32(quint8(chunk[7])) << 24;
        if (chunk.startsWith("fmt ")) {
            const QByteArray fmt = file->read(qMin<quint32>(size, 16));
            if (fmt.size() < 12)
                return 0;
            byteRate = quint8(fmt[8]) | quint8(fmt[9]) << 8 | quint8(fmt[10]) << 16 | quint32(quint8(fmt[11])) << 24;
            file->seek(file->pos() + size - fmt.size() + (size & 1));
        } else if (chunk.startsWith("data")) {
            return byteRate ? qint64(size) * kFramesPerSecond / byteRate : 0;
        } else if (!file->seek(file->pos() + size + (size & 1))) {
            return 0;
        }
    }
    return 0;
}

// Length of an MPEG audio file in CD frames, by walking its frame headers.
qint64 mp3Frames(QFile *file)
{
    static const int kBitrates[2][16] = {
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}, // MPEG 1 layer III
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}, // MPEG 2/2.5 layer III
    };
    static const int kRates[3] = {44100, 48000, 32000};
    const QByteArray data = file->readAll();
    qsizetype pos = 0;
    if (data.startsWith("ID3") && data.size() >= 10)
        pos = 10 + ((data[6] & 0x7f) << 21 | (data[7] & 0x7f) << 14 | (data[8] & 0x7f) << 7 | (data[9] & 0x7f));
    double seconds = 0;
    while (pos + 4 <= data.size()) {
        const quint8 b1 = quint8(data[pos + 1]), b2 = quint8(data[pos + 2]);
        if (quint8(data[pos]) != 0xFF || (b1 & 0xE0) != 0xE0 || ((b1 >> 1) & 3) != 1) {
            ++pos; // not a layer III frame header: resynchronise
            continue;
        }
        const int version = (b1 >> 3) & 3; // 3 MPEG 1, 2 MPEG 2, 0 MPEG 2.5
        const int bitrate = kBitrates[version == 3 ? 0 : 1][b2 >> 4] * 1000;
        const int rateIndex = (b2 >> 2) & 3;
        if (version == 1 || bitrate == 0 || rateIndex == 3) {
            ++pos;
            continue;
        }
        const int rate = kRates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
        const int samples = version == 3 ? 1152 : 576;
        const int length = samples / 8 * bitrate / rate + ((b2 >> 1) & 1);
        seconds += double(samples) / rate;
        pos += qMax(length, 1);
    }
    return qint64(seconds * kFramesPerSecond);
}

qint64 trackFrames(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return path.endsWith(QLatin1String(".wav"), Qt::CaseInsensitive) ? wavFrames(&file) : mp3Frames(&file);
}

struct Medium {
    bool inserted = false;
    QString directory;
    QString fileSystem;
};

struct Monitor {
    int writeFd = -1;
    QQueue<BlockDeviceEvent> events;
};

BlockDevice blockDevice(const QString &sysfsPath, const QString &node, const QString &devType, const QString &fileSystem,
                        const QMap<QString, QString> &extra = {})
{
    QMap<QString, QString> properties = extra;
    properties.insert(QStringLiteral("DEVPATH"), sysfsPath);
    properties.insert(QStringLiteral("DEVNAME"), node);
    properties.insert(QStringLiteral("DEVTYPE"), devType);
    properties.insert(QStringLiteral("SUBSYSTEM"), QStringLiteral("block"));
    if (!fileSystem.isEmpty())
        properties.insert(QStringLiteral("ID_FS_TYPE"), fileSystem);
    BlockDevice device = BlockDevice::fromProperties(properties);
    if (devType == QLatin1String("partition"))
        device.parentSysfsPath = sysfsPath.section(QLatin1Char('/'), 0, -2);
    return device;
}

} // namespace

class SimMediaPrivate
{
public:
    explicit SimMediaPrivate(SimMedia *qq)
        : q(qq)
    {
    }

    QString cardName() const
    {
        // The card slot is whichever controller does not hold the system card.
        return SimBoard::instance()->revision() == 7 ? QStringLiteral("mmcblk0") : QStringLiteral("mmcblk1");
    }
    QString systemCardName() const
    {
        return SimBoard::instance()->revision() == 7 ? QStringLiteral("mmcblk1") : QStringLiteral("mmcblk0");
    }

    /** The disk and partition of a slot's medium (the partition last). */
    QList<BlockDevice> slotDevices(SimMedia::Slot slot) const
    {
        const Medium &m = media[slot];
        if (!m.inserted)
            return {};
        if (slot == SimMedia::UsbSlot) {
            const QString base = QStringLiteral("/devices/platform/soc/1c14000.usb/usb1/1-1/1-1:1.0/host0/target0:0:0/0:0:0:0/block/sda");
            return {blockDevice(base, QStringLiteral("/dev/sda"), QStringLiteral("disk"), QString(),
                                {{QStringLiteral("ID_BUS"), QStringLiteral("usb")}, {QStringLiteral("ID_PART_TABLE_TYPE"), QStringLiteral("dos")}}),
                    blockDevice(base + QStringLiteral("/sda1"), QStringLiteral("/dev/sda1"), QStringLiteral("partition"), m.fileSystem,
                                {{QStringLiteral("ID_BUS"), QStringLiteral("usb")}})};
        }
        const QString name = cardName();
        const QString base = QStringLiteral("/devices/platform/soc/1c11000.mmc/mmc_host/mmc1/mmc1:aaaa/block/") + name;
        return {blockDevice(base, QStringLiteral("/dev/") + name, QStringLiteral("disk"), QString(),
                            {{QStringLiteral("ID_PART_TABLE_TYPE"), QStringLiteral("dos")}}),
                blockDevice(base + QLatin1Char('/') + name + QStringLiteral("p1"), QStringLiteral("/dev/") + name + QStringLiteral("p1"),
                            QStringLiteral("partition"), m.fileSystem)};
    }

    BlockDevice driveDevice() const
    {
        return blockDevice(QStringLiteral("/devices/platform/soc/1c1c000.usb/usb2/2-1/2-1:1.0/host1/target1:0:0/1:0:0:0/block/sr0"),
                           QStringLiteral("/dev/sr0"), QStringLiteral("disk"),
                           disc == SimMedia::DataDisc && !trayOpen ? QStringLiteral("iso9660") : QString(),
                           {{QStringLiteral("ID_CDROM"), QStringLiteral("1")}, {QStringLiteral("ID_BUS"), QStringLiteral("usb")}});
    }

    // Under the lock.
    void post(const QString &action, const BlockDevice &device)
    {
        for (auto it = monitors.begin(); it != monitors.end(); ++it) {
            it->events.enqueue({action, device});
            const char byte = 1;
            if (::write(it->writeFd, &byte, 1) != 1)
                qCWarning(lcPlatform, "[SimMedia] hot-plug event pipe is full");
        }
    }

    // Under the lock: the mount point's host path and the medium behind a device node.
    QString mediumDirectory(const QString &device, QString *fileSystem) const
    {
        for (int slot : {SimMedia::UsbSlot, SimMedia::SdSlot}) {
            for (const BlockDevice &d : slotDevices(SimMedia::Slot(slot))) {
                if (d.devNode == device) {
                    *fileSystem = d.properties.value(QStringLiteral("ID_FS_TYPE"));
                    return media[slot].directory;
                }
            }
        }
        if ((device == QLatin1String("/dev/cd-rom") || device == QLatin1String("/dev/sr0") || device == QLatin1String("/dev/cdrom")) && drivePresent
            && !trayOpen && disc == SimMedia::DataDisc) {
            *fileSystem = QStringLiteral("iso9660");
            return discDirectory;
        }
        return QString();
    }

    /** Points the mount point at target (a dangling target when the medium is gone); empty: an empty directory again. */
    static bool placeMountPoint(const QString &mountPath, const QString &target)
    {
        const QString host = path(mountPath);
        const QFileInfo info(host);
        if (info.isSymLink())
            QFile::remove(host);
        else if (info.isDir() && !QDir().rmdir(host))
            return false; // something else is there: busy
        if (target.isEmpty())
            return QDir().mkpath(host);
        QDir().mkpath(info.absolutePath());
        return QFile::link(target, host);
    }

    SimMedia *const q;
    mutable QMutex mutex;
    Medium media[2];
    SimMedia::Disc disc = SimMedia::NoDisc;
    QString discDirectory;
    bool trayOpen = false;
    bool notReady = false;
    bool drivePresent = true;
    bool mediaChangedFlag = false;
    int ejectFailures = 0;
    int ejectCommands = 0;
    QMap<QString, QString> mountTable; // mount path → device
    QHash<int, Monitor> monitors; // read end → monitor
};

SimMedia *SimMedia::instance()
{
    static SimMedia *media = new SimMedia;
    return media;
}

SimMedia::SimMedia()
    : d(std::make_unique<SimMediaPrivate>(this))
{
}

SimMedia::~SimMedia() = default;

void SimMedia::reset()
{
    QMutexLocker lock(&d->mutex);
    for (Medium &m : d->media)
        m = Medium();
    d->disc = NoDisc;
    d->discDirectory.clear();
    d->trayOpen = false;
    d->notReady = false;
    d->drivePresent = true;
    d->mediaChangedFlag = false;
    d->ejectFailures = 0;
    d->ejectCommands = 0;
    d->mountTable.clear();
    for (auto it = d->monitors.begin(); it != d->monitors.end(); ++it) {
        it->events.clear();
        char buffer[256];
        while (::read(it.key(), buffer, sizeof buffer) > 0) {
        }
    }
}

bool SimMedia::insert(Slot slot, const QString &hostDirectory, const QString &fileSystem)
{
    if (!QFileInfo(hostDirectory).isDir())
        return false;
    remove(slot);
    QString what;
    {
        QMutexLocker lock(&d->mutex);
        d->media[slot] = {true, QDir(hostDirectory).absolutePath(), fileSystem};
        for (const BlockDevice &device : d->slotDevices(slot))
            d->post(QStringLiteral("add"), device);
        what = QStringLiteral("inserted %1 (%2, %3)")
                   .arg(d->media[slot].directory, d->slotDevices(slot).constLast().devNode,
                        fileSystem.isEmpty() ? QStringLiteral("no file system") : fileSystem);
    }
    Q_EMIT mediaChanged(slot == UsbSlot ? QStringLiteral("usb") : QStringLiteral("sd"), what);
    return true;
}

bool SimMedia::remove(Slot slot)
{
    {
        QMutexLocker lock(&d->mutex);
        if (!d->media[slot].inserted)
            return false;
        QList<BlockDevice> devices = d->slotDevices(slot);
        // The medium's files vanish from a mount that is still in place.
        for (auto it = d->mountTable.cbegin(); it != d->mountTable.cend(); ++it) {
            for (const BlockDevice &device : std::as_const(devices)) {
                if (device.devNode == it.value())
                    SimMediaPrivate::placeMountPoint(it.key(), path(QStringLiteral("/sim/removed-medium")));
            }
        }
        d->media[slot] = Medium();
        for (auto it = devices.crbegin(); it != devices.crend(); ++it)
            d->post(QStringLiteral("remove"), *it);
    }
    Q_EMIT mediaChanged(slot == UsbSlot ? QStringLiteral("usb") : QStringLiteral("sd"), QStringLiteral("removed"));
    return true;
}

bool SimMedia::announceChange(Slot slot)
{
    QMutexLocker lock(&d->mutex);
    if (!d->media[slot].inserted)
        return false;
    for (const BlockDevice &device : d->slotDevices(slot))
        d->post(QStringLiteral("change"), device);
    return true;
}

bool SimMedia::isInserted(Slot slot) const
{
    QMutexLocker lock(&d->mutex);
    return d->media[slot].inserted;
}

QString SimMedia::hostDirectory(Slot slot) const
{
    QMutexLocker lock(&d->mutex);
    return d->media[slot].directory;
}

QString SimMedia::deviceNode(Slot slot) const
{
    QMutexLocker lock(&d->mutex);
    if (slot == UsbSlot)
        return QStringLiteral("/dev/sda1");
    return QStringLiteral("/dev/") + d->cardName() + QStringLiteral("p1");
}

bool SimMedia::insertDisc(Disc kind, const QString &hostDirectory)
{
    if (kind == NoDisc || !QFileInfo(hostDirectory).isDir())
        return false;
    setTrayOpen(true);
    {
        QMutexLocker lock(&d->mutex);
        d->disc = kind;
        d->discDirectory = QDir(hostDirectory).absolutePath();
    }
    if (kind == AudioDisc)
        SimCdAudio::setDiscDirectory(hostDirectory);
    Q_EMIT mediaChanged(QStringLiteral("cd"),
                        QStringLiteral("%1 disc in %2").arg(kind == AudioDisc ? QStringLiteral("audio") : QStringLiteral("data"), hostDirectory));
    setTrayOpen(false);
    return true;
}

void SimMedia::removeDisc()
{
    setTrayOpen(true);
    bool hadDisc;
    {
        QMutexLocker lock(&d->mutex);
        hadDisc = d->disc != NoDisc;
        d->disc = NoDisc;
        d->discDirectory.clear();
    }
    if (hadDisc)
        Q_EMIT mediaChanged(QStringLiteral("cd"), QStringLiteral("disc taken out"));
}

void SimMedia::setTrayOpen(bool open)
{
    {
        QMutexLocker lock(&d->mutex);
        if (d->trayOpen == open)
            return;
        d->trayOpen = open;
        d->mediaChangedFlag = true;
        if (open) {
            for (auto it = d->mountTable.cbegin(); it != d->mountTable.cend(); ++it) {
                if (it.key() == QLatin1String("/media/cd"))
                    SimMediaPrivate::placeMountPoint(it.key(), path(QStringLiteral("/sim/removed-medium")));
            }
        }
    }
    Q_EMIT mediaChanged(QStringLiteral("cd"), open ? QStringLiteral("tray open") : QStringLiteral("tray closed"));
}

bool SimMedia::isTrayOpen() const
{
    QMutexLocker lock(&d->mutex);
    return d->trayOpen;
}

SimMedia::Disc SimMedia::disc() const
{
    QMutexLocker lock(&d->mutex);
    return d->disc;
}

QString SimMedia::discDirectory() const
{
    QMutexLocker lock(&d->mutex);
    return d->discDirectory;
}

void SimMedia::setDriveNotReady(bool notReady)
{
    QMutexLocker lock(&d->mutex);
    if (d->notReady != notReady)
        d->mediaChangedFlag = true;
    d->notReady = notReady;
}

void SimMedia::setDrivePresent(bool present)
{
    QMutexLocker lock(&d->mutex);
    d->drivePresent = present;
}

void SimMedia::setEjectFailures(int n)
{
    QMutexLocker lock(&d->mutex);
    d->ejectFailures = n;
}

int SimMedia::ejectCommandCount() const
{
    QMutexLocker lock(&d->mutex);
    return d->ejectCommands;
}

QList<CdTocEntry> SimMedia::tableOfContents() const
{
    QString directory;
    {
        QMutexLocker lock(&d->mutex);
        if (d->disc != AudioDisc || d->trayOpen)
            return {};
        directory = d->discDirectory;
    }
    const QStringList files = QDir(directory).entryList({QStringLiteral("*.wav"), QStringLiteral("*.mp3")}, QDir::Files, QDir::Name);
    QList<CdTocEntry> toc;
    int lba = 0;
    for (int i = 0; i < files.size() && i < 99; ++i) {
        toc.append({i + 1, false, lba});
        lba += int(qMin<qint64>(trackFrames(QDir(directory).filePath(files.at(i))), 100 * 60 * kFramesPerSecond));
    }
    // A file named "data-session" makes the disc an enhanced CD: a data track
    // after the audio, in a session of its own behind the 11400-frame gap.
    const QFileInfo data(QDir(directory).filePath(QStringLiteral("data-session")));
    if (data.isFile() && !files.isEmpty() && files.size() < 99) {
        lba += 11400;
        toc.append({int(files.size()) + 1, true, lba});
        lba += int(qMax<qint64>(data.size() / 2048, 1));
    }
    toc.append({CdDrive::kLeadOut, false, lba});
    return toc;
}

QString SimMedia::mountedDevice(const QString &mountPath) const
{
    QMutexLocker lock(&d->mutex);
    return d->mountTable.value(mountPath);
}

QStringList SimMedia::mounts() const
{
    QMutexLocker lock(&d->mutex);
    QStringList list;
    for (auto it = d->mountTable.cbegin(); it != d->mountTable.cend(); ++it)
        list << it.key() + QLatin1Char('=') + it.value();
    return list;
}

QList<BlockDevice> SimMedia::devices() const
{
    QMutexLocker lock(&d->mutex);
    QList<BlockDevice> list = parseUdevExport(QString::fromLatin1(kSystemCard).arg(d->systemCardName()).toLatin1());
    list += d->slotDevices(UsbSlot);
    list += d->slotDevices(SdSlot);
    if (d->drivePresent)
        list << d->driveDevice();
    return list;
}

int SimMedia::mount(const QString &device, const QString &mountPath, const QString &fileSystem, unsigned long flags)
{
    Q_UNUSED(flags)
    QString medium;
    {
        QMutexLocker lock(&d->mutex);
        QString actual;
        const QString directory = d->mediumDirectory(device, &actual);
        if (directory.isEmpty())
            return device.contains(QLatin1String("cd")) || device.contains(QLatin1String("/dev/sr")) ? ENOMEDIUM : ENXIO;
        if (actual.isEmpty() || actual != fileSystem)
            return EINVAL; // the superblock is not of that type
        if (d->mountTable.contains(mountPath))
            return EBUSY;
        if (!SimMediaPrivate::placeMountPoint(mountPath, directory))
            return EBUSY;
        d->mountTable.insert(mountPath, device);
    }
    Q_EMIT mounted(device, mountPath);
    return 0;
}

int SimMedia::unmount(const QString &mountPath)
{
    {
        QMutexLocker lock(&d->mutex);
        if (!d->mountTable.contains(mountPath))
            return EINVAL;
        d->mountTable.remove(mountPath);
        SimMediaPrivate::placeMountPoint(mountPath, QString());
    }
    Q_EMIT unmounted(mountPath);
    return 0;
}

int SimMedia::openMonitor()
{
    int fds[2];
    if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0)
        return -1;
    QMutexLocker lock(&d->mutex);
    d->monitors.insert(fds[0], Monitor{fds[1], {}});
    return fds[0];
}

void SimMedia::closeMonitor(int fd)
{
    QMutexLocker lock(&d->mutex);
    const auto it = d->monitors.find(fd);
    if (it == d->monitors.end())
        return;
    ::close(it->writeFd);
    ::close(fd);
    d->monitors.erase(it);
}

bool SimMedia::takeEvent(int fd, BlockDeviceEvent *event)
{
    QMutexLocker lock(&d->mutex);
    const auto it = d->monitors.find(fd);
    if (it == d->monitors.end() || it->events.isEmpty())
        return false;
    char byte;
    if (::read(fd, &byte, 1) != 1)
        return false;
    *event = it->events.dequeue();
    return true;
}

bool SimMedia::drivePresent() const
{
    QMutexLocker lock(&d->mutex);
    return d->drivePresent;
}

int SimMedia::takeMediaChanged()
{
    QMutexLocker lock(&d->mutex);
    const bool changed = d->mediaChangedFlag;
    d->mediaChangedFlag = false;
    return changed ? 1 : 0;
}

int SimMedia::driveStatus() const
{
    QMutexLocker lock(&d->mutex);
    if (d->trayOpen)
        return CdDrive::kTrayOpen;
    if (d->notReady)
        return CdDrive::kDriveNotReady;
    return d->disc == NoDisc ? CdDrive::kNoDisc : CdDrive::kDiscOk;
}

int SimMedia::discStatus() const
{
    QMutexLocker lock(&d->mutex);
    if (d->trayOpen || d->disc == NoDisc)
        return CdDrive::kNoDisc;
    return d->disc == AudioDisc ? CdDrive::kAudio : CdDrive::kData1;
}

bool SimMedia::ejectCommand()
{
    {
        QMutexLocker lock(&d->mutex);
        ++d->ejectCommands;
        if (d->ejectFailures > 0) {
            --d->ejectFailures;
            return false;
        }
    }
    // The tray opens; the reader takes the disc.
    removeDisc();
    return true;
}

} // namespace Platform
