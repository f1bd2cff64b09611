// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/mediaclass.h"

#include "library/cdromworker.h"
#include "library/logcategory.h"
#include "library/mediasourcemanager.h"
#include "library/udevclass.h"
#include "library/udevenumerate.h"
#include "library/udevmonitor.h"
#include "platform/platform.h"
#include "system/delay.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QPointer>
#include <QSettings>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {
// The instance that watches the media since power-up (another one may scan for the update).
QPointer<MediaClass> s_watching;
const QString kCdDevice = QStringLiteral("/dev/cd-rom");
const QStringList kFileNameFilters = {QStringLiteral("ncc.html"), QStringLiteral("*.opf"), QStringLiteral("*.mp3"), QStringLiteral("*.epub")};
} // namespace

class MediaClassPrivate
{
public:
    struct Search {
        int serial;
        MediaSource source;
        bool stale; // the medium went while it was searched
    };

    explicit MediaClassPrivate(MediaClass *qq)
        : q(qq)
    {
    }

    void startWorkerThread()
    {
        if (workerThread && !workerThread->isRunning())
            workerThread->start();
    }

    /** A medium as a fresh storage scan finds it: file system filled, never the boot medium. */
    QList<MediaSource> storageSources() const
    {
        QList<MediaSource> sources;
        UdevEnumerate enumerate(udev.get());
        for (const std::unique_ptr<UdevDevice> &device : enumerate.scanStorageDevices()) {
            MediaSource source(device->devNode());
            source.setMimeType(MediaSource::MimeTypeFileSystem);
            source.setFileSystem(device->property(QStringLiteral("ID_FS_TYPE")));
            if (!source.isBootDevice())
                sources << source;
        }
        return sources;
    }

    /** Being searched (and not gone since) or reported present. */
    bool isKnown(const QString &device) const
    {
        for (const Search &search : searches) {
            if (!search.stale && search.source.device() == device)
                return true;
        }
        for (const MediaSource &source : present) {
            if (source.device() == device)
                return true;
        }
        return false;
    }

    bool mountPathInUse(const QString &mountPath) const
    {
        for (const Search &search : searches) {
            if (!search.stale && search.source.mountPath() == mountPath)
                return true;
        }
        for (const MediaSource &source : present) {
            if (source.mountPath() == mountPath)
                return true;
        }
        return false;
    }

    /**
     * Whether a removed device takes a known medium with it: the same node,
     * or the disk a known partition is on (sda for sda1). The drive's own
     * node going takes any disc with it.
     */
    static bool takesWith(const MediaSource &removed, const MediaSource &known)
    {
        if (removed.mediaType() != known.mediaType())
            return false;
        return removed.mediaType() == MediaSource::MediaTypeCdRom || known.device().startsWith(removed.device());
    }

    void startStorageSearch(const MediaSource &source, const char *function)
    {
        if (isKnown(source.device())) {
            qCDebug(lcLibrary).noquote() << function << "already searched or present:" << source.device();
            return;
        }
        q->searchFilesMediaSource(source);
    }

    void mediumVanished(int mediaType)
    {
        for (const MediaSource &source : std::as_const(present)) {
            if (source.mediaType() == mediaType) {
                mediumGone(source, "[MediaClass::bookVanished]");
                return;
            }
        }
        // Not known as present (searched before a restart of the watch): the
        // shelf still drops the books of that kind of medium.
        MediaSource gone;
        gone.setMediaType(MediaSource::MediaType(mediaType));
        Q_EMIT q->mediaSourceRemoved(gone);
    }

    void searchReported(int serial, const MediaSource &found);
    void mediumGone(const MediaSource &removed, const char *function);
    void releaseHeldReports();

    MediaClass *const q;
    int cdromStatus = 5;
    int activeTasks = 0;
    QElapsedTimer notReadySince;
    CdRomWorker *worker = nullptr;
    QThread *workerThread = nullptr;
    std::unique_ptr<UdevClass> udev;
    UdevMonitor *monitor = nullptr;
    int lastSerial = 0;
    QList<Search> searches; // running, in start order
    QList<MediaSource> present; // reported with books or as an audio CD

