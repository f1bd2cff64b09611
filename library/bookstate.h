// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_LIBRARY_BOOKSTATE_H
#define QUIMBO_LIBRARY_BOOKSTATE_H

#include "library/bookextras.h"

#include <QString>

#include <functional>

/**
 * Which entry of which resume store belongs to a book: the DAISY player
 * keeps its places in the resume markers, the other players in the resume
 * marks. A player names its book's entry this way, so that the front end
 * can keep the reader's bookmarks, speed and pitch beside the place
 * without knowing how the player counts its places.
 */
struct BookKey
{
    enum Store {
        None, ///< the player keeps no place
        Markers, ///< "/root/quimbo/resumemarker.xml"
        Marks, ///< "/root/quimbo/resumemark.xml"
    };
    Store store = None;
    QString title;
    QString identifier;

    bool isValid() const { return store != None && !title.isEmpty(); }
};

/** Reads and changes a book's entry in its store; every call reads the file anew. */
namespace BookState {

/** The book's place and extras; false when its store has no entry for it. */
bool read(const BookKey &key, BookPlace *place, BookExtras *extras);

/**
 * Changes the place or extras of a book in one atomic write of its store,
 * creating the entry at the start of the book when there is none; false
 * (logged) when nothing was written.
 */
bool update(const BookKey &key, const std::function<void(BookPlace &, BookExtras &)> &change);

} // namespace BookState

#endif
