// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/resumemark.h"

#include "library/bookextras.h"
#include "library/logcategory.h"
#include "library/markerfile.h"
#include "library/markerxml.h"
#include "platform/paths.h"

#include <QFile>

#include <limits>

namespace {

const QString rootName = QStringLiteral("resumemarks");
const QString entryName = QStringLiteral("resumemark");
const QString titleName = QStringLiteral("title");
const QString smilListPosName = QStringLiteral("smilListPos");
const QString navListPosName = QStringLiteral("navListPos");
const QString clipNodePosName = QStringLiteral("clipNodePos");
const QString playerTimeName = QStringLiteral("playerTime");
// An attribute, not a sixth child: firmware that predates it reads the entry as before.
const QString identifierName = QStringLiteral("identifier");

constexpr int entryChildren = 5;
constexpr int indentation = 1;
const QByteArray declaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";

MarkerXml::Node element(const QString &name)
{
    MarkerXml::Node node;
    node.name = name;
    return node;
}

MarkerXml::Node textElement(const QString &name, const QString &text)
{
    MarkerXml::Node node = element(name);
    node.text = text;
    return node;
}

void setIdentifier(MarkerXml::Node &entry, const QString &identifier)
{
    for (auto &attribute : entry.attributes) {
        if (attribute.first == identifierName) {
            attribute.second = identifier;
            return;
        }
    }
    entry.attributes.append({identifierName, identifier});
}

} // namespace

Resumemark::Resumemark()
{
    if (QFile::exists(fileName()))
        return;
    qCDebug(lcLibrary, "%s: file doesn't exists! Create new one!", Q_FUNC_INFO);
    if (createFile()) {
        qCDebug(lcLibrary, "%s: new file created!", Q_FUNC_INFO);
    } else {
        qCWarning(lcLibrary, "%s: Failed to open file for writing new xml!", Q_FUNC_INFO);
        m_valid = false;
    }
}

QString Resumemark::fileName()
{
    return Platform::path(QStringLiteral("/root/quimbo/resumemark.xml"));
}

bool Resumemark::createFile()
{
    const QByteArray empty = MarkerXml::write(element(rootName), declaration, indentation);
    return MarkerFile::save(fileName(), empty) == MarkerFile::SaveResult::Saved;
}

bool Resumemark::write(ResumemarkData &data)
{
    MarkerXml::Node root;
    if (!loadRoot(root, Q_FUNC_INFO))
        return false;

    MarkerXml::Node fresh[entryChildren] = {
        textElement(titleName, MarkerFile::titleToFile(data.title)),
        textElement(smilListPosName, QString::number(data.smilListPos)),
        textElement(navListPosName, QString::number(data.navListPos)),
        textElement(clipNodePosName, QString::number(data.clipNodePos)),
        textElement(playerTimeName, QString::number(data.playerTime)),
    };

    MarkerXml::Node *entry = findResumemark(root, data.title, data.identifier);
    if (!entry) {
        qCDebug(lcLibrary, "%s: No existing resumemark found, create new for adding!", Q_FUNC_INFO);
        root.children.push_back(element(entryName));
        entry = &root.children.back();
        for (MarkerXml::Node &child : fresh)
            entry->children.push_back(std::move(child));
        qCDebug(lcLibrary, "%s: new nodes are added!", Q_FUNC_INFO);
    } else {
        for (MarkerXml::Node &child : fresh) {
            if (MarkerXml::Node *old = entry->child(child.name)) {
                *old = std::move(child);
            } else {
                // An entry damaged by hand or by an old writer lacks a number:
                // add it, or the book could never be resumed again.
                entry->children.push_back(std::move(child));
            }
        }
        qCDebug(lcLibrary, "%s: old nodes are replaced!", Q_FUNC_INFO);
    }
    if (!data.identifier.isEmpty())
        setIdentifier(*entry, data.identifier);
    // When the place was stored: a book resumed after a long pause starts a
    // little earlier, so the reader finds the thread again.
    BookExtras extras;
    extras.read(*entry);
    extras.storedAt = BookClock::now();
    extras.write(*entry);

    return save(root, Q_FUNC_INFO);
}

