// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_LIBRARY_MEDIASOURCE_H
#define QUIMBO_LIBRARY_MEDIASOURCE_H

#include <QFileInfo>
#include <QList>
#include <QMetaType>
#include <QString>

/**
 * One removable medium (USB stick, SD card, CD) as the rest of the system
 * sees it. A plain value: copied across threads in queued signals, never
 * shared. Two values are equal when device and media type are equal.
 */
class MediaSource
{
public:
    /** Kind of medium; bit values, so that a mask can select several kinds. */
    enum MediaType {
        MediaTypeNone = 0,
        MediaTypeCdRom = 1,
        MediaTypeUsb = 2,
        MediaTypeMmc = 4,
    };

    /** How the medium is read. */
    enum MimeType {
        MimeTypeUndefined = -1,
        MimeTypeCdda = 0, ///< audio CD, played through "cdda://", never mounted
        MimeTypeFileSystem = 1, ///< a mountable file system holding files
    };

    MediaSource();
    /** Derives type and mount path from the device node ("/dev/sr0" → CD, "/media/cd"). */
    explicit MediaSource(const QString &device);

    bool isMounted() const { return m_mounted; }
    void setMounted(bool mounted) { m_mounted = mounted; }

    MediaType mediaType() const { return m_mediaType; }
    void setMediaType(MediaType type) { m_mediaType = type; }

    MimeType mimeType() const { return m_mimeType; }
    void setMimeType(MimeType type) { m_mimeType = type; }

    QString device() const { return m_device; }
    void setDevice(const QString &device) { m_device = device; }

    QString fileSystem() const { return m_fileSystem; }
    void setFileSystem(const QString &fileSystem) { m_fileSystem = fileSystem; }

    QString mountPath() const { return m_mountPath; }
    void setMountPath(const QString &mountPath) { m_mountPath = mountPath; }

    QList<QFileInfo> fileInfoList() const { return m_fileInfoList; }
    void addFileInfo(const QFileInfo &fileInfo) { m_fileInfoList.append(fileInfo); }

    /** True when the device is (a partition of) the medium the system runs from. */
    bool isBootDevice() const;
    /** True when the device contains bootDevice as a case-sensitive substring. */
    bool isBootDevice(const QString &bootDevice) const;

    /**
     * Identifier of the medium's content: the hash of the first MP3 (else the
     * first file) path, the total size and the number of files, OR-ed
     * together. 0 for a medium without files. Stable across platforms and
     * runs, since it is stored in files.
     */
    quint64 mediaId() const;

    /**
     * The 32-bit string hash that stored identifiers are made with. Not
     * qHash: Qt 6 changed that function and made its width follow size_t, so
     * identifiers written into markers and resume marks by earlier firmware
     * would no longer match. This one is the same on every platform.
     */
    static uint classicHash(const QString &text);

    bool operator==(const MediaSource &other) const;
    bool operator!=(const MediaSource &other) const { return !(*this == other); }

private:
    bool m_mounted = false;
    MediaType m_mediaType = MediaTypeNone;
    MimeType m_mimeType = MimeTypeUndefined;
    QString m_device;
    QString m_fileSystem;
    QString m_mountPath;
    QList<QFileInfo> m_fileInfoList;
};

Q_DECLARE_METATYPE(MediaSource)

#endif
