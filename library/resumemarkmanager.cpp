// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/resumemarkmanager.h"

#include "library/bookextras.h"
#include "library/lastplayedmarker.h"
#include "library/logcategory.h"
#include "library/markerfile.h"
#include "library/markerxml.h"
#include "library/resumemarker.h"
#include "platform/paths.h"

#include <QDebug>
#include <QFile>

namespace {

const QString resumeRoot = QStringLiteral("quimbo_resumemarks");
const QString resumeElement = QStringLiteral("resumemark");
const QString lastPlayedRoot = QStringLiteral("quimbo_lastplayed");
const QString lastPlayedElement = QStringLiteral("lastplayed");

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

} // namespace

ResumeMarkManager::ResumeMarkManager(QObject *parent) : QObject(parent) { }

ResumeMarkManager::~ResumeMarkManager() = default;

QString ResumeMarkManager::resumeMarkerFile()
{
    return Platform::path(QStringLiteral("/root/quimbo/resumemarker.xml"));
}

ResumeMarker *ResumeMarkManager::loadResumeMarker(const QString &title, const QString &identifier)
{
    auto *marker = new ResumeMarker(title, identifier);
    ResumeMarkManager manager;
    manager.readXml(resumeMarkerFile(), MarkerFile::kMaxStoreSize);
    if (const ResumeMarker *stored = manager.find(title, identifier)) {
        marker->setTimeOffset(stored->timeOffset());
        marker->setSpineIndex(stored->spineIndex());
        marker->setClipIndex(stored->clipIndex());
        marker->setExtras(stored->extras());
    }
    return marker;
}

bool ResumeMarkManager::saveResumeMarker(const ResumeMarker *marker)
{
    if (!marker) {
        qCWarning(lcLibrary, "[ResumeMarkManager::saveResumeMarker] invalid resume marker");
        return false;
    }
    const QString path = resumeMarkerFile();
    ResumeMarkManager manager;
    if (manager.readXml(path, MarkerFile::kMaxStoreSize) == ReadStatus::Refused) {
        // Writing now would replace every other book's position by this one.
        qCWarning(lcLibrary).noquote() << "[ResumeMarkManager::saveResumeMarker] cannot read" << path << "- save refused, the stored markers are kept";
        return false;
    }

    ResumeMarker *stored = manager.findOrAppend(marker->title(), marker->identifier());
    stored->setTimeOffset(marker->timeOffset());
    stored->setSpineIndex(marker->spineIndex());
    stored->setClipIndex(marker->clipIndex());
    // When the place was stored: a book resumed after a long pause starts a
    // little earlier, so the reader finds the thread again.
    BookExtras extras = stored->extras();
    extras.storedAt = BookClock::now();
    stored->setExtras(extras);

    if (!manager.writeXml(path))
        return false;

    qCDebug(lcLibrary, "---- RESUMEMARK SAVED ----");
    qCDebug(lcLibrary).noquote() << "Title     :" << marker->title();
    qCDebug(lcLibrary).noquote() << "TimeOffset:" << marker->timeOffset();
    qCDebug(lcLibrary).noquote() << "SpineIndex:" << marker->spineIndex();
    qCDebug(lcLibrary).noquote() << "ClipIndex :" << marker->clipIndex();
    return true;
}

bool ResumeMarkManager::readBook(const QString &title, const QString &identifier, BookPlace *place, BookExtras *extras)
{
    ResumeMarkManager manager;
    manager.readXml(resumeMarkerFile(), MarkerFile::kMaxStoreSize);
    const ResumeMarker *stored = manager.find(title, identifier);
    if (!stored)
        return false;
    *place = {stored->spineIndex(), stored->clipIndex(), 0, stored->timeOffset()};
    *extras = stored->extras();
    return true;
}