    // At power-up: media plugged in during the priority wait are searched
    // after it, and nothing is reported before the priority medium.
    bool holdingHotPlug = false;
    QList<MediaSource> heldInsertions;
    int prioritySerial = 0; // the priority medium's search while it runs
    QList<MediaSource> heldReports;
};

void MediaClassPrivate::searchReported(int serial, const MediaSource &found)
{
    const auto it = std::find_if(searches.begin(), searches.end(), [serial](const Search &search) { return search.serial == serial; });
    if (it == searches.end())
        return;
    const bool stale = it->stale;
    searches.erase(it);
    if (stale) {
        // Its removal has been reported already; an insertion now would
        // announce a medium that is gone. The mount it may have made after
        // the removal goes too, unless a newer medium uses that mount point.
        qCDebug(lcLibrary) << "[MediaClass::searchingFilesReady] mediaSource was removed while it was searched:" << found.device();
        if (!mountPathInUse(found.mountPath()))
            MediaSourceManager(found).unmount();
        --activeTasks;
        qCDebug(lcLibrary) << "[MediaClass::searchingFilesReady] active tasks:" << activeTasks;
        return;
    }
    if (prioritySerial != 0 && serial != prioritySerial) {
        qCDebug(lcLibrary) << "[MediaClass::searchingFilesReady] held until the priority medium has reported:" << found.device();
        heldReports.append(found);
        // A priority medium whose search hangs must not hide the others for ever.
        if (heldReports.size() == 1) {
            const int waitingFor = prioritySerial;
            QTimer::singleShot(Platform::scaledMsec(MediaClass::kPriorityHoldMsec), q, [this, waitingFor] {
                if (prioritySerial != waitingFor)
                    return;
                qCDebug(lcLibrary) << "[MediaClass::searchingFilesReady] the priority medium takes too long: the others are reported";
                prioritySerial = 0;
                releaseHeldReports();
            });
        }
        return;
    }
    q->searchingFilesReady(found);
    if (serial == prioritySerial) {
        prioritySerial = 0;
        releaseHeldReports();
    }
}

void MediaClassPrivate::releaseHeldReports()
{
    const QList<MediaSource> held = std::exchange(heldReports, {});
    for (const MediaSource &found : held)
        q->searchingFilesReady(found);
}

void MediaClassPrivate::mediumGone(const MediaSource &removed, const char *function)
{
    QList<MediaSource> gone;
    auto note = [&gone](const MediaSource &source) {
        if (!gone.contains(source))
            gone << source;
    };
    for (Search &search : searches) {
        if (search.stale || !takesWith(removed, search.source))
            continue;
        search.stale = true;
        note(search.source);
        if (search.serial == prioritySerial)
            prioritySerial = 0;
    }
    for (qsizetype i = present.size() - 1; i >= 0; --i) {
        if (takesWith(removed, present.at(i)))
            note(present.takeAt(i));
    }
    heldInsertions.removeIf([&removed](const MediaSource &source) { return takesWith(removed, source); });
    const qsizetype heldBefore = heldReports.size();
    heldReports.removeIf([&removed](const MediaSource &source) { return takesWith(removed, source); });
    activeTasks -= int(heldBefore - heldReports.size());

    if (gone.isEmpty()) {
        // A disk after its partition, or a medium that was never usable: the
        // reader has nothing to be told, and its mount point may be another's.
        qCDebug(lcLibrary).noquote() << function << "no medium in use on" << removed.device();
    }
    for (const MediaSource &source : std::as_const(gone)) {
        MediaSourceManager(source).unmount();
        Q_EMIT q->mediaSourceRemoved(source);
    }
    if (prioritySerial == 0)
        releaseHeldReports();
}

