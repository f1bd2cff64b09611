// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/mediasourcemanager.h"

#include <QDebug>
#include <QMutexLocker>

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
        qDebug() << "[MediaSourceManager::mount] wrong mediaSource has wrong mimeType:" << int(m_mediaSource.mimeType());
        return false;
    }
    qDebug() << "[MediaSourceManager::mount]" << m_mediaSource.device() << "failed to mount";
    return false;
}

bool MediaSourceManager::unmount()
{
    QMutexLocker locker(&m_mutex);
    if (m_mediaSource.mountPath().isEmpty()) {
        qDebug() << "[MediaSourceManager::unmount] we can't unmount, no mountPath available";
        return false;
    }
    m_mediaSource.setMounted(false);
    qDebug().noquote() << "[MediaSourceManager::unmount]" << m_mediaSource.device() << "unmount succesfull";
    return true;
}

bool MediaSourceManager::systemBackup()
{
    if (!mount()) {
        qDebug() << "[MediaSourceManager::systemBackup] failed to mount media source";
        return false;
    }
    return false;
}

MediaSource MediaSourceManager::mediaSource() const
{
    return m_mediaSource;
}
