// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Parses untrusted input: every length and offset is checked against the device size.
#include "formats/zipreader.h"

#include "formats/logcategory.h"

#include <QDebug>
#include <QHash>
#include <QStringDecoder>

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <functional>

namespace {

constexpr quint32 kLocalHeaderSignature = 0x04034b50;
constexpr quint32 kCentralHeaderSignature = 0x02014b50;
constexpr quint32 kEndOfDirectorySignature = 0x06054b50;
constexpr int kLocalHeaderSize = 30;
constexpr int kCentralHeaderSize = 46;
constexpr int kEndOfDirectorySize = 22;
constexpr int kMaxCommentSize = 65535;
constexpr int kSupportedVersion = 20;
// Deflate cannot expand one input byte to more than 1032 output bytes.
constexpr qint64 kMaxDeflateRatio = 1032;
constexpr qint64 kInflateChunk = 256 * 1024;

// Offsets inside the 42 bytes of a central directory entry after its signature.
enum CentralField {
    VersionMadeBy = 0,
    VersionNeeded = 2,
    GeneralPurposeFlags = 4,
    CompressionMethod = 6,
    LastModTime = 8,
    LastModDate = 10,
    Crc32 = 12,
    CompressedSize = 16,
    UncompressedSize = 20,
    FileNameLength = 24,
    ExtraFieldLength = 26,
    FileCommentLength = 28,
    DiskNumberStart = 30,
    InternalAttributes = 32,
    ExternalAttributes = 34,
    LocalHeaderOffset = 38,
};

quint16 readUShort(const uchar *p)
{
    return quint16(p[0] | (p[1] << 8));
}

quint32 readUInt(const uchar *p)
{
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}

QDateTime fromDosDateTime(quint16 date, quint16 time)
{
    const QDate d(1980 + ((date >> 9) & 0x7f), (date >> 5) & 0x0f, date & 0x1f);
    const QTime t(time >> 11, (time >> 5) & 0x3f, (time & 0x1f) * 2);
    return QDateTime(d, t);
}

enum HostOs {
    HostFAT = 0,
    HostUnix = 3,
    HostHPFS = 6,
    HostNTFS = 11,
    HostVFAT = 14,
};

enum UnixFileType {
    UnixTypeMask = 0170000,
    UnixDirectory = 0040000,
    UnixSymLink = 0120000,
};

QFile::Permissions modeToPermissions(quint32 mode)
{
    QFile::Permissions p;
    if (mode & 0400)
        p |= QFile::ReadOwner | QFile::ReadUser;
    if (mode & 0200)
        p |= QFile::WriteOwner | QFile::WriteUser;
    if (mode & 0100)
        p |= QFile::ExeOwner | QFile::ExeUser;
    if (mode & 040)
        p |= QFile::ReadGroup;
    if (mode & 020)
        p |= QFile::WriteGroup;
    if (mode & 010)
        p |= QFile::ExeGroup;
    if (mode & 04)
        p |= QFile::ReadOther;
    if (mode & 02)
        p |= QFile::WriteOther;
    if (mode & 01)
        p |= QFile::ExeOther;
    return p;
}

// Reads the central directory in large blocks: thousands of small reads through QIODevice cost more than the parsing.
class ChunkedReader
{
public:
    explicit ChunkedReader(QIODevice *device) : m_device(device) { }

    // Up to n bytes; fewer only at the end of the device.
    QByteArray read(qint64 n)
    {
        if (m_buffer.size() - m_pos < n) {
            m_buffer = m_buffer.mid(m_pos) + m_device->read(std::max<qint64>(n, kChunk));
            m_pos = 0;
        }
        const QByteArray out = m_buffer.mid(m_pos, n);
        m_pos += out.size();
        return out;
    }

private:
    static constexpr qint64 kChunk = 64 * 1024;
    QIODevice *m_device;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
};

struct FileHeader
{
    uchar h[kCentralHeaderSize - 4];
    QByteArray fileName;
    QByteArray extraField;
    QByteArray fileComment;