MediaClass::MediaClass(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<MediaClassPrivate>(this))
{
    d->worker = new CdRomWorker;
    d->workerThread = new QThread;
    d->worker->moveToThread(d->workerThread);
    connect(d->worker, &CdRomWorker::finished, d->workerThread, &QThread::quit);
    connect(d->worker, &CdRomWorker::statusChanged, this, &MediaClass::cdromStatusChanged, Qt::QueuedConnection);
    connect(d->workerThread, &QThread::started, d->worker, &CdRomWorker::start);

    d->udev = std::make_unique<UdevClass>();
    d->monitor = new UdevMonitor(d->udev.get(), this);
    if (d->monitor->initialize()) {
        d->monitor->filterSubSystemDevType(QStringLiteral("block"), QStringLiteral("partition"));
        d->monitor->filterSubSystemDevType(QStringLiteral("block"), QStringLiteral("disk"));
    }
    connect(d->monitor, &UdevMonitor::deviceAdded, this, &MediaClass::udevDeviceAdded);
    connect(d->monitor, &UdevMonitor::deviceRemoved, this, &MediaClass::udevDeviceRemoved);

    MediaSourceManager::unmountAll();
}

MediaClass::~MediaClass()
{
    if (d->workerThread->isRunning()) {
        QMetaObject::invokeMethod(d->worker, &CdRomWorker::stop, Qt::QueuedConnection);
        d->workerThread->quit();
        d->workerThread->wait();
    }
    delete d->worker;
    delete d->workerThread;
    MediaSourceManager::unmountAll();
}

bool MediaClass::isBusy() const
{
    // A drive that never gets ready must not keep the keys locked for ever.
    const bool driveSpinningUp = d->cdromStatus == 0 && d->notReadySince.isValid()
        && d->notReadySince.elapsed() < Platform::scaledMsec(kNotReadyBusyMsec);
    return d->activeTasks != 0 || driveSpinningUp;
}

int MediaClass::cdromStatus() const
{
    return d->cdromStatus;
}

QList<MediaSource> MediaClass::mediaSources(int mediaTypeMask) const
{
    QList<MediaSource> sources;
    for (const MediaSource &source : d->storageSources()) {
        if ((int(source.mediaType()) & ~mediaTypeMask) == 0)
            sources << source;
    }
    return sources;
}

void MediaClass::waitForPriorityDevice()
{
    ++d->activeTasks;
    QSettings settings;
    const int priority = settings.value(QStringLiteral("lastPlayedMedia"), 0).toInt();
    // A priority is honoured for one start only.
    settings.setValue(QStringLiteral("lastPlayedMedia"), 0);
    settings.sync();
    qCDebug(lcLibrary) << "[MediaClass::waitForPriorityDevice] device priority:" << priority;

    // Watching starts before the scan: a medium pulled or plugged in while
    // the others are searched is never missed. Insertions wait for the end
    // of the search; removals count at once.
    d->holdingHotPlug = true;
    d->monitor->start();
    s_watching = this;

    MediaSource prioritySource;
    QList<MediaSource> otherSources;
    for (const MediaSource &source : d->storageSources()) {
        if (source.mediaType() == MediaSource::MediaTypeCdRom)
            continue;
        if (source.mediaType() == priority)
            prioritySource = source;
        else
            otherSources << source;
    }

    QPointer<MediaClass> self(this);
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    auto arrived = [&loop, &timer] {
        timer.stop();
        loop.quit();
    };
    connect(this, &MediaClass::mediaSourceInserted, &loop, arrived);
    connect(this, &MediaClass::mediaSourceUnsupported, &loop, arrived);
    connect(this, &MediaClass::mediaSourceRemoved, &loop, arrived);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);

    if (priority == MediaSource::MediaTypeUsb || priority == MediaSource::MediaTypeMmc) {
        if (!prioritySource.device().isEmpty()) {
            d->prioritySerial = searchFilesMediaSource(prioritySource);
            timer.start(Platform::scaledMsec(kStorageWaitMsec));
            loop.exec();
        } else {
            qCDebug(lcLibrary) << "[MediaClass::waitForPriorityDevice] mmc/usb not available";
        }
    } else if (priority == MediaSource::MediaTypeCdRom) {
        QTimer::singleShot(Platform::scaledMsec(10), this, [this] { d->startWorkerThread(); });
        timer.start(Platform::scaledMsec(kCdWaitMsec));
        loop.exec();
    }
    if (!self)
        return;

    for (const MediaSource &source : std::as_const(otherSources)) {
        d->startStorageSearch(source, "[MediaClass::waitForPriorityDevice]");
        Delay::msec(kSearchSpacingMsec);
        if (!self)
            return;
    }

    d->holdingHotPlug = false;
    for (const MediaSource &source : std::exchange(d->heldInsertions, {}))
        d->startStorageSearch(source, "[MediaClass::waitForPriorityDevice]");
    QTimer::singleShot(Platform::scaledMsec(100), this, [this] { d->startWorkerThread(); });
    --d->activeTasks;
    qCDebug(lcLibrary) << "[MediaClass::waitForPriorityDevice] active tasks:" << d->activeTasks;
}

