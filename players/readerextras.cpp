// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "players/readerextras.h"

#include "audio/audiosettings.h"
#include "library/bookstate.h"
#include "players/audiobookplayerinterface.h"
#include "players/logcategory.h"

#include <QDebug>
#include <QSettings>

#include <algorithm>

namespace {

bool enabled(const char *key)
{
    return QSettings().value(QLatin1String(key), true).toBool();
}

BookKey keyOf(AudioBookPlayerInterface *player)
{
    return player ? player->bookKey() : BookKey();
}

} // namespace

bool ReaderExtras::bookSoundEnabled()
{
    return enabled(kBookSoundKey);
}

bool ReaderExtras::recapEnabled()
{
    return enabled(kRecapKey);
}

void ReaderExtras::restoreSound(AudioBookPlayerInterface *player, AudioSettings *settings)
{
    const BookKey key = keyOf(player);
    if (!key.isValid() || !settings)
        return;
    BookPlace place;
    BookExtras extras;
    BookState::read(key, &place, &extras);
    if (extras.hasSound()) {
        if (!bookSoundEnabled())
            return;
        qCDebug(lcPlayers) << "[ReaderExtras::restoreSound] the book's own speed and pitch:" << extras.tempo << extras.pitch;
        settings->setTempo(extras.tempo);
        settings->setPitch(extras.pitch);
        return;
    }
    keepSound(player, settings);
}

void ReaderExtras::keepSound(AudioBookPlayerInterface *player, const AudioSettings *settings)
{
    const BookKey key = keyOf(player);
    if (!key.isValid() || !settings)
        return;
    const float tempo = settings->tempo();
    const int pitch = settings->pitch();
    BookState::update(key, [&](BookPlace &, BookExtras &extras) {
        extras.tempo = tempo;
        extras.pitch = pitch;
    });
}

void ReaderExtras::prepareResume(AudioBookPlayerInterface *player)
{
    const BookKey key = keyOf(player);
    if (!key.isValid())
        return;
    qint64 lead = 0;
    BookPlace place;
    BookExtras extras;
    if (recapEnabled() && BookState::read(key, &place, &extras)) {
        const qint64 now = BookClock::now();
        lead = recapMsec(extras.storedAt, now);
        if (lead > 0)
            qCDebug(lcPlayers) << "[ReaderExtras::prepareResume] recap of" << lead << "ms after" << (now - extras.storedAt) / 1000 << "s away";
    }
    player->setLeadIn(lead);
}

int ReaderExtras::addBookmark(AudioBookPlayerInterface *player, BookPlace *place)
{
    const BookKey key = keyOf(player);
    if (!key.isValid())
        return NotStored;
    int number = NotStored;
    const bool saved = BookState::update(key, [&](BookPlace &stored, BookExtras &extras) {
        *place = stored;
        number = extras.addBookmark(stored);
        if (number == 0)
            number = BookmarksFull;
    });
    if (!saved)
        return NotStored;
    if (number == BookmarksFull)
        qCWarning(lcPlayers) << "[ReaderExtras::addBookmark] the book holds" << BookExtras::kMaxBookmarks << "bookmarks, none added";
    return number;
}

int ReaderExtras::walkBookmark(AudioBookPlayerInterface *player, int direction, BookPlace *place)
{
    const BookKey key = keyOf(player);
    if (!key.isValid())
        return NotStored;
    BookPlace stored;
    BookExtras extras;
    if (!BookState::read(key, &stored, &extras) || extras.bookmarks.isEmpty())
        return NoBookmark;
    const QList<BookPlace> &marks = extras.bookmarks;
    qsizetype index = -1;
    if (direction > 0) {
        const auto next = std::upper_bound(marks.begin(), marks.end(), stored);
        index = next == marks.end() ? -1 : next - marks.begin();
    } else {
        const auto next = std::lower_bound(marks.begin(), marks.end(), stored);
        index = next == marks.begin() ? -1 : next - marks.begin() - 1;
    }
    if (index < 0)
        return NoBookmark;
    *place = marks.at(index);
    const bool saved = BookState::update(key, [&](BookPlace &target, BookExtras &) { target = *place; });
    if (!saved)
        return NotStored;
    player->reloadResumeMark();
    return int(index) + 1;
}

int ReaderExtras::deleteBookmark(AudioBookPlayerInterface *player, const BookPlace &place)
{
    const BookKey key = keyOf(player);
    if (!key.isValid())
        return NotStored;
    int number = NoBookmark;
    const bool saved = BookState::update(key, [&](BookPlace &, BookExtras &extras) {
        number = extras.bookmarkNumber(place);
        if (number > 0)
            extras.bookmarks.removeAt(number - 1);
    });
    return saved ? number : NotStored;
}
