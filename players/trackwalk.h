// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLAYERS_TRACKWALK_H
#define QUIMBO_PLAYERS_TRACKWALK_H

#include "players/audiobookplayerinterface.h"

#include <QtGlobal>

#include <functional>

class VlcMediaPlayer;

/**
 * Where a wind across track ends lands, for the players whose book is a row
 * of numbered tracks (a folder of MP3 files, an audio CD).
 */
namespace TrackWalk {

struct Target {
    /** Unknown: the walk reached a track whose length is not known yet and stopped there. */
    enum Kind { Inside, PastEnd, BeforeStart, Unknown };
    Kind kind = Inside;
    int track = 1;
    /**
     * ms into track, for Inside; for Unknown the ms still to go: into the track going
     * forward, before its end going backward.
     */
    qint64 position = 0;
};

/** Milliseconds of a track; negative while not known. */
using Length = std::function<qint64(int track)>;

/** @p remainder ms beyond the end of @p track, going on through tracks up to @p total. */
Target forward(int track, qint64 remainder, int total, const Length &length, const char *function);
/** @p shortfall ms before the start of @p track, going back through the tracks before it. */
Target backward(int track, qint64 shortfall, const Length &length, const char *function);

/**
 * A relative seek of a playing engine by @p offset ms. A result code of the
 * player interface when that settles it (done, or engine failure), else -1
 * with the engine stopped and the part of the jump outside the file in
 * @p beyond.
 */
int seekWithin(VlcMediaPlayer *engine, qint64 offset, const char *function, qint64 *beyond);

/** @p track moved by @p step among 1 to @p total, wrapping at both ends (logged). */
int wrap(int track, int step, int total, const char *function);

} // namespace TrackWalk

/**
 * What the players of numbered tracks share: the controls that go straight
 * to their engine, no levels or pages to walk, and a stop that keeps where
 * it was in the resume mark.
 */
class TrackWalkPlayer : public AudioBookPlayerInterface
{
public:
    void pause() override;
    void unpause() override;
    void mute(bool muted) override;
    void changeTempo(double tempo) override;
    void changePitch(int semitones) override;
    int level() override;
    bool setLevel(int level) override;
    int walkHeading(int step) override;
    int walkPage(int step, bool play) override;
    void setLeadIn(qint64 msec) override { m_leadIn = msec; }

protected:
    /** Where a resumed play starts in a track stored at @p time: the recap asked for, not before the track's start. Used once. */
    qint64 takeLeadIn(qint64 time);

    /** Writes the resume mark of a track: true when written. */
    using MarkWriter = std::function<bool(int track, qint64 time)>;
    /** Stops a playing engine (@p playing) and marks @p track at where it was (logged). */
    void stopAndMark(bool *playing, int track, const MarkWriter &write);
    /** The walk past the last of @p total tracks: stopped at the end of it, marked there, @p endOfBook set. */
    int endOfBookReached(bool *playing, int *trackNumber, int total, const TrackWalk::Length &length, bool *endOfBook,
                         const MarkWriter &write);
    /**
     * Moves a stopped player @p step tracks on among @p total, wrapping, and marks the new
     * track at its start; the new track, or Refused while @p playing. @p function names the
     * caller in the log.
     */
    int stepTrack(int step, bool playing, int *trackNumber, int total, bool *endOfBook, const MarkWriter &write,
                  const char *function);
    /** The walk before the first track: stopped on track 1, resume mark reset. */
    int beginOfBookReached(bool *playing, int *trackNumber);

private:
    qint64 m_leadIn = 0;
};

#endif
