// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLAYERS_AUDIOBOOKPLAYER_H
#define QUIMBO_PLAYERS_AUDIOBOOKPLAYER_H

#include "library/audiobook.h"

#include <QObject>

class AudioSettings;
class Input;

/**
 * The player front end: opens the concrete player that fits a book and
 * turns keys into navigation. Created by the main controller for one book;
 * deletes itself (deferred) when it signals its end. Main thread.
 *
 * This is the minimal form the main controller needs until the book players
 * land: no kind of book can be opened yet, so open() refuses every book and
 * the controller returns to the bookshelf.
 */
class AudioBookPlayer : public QObject
{
    Q_OBJECT

public:
    AudioBookPlayer(AudioSettings *audioSettings, Input *input, QObject *parent = nullptr);
    ~AudioBookPlayer() override;

    /** False when no player can open the book (the reason is logged). */
    bool open(const AudioBook &audioBook);

public Q_SLOTS:
    /** Starts playing at once. */
    void run();
    /** Waits for the play key. */
    void runIdle();
    /** Leaves the player, saving the position first. */
    void aboutToQuit();

Q_SIGNALS:
    void quit();
    void shutdown();
    void ejectCd();
    void ejectCdAndQuit();
    void quitToBookshelf();
    void quitSystemSettings();
};

#endif
