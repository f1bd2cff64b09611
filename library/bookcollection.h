// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_LIBRARY_BOOKCOLLECTION_H
#define QUIMBO_LIBRARY_BOOKCOLLECTION_H

#include "library/audiobook.h"

#include <QString>

#include <memory>

class BookCollectionPrivate;

/**
 * The books of all present media, in the one order every index refers to:
 * first the DAISY books, then all other books; within each, media types
 * ascending (CD, USB, SD card), and each medium's books in the order they
 * were added. The books of one kind on one medium form a group.
 *
 * Owned by the bookshelf; main thread. A lookup that fails returns the
 * undefined book.
 */
class BookCollection
{
public:
    BookCollection();
    BookCollection(const BookCollection &other);
    BookCollection &operator=(const BookCollection &other);
    ~BookCollection();

    int count() const;

    /**
     * Appends the book to its group. A non-DAISY book is numbered first:
     * 1 + the number of non-DAISY books already on its medium.
     */
    void addAudioBook(AudioBook &audioBook);

    /** The book at a global position; undefined when out of range. */
    AudioBook audioBook(int index) const;
    /** The first book of that media type with that url, DAISY books searched first. */
    AudioBook audioBook(const QString &url, int mediaType) const;
    /** Global position of an equal book, -1 when absent. */
    int indexOf(const AudioBook &audioBook) const;

    void removeAudioBook(const AudioBook &audioBook);
    /** Drops every book of that media type, of both kinds. */
    void removeAudioBooksByMediaType(int mediaType);
    bool containsMediaType(int mediaType) const;
    /** Books of that media type, of both kinds; 0 for -1. */
    int countByMediaType(int mediaType) const;

    /** The first book of the following or preceding group; undefined beyond either end. */
    AudioBook nextMediaType(const AudioBook &audioBook) const;
    AudioBook previousMediaType(const AudioBook &audioBook) const;

    void clear();

private:
    AudioBook walkMediaType(const AudioBook &audioBook, int step) const;

    std::unique_ptr<BookCollectionPrivate> d;
};

#endif
