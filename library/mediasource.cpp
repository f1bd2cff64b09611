// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/mediasource.h"

#include "input/board.h"
#include "library/logcategory.h"

#include <QDebug>

MediaSource::MediaSource() = default;

MediaSource::MediaSource(const QString &device)
{
    if (device.isEmpty()) {
        qCDebug(lcLibrary).nospace() << Q_FUNC_INFO << ": empty device added";
        return;
    }
    m_device = device;
    if (device.contains(QLatin1String("/dev/cd-rom")) || device.contains(QLatin1String("/dev/sr"))) {
        m_mediaType = MediaTypeCdRom;
        m_mountPath = QStringLiteral("/media/cd");
    } else if (device.contains(QLatin1String("/dev/mmcblk"))) {
        m_mediaType = MediaTypeMmc;
        m_mountPath = QStringLiteral("/media/mmc");
    } else if (device.contains(QLatin1String("/dev/sd"))) {
        m_mediaType = MediaTypeUsb;
        m_mountPath = QStringLiteral("/media/usb");
    }
}

bool MediaSource::isBootDevice() const
{
    return isBootDevice(Board::getInstance()->bootDevice());
}

bool MediaSource::isBootDevice(const QString &bootDevice) const
{
    return !bootDevice.isEmpty() && m_device.contains(bootDevice, Qt::CaseSensitive);
}

uint MediaSource::classicHash(const QString &text)
{
    quint32 h = 0;
    for (const QChar c : text) {
        h = (h << 4) + c.unicode();
        h ^= (h & 0xF0000000u) >> 23;
        h &= 0x0FFFFFFFu;
    }
    return h;
}

quint64 MediaSource::mediaId() const
{
    if (m_fileInfoList.isEmpty()) {
        qCDebug(lcLibrary) << "[MediaSource::mediaId] no files available, mediaID is 0";
        return 0;
    }

    quint64 totalSize = 0;
    QString path;
    for (const QFileInfo &info : m_fileInfoList) {
        totalSize += quint64(info.size());
        if (path.isEmpty() && info.suffix().toLower() == QLatin1String("mp3"))
            path = info.absoluteFilePath();
    }
    if (path.isEmpty())
        path = m_fileInfoList.first().absoluteFilePath();

    const quint64 id = (quint64(classicHash(path)) << 32) | (totalSize << 16) | quint64(m_fileInfoList.size());
    qCDebug(lcLibrary) << "[MediaSource::mediaId] MediaType:" << int(m_mediaType) << "id:" << id;
    return id;
}

bool MediaSource::operator==(const MediaSource &other) const
{
    return m_device == other.m_device && m_mediaType == other.m_mediaType;
}