bool Resumemark::save(const MarkerXml::Node &root, const char *function)
{
    const QByteArray content = MarkerXml::write(root, declaration, indentation);
    if (MarkerFile::save(fileName(), content) != MarkerFile::SaveResult::Saved) {
        qCWarning(lcLibrary, "%s: Failed to open file for writing new xml!", function);
        return false;
    }
    return true;
}

bool Resumemark::readBook(const QString &title, const QString &identifier, BookPlace *place, BookExtras *extras)
{
    if (!m_valid)
        return false;
    MarkerXml::Node root;
    if (!rootElement(root))
        return false;
    const MarkerXml::Node *entry = findResumemark(root, title, identifier);
    ResumemarkData data;
    if (!entry || !readNumbers(*entry, data, Q_FUNC_INFO))
        return false;
    *place = {data.smilListPos, data.navListPos, data.clipNodePos, data.playerTime};
    extras->read(*entry);
    return true;
}

bool Resumemark::updateBook(const QString &title, const QString &identifier, const std::function<void(BookPlace &, BookExtras &)> &change)
{
    MarkerXml::Node root;
    if (!loadRoot(root, Q_FUNC_INFO))
        return false;
    ResumemarkData data;
    BookExtras extras;
    MarkerXml::Node *entry = findResumemark(root, title, identifier);
    if (entry) {
        if (!readNumbers(*entry, data, Q_FUNC_INFO)) {
            // Not patched piecemeal: the player's next stop rewrites the whole entry.
            qCWarning(lcLibrary, "%s: the entry of %s cannot be read, left as it is", Q_FUNC_INFO, qUtf8Printable(title));
            return false;
        }
        extras.read(*entry);
    }
    BookPlace place{data.smilListPos, data.navListPos, data.clipNodePos, data.playerTime};
    change(place, extras);

    if (!entry) {
        root.children.push_back(element(entryName));
        entry = &root.children.back();
        entry->children.push_back(textElement(titleName, MarkerFile::titleToFile(title)));
        for (const QString *name : {&smilListPosName, &navListPosName, &clipNodePosName, &playerTimeName})
            entry->children.push_back(element(*name));
    }
    entry->child(smilListPosName)->text = QString::number(place.first);
    entry->child(navListPosName)->text = QString::number(place.second);
    entry->child(clipNodePosName)->text = QString::number(place.third);
    entry->child(playerTimeName)->text = QString::number(place.time);
    if (!identifier.isEmpty())
        setIdentifier(*entry, identifier);
    extras.write(*entry);
    return save(root, Q_FUNC_INFO);
}

bool Resumemark::read(ResumemarkData &data)
{
    MarkerXml::Node root;
    if (!loadRoot(root, Q_FUNC_INFO))
        return false;

    const MarkerXml::Node *entry = findResumemark(root, data.title, data.identifier);
    if (!entry) {
        qCDebug(lcLibrary, "%s: no resumemark found for %s", Q_FUNC_INFO, qUtf8Printable(data.title));
        return false;
    }
    return readNumbers(*entry, data, Q_FUNC_INFO);
}

bool Resumemark::readNumbers(const MarkerXml::Node &entry, ResumemarkData &data, const char *function)
{
    if (entry.children.size() != entryChildren) {
        qCWarning(lcLibrary, "%s: wrong number of nodes available!", function);
        return false;
    }

    // Filled one by one: a caller may keep what was read before a failure.
    const QString *const names[] = { &smilListPosName, &navListPosName, &clipNodePosName, &playerTimeName };
    int *const intFields[] = { &data.smilListPos, &data.navListPos, &data.clipNodePos, nullptr };
    for (int i = 0; i < 4; ++i) {
        const MarkerXml::Node *child = entry.child(*names[i]);
        if (!child) {
            qCWarning(lcLibrary, "%s: %s is not found!", function, qUtf8Printable(*names[i]));
            return false;
        }
        bool ok = false;
        qint64 value = child->allText().toLongLong(&ok);
        if (ok && intFields[i])
            ok = value >= std::numeric_limits<int>::min() && value <= std::numeric_limits<int>::max();
        if (!ok) {
            // A damaged number reads as 0, like any text that is no number: the
            // other fields still bring the reader near the place.
            qCWarning(lcLibrary, "%s: %s is not a number!", function, qUtf8Printable(*names[i]));
            value = 0;
        }
        if (intFields[i])
            *intFields[i] = int(value);
        else
            data.playerTime = value;
    }
    return true;
}