    quint16 field16(CentralField f) const { return readUShort(h + f); }
    quint32 field32(CentralField f) const { return readUInt(h + f); }
};

} // namespace

class ZipReaderPrivate
{
public:
    void scanFiles();
    QString decodedName(const FileHeader &header) const;
    ZipReader::FileInfo fillFileInfo(int index, QHash<quint32, QDateTime> *times = nullptr) const;
    using Sink = ZipReader::Sink;
    bool extract(const QString &fileName, const Sink &sink);
    bool inflateEntry(const FileHeader &header, qint64 dataStart, const QString &name, const Sink &sink, quint32 *crc);
    bool fail(ZipReader::EntryError error);

    QIODevice *device = nullptr;
    bool ownDevice = false;
    bool dirtyFileTree = true;
    QVector<FileHeader> fileHeaders;
    QByteArray comment;
    quint32 startOfDirectory = 0;
    ZipReader::Status status = ZipReader::NoError;
    ZipReader::EntryError entryError = ZipReader::NoEntryError;
    QString failedEntry;
    QString archiveProblem; // why the directory scan found no entries, for errorString()
};

void ZipReaderPrivate::scanFiles()
{
    if (!dirtyFileTree)
        return;
    dirtyFileTree = false;

    if (!device->isOpen()) {
        if (!device->open(QIODevice::ReadOnly)) {
            status = ZipReader::FileOpenError;
            return;
        }
    }
    if ((device->openMode() & QIODevice::ReadOnly) == 0) {
        status = ZipReader::FileReadError;
        return;
    }

    const qint64 size = device->size();
    uchar signature[4];
    if (!device->seek(0) || device->read(reinterpret_cast<char *>(signature), 4) != 4 || readUInt(signature) != kLocalHeaderSignature) {
        qCWarning(lcFormats) << "Zip: not a zip file!";
        archiveProblem = QStringLiteral("not a ZIP archive");
        return;
    }

    // The end record sits before a comment of at most 64 KiB: search that tail once, backwards.
    const qint64 tailSize = std::min<qint64>(size, kEndOfDirectorySize + kMaxCommentSize);
    if (tailSize < kEndOfDirectorySize || !device->seek(size - tailSize)) {
        qCWarning(lcFormats) << "Zip: EndOfDirectory not found";
        archiveProblem = QStringLiteral("no central directory (truncated archive?)");
        return;
    }
    const QByteArray tail = device->read(tailSize);
    if (tail.size() != tailSize) {
        qCWarning(lcFormats) << "Zip: EndOfDirectory not found";
        archiveProblem = QStringLiteral("no central directory (truncated archive?)");
        return;
    }
    const auto *tailData = reinterpret_cast<const uchar *>(tail.constData());
    int i = 0;
    const int maxI = int(tailSize - kEndOfDirectorySize);
    for (; i <= maxI; ++i) {
        if (readUInt(tailData + maxI - i) == kEndOfDirectorySignature)
            break;
    }
    if (i > maxI) {
        qCWarning(lcFormats) << "Zip: EndOfDirectory not found";
        archiveProblem = QStringLiteral("no central directory (truncated archive?)");
        return;
    }
    const uchar *eod = tailData + maxI - i;
    const int commentLength = readUShort(eod + 20);
    if (commentLength != i)
        qCWarning(lcFormats) << "Zip: failed to parse zip file.";
    comment = QByteArray(reinterpret_cast<const char *>(eod + kEndOfDirectorySize), std::min(i, commentLength));

    const int entryCount = readUShort(eod + 10);
    startOfDirectory = readUInt(eod + 16);
    if (qint64(startOfDirectory) > size || !device->seek(startOfDirectory)) {
        qCWarning(lcFormats) << "Zip: Failed to read complete header, index may be incomplete";
        archiveProblem = QStringLiteral("the central directory lies outside the file");
        return;
    }
    fileHeaders.reserve(int(std::min<qint64>(entryCount, (size - startOfDirectory) / kCentralHeaderSize)));
    ChunkedReader reader(device);
    for (int n = 0; n < entryCount; ++n) {
        const QByteArray rawHeader = reader.read(kCentralHeaderSize);
        if (rawHeader.size() != kCentralHeaderSize) {
            qCWarning(lcFormats) << "Zip: Failed to read complete header, index may be incomplete";
            break;
        }
        const auto *raw = reinterpret_cast<const uchar *>(rawHeader.constData());
        if (readUInt(raw) != kCentralHeaderSignature) {
            qCWarning(lcFormats) << "Zip: invalid header signature, index may be incomplete";
            break;
        }
        FileHeader header;
        std::memcpy(header.h, raw + 4, sizeof(header.h));
        const int nameLength = header.field16(FileNameLength);
        const int extraLength = header.field16(ExtraFieldLength);
        const int commentLen = header.field16(FileCommentLength);
        header.fileName = reader.read(nameLength);
        if (header.fileName.size() != nameLength) {
            qCWarning(lcFormats) << "Zip: Failed to read filename from zip index, index may be incomplete";
            break;
        }
        header.extraField = reader.read(extraLength);
        if (header.extraField.size() != extraLength) {
            qCWarning(lcFormats) << "Zip: Failed to read extra field in zip file, skipping file, index may be incomplete";
            break;
        }
        header.fileComment = reader.read(commentLen);
        if (header.fileComment.size() != commentLen) {
            qCWarning(lcFormats) << "Zip: Failed to read read file comment, index may be incomplete";
            break;
        }
        fileHeaders.append(header);
    }
}

