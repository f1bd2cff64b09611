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
#include <QPointer>
#include <QSet>
#include <QSettings>
#include <QThread>
#include <QTimer>

namespace {
const QString kCdDevice = QStringLiteral("/dev/cd-rom");
const QStringList kFileNameFilters = {QStringLiteral("ncc.html"), QStringLiteral("*.opf"), QStringLiteral("*.mp3"), QStringLiteral("*.epub")};
} // namespace

class MediaClassPrivate
{
public:
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

    MediaClass *const q;
    int cdromStatus = 5;
    int activeTasks = 0;
    QElapsedTimer notReadySince;
    CdRomWorker *worker = nullptr;
    QThread *workerThread = nullptr;
    std::unique_ptr<UdevClass> udev;
    UdevMonitor *monitor = nullptr;
    QSet<QString> searching; // devices being searched now
    QSet<QString> removedWhileSearched;
};

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
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);

    if (priority == MediaSource::MediaTypeUsb || priority == MediaSource::MediaTypeMmc) {
        if (!prioritySource.device().isEmpty()) {
            searchFilesMediaSource(prioritySource);
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
        searchFilesMediaSource(source);
        Delay::msec(kSearchSpacingMsec);
        if (!self)
            return;
    }

    QTimer::singleShot(Platform::scaledMsec(100), this, [this] {
        d->monitor->start();
        d->startWorkerThread();
    });
    --d->activeTasks;
    qCDebug(lcLibrary) << "[MediaClass::waitForPriorityDevice] active tasks:" << d->activeTasks;
}

void MediaClass::ejectCd()
{
    qCDebug(lcLibrary) << "[MediaClass::ejectCd]";
    QTimer::singleShot(Platform::scaledMsec(10), d->worker, [worker = d->worker] { worker->eject(); });
}

void MediaClass::cdromStatusChanged(int status)
{
    qCDebug(lcLibrary) << "[MediaClass::cdromStatusChanged] status:" << status;
    const int previous = d->cdromStatus;
    d->cdromStatus = status;
    if (status == 0)
        d->notReadySince.start();

    MediaSource source(kCdDevice);
    switch (status) {
    case 2:
        source.setMimeType(MediaSource::MimeTypeCdda);
        source.setMountPath(QStringLiteral("cdda://"));
        Q_EMIT mediaSourceInserted(source);
        break;
    case 3:
        source.setMimeType(MediaSource::MimeTypeFileSystem);
        searchFilesMediaSource(source);
        break;
    case 1:
        if (previous != 5) {
            MediaSourceManager(source).unmount();
            Q_EMIT mediaSourceRemoved(source);
        }
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
    qCDebug(lcLibrary) << "[MediaClass::udevDeviceAdded]:" << device.devNode();
    searchFilesMediaSource(source);
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
    if (d->searching.contains(source.device()))
        d->removedWhileSearched.insert(source.device());
    MediaSourceManager(source).unmount();
    Q_EMIT mediaSourceRemoved(source);
}

void MediaClass::searchFilesMediaSource(const MediaSource &mediaSource)
{
    qCDebug(lcLibrary) << "[MediaClass::searchFilesMediaSource] type of source:" << int(mediaSource.mediaType());
    auto *manager = new MediaSourceManager(mediaSource);
    manager->setFileNameFilters(kFileNameFilters);
    auto *thread = new QThread;
    manager->moveToThread(thread);
    connect(thread, &QThread::started, manager, &MediaSourceManager::startSearchingFiles);
    connect(manager, &MediaSourceManager::finished, thread, &QThread::quit);
    connect(manager, &MediaSourceManager::finished, manager, &QObject::deleteLater);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    connect(manager, &MediaSourceManager::readySearchingFiles, this, &MediaClass::searchingFilesReady, Qt::QueuedConnection);

    d->searching.insert(mediaSource.device());
    ++d->activeTasks;
    qCDebug(lcLibrary) << "[MediaClass::searchFilesMediaSource] active tasks:" << d->activeTasks;
    thread->start(QThread::LowestPriority);
}

void MediaClass::searchingFilesReady(const MediaSource &mediaSource)
{
    d->searching.remove(mediaSource.device());
    if (d->removedWhileSearched.remove(mediaSource.device())) {
        // Its removal has been reported already; an insertion now would announce a medium that is gone.
        qCDebug(lcLibrary) << "[MediaClass::searchingFilesReady] mediaSource was removed while it was searched:" << mediaSource.device();
        MediaSourceManager(mediaSource).unmount();
    } else if (mediaSource.fileInfoList().isEmpty()) {
        qCDebug(lcLibrary) << "[MediaClass::searchingFilesReady] mediaSource is empty.";
        MediaSourceManager(mediaSource).unmount();
        Q_EMIT mediaSourceUnsupported(mediaSource);
    } else {
        qCDebug(lcLibrary) << "[MediaClass::searchingFilesReady] files:" << mediaSource.fileInfoList().size();
        Q_EMIT mediaSourceInserted(mediaSource);
    }
    --d->activeTasks;
    qCDebug(lcLibrary) << "[MediaClass::searchingFilesReady] active tasks:" << d->activeTasks;
}
