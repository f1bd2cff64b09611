// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLAYERS_AUDIOBOOKPLAYERINTERFACE_H
#define QUIMBO_PLAYERS_AUDIOBOOKPLAYERINTERFACE_H

#include "library/bookstate.h"

#include <QString>
#include <QtGlobal>

class VlcMediaPlayer;

/**
 * What the player front end asks of every kind of book player. A concrete
 * player is also a QObject with the signal finished(), raised when playing
 * on has reached the end of the book. Main thread.
 *
 * The moving operations (walkHeading, walkPage, fastForward, rewind and a
 * failing changeTrackNumber) answer with a ResultCode.
 */
class AudioBookPlayerInterface
{
public:
    enum ResultCode {
        Done = 0,
        Refused = 1, ///< for example because the book is playing
        NoBook = 2, ///< no book open, or an invalid argument
        BeginOfBook = 3, ///< the beginning of the book was passed
        EndOfBook = 4, ///< the end of the book was reached
        EngineFailure = 7, ///< the engine failed to play or seek
    };

    virtual ~AudioBookPlayerInterface() = default;

    /** "Daisy Player", "Epub Player", "Cdda Player" or "Digital Player". */
    virtual QString name() = 0;
    virtual bool open(const QString &url) = 0;
    virtual void close() = 0;
    /** Starts at the current position (the resume mark unless setResume(false)). */
    virtual bool play() = 0;
    /** Stops and stores the position. */
    virtual void stop() = 0;
    virtual void pause() = 0;
    virtual void unpause() = 0;
    virtual void mute(bool muted) = 0;
    virtual void changeTempo(double tempo) = 0;
    virtual void changePitch(int semitones) = 0;
    virtual int level() = 0;
    /** False when the level is not possible; the level stays. */
    virtual bool setLevel(int level) = 0;
    /** One heading forward (+) or back (-). */
    virtual int walkHeading(int step) = 0;
    /** One page forward (+) or back (-); 0 plays from the page reached. With play false nothing plays. */
    virtual int walkPage(int step, bool play) = 0;
    virtual int trackNumber() = 0;
    /** The new track number. */
    virtual int changeTrackNumber(int step) = 0;
    virtual int totalTracks() = 0;
    virtual int fastForward(int seconds) = 0;
    /** The front end passes a negative number of seconds. */
    virtual int rewind(int seconds) = 0;
    virtual bool isPlaying() = 0;
    /** Whether the next play() starts from the stored position. */
    virtual void setResume(bool resume) = 0;
    /** Stores the start of the book as the position. */
    virtual void resetResumeMark() = 0;
    /** Seconds; negative when not known. */
    virtual int totalTime() = 0;
    /** Seconds; negative when not known. */
    virtual int elapsedTime() = 0;
    virtual VlcMediaPlayer *mediaPlayer() = 0;

    /**
     * The entry of the resume store that holds this book's place; the front
     * end keeps the reader's bookmarks, speed and pitch beside it. Invalid
     * for a player that keeps no place.
     */
    virtual BookKey bookKey() { return {}; }
    /**
     * The next play() from the stored place starts @p msec earlier, but not
     * before the start of the clip, chapter file or track the place is in:
     * the recap after a pause. Used once.
     */
    virtual void setLeadIn(qint64 msec) { Q_UNUSED(msec) }
    /** The stored place was changed from outside (a bookmark was chosen): read it again. */
    virtual void reloadResumeMark() { }
};

#endif