bool ResumeMarkManager::updateBook(const QString &title, const QString &identifier, const std::function<void(BookPlace &, BookExtras &)> &change)
{
    const QString path = resumeMarkerFile();
    ResumeMarkManager manager;
    if (manager.readXml(path, MarkerFile::kMaxStoreSize) == ReadStatus::Refused) {
        qCWarning(lcLibrary).noquote() << "[ResumeMarkManager::updateBook] cannot read" << path << "- change refused, the stored markers are kept";
        return false;
    }
    ResumeMarker *stored = manager.findOrAppend(title, identifier);
    BookPlace place{stored->spineIndex(), stored->clipIndex(), 0, stored->timeOffset()};
    BookExtras extras = stored->extras();
    change(place, extras);
    stored->setSpineIndex(place.first);
    stored->setClipIndex(place.second);
    stored->setTimeOffset(place.time);
    stored->setExtras(extras);
    return manager.writeXml(path);
}

LastPlayedMarker *ResumeMarkManager::loadLastPlayedMarker(const QString &path, const QString &mediaId)
{
    ResumeMarkManager manager;
    manager.readXml(MarkerFile::hostPath(path), MarkerFile::kMaxLastPlayedSize);

    const LastPlayedMarker *stored = nullptr;
    if (mediaId.isEmpty()) {
        if (!manager.lastPlayedMarkers.empty())
            stored = manager.lastPlayedMarkers.front().get();
    } else {
        stored = manager.findLastPlayed(mediaId.toULongLong());
    }
    return stored ? new LastPlayedMarker(*stored) : nullptr;
}

bool ResumeMarkManager::saveLastPlayedMarker(const QString &path, const LastPlayedMarker *marker)
{
    if (!marker) {
        qCWarning(lcLibrary, "[ResumeMarkManager::saveLastPlayedMarker] invalid last player marker");
        return false;
    }
    const QString file = MarkerFile::hostPath(path);
    ResumeMarkManager manager;
    if (marker->single()) {
        // A stick or card remembers one book; whatever the file held is replaced.
        manager.lastPlayedMarkers.push_back(std::make_unique<LastPlayedMarker>(*marker));
    } else {
        if (manager.readXml(file, MarkerFile::kMaxLastPlayedSize) == ReadStatus::Refused) {
            qCWarning(lcLibrary).noquote() << "[ResumeMarkManager::saveLastPlayedMarker] cannot read" << file << "- save refused, the stored markers are kept";
            return false;
        }
        LastPlayedMarker *stored = manager.findLastPlayed(marker->mediaId());
        if (!stored) {
            manager.lastPlayedMarkers.push_back(std::make_unique<LastPlayedMarker>());
            stored = manager.lastPlayedMarkers.back().get();
        }
        stored->setSource(marker->source());
        stored->setMediaId(marker->mediaId());
        stored->setSingle(marker->single());
    }

    if (!manager.writeXml(file))
        return false;

    qCDebug(lcLibrary, "---- LASTPLAYEDMARK SAVED ----");
    qCDebug(lcLibrary).noquote() << "Source :" << marker->source();
    qCDebug(lcLibrary).noquote() << "MediaId:" << marker->mediaId();
    qCDebug(lcLibrary).noquote() << "Single :" << boolText(marker->single());
    return true;
}

