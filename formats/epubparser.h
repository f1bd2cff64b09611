// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FORMATS_EPUBPARSER_H
#define QUIMBO_FORMATS_EPUBPARSER_H

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

class QIODevice;
class EpubParserPrivate;

namespace DCType {
/** Kinds of package metadata; 0 means "not metadata". */
enum DCMES {
    NoType = 0,
    Identifier = 1,
    Title = 2,
    Language = 3,
    Date = 4,
    Creator = 5,
    Meta = 6,
};
} // namespace DCType

/** Kind to element name ("dc:title", "meta", ...). Built once, shared by the process. */
const QHash<DCType::DCMES, QString> &nameForDCType();
/** Element name (lower case) to kind; a name not in the table is not metadata. */
const QHash<QString, DCType::DCMES> &DCTypeFromName();

struct MetadataItem
{
    DCType::DCMES type = DCType::NoType;
    QString property;
    QString refines;
    QString scheme;
    QString value;
};

struct ManifestItem
{
    QString href; ///< path of the file inside the archive, cleaned
    QString mediaType;
    QString mediaOverlay; ///< manifest id of the SMIL document narrating this item; empty when none
};

/**
 * Opens an EPUB 3 book (one ZIP file) and reads its package document: metadata,
 * manifest and spine. Files of the book (SMIL, audio) are served straight out
 * of the archive. Owned by the EPUB player; not thread-safe.
 */
class EpubParser
{
public:
    EpubParser();
    ~EpubParser();

    EpubParser(const EpubParser &) = delete;
    EpubParser &operator=(const EpubParser &) = delete;

    bool open(const QString &path);
    /** The same from a device the caller owns and keeps open while the book is used. */
    bool open(QIODevice *device);
    void close();
    bool isOpen() const;
    /** Why the last open() failed, for a person; empty while a book is open or none was tried. */
    QString errorString() const;

    QStringList spineItems() const;
    ManifestItem manifestItem(const QString &id) const;
    QStringList manifestIds() const;
    QByteArray itemData(const QString &path) const;

    QString metadataValue(DCType::DCMES type) const;
    QVector<MetadataItem> metadataItems(DCType::DCMES type) const;
    QVector<MetadataItem> metadataItems(DCType::DCMES type, const QString &property) const;

private:
    const std::unique_ptr<EpubParserPrivate> d;
};

#endif
