// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Parses untrusted input: the archive and every XML file in it come from the book.
#include "formats/epubparser.h"

#include "formats/logcategory.h"
#include "formats/referenceresolver.h"
#include "formats/xmldomloader.h"
#include "formats/zipreader.h"

#include <QDebug>
#include <QDir>
#include <QDomDocument>
#include <QDomElement>
#include <QDomNodeList>

#include <cstring>

const QHash<DCType::DCMES, QString> &nameForDCType()
{
    static const QHash<DCType::DCMES, QString> table = {
        { DCType::Identifier, QStringLiteral("dc:identifier") },
        { DCType::Title, QStringLiteral("dc:title") },
        { DCType::Language, QStringLiteral("dc:language") },
        { DCType::Date, QStringLiteral("dc:date") },
        { DCType::Creator, QStringLiteral("dc:creator") },
        { DCType::Meta, QStringLiteral("meta") },
    };
    return table;
}

const QHash<QString, DCType::DCMES> &DCTypeFromName()
{
    static const QHash<QString, DCType::DCMES> table = [] {
        QHash<QString, DCType::DCMES> t;
        const auto &names = nameForDCType();
        for (auto it = names.cbegin(); it != names.cend(); ++it)
            t.insert(it.value(), it.key());
        return t;
    }();
    return table;
}

class EpubParserPrivate
{
public:
    bool openReader();
    void closeReader();
    QByteArray entryData(const QString &path) const;
    bool parseContainer();
    bool parseContentFile(const QString &path);
    void parseMetadataItem(const QDomNode &node);
    void parseManifestItem(const QDomElement &element, const QString &baseFolder);
    void parseSpineItem(const QDomElement &element);

    QVector<MetadataItem> metadata;
    QHash<QString, ManifestItem> manifest;
    QStringList spine;
    ZipReader *zipReader = nullptr;
    QString errorString;

    // Why the book was refused: the archive's own reason when the entry could not be read.
    bool fail(const QString &reason)
    {
        const bool unreadable = zipReader && zipReader->entryError() != ZipReader::NoEntryError && zipReader->entryError() != ZipReader::NoSuchEntry;
        errorString = unreadable ? zipReader->errorString() : reason;
        return false;
    }
};

bool EpubParserPrivate::openReader()
{
    if (zipReader->status() != ZipReader::NoError) {
        qCWarning(lcFormats) << "[EpubParser::open]: zipReader error:" << int(zipReader->status());
        errorString = zipReader->errorString();
        delete zipReader;
        zipReader = nullptr;
        return false;
    }
    const QByteArray mimetype = entryData(QStringLiteral("mimetype"));
    // Compared as a zero-terminated string, so trailing bytes (a line break) make it differ.
    static const char expected[] = "application/epub+zip";
    if (mimetype.size() < int(sizeof(expected) - 1) || std::strcmp(mimetype.constData(), expected) != 0) {
        qCWarning(lcFormats) << "[EpubParser::open]: not a valid epub! Wrong mimetype:" << mimetype;
        if (zipReader->count() == 0)
            errorString = zipReader->errorString();
        else
            fail(mimetype.isEmpty() ? QStringLiteral("not an EPUB: no mimetype entry") : QStringLiteral("not an EPUB: wrong mimetype"));
        closeReader();
        return false;
    }
    if (!parseContainer()) {
        qCWarning(lcFormats) << "[EpubParser::open]: failed to parse the container of the epub";
        closeReader();
        return false;
    }
    errorString.clear();
    return true;
}

void EpubParserPrivate::closeReader()
{
    if (zipReader) {
        zipReader->close();
        delete zipReader;
        zipReader = nullptr;
    }
}

QByteArray EpubParserPrivate::entryData(const QString &path) const
{
    if (!zipReader)
        return {};
    const auto entries = zipReader->fileInfoList();
    for (const ZipReader::FileInfo &info : entries) {
        if (info.filePath == path)
            return zipReader->fileData(path);
    }
    return {};
}