ResumeMarkManager::ReadStatus ResumeMarkManager::readXml(const QString &path, qint64 maxSize)
{
    QByteArray content;
    QString reason;
    switch (MarkerFile::read(path, maxSize, &content, &reason)) {
    case MarkerFile::ReadResult::Read:
        break;
    case MarkerFile::ReadResult::Missing:
        qCDebug(lcLibrary).noquote() << "[ResumeMarkManager::readXml] failed to open:" << path;
        return ReadStatus::Missing;
    case MarkerFile::ReadResult::Unreadable:
        qCWarning(lcLibrary).noquote() << "[ResumeMarkManager::readXml] failed to open:" << path << reason;
        return ReadStatus::Refused;
    case MarkerFile::ReadResult::TooLarge:
        qCWarning(lcLibrary).noquote() << "[ResumeMarkManager::readXml] refused" << path << "(" << reason << ") - treated as empty";
        return ReadStatus::Refused;
    }

    MarkerXml::Node root;
    QString error;
    const MarkerXml::Result result = MarkerXml::parse(content, &root, &error);
    if (result == MarkerXml::Result::TooDeep) {
        qCWarning(lcLibrary).noquote() << "[ResumeMarkManager::readXml] refused" << path << "(" << error << ") - treated as empty";
        return ReadStatus::Refused;
    }
    if (!root.name.isEmpty() && root.name != resumeRoot && root.name != lastPlayedRoot) {
        // Some other file under our name: none of it is a marker of ours.
        const QString copy = MarkerFile::keepBroken(path);
        qCWarning(lcLibrary).noquote() << "[ResumeMarkManager::readXml] unexpected root element" << root.name << "in" << path << "- file treated as empty, copy kept as"
                             << copy;
        return ReadStatus::Read;
    }
    readElements(root);

    if (result == MarkerXml::Result::Damaged) {
        if (root.name.isEmpty() && MarkerFile::isEmptyDocument(content))
            return ReadStatus::Read; // what writeXml leaves when it has no marker
        qCWarning(lcLibrary).noquote() << "[ResumeMarkManager::readXml] XML Reader has error:" << error;
        // Every marker complete before the damage is still used; the file
        // itself is kept for service and replaced by the next save.
        const QString copy = MarkerFile::keepBroken(path);
        qCWarning(lcLibrary).noquote() << "[ResumeMarkManager::readXml] damaged file" << path << "kept" << resumeMarkers.size() << "resume and"
                             << lastPlayedMarkers.size() << "last-played markers, copy kept as" << copy;
    }
    return ReadStatus::Read;
}

void ResumeMarkManager::readElements(const MarkerXml::Node &node)
{
    if (node.name == resumeElement)
        processResumeMark(node);
    else if (node.name == lastPlayedElement)
        processLastPlayedMark(node);
    for (const MarkerXml::Node &child : node.children) {
        if (!child.isText)
            readElements(child);
    }
}

bool ResumeMarkManager::writeXml(const QString &path)
{
    MarkerXml::Node root;
    if (!resumeMarkers.empty()) {
        root.name = resumeRoot;
        root.children.reserve(resumeMarkers.size());
        for (const auto &marker : resumeMarkers) {
            if (marker->title().isEmpty())
                continue;
            MarkerXml::Node &element = root.children.emplace_back();
            element.name = resumeElement;
            element.attributes = {
                { QStringLiteral("title"), MarkerFile::titleToFile(marker->title()) },
                { QStringLiteral("timeOffset"), QString::number(marker->timeOffset()) },
                { QStringLiteral("spineIndex"), QString::number(marker->spineIndex()) },
                { QStringLiteral("clipIndex"), QString::number(marker->clipIndex()) },
            };
            if (!marker->identifier().isEmpty())
                element.attributes.append({ QStringLiteral("identifier"), marker->identifier() });
            marker->extras().write(element);
        }
    } else if (!lastPlayedMarkers.empty()) {
        root.name = lastPlayedRoot;
        root.children.reserve(lastPlayedMarkers.size());
        for (const auto &marker : lastPlayedMarkers) {
            if (marker->source().isEmpty())
                continue;
            MarkerXml::Node &element = root.children.emplace_back();
            element.name = lastPlayedElement;
            element.attributes = {
                { QStringLiteral("source"), marker->source() },
                { QStringLiteral("mediaId"), QString::number(marker->mediaId()) },
                { QStringLiteral("single"), boolText(marker->single()) },
            };
        }
    }
    const QByteArray declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    // With no marker at all the document is the declaration alone.
    const QByteArray content = root.name.isEmpty() ? declaration : MarkerXml::write(root, declaration, 4);

    QString reason;
    switch (MarkerFile::save(path, content, &reason)) {
    case MarkerFile::SaveResult::Saved:
        return true;
    case MarkerFile::SaveResult::OpenFailed:
        qCWarning(lcLibrary).noquote() << "[ResumeMarkManager::writeXml] failed to open:" << path << reason;
        return false;
    case MarkerFile::SaveResult::WriteFailed:
    case MarkerFile::SaveResult::CommitFailed:
        break;
    }
    qCWarning(lcLibrary).noquote() << "[ResumeMarkManager::writeXml] failed to save:" << path << reason << "- old file kept";
    return false;
}