QString ZipReaderPrivate::decodedName(const FileHeader &header) const
{
    // Bit 11 says the name is UTF-8, but Info-ZIP and most other archivers
    // write UTF-8 names without it. A name in a legacy code page is almost
    // never valid UTF-8, so valid UTF-8 is read as such and anything else
    // keeps the device's Latin-1 reading.
    if (header.field16(GeneralPurposeFlags) & 0x0800)
        return QString::fromUtf8(header.fileName);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString name = utf8.decode(header.fileName);
    return utf8.hasError() ? QString::fromLatin1(header.fileName) : name;
}

ZipReader::FileInfo ZipReaderPrivate::fillFileInfo(int index, QHash<quint32, QDateTime> *times) const
{
    ZipReader::FileInfo info;
    const FileHeader &header = fileHeaders.at(index);
    const quint32 mode = header.field32(ExternalAttributes);
    switch (header.field16(VersionMadeBy) >> 8) {
    case HostUnix: {
        const quint32 unixMode = mode >> 16;
        switch (unixMode & UnixTypeMask) {
        case UnixDirectory:
            info.isDir = true;
            break;
        case UnixSymLink:
            info.isSymLink = true;
            break;
        default:
            info.isFile = true;
            break;
        }
        info.permissions = modeToPermissions(unixMode);
        break;
    }
    case HostFAT:
    case HostHPFS:
    case HostNTFS:
    case HostVFAT: {
        if ((mode & 0x10) && !(mode & 0x80))
            info.isDir = true;
        else
            info.isFile = true;
        QFile::Permissions p = QFile::ReadOwner | QFile::ReadUser | QFile::ReadGroup | QFile::ReadOther;
        if (!(mode & 0x01))
            p |= QFile::WriteOwner | QFile::WriteUser | QFile::WriteGroup | QFile::WriteOther;
        if (info.isDir)
            p |= QFile::ExeOwner | QFile::ExeUser | QFile::ExeGroup | QFile::ExeOther;
        info.permissions = p;
        break;
    }
    default:
        qCWarning(lcFormats, "Zip: Zip entry format at %d is not supported.", index);
        break;
    }
    info.filePath = decodedName(header);
    info.crc32 = header.field32(Crc32);
    info.size = header.field32(UncompressedSize);
    // Converting a local time is the dearest step of a listing, and archivers give many entries the same stamp.
    const quint32 stamp = (quint32(header.field16(LastModDate)) << 16) | header.field16(LastModTime);
    if (times) {
        auto it = times->constFind(stamp);
        if (it == times->cend())
            it = times->insert(stamp, fromDosDateTime(header.field16(LastModDate), header.field16(LastModTime)));
        info.lastModified = it.value();
    } else {
        info.lastModified = fromDosDateTime(header.field16(LastModDate), header.field16(LastModTime));
    }
    return info;
}