bool EpubParserPrivate::parseContainer()
{
    const QByteArray data = entryData(QStringLiteral("META-INF/container.xml"));
    if (data.isEmpty()) {
        qCWarning(lcFormats) << "[EpubParser::parseContainer]: invalid epub! No container.xml file available";
        return fail(QStringLiteral("no META-INF/container.xml"));
    }
    QDomDocument document;
    XmlDomLoader::load(document, data, QStringLiteral("[EpubParser::parseContainer]:"));
    const QDomNodeList rootfiles = document.elementsByTagName(QStringLiteral("rootfile"));
    errorString = QStringLiteral("META-INF/container.xml names no package document");
    for (int i = 0; i < rootfiles.count(); ++i) {
        const QString fullPath = rootfiles.at(i).toElement().attribute(QStringLiteral("full-path"));
        if (!fullPath.isEmpty() && parseContentFile(fullPath))
            return true;
    }
    return false;
}

bool EpubParserPrivate::parseContentFile(const QString &path)
{
    qCDebug(lcFormats) << "[EpubParser::parseContentFile]:" << path;
    const QByteArray data = entryData(path);
    if (data.isEmpty()) {
        qCWarning(lcFormats) << "[EpubParser::parseContentFile]: OPF file not found in epub:" << path;
        return fail(QStringLiteral("the package document \"") + path + QStringLiteral("\" is missing"));
    }
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    const QString baseFolder = slash > 0 ? path.left(slash + 1) : QString();

    QDomDocument document;
    XmlDomLoader::load(document, data, QStringLiteral("[EpubParser::parseContentFile]:"));
    const QDomElement root = document.documentElement();
    if (root.tagName() != QLatin1String("package")) {
        qCWarning(lcFormats) << "[EpubParser::parseContentFile]: OPF file has wrong root element.. invalid epub3";
        return fail(QStringLiteral("the package document \"") + path + QStringLiteral("\" is not an OPF package (malformed XML?)"));
    }
    if (root.attribute(QStringLiteral("version")) != QLatin1String("3.0")) {
        qCWarning(lcFormats) << "[EpubParser::parseContentFile]: This is not an epub3.. we don't support this epub";
        return fail(QStringLiteral("not EPUB 3 (package version \"") + root.attribute(QStringLiteral("version")) + QStringLiteral("\")"));
    }

    // The first child element, not the first child node: authoring tools put
    // comments and processing instructions before the metadata, and the book
    // would otherwise have no title, identifier or language at all.
    const QDomElement first = root.firstChildElement();
    if (!first.isNull()) {
        const QDomNodeList metadataElements = document.elementsByTagName(first.tagName());
        for (int i = 0; i < metadataElements.count(); ++i) {
            const QDomNodeList children = metadataElements.at(i).childNodes();
            for (int j = 0; j < children.count(); ++j)
                parseMetadataItem(children.at(j));
        }
    }

    bool hasIdentifier = false;
    bool hasTitle = false;
    bool hasLanguage = false;
    for (const MetadataItem &item : std::as_const(metadata)) {
        hasIdentifier |= item.type == DCType::Identifier;
        hasTitle |= item.type == DCType::Title;
        hasLanguage |= item.type == DCType::Language;
    }
    if (!hasIdentifier || !hasTitle || !hasLanguage) {
        qCWarning(lcFormats) << "[EpubParser::parseContentFile]: failed the required DMCES types are not available";
        return fail(QStringLiteral("the package lacks dc:identifier, dc:title or dc:language"));
    }

    const QDomNodeList manifests = document.elementsByTagName(QStringLiteral("manifest"));
    for (int i = 0; i < manifests.count(); ++i) {
        const QDomNodeList items = manifests.at(i).toElement().elementsByTagName(QStringLiteral("item"));
        for (int j = 0; j < items.count(); ++j)
            parseManifestItem(items.at(j).toElement(), baseFolder);
    }

    const QDomNodeList spines = document.elementsByTagName(QStringLiteral("spine"));
    for (int i = 0; i < spines.count(); ++i) {
        const QDomNodeList itemrefs = spines.at(i).toElement().elementsByTagName(QStringLiteral("itemref"));
        for (int j = 0; j < itemrefs.count(); ++j)
            parseSpineItem(itemrefs.at(j).toElement());
    }
    return true;
}

