// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLAYERS_READEREXTRAS_H
#define QUIMBO_PLAYERS_READEREXTRAS_H

#include "library/bookextras.h"

class AudioBookPlayerInterface;
class AudioSettings;

/**
 * What the front end keeps for the reader beside each book's place (see
 * BookExtras): the book's own speed and pitch, the recap on resume and the
 * bookmarks. Every call reads the book's store anew and each change is one
 * atomic write of it. Main thread.
 */
namespace ReaderExtras {

/** Settings store keys of the two menu items that turn the extras off (both on by default). */
constexpr const char *kBookSoundKey = "bookSound";
constexpr const char *kRecapKey = "recapOnResume";

bool bookSoundEnabled();
bool recapEnabled();

/**
 * On opening a book: a book read before brings back the speed and pitch it
 * was read at (into the audio settings, which every player reads); a book
 * not read before keeps the current ones as its own.
 */
void restoreSound(AudioBookPlayerInterface *player, AudioSettings *settings);
/** After the reader changed speed or pitch in a book. */
void keepSound(AudioBookPlayerInterface *player, const AudioSettings *settings);

/** Before the reader's play() from the stored place: the recap, by how long ago the place was stored. */
void prepareResume(AudioBookPlayerInterface *player);

/** Answers of the bookmark operations besides a bookmark's number (1 and up). */
enum BookmarkAnswer {
    NoBookmark = 0, ///< none there, or none that way
    BookmarksFull = -1,
    NotStored = -2, ///< the book keeps no place, or its store could not be written
};

/**
 * A bookmark at the stored place of a stopped player: its number in book
 * order, or an answer. @p place gets the place.
 */
int addBookmark(AudioBookPlayerInterface *player, BookPlace *place);
/**
 * Makes the next (+1) or previous (-1) bookmark from the stored place the
 * stored place of a stopped player: its number, or an answer. @p place gets it.
 */
int walkBookmark(AudioBookPlayerInterface *player, int direction, BookPlace *place);
/** Deletes the bookmark at @p place: the number it had, or an answer. */
int deleteBookmark(AudioBookPlayerInterface *player, const BookPlace &place);

} // namespace ReaderExtras

#endif
