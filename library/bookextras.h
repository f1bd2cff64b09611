// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_LIBRARY_BOOKEXTRAS_H
#define QUIMBO_LIBRARY_BOOKEXTRAS_H

#include <QList>
#include <QString>

#include <functional>
#include <tuple>
#include <utility>

namespace MarkerXml {
struct Node;
}

/**
 * A place in a book as its resume mark holds it: three numbers and a time,
 * their meaning the player's own. Every player counts them so that the
 * order of the numbers, taken in turn, is the order of the book.
 */
struct BookPlace
{
    int first = 0;
    int second = 0;
    int third = 0;
    qint64 time = 0;

    bool operator==(const BookPlace &other) const { return key() == other.key(); }
    bool operator!=(const BookPlace &other) const { return !(*this == other); }
    bool operator<(const BookPlace &other) const { return key() < other.key(); }

private:
    std::tuple<int, int, int, qint64> key() const { return {first, second, third, time}; }
};

/**
 * What the device keeps about a book besides its place, in the same entry of
 * the same store, so that one atomic write keeps them together: when the
 * place was last stored (for the recap on resume), the speed and pitch the
 * book was read at, and the reader's bookmarks in book order.
 *
 * They are attributes of the book's entry: firmware that predates them
 * reads the entry as before and leaves them alone.
 */
struct BookExtras
{
    static constexpr int kMaxBookmarks = 100;

    /** ms since the epoch when the place was stored; 0 when not known. */
    qint64 storedAt = 0;
    /** 0 when the book has no speed of its own yet. */
    float tempo = 0;
    int pitch = 0;
    /** Sorted, without duplicates, at most kMaxBookmarks. */
    QList<BookPlace> bookmarks;

    bool hasSound() const { return tempo > 0; }

    /**
     * Adds a bookmark in book order; its number (1-based) in that order, or 0
     * when the book already holds kMaxBookmarks. A place already marked keeps
     * its one bookmark.
     */
    int addBookmark(const BookPlace &place);
    /** The 1-based number of the bookmark at place, or 0. */
    int bookmarkNumber(const BookPlace &place) const;

    /** Reads the attributes of a stored entry; damaged values are dropped (logged). */
    void read(const MarkerXml::Node &entry);
    /** Sets the attributes on an entry, replacing those of an earlier write. */
    void write(MarkerXml::Node &entry) const;
};

namespace BookClock {
/** The wall clock in ms since the epoch; tests put their own clock here (empty: the system's). */
qint64 now();
void setClock(std::function<qint64()> clock);
} // namespace BookClock

/**
 * How far before its stored place a book resumes, by how long ago the place
 * was stored: nothing within a minute (or when unknown, or when the clock
 * went back), 5 s after a minute, 10 s after an hour, 20 s after a day.
 */
qint64 recapMsec(qint64 storedAt, qint64 now);

#endif
