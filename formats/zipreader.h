// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FORMATS_ZIPREADER_H
#define QUIMBO_FORMATS_ZIPREADER_H

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QIODevice>
#include <QString>
#include <QVector>

#include <functional>
#include <memory>

class ZipReaderPrivate;

/**
 * Read-only access to a single-disk ZIP archive: lists its entries and returns
 * the content of one entry (stored or deflated). The archive comes from
 * anywhere (EPUB books, update packages on a stick), so nothing in it is
 * trusted; a bad archive gives empty results and a log line. Not thread-safe;
 * used on the thread that created it.
 */
class ZipReader
{
public:
    enum Status {
        NoError = 0,
        FileReadError = 1,
        FileOpenError = 2,
        FilePermissionsError = 3,
        FileError = 4,
    };

    /** Why the last fileData() or writeEntry() gave nothing. */
    enum EntryError {
        NoEntryError = 0,
        NoSuchEntry,
        CorruptEntry,
        EntryTooLarge,
        CrcMismatch,
        UnsupportedEntry, // a newer ZIP version, encryption or an unknown compression method
        WriteFailed,
    };

    struct FileInfo
    {
        FileInfo();
        bool isValid() const { return isDir || isFile || isSymLink; }

        QString filePath;
        uint isDir : 1;
        uint isFile : 1;
        uint isSymLink : 1;
        QFile::Permissions permissions;
        uint crc32;
        qint64 size;
        QDateTime lastModified;
    };

    /** Receives an entry's bytes in order, one chunk at a time; false stops the extraction. */
    using Sink = std::function<bool(const char *, qint64)>;

    /** The most one entry may inflate to; larger entries are refused with a log line. */
    static constexpr qint64 kMaxEntrySize = qint64(256) * 1024 * 1024;

    /** Opens the archive file itself (read-only in practice) and owns it. */
    explicit ZipReader(const QString &archive, QIODevice::OpenMode mode = QIODevice::ReadOnly);
    /** Reads from @p device, which stays owned by the caller and must outlive the reader. */
    explicit ZipReader(QIODevice *device);
    ~ZipReader();

    ZipReader(const ZipReader &) = delete;
    ZipReader &operator=(const ZipReader &) = delete;

    QIODevice *device() const;
    bool isReadable() const;
    bool exists() const;
    Status status() const;

    QVector<FileInfo> fileInfoList() const;
    int count() const;
    FileInfo entryInfoAt(int index) const;

    /**
     * The uncompressed bytes of the first entry named @p fileName (case-sensitive), or
     * empty. An entry whose bytes do not match its CRC-32 gives empty too.
     */
    QByteArray fileData(const QString &fileName) const;

    /**
     * Streams the entry named @p fileName into @p out in chunks, so an entry larger than
     * what should sit in memory never does. Returns false on any failure (entryError()
     * says which); @p out may then hold part of the entry, so the caller writes to a
     * temporary place and keeps it only on success. The CRC-32 is checked at the end.
     */
    bool writeEntry(const QString &fileName, QIODevice *out) const;

    /**
     * Hands the entry named @p fileName to @p sink chunk by chunk, for a reader that
     * digests or copies it on the way. Fails as writeEntry() does; the CRC-32 is only
     * known at the end, so a sink must not act on the bytes before this returns true.
     */
    bool readEntry(const QString &fileName, const Sink &sink) const;

    /** Why the last fileData() or writeEntry() failed; NoEntryError after a success. */
    EntryError entryError() const;

    /**
     * A sentence on the last failure, for a person: why the last entry could not be
     * read, or else why the archive could not be read at all. Empty when nothing failed.
     */
    QString errorString() const;

    /** The archive comment (after the central directory was scanned). */
    QByteArray comment() const;

    void close();

private:
    const std::unique_ptr<ZipReaderPrivate> d;
};

#endif
