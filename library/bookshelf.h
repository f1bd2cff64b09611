// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_LIBRARY_BOOKSHELF_H
#define QUIMBO_LIBRARY_BOOKSHELF_H

#include "library/audiobook.h"
#include "library/mediasource.h"

#include <QList>
#include <QObject>

class AudioSettings;
class Input;

/**
 * The mode in which the user chooses a book among those on the present
 * media. One instance, created by the main controller at power-up. Main
 * thread.
 *
 * This is the minimal form the main controller needs until the bookshelf
 * lands: it remembers the media it is given but finds no books on them yet,
 * so its collection stays empty and run() quits at once.
 */
class BookShelf : public QObject
{
    Q_OBJECT

public:
    BookShelf(AudioSettings *audioSettings, Input *input, QObject *parent = nullptr);
    ~BookShelf() override;

    /** Number of books on the shelf. */
    int count() const;
    /** The book handed to the player (or to return to); undefined otherwise. */
    AudioBook bookInUse() const;
    /** The book at a position; the undefined book (and a log line) when there is none. */
    AudioBook bookAt(int index) const;
    void setLastPlayedAudioBook(const AudioBook &audioBook);

public Q_SLOTS:
    void run();
    void runNormal();
    void keyPressEvent(int key);
    void keyReleaseEvent(int key);
    void keyHoldEvent(int key);
    void addMediaSource(MediaSource mediaSource);
    void removeMediaSource(MediaSource mediaSource);

Q_SIGNALS:
    void quit();
    void shutdown();
    void audioBooksAdded();
    void audioBookSelected(bool autoPlay);
    void audioBookInUseRemoved();
    void ejectCd();

private:
    bool m_active = false;
    int m_mode = 0;
    AudioBook m_bookInUse;
    QList<AudioBook> m_books;
    QList<MediaSource> m_mediaSources;
};

#endif