void EpubParserPrivate::parseMetadataItem(const QDomNode &node)
{
    if (!node.isElement())
        return;
    const QDomElement element = node.toElement();
    const QString name = element.tagName().toLower();
    const DCType::DCMES type = DCTypeFromName().value(name, DCType::NoType);
    if (type == DCType::NoType)
        return;
    MetadataItem item;
    item.type = type;
    item.property = type == DCType::Meta ? element.attribute(QStringLiteral("property")) : name;
    item.refines = element.attribute(QStringLiteral("refines"));
    item.scheme = element.attribute(QStringLiteral("scheme"));
    item.value = element.text();
    if (!item.property.isEmpty() && !item.value.isEmpty())
        metadata.append(item);
}

void EpubParserPrivate::parseManifestItem(const QDomElement &element, const QString &baseFolder)
{
    const QString id = element.attribute(QStringLiteral("id"));
    const QString href = element.attribute(QStringLiteral("href"));
    if (id.isEmpty() || href.isEmpty()) {
        qCWarning(lcFormats) << "[EpubParser::parseManifestItem]: invalid manifest item at line:" << element.lineNumber();
        return;
    }
    ManifestItem item;
    // An href is a URL: "Chapter%201.xhtml" names the entry "Chapter 1.xhtml".
    item.href = QDir::cleanPath(baseFolder + ReferenceResolver::decoded(href));
    item.mediaType = element.attribute(QStringLiteral("media-type"));
    item.mediaOverlay = element.attribute(QStringLiteral("media-overlay"));
    manifest.insert(id, item);
}

void EpubParserPrivate::parseSpineItem(const QDomElement &element)
{
    if (element.attribute(QStringLiteral("linear")) == QLatin1String("no"))
        return;
    const QString idref = element.attribute(QStringLiteral("idref"));
    if (idref.isEmpty()) {
        qCWarning(lcFormats) << "[EpubParser::parseSpineItem]: invalid spine item at line:" << element.lineNumber();
        return;
    }
    if (manifest.contains(idref))
        spine.append(idref);
}

EpubParser::EpubParser() : d(std::make_unique<EpubParserPrivate>()) { }

EpubParser::~EpubParser()
{
    close();
}

bool EpubParser::open(const QString &path)
{
    close();
    d->zipReader = new ZipReader(path, QIODevice::ReadOnly);
    return d->openReader();
}

bool EpubParser::open(QIODevice *device)
{
    close();
    d->zipReader = new ZipReader(device);
    return d->openReader();
}

void EpubParser::close()
{
    d->closeReader();
    d->errorString.clear();
    d->metadata.clear();
    d->manifest.clear();
    d->spine.clear();
}

QString EpubParser::errorString() const
{
    return d->errorString;
}

bool EpubParser::isOpen() const
{
    return d->zipReader != nullptr;
}

QStringList EpubParser::spineItems() const
{
    return d->spine;
}

ManifestItem EpubParser::manifestItem(const QString &id) const
{
    return d->manifest.value(id);
}

QStringList EpubParser::manifestIds() const
{
    return d->manifest.keys();
}

QByteArray EpubParser::itemData(const QString &path) const
{
    return d->entryData(path);
}

QString EpubParser::metadataValue(DCType::DCMES type) const
{
    for (const MetadataItem &item : std::as_const(d->metadata)) {
        if (item.type == type)
            return item.value;
    }
    return {};
}

QVector<MetadataItem> EpubParser::metadataItems(DCType::DCMES type) const
{
    QVector<MetadataItem> result;
    for (const MetadataItem &item : std::as_const(d->metadata)) {
        if (item.type == type)
            result.append(item);
    }
    return result;
}

QVector<MetadataItem> EpubParser::metadataItems(DCType::DCMES type, const QString &property) const
{
    QVector<MetadataItem> result;
    for (const MetadataItem &item : std::as_const(d->metadata)) {
        if (item.type == type && item.property == property)
            result.append(item);
    }
    return result;
}
