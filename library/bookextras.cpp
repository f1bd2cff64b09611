// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/bookextras.h"

#include "library/logcategory.h"
#include "library/markerxml.h"

#include <QDateTime>

#include <algorithm>

namespace {

const QString storedAtName = QStringLiteral("stored");
const QString tempoName = QStringLiteral("tempo");
const QString pitchName = QStringLiteral("pitch");
const QString bookmarksName = QStringLiteral("bookmarks");

std::function<qint64()> &testClock()
{
    static std::function<qint64()> s_clock;
    return s_clock;
}

QString placeText(const BookPlace &place)
{
    return QStringLiteral("%1,%2,%3,%4").arg(place.first).arg(place.second).arg(place.third).arg(place.time);
}

bool parsePlace(const QString &text, BookPlace *place)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return false;
    bool ok[4] = {};
    place->first = parts[0].toInt(&ok[0]);
    place->second = parts[1].toInt(&ok[1]);
    place->third = parts[2].toInt(&ok[2]);
    place->time = parts[3].toLongLong(&ok[3]);
    return ok[0] && ok[1] && ok[2] && ok[3] && place->first >= 0 && place->second >= 0 && place->third >= 0 && place->time >= 0;
}

void setAttribute(MarkerXml::Node &entry, const QString &name, const QString &value)
{
    for (auto &attribute : entry.attributes) {
        if (attribute.first == name) {
            attribute.second = value;
            return;
        }
    }
    entry.attributes.append({name, value});
}

void removeAttribute(MarkerXml::Node &entry, const QString &name)
{
    entry.attributes.removeIf([&](const std::pair<QString, QString> &attribute) { return attribute.first == name; });
}

} // namespace

int BookExtras::addBookmark(const BookPlace &place)
{
    const auto at = std::lower_bound(bookmarks.begin(), bookmarks.end(), place);
    if (at != bookmarks.end() && *at == place)
        return int(at - bookmarks.begin()) + 1;
    if (bookmarks.size() >= kMaxBookmarks)
        return 0;
    const int number = int(at - bookmarks.begin()) + 1;
    bookmarks.insert(at, place);
    return number;
}

int BookExtras::bookmarkNumber(const BookPlace &place) const
{
    const auto at = std::lower_bound(bookmarks.begin(), bookmarks.end(), place);
    return at != bookmarks.end() && *at == place ? int(at - bookmarks.begin()) + 1 : 0;
}

void BookExtras::read(const MarkerXml::Node &entry)
{
    *this = BookExtras();
    bool ok = false;
    const QString stored = entry.attribute(storedAtName);
    if (!stored.isEmpty()) {
        storedAt = stored.toLongLong(&ok);
        if (!ok || storedAt < 0) {
            qCWarning(lcLibrary).noquote() << "[BookExtras::read] stored time is no time, ignored:" << stored;
            storedAt = 0;
        }
    }
    const QString tempoText = entry.attribute(tempoName);
    if (!tempoText.isEmpty()) {
        bool okTempo = false;
        const float t = tempoText.toFloat(&okTempo);
        const int p = entry.attribute(pitchName).toInt(&ok);
        // Only a plausible pair is used; the audio settings clamp it to their own range.
        if (okTempo && ok && t > 0 && t <= 4 && p >= -12 && p <= 12) {
            tempo = t;
            pitch = p;
        } else {
            qCWarning(lcLibrary).noquote() << "[BookExtras::read] speed or pitch out of range, ignored:" << tempoText << entry.attribute(pitchName);
        }
    }
    const QString marks = entry.attribute(bookmarksName);
    int dropped = 0;
    for (const QString &text : marks.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        BookPlace place;
        if (!parsePlace(text, &place) || bookmarks.size() >= kMaxBookmarks) {
            ++dropped;
            continue;
        }
        bookmarks.append(place);
    }
    if (dropped)
        qCWarning(lcLibrary) << "[BookExtras::read] damaged or surplus bookmarks dropped:" << dropped;
    std::sort(bookmarks.begin(), bookmarks.end());
    bookmarks.erase(std::unique(bookmarks.begin(), bookmarks.end()), bookmarks.end());
}

void BookExtras::write(MarkerXml::Node &entry) const
{
    if (storedAt > 0)
        setAttribute(entry, storedAtName, QString::number(storedAt));
    else
        removeAttribute(entry, storedAtName);
    if (hasSound()) {
        setAttribute(entry, tempoName, QString::number(double(tempo)));
        setAttribute(entry, pitchName, QString::number(pitch));
    } else {
        removeAttribute(entry, tempoName);
        removeAttribute(entry, pitchName);
    }
    if (bookmarks.isEmpty()) {
        removeAttribute(entry, bookmarksName);
        return;
    }
    QStringList texts;
    texts.reserve(bookmarks.size());
    for (const BookPlace &place : bookmarks)
        texts.append(placeText(place));
    setAttribute(entry, bookmarksName, texts.join(QLatin1Char(' ')));
}

qint64 BookClock::now()
{
    return testClock() ? testClock()() : QDateTime::currentMSecsSinceEpoch();
}

void BookClock::setClock(std::function<qint64()> function)
{
    testClock() = std::move(function);
}

qint64 recapMsec(qint64 storedAt, qint64 now)
{
    constexpr qint64 kMinute = 60 * 1000;
    constexpr qint64 kHour = 60 * kMinute;
    constexpr qint64 kDay = 24 * kHour;
    if (storedAt <= 0)
        return 0;
    const qint64 away = now - storedAt;
    if (away >= kDay)
        return 20 * 1000;
    if (away >= kHour)
        return 10 * 1000;
    if (away > kMinute)
        return 5 * 1000;
    return 0;
}