bool MediaClass::bookVanished(const AudioBook &book)
{
    // A disc's going is always seen by the drive's poll; sticks and cards can go unreported.
    const bool stickOrCard = book.mediaType() == MediaSource::MediaTypeUsb || book.mediaType() == MediaSource::MediaTypeMmc;
    if (!book.isDefined() || !stickOrCard || book.url().isEmpty() || QFileInfo::exists(book.url()))
        return false;
    qCDebug(lcLibrary).noquote() << "[MediaClass::bookVanished] the files of the book are gone:" << book.url();
    if (MediaClass *media = s_watching.data()) {
        const int mediaType = book.mediaType();
        QMetaObject::invokeMethod(media, [media, mediaType] { media->d->mediumVanished(mediaType); }, Qt::QueuedConnection);
    }
    return true;
}

void MediaClass::ejectCd()
{
    qCDebug(lcLibrary) << "[MediaClass::ejectCd]";
    // The worker gives up after its last attempt; the reader must hear that
    // the disc is still in and get the keys back.
    QTimer::singleShot(Platform::scaledMsec(10), d->worker, [this, worker = d->worker] {
        if (worker->eject() == 0)
            return;
        QMetaObject::invokeMethod(
            this,
            [this] {
                qCDebug(lcLibrary) << "[MediaClass::ejectCd] the drive did not eject the disc";
                Q_EMIT ejectFailed();
            },
            Qt::QueuedConnection);
    });
}

void MediaClass::cdromStatusChanged(int status)
{
    qCDebug(lcLibrary) << "[MediaClass::cdromStatusChanged] status:" << status;
    const int previous = d->cdromStatus;
    d->cdromStatus = status;
    if (status == 0)
        d->notReadySince.start();

    MediaSource source(kCdDevice);
    // A disc swapped between two polls of the drive (the open tray unseen):
    // the old disc and its books go before the new one is reported.
    if ((status == 2 || status == 3) && (previous == 2 || previous == 3))
        d->mediumGone(source, "[MediaClass::cdromStatusChanged]");
    switch (status) {
    case 2:
        source.setMimeType(MediaSource::MimeTypeCdda);
        source.setMountPath(QStringLiteral("cdda://"));
        d->present.removeIf([](const MediaSource &known) { return known.mediaType() == MediaSource::MediaTypeCdRom; });
        d->present << source;
        Q_EMIT mediaSourceInserted(source);
        break;
    case 3:
        source.setMimeType(MediaSource::MimeTypeFileSystem);
        d->present.removeIf([](const MediaSource &known) { return known.mediaType() == MediaSource::MediaTypeCdRom; });
        searchFilesMediaSource(source);
        break;
    case 1:
        // Only a disc that was reported or is being searched goes: an empty
        // drive's tray, or the first report after start-up, takes nothing.
        if (previous != 5)
            d->mediumGone(source, "[MediaClass::cdromStatusChanged]");
        break;
    default:
        break;
    }
}