ResumeMarker *ResumeMarkManager::find(const QString &title, const QString &identifier) const
{
    // Titles are held as read from the file; bring the key into the same form.
    const QString key = MarkerFile::titleFromFile(MarkerFile::titleToFile(title));
    ResumeMarker *titleOnly = nullptr;
    for (const auto &marker : resumeMarkers) {
        if (marker->title() != key)
            continue;
        if (marker->identifier() == identifier)
            return marker.get();
        if (marker->identifier().isEmpty() && !titleOnly)
            titleOnly = marker.get();
    }
    // Stored before identifiers were kept: still this book's place.
    return identifier.isEmpty() ? nullptr : titleOnly;
}

ResumeMarker *ResumeMarkManager::findOrAppend(const QString &title, const QString &identifier)
{
    ResumeMarker *stored = find(title, identifier);
    if (stored && stored->identifier() == identifier)
        return stored;
    auto fresh = std::make_unique<ResumeMarker>(title, identifier);
    if (stored) {
        // The old title-only marker becomes this book's, in its place in the file.
        qCDebug(lcLibrary).noquote() << "[ResumeMarkManager] marker of" << title << "now kept with its identifier" << identifier;
        fresh->setTimeOffset(stored->timeOffset());
        fresh->setSpineIndex(stored->spineIndex());
        fresh->setClipIndex(stored->clipIndex());
        fresh->setExtras(stored->extras());
        for (auto &marker : resumeMarkers) {
            if (marker.get() == stored) {
                marker = std::move(fresh);
                return marker.get();
            }
        }
    }
    resumeMarkers.push_back(std::move(fresh));
    return resumeMarkers.back().get();
}

LastPlayedMarker *ResumeMarkManager::findLastPlayed(quint64 mediaId) const
{
    for (const auto &marker : lastPlayedMarkers) {
        if (marker->mediaId() == mediaId)
            return marker.get();
    }
    return nullptr;
}

void ResumeMarkManager::processResumeMark(const MarkerXml::Node &element)
{
    const QString title = element.attribute(QStringLiteral("title"));
    if (title.isEmpty()) {
        qCWarning(lcLibrary, "[ResumeMarkManager::processResumeMark] invalid <resumemark> no title attribute");
        return;
    }
    // Missing or empty numbers count as 0: the start of the book.
    auto marker = std::make_unique<ResumeMarker>(MarkerFile::titleFromFile(title), element.attribute(QStringLiteral("identifier")));
    BookExtras extras;
    extras.read(element);
    marker->setExtras(extras);
    marker->setTimeOffset(element.attribute(QStringLiteral("timeOffset")).toLongLong());
    marker->setSpineIndex(element.attribute(QStringLiteral("spineIndex")).toInt());
    marker->setClipIndex(element.attribute(QStringLiteral("clipIndex")).toInt());
    resumeMarkers.push_back(std::move(marker));
}

void ResumeMarkManager::processLastPlayedMark(const MarkerXml::Node &element)
{
    const QString source = element.attribute(QStringLiteral("source"));
    const QString mediaId = element.attribute(QStringLiteral("mediaId"));
    const QString single = element.attribute(QStringLiteral("single"));
    if (source.isEmpty() || mediaId.isEmpty() || single.isEmpty()) {
        qCWarning(lcLibrary, "[ResumeMarkManager::processLastPlayedMark] invalud <lastplayed> no source or media attributes");
        return;
    }
    auto marker = std::make_unique<LastPlayedMarker>();
    marker->setSource(source);
    marker->setMediaId(mediaId.toULongLong());
    marker->setSingle(single == QLatin1String("true"));
    lastPlayedMarkers.push_back(std::move(marker));
}