bool ZipReaderPrivate::fail(ZipReader::EntryError error)
{
    entryError = error;
    return false;
}

bool ZipReaderPrivate::inflateEntry(const FileHeader &header, qint64 dataStart, const QString &name, const Sink &sink, quint32 *crc)
{
    const qint64 compressedSize = header.field32(CompressedSize);
    // The claimed size is not trusted: the output is capped by what the input can expand to.
    const qint64 limit = std::min(ZipReader::kMaxEntrySize, compressedSize * kMaxDeflateRatio + 1);

    z_stream stream;
    std::memset(&stream, 0, sizeof(stream));
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
        qCWarning(lcFormats) << "Zip: Z_MEM_ERROR: Not enough memory";
        return fail(ZipReader::CorruptEntry);
    }

    QByteArray out(kInflateChunk, Qt::Uninitialized);
    QByteArray in;
    qint64 produced = 0;
    qint64 remainingInput = compressedSize;
    int ret = Z_OK;
    device->seek(dataStart);
    for (;;) {
        if (stream.avail_in == 0 && remainingInput > 0) {
            in = device->read(std::min(kInflateChunk, remainingInput));
            if (in.isEmpty()) {
                ret = Z_DATA_ERROR;
                break;
            }
            remainingInput -= in.size();
            stream.next_in = reinterpret_cast<Bytef *>(in.data());
            stream.avail_in = uInt(in.size());
        }
        stream.next_out = reinterpret_cast<Bytef *>(out.data());
        stream.avail_out = uInt(out.size());
        ret = inflate(&stream, remainingInput > 0 ? Z_NO_FLUSH : Z_FINISH);
        const qint64 n = out.size() - stream.avail_out;
        if (produced + n > limit) {
            inflateEnd(&stream);
            // Either a lie about the size or a bomb: nothing a book or an update legitimately holds.
            if (limit == ZipReader::kMaxEntrySize) {
                qCWarning(lcFormats).nospace() << "Zip: entry " << name << " inflates to more than " << ZipReader::kMaxEntrySize << " bytes, refused";
                return fail(ZipReader::EntryTooLarge);
            }
            qCWarning(lcFormats) << "Zip: Z_DATA_ERROR: Input data is corrupted";
            return fail(ZipReader::CorruptEntry);
        }
        produced += n;
        if (n > 0) {
            *crc = quint32(crc32(*crc, reinterpret_cast<const Bytef *>(out.constData()), uInt(n)));
            if (!sink(out.constData(), n)) {
                inflateEnd(&stream);
                qCWarning(lcFormats).nospace() << "Zip: writing entry " << name << " failed";
                return fail(ZipReader::WriteFailed);
            }
        }
        if (ret == Z_STREAM_END)
            break;
        if (ret == Z_BUF_ERROR && stream.avail_in == 0 && remainingInput == 0 && n == 0) {
            // The input ended before the stream did.
            ret = Z_DATA_ERROR;
            break;
        }
        if (ret != Z_OK && ret != Z_BUF_ERROR)
            break;
    }
    inflateEnd(&stream);

    switch (ret) {
    case Z_STREAM_END:
        return true;
    case Z_MEM_ERROR:
        qCWarning(lcFormats) << "Zip: Z_MEM_ERROR: Not enough memory";
        return fail(ZipReader::CorruptEntry);
    default:
        qCWarning(lcFormats) << "Zip: Z_DATA_ERROR: Input data is corrupted";
        return fail(ZipReader::CorruptEntry);
    }
}