bool Resumemark::clear()
{
    if (!QFile::exists(fileName())) {
        qCDebug(lcLibrary, "%s: nothing to clear resumemark file doesn't exists!", Q_FUNC_INFO);
        return false;
    }
    // Replacing the file with an empty store in one step leaves no moment
    // without a file, unlike removing it first.
    if (!createFile()) {
        qCWarning(lcLibrary, "%s: could not remove old resumemark file!", Q_FUNC_INFO);
        return false;
    }
    qCDebug(lcLibrary, "%s: new file created!", Q_FUNC_INFO);
    return true;
}

bool Resumemark::loadRoot(MarkerXml::Node &root, const char *function)
{
    if (!m_valid)
        return false;
    if (!rootElement(root)) {
        qCWarning(lcLibrary, "%s: no root element available!", function);
        return false;
    }
    return true;
}

bool Resumemark::rootElement(MarkerXml::Node &root)
{
    const QString path = fileName();
    QByteArray content;
    QString reason;
    switch (MarkerFile::read(path, MarkerFile::kMaxStoreSize, &content, &reason)) {
    case MarkerFile::ReadResult::Read:
        break;
    case MarkerFile::ReadResult::Missing:
    case MarkerFile::ReadResult::Unreadable:
        qCWarning(lcLibrary, "%s: file could not be opened!", Q_FUNC_INFO);
        return false;
    case MarkerFile::ReadResult::TooLarge:
        // Neither read nor replaced: a store this size is not ours to judge.
        qCWarning(lcLibrary, "%s: refused %s (%s)", Q_FUNC_INFO, qUtf8Printable(path), qUtf8Printable(reason));
        return false;
    }

    QString error;
    switch (MarkerXml::parse(content, &root, &error)) {
    case MarkerXml::Result::Ok:
        if (root.name == rootName)
            return true;
        error = QStringLiteral("unexpected root element ") + root.name;
        root = element(rootName);
        break;
    case MarkerXml::Result::TooDeep:
        qCWarning(lcLibrary, "%s: refused %s (%s)", Q_FUNC_INFO, qUtf8Printable(path), qUtf8Printable(error));
        return false;
    case MarkerXml::Result::Damaged:
        qCWarning(lcLibrary, "%s: error setting content dom", Q_FUNC_INFO);
        // What was complete in front of the damage is still used, so a cut
        // at the end of the file costs at most the entry it cut.
        if (root.name != rootName)
            root = element(rootName);
        break;
    }

    // Damaged: keep it for service; the next write leaves a good file.
    const QString copy = MarkerFile::keepBroken(path);
    qCWarning(lcLibrary, "%s: damaged file %s (%s): %d entries kept, copy kept as %s", Q_FUNC_INFO, qUtf8Printable(path), qUtf8Printable(error), int(root.children.size()),
        qUtf8Printable(copy));
    return true;
}

MarkerXml::Node *Resumemark::findResumemark(MarkerXml::Node &root, const QString &title, const QString &identifier)
{
    const QString key = MarkerFile::titleToFile(title);
    bool any = false;
    MarkerXml::Node *titleOnly = nullptr;
    for (MarkerXml::Node &entry : root.children) {
        if (entry.isText || entry.name != entryName)
            continue;
        any = true;
        const MarkerXml::Node *entryTitle = entry.child(titleName);
        const QString text = entryTitle ? entryTitle->allText() : QString();
        if (text != key)
            continue;
        const QString stored = entry.attribute(identifierName);
        if (stored == identifier) {
            qCDebug(lcLibrary, "%s: book title is found.. return resumemark..", Q_FUNC_INFO);
            return &entry;
        }
        if (stored.isEmpty() && !titleOnly)
            titleOnly = &entry;
    }
    if (!any)
        qCDebug(lcLibrary, "%s: no resumemark items found!", Q_FUNC_INFO);
    if (titleOnly && !identifier.isEmpty()) {
        // Stored before identifiers were kept: still this book's place.
        qCDebug(lcLibrary, "%s: resumemark of %s found by its title alone", Q_FUNC_INFO, qUtf8Printable(title));
        return titleOnly;
    }
    return nullptr;
}