void MediaClass::udevDeviceAdded(const UdevDevice &device)
{
    MediaSource source(device.devNode());
    if (source.mediaType() == MediaSource::MediaTypeCdRom) {
        qCDebug(lcLibrary) << "[MediaClass::udevDeviceAdded] sata->usb cd-rom:" << device.devNode();
        d->cdromStatus = 5;
        return;
    }
    if (source.mediaType() != MediaSource::MediaTypeUsb && source.mediaType() != MediaSource::MediaTypeMmc) {
        qCDebug(lcLibrary) << "[MediaClass::udevDeviceAdded] unknown udev device added:" << device.devNode();
        return;
    }
    source.setMimeType(MediaSource::MimeTypeFileSystem);
    source.setFileSystem(device.property(QStringLiteral("ID_FS_TYPE")));
    if (source.fileSystem().isEmpty()) {
        qCDebug(lcLibrary) << "[MediaClass::udevDeviceAdded] storage device doesn't contain any filesystem" << device.devNode();
        return;
    }
    if (source.isBootDevice()) {
        qCDebug(lcLibrary) << "[MediaClass::udevDeviceAdded] boot device ignored:" << device.devNode();
        return;
    }
    if (d->holdingHotPlug) {
        qCDebug(lcLibrary) << "[MediaClass::udevDeviceAdded] searched after the start-up search:" << device.devNode();
        d->heldInsertions.removeIf([&source](const MediaSource &held) { return held.device() == source.device(); });
        d->heldInsertions << source;
        return;
    }
    qCDebug(lcLibrary) << "[MediaClass::udevDeviceAdded]:" << device.devNode();
    d->startStorageSearch(source, "[MediaClass::udevDeviceAdded]");
}

void MediaClass::udevDeviceRemoved(const UdevDevice &device)
{
    const MediaSource source(device.devNode());
    switch (source.mediaType()) {
    case MediaSource::MediaTypeUsb:
    case MediaSource::MediaTypeMmc:
        qCDebug(lcLibrary) << "[MediaClass::udevDeviceRemoved] storage deivce:" << device.devNode();
        break;
    case MediaSource::MediaTypeCdRom:
        qCDebug(lcLibrary) << "[MediaClass::udevDeviceRemoved] sata->usb cd-rom:" << device.devNode();
        break;
    case MediaSource::MediaTypeNone:
        break;
    }
    d->mediumGone(source, "[MediaClass::udevDeviceRemoved]");
}

int MediaClass::searchFilesMediaSource(const MediaSource &mediaSource)
{
    qCDebug(lcLibrary) << "[MediaClass::searchFilesMediaSource] type of source:" << int(mediaSource.mediaType());
    auto *manager = new MediaSourceManager(mediaSource);
    manager->setFileNameFilters(kFileNameFilters);
    auto *thread = new QThread;
    manager->moveToThread(thread);
    const int serial = ++d->lastSerial;
    connect(thread, &QThread::started, manager, &MediaSourceManager::startSearchingFiles);
    connect(manager, &MediaSourceManager::finished, thread, &QThread::quit);
    connect(manager, &MediaSourceManager::finished, manager, &QObject::deleteLater);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    // The serial tells this search's result from that of an earlier search of
    // the same device (a stick pulled and put back before it reported).
    connect(
        manager, &MediaSourceManager::readySearchingFiles, this, [this, serial](const MediaSource &found) { d->searchReported(serial, found); },
        Qt::QueuedConnection);

    d->searches.append({serial, mediaSource, false});
    ++d->activeTasks;
    qCDebug(lcLibrary) << "[MediaClass::searchFilesMediaSource] active tasks:" << d->activeTasks;
    thread->start(QThread::LowestPriority);
    return serial;
}

void MediaClass::searchingFilesReady(const MediaSource &mediaSource)
{
    if (mediaSource.fileInfoList().isEmpty()) {
        qCDebug(lcLibrary) << "[MediaClass::searchingFilesReady] mediaSource is empty.";
        MediaSourceManager(mediaSource).unmount();
        Q_EMIT mediaSourceUnsupported(mediaSource);
    } else {
        qCDebug(lcLibrary) << "[MediaClass::searchingFilesReady] files:" << mediaSource.fileInfoList().size();
        d->present << mediaSource;
        Q_EMIT mediaSourceInserted(mediaSource);
    }
    --d->activeTasks;
    qCDebug(lcLibrary) << "[MediaClass::searchingFilesReady] active tasks:" << d->activeTasks;
}
