// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_LIBRARY_BOOKSHELF_H
#define QUIMBO_LIBRARY_BOOKSHELF_H

#include "library/audiobook.h"
#include "library/mediasource.h"
#include "system/modebase.h"

#include <memory>

class AudioSettings;
class Input;
class BookShelfPrivate;

/**
 * The mode in which the user chooses a book among those on the present
 * media. Turns every inserted medium into books (the search runs on a thread
 * of its own, so a medium with thousands of files never holds up a key),
 * speaks each book's title as the keys walk through them, decides whether the
 * shelf is shown at all (one book starts by itself; a medium remembers the
 * book read last), and hands the chosen book to the main controller.
 *
 * One instance, created by the main controller at power-up; lives until the
 * process ends. Main thread.
 */
class BookShelf : public ModeBase
{
    Q_OBJECT

public:
    enum Mode {
        NormalMode = 0, ///< the user walks and chooses
        SingleMode = 1, ///< one medium with one book: it starts by itself
        LastPlayedMode = 2, ///< one medium, several books: the one read last starts by itself
    };

    BookShelf(AudioSettings *audioSettings, Input *input, QObject *parent = nullptr);
    ~BookShelf() override;

    /** Number of books on the shelf. */
    int count() const;
    /** The book handed to the player (or to return to); undefined otherwise. */
    AudioBook bookInUse() const;
    /** The book the player reads, when the controller starts it without the shelf's choice (back from the menu). */
    void setBookInUse(const AudioBook &audioBook);
    /** The book at a position; the undefined book (and a log line) when there is none. */
    AudioBook bookAt(int index) const;
    /** Remembers on the book's medium that it was read last (only on media with several books). */
    void setLastPlayedAudioBook(const AudioBook &audioBook);

    /** For tests and the simulator: the mode, the cursor, and whether the shelf is the current mode. */
    int mode() const;
    int index() const;
    bool isActive() const;
    /** Media still being searched. */
    int pendingSearches() const;

public Q_SLOTS:
    void run();
    void runNormal();
    void addMediaSource(MediaSource mediaSource);
    void removeMediaSource(MediaSource mediaSource);
    /** The drive kept the disc: said at once on the shelf, else when the shelf opens next. */
    void ejectFailed();

Q_SIGNALS:
    void quit();
    void audioBooksAdded();
    void audioBookSelected(bool autoPlay);
    void audioBookInUseRemoved();
    void ejectCd();

private Q_SLOTS:
    void runSystemSettings();
    void playTitleFinished();
    void audioBooksFound(const MediaSource &mediaSource, int serial, const QList<AudioBook> &audioBooks);

protected:
    bool answersWithBeeps() const override;
    void keysTakenAway() override;
    void sleepExpired() override;
    void standbyExpired() override;

private:
    friend class BookShelfPrivate;
    void buildKeyTable();
    void playTitle(const AudioBook &book);
    void walkAudioBook(int step);
    void walkAudioBookMediaType(int step);
    void selectAudioBook(const AudioBook &book);

    const std::unique_ptr<BookShelfPrivate> d;
};

#endif
