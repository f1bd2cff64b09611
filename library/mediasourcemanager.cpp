// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/mediasourcemanager.h"

#include "library/logcategory.h"
#include "platform/mounter.h"
#include "platform/paths.h"
#include "platform/platform.h"
#include "platform/systemactions.h"
#include "system/delay.h"

#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMutexLocker>
#include <QTimer>

#include <cstring>

namespace {

constexpr int kMountAttempts = 5;
constexpr int kExFatTimeoutMsec = 2000;

const char *const kMountPaths[] = {"/media/cd", "/media/usb", "/media/mmc"};
const char *const kLogFiles[] = {"log", "log1", "dmesg_startup", "dmesg_shutdown"};

} // namespace

MediaSourceManager::MediaSourceManager(const MediaSource &mediaSource, QObject *parent)
    : QObject(parent)
    , m_mediaSource(mediaSource)
{
}

MediaSourceManager::~MediaSourceManager() = default;

bool MediaSourceManager::mount()
{
    QMutexLocker locker(&m_mutex);
    if (m_mediaSource.isMounted())
        return true;
    if (m_mediaSource.mimeType() != MediaSource::MimeTypeFileSystem) {
        qCDebug(lcLibrary) << "[MediaSourceManager::mount] wrong mediaSource has wrong mimeType:" << int(m_mediaSource.mimeType());
        return false;
    }
    const QString device = m_mediaSource.device();
    const QString mountPath = m_mediaSource.mountPath();
    bool mounted = false;
    for (int attempt = 0; attempt < kMountAttempts && !mounted; ++attempt) {
        switch (m_mediaSource.mediaType()) {
        case MediaSource::MediaTypeUsb:
        case MediaSource::MediaTypeMmc:
            mounted = m_mediaSource.fileSystem() == QLatin1String("exfat") ? mountExFat(device, mountPath) : mountFat(device, mountPath);
            break;
        case MediaSource::MediaTypeCdRom:
            mounted = mountISO9660(device, mountPath);
            break;
        case MediaSource::MediaTypeNone:
            attempt = kMountAttempts; // nowhere to mount it
            break;
        }
    }
    m_mediaSource.setMounted(mounted);
    qCDebug(lcLibrary) << "[MediaSourceManager::mount]" << device << (mounted ? "is mounted" : "failed to mount");
    return mounted;
}

bool MediaSourceManager::mountFat(const QString &device, const QString &mountPath)
{
    const int error = Platform::mounter()->mount(device, mountPath, QStringLiteral("vfat"), Platform::Mounter::kNoAccessTime, QString());
    if (error != 0)
        qCDebug(lcLibrary) << "[MediaSourceManager::mountFat]" << device << std::strerror(error);
    return error == 0;
}

bool MediaSourceManager::mountExFat(const QString &device, const QString &mountPath)
{
    const int exitCode = Platform::systemActions()->executeBounded(QStringLiteral("mount.exfat"), {Platform::path(device), Platform::path(mountPath)},
                                                                    kExFatTimeoutMsec);
    if (exitCode == Platform::SystemActions::kTimedOut)
        qCDebug(lcLibrary) << "[MediaSourceManager::mountExFat] qprocess didn't finish";
    return exitCode == 0;
}

bool MediaSourceManager::mountISO9660(const QString &device, const QString &mountPath)
{
    const int error = Platform::mounter()->mount(device, mountPath, QStringLiteral("iso9660"), Platform::Mounter::kReadOnly,
                                                 QStringLiteral("norock,check=relaxed"));
    if (error == 0)
        return true;
    qCDebug(lcLibrary) << "[MediaSourceManager::mountISO9660]" << device << std::strerror(error);
    // A half-done mount of a disc that is still spinning up would block the next try.
    Platform::mounter()->unmount(mountPath, true);
    Delay::msec(100);
    return false;
}

bool MediaSourceManager::unmount()
{
    QMutexLocker locker(&m_mutex);
    if (m_mediaSource.mountPath().isEmpty()) {
        qCDebug(lcLibrary) << "[MediaSourceManager::unmount] we can't unmount, no mountPath available";
        return false;
    }
    const bool unmounted = Platform::mounter()->unmount(m_mediaSource.mountPath(), true) == 0;
    if (unmounted)
        m_mediaSource.setMounted(false);
    qCDebug(lcLibrary) << "[MediaSourceManager::unmount]" << m_mediaSource.device() << (unmounted ? "unmount succesfull" : "failed to unmount");
    return unmounted;
}

void MediaSourceManager::unmountAll()
{
    for (const char *mountPath : kMountPaths)
        Platform::mounter()->unmount(QLatin1String(mountPath), false);
}

bool MediaSourceManager::systemBackup()
{
    if (!mount()) {
        qCDebug(lcLibrary) << "[MediaSourceManager::systemBackup] failed to mount media source";
        return false;
    }
    const QDir medium(Platform::path(m_mediaSource.mountPath()));
    for (const char *name : kLogFiles)
        QFile::remove(medium.filePath(QLatin1String(name)));
    auto copy = [&medium](const char *name) {
        return QFile::copy(Platform::path(QStringLiteral("/root/quimbo/") + QLatin1String(name)), medium.filePath(QLatin1String(name)));
    };
    if (!copy("log")) {
        qCDebug(lcLibrary) << "[MediaSourceManager::systemBackup] failed to copy the log file to mediasource";
        return false;
    }
    if (QFile::exists(Platform::path(QStringLiteral("/root/quimbo/log1"))))
        copy("log1");
    copy("dmesg_startup");
    copy("dmesg_shutdown");
    Platform::systemActions()->sync();
    Delay::msec(500);
    return true;
}

void MediaSourceManager::setFileNameFilters(const QStringList &filters)
{
    m_fileNameFilters = filters;
}

QStringList MediaSourceManager::fileNameFilters() const
{
    return m_fileNameFilters;
}

void MediaSourceManager::startSearchingFiles()
{
    if (mount()) {
        // Unsorted, in the order the file system lists each folder; links are
        // neither listed nor followed, so a link loop on a stick ends nowhere,
        // and hidden folders (a desktop's trash) are not entered.
        QDirIterator it(Platform::path(m_mediaSource.mountPath()), m_fileNameFilters,
                        QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            const QFileInfo info = it.fileInfo();
            if (!info.isDir())
                m_mediaSource.addFileInfo(info);
        }
    }
    Q_EMIT readySearchingFiles(m_mediaSource);
    QTimer::singleShot(Platform::scaledMsec(100), this, &MediaSourceManager::finished);
}

MediaSource MediaSourceManager::mediaSource() const
{
    return m_mediaSource;
}