bool ZipReaderPrivate::extract(const QString &fileName, const Sink &sink)
{
    scanFiles();
    entryError = ZipReader::NoEntryError;
    failedEntry = fileName;
    int index = -1;
    for (int i = 0; i < fileHeaders.size(); ++i) {
        const FileHeader &header = fileHeaders.at(i);
        // The name as listed (UTF-8 when flagged) and the plain Latin-1 reading both find the entry.
        if (QString::fromLatin1(header.fileName) == fileName || decodedName(header) == fileName) {
            index = i;
            break;
        }
    }
    if (index < 0)
        return fail(ZipReader::NoSuchEntry);

    // close() may have run since the directory was read.
    if (!device->isOpen() && !device->open(QIODevice::ReadOnly))
        return fail(ZipReader::CorruptEntry);
    const FileHeader &header = fileHeaders.at(index);
    const int versionNeeded = header.field16(VersionNeeded);
    if (versionNeeded > kSupportedVersion) {
        qCWarning(lcFormats, "Zip: .ZIP specification version %d implementationis needed to extract the data.", versionNeeded);
        return fail(ZipReader::UnsupportedEntry);
    }

    const qint64 size = device->size();
    const qint64 localOffset = header.field32(LocalHeaderOffset);
    uchar local[kLocalHeaderSize];
    if (localOffset + kLocalHeaderSize > size || !device->seek(localOffset)
        || device->read(reinterpret_cast<char *>(local), kLocalHeaderSize) != kLocalHeaderSize || readUInt(local) != kLocalHeaderSignature) {
        qCWarning(lcFormats).nospace() << "Zip: no local header for entry " << fileName << " at offset " << localOffset;
        return fail(ZipReader::CorruptEntry);
    }
    if (readUShort(local + 6) & 0x0001) {
        qCWarning(lcFormats) << "Zip: Unsupported encryption method is needed to extract the data.";
        return fail(ZipReader::UnsupportedEntry);
    }
    const qint64 dataStart = localOffset + kLocalHeaderSize + readUShort(local + 26) + readUShort(local + 28);
    const qint64 compressedSize = header.field32(CompressedSize);
    if (dataStart + compressedSize > size) {
        qCWarning(lcFormats).nospace() << "Zip: entry " << fileName << " claims " << compressedSize << " bytes beyond the end of the archive";
        return fail(ZipReader::CorruptEntry);
    }

    quint32 crc = quint32(crc32(0, nullptr, 0));
    const int method = header.field16(CompressionMethod);
    if (method == 0) {
        qint64 remaining = std::min<qint64>(compressedSize, header.field32(UncompressedSize));
        if (remaining > ZipReader::kMaxEntrySize) {
            qCWarning(lcFormats).nospace() << "Zip: entry " << fileName << " inflates to more than " << ZipReader::kMaxEntrySize << " bytes, refused";
            return fail(ZipReader::EntryTooLarge);
        }
        if (!device->seek(dataStart))
            return fail(ZipReader::CorruptEntry);
        while (remaining > 0) {
            const QByteArray chunk = device->read(std::min(kInflateChunk, remaining));
            if (chunk.isEmpty()) {
                qCWarning(lcFormats) << "Zip: Z_DATA_ERROR: Input data is corrupted";
                return fail(ZipReader::CorruptEntry);
            }
            remaining -= chunk.size();
            crc = quint32(crc32(crc, reinterpret_cast<const Bytef *>(chunk.constData()), uInt(chunk.size())));
            if (!sink(chunk.constData(), chunk.size())) {
                qCWarning(lcFormats).nospace() << "Zip: writing entry " << fileName << " failed";
                return fail(ZipReader::WriteFailed);
            }
        }
    } else if (method == 8) {
        if (!inflateEntry(header, dataStart, fileName, sink, &crc))
            return false;
    } else {
        qCWarning(lcFormats, "Zip: Unsupported compression method %d is needed to extract the data.", method);
        return fail(ZipReader::UnsupportedEntry);
    }

    if (crc != header.field32(Crc32)) {
        qCWarning(lcFormats).nospace() << "Zip: entry " << fileName << " fails its CRC-32 check, refused";
        return fail(ZipReader::CrcMismatch);
    }
    return true;
}

