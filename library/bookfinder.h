// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_LIBRARY_BOOKFINDER_H
#define QUIMBO_LIBRARY_BOOKFINDER_H

#include "library/audiobook.h"
#include "library/mediasource.h"

#include <QList>
#include <QObject>

/**
 * Turns a medium into books: an audio CD is one book; on a file system the
 * DAISY books come first (their folders, and every folder whose path holds
 * such a folder's path, are claimed and offered no more), then each unclaimed
 * folder of MP3 files, then each EPUB file, in the order of the medium's file
 * list. Books are not numbered here: the collection numbers them.
 *
 * findAudioBooks() touches no shared state and may run on any thread. The
 * object form lives on the bookshelf's search thread and answers each
 * find() with found(), in the order asked.
 */
class BookFinder : public QObject
{
    Q_OBJECT

public:
    explicit BookFinder(QObject *parent = nullptr);

    static QList<AudioBook> findAudioBooks(const MediaSource &mediaSource);

public Q_SLOTS:
    void find(const MediaSource &mediaSource, int serial);

Q_SIGNALS:
    /** Comes on the thread the finder lives on (the search thread); connect queued. */
    void found(const MediaSource &mediaSource, int serial, const QList<AudioBook> &audioBooks);
};

#endif