ZipReader::FileInfo::FileInfo() : isDir(false), isFile(false), isSymLink(false), crc32(0), size(0) { }

ZipReader::ZipReader(const QString &archive, QIODevice::OpenMode mode) : d(std::make_unique<ZipReaderPrivate>())
{
    auto *file = new QFile(archive);
    file->open(mode);
    switch (file->error()) {
    case QFileDevice::NoError:
        d->status = NoError;
        break;
    case QFileDevice::ReadError:
        d->status = FileReadError;
        break;
    case QFileDevice::OpenError:
        d->status = FileOpenError;
        break;
    case QFileDevice::PermissionsError:
        d->status = FilePermissionsError;
        break;
    default:
        d->status = FileError;
        break;
    }
    d->device = file;
    d->ownDevice = true;
}

ZipReader::ZipReader(QIODevice *device) : d(std::make_unique<ZipReaderPrivate>())
{
    Q_ASSERT(device);
    d->device = device;
}

ZipReader::~ZipReader()
{
    close();
    if (d->ownDevice)
        delete d->device;
}

QIODevice *ZipReader::device() const
{
    return d->device;
}

bool ZipReader::isReadable() const
{
    return d->device->isReadable();
}

bool ZipReader::exists() const
{
    auto *file = qobject_cast<QFile *>(d->device);
    return file ? file->exists() : true;
}

ZipReader::Status ZipReader::status() const
{
    return d->status;
}

QVector<ZipReader::FileInfo> ZipReader::fileInfoList() const
{
    d->scanFiles();
    QVector<FileInfo> files;
    files.reserve(d->fileHeaders.size());
    QHash<quint32, QDateTime> times;
    for (int i = 0; i < d->fileHeaders.size(); ++i)
        files.append(d->fillFileInfo(i, &times));
    return files;
}

int ZipReader::count() const
{
    d->scanFiles();
    return d->fileHeaders.size();
}

ZipReader::FileInfo ZipReader::entryInfoAt(int index) const
{
    d->scanFiles();
    if (index >= 0 && index < d->fileHeaders.size())
        return d->fillFileInfo(index);
    return {};
}

QByteArray ZipReader::comment() const
{
    d->scanFiles();
    return d->comment;
}

QByteArray ZipReader::fileData(const QString &fileName) const
{
    QByteArray data;
    const bool ok = d->extract(fileName, [&data](const char *bytes, qint64 n) {
        data.append(bytes, n);
        return true;
    });
    return ok ? data : QByteArray();
}

bool ZipReader::writeEntry(const QString &fileName, QIODevice *out) const
{
    return d->extract(fileName, [out](const char *bytes, qint64 n) { return out->write(bytes, n) == n; });
}

bool ZipReader::readEntry(const QString &fileName, const Sink &sink) const
{
    return d->extract(fileName, sink);
}

ZipReader::EntryError ZipReader::entryError() const
{
    return d->entryError;
}

QString ZipReader::errorString() const
{
    const QString name = QLatin1Char('"') + d->failedEntry + QLatin1Char('"');
    switch (d->entryError) {
    case NoEntryError:
        break;
    case NoSuchEntry:
        return QStringLiteral("the archive has no entry ") + name;
    case CorruptEntry:
        return QStringLiteral("the entry ") + name + QStringLiteral(" is damaged");
    case EntryTooLarge:
        return QStringLiteral("the entry ") + name + QStringLiteral(" is larger than %1 bytes").arg(kMaxEntrySize);
    case CrcMismatch:
        return QStringLiteral("the entry ") + name + QStringLiteral(" does not match its CRC-32");
    case UnsupportedEntry:
        return QStringLiteral("the entry ") + name + QStringLiteral(" needs a ZIP feature this reader lacks");
    case WriteFailed:
        return QStringLiteral("the entry ") + name + QStringLiteral(" could not be written out");
    }
    if (d->status != NoError)
        return QStringLiteral("the archive cannot be opened (status %1)").arg(int(d->status));
    return d->archiveProblem;
}

void ZipReader::close()
{
    if (d->device)
        d->device->close();
}
