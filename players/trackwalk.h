// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLAYERS_TRACKWALK_H
#define QUIMBO_PLAYERS_TRACKWALK_H

#include "players/audiobookplayerinterface.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

class AudioSettings;
struct ResumemarkData;

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
 * to their engine, no levels or pages to walk, the resume mark (read at play,
 * written at stop and at every step), stepping and winding across track
 * ends, playing on from one track to the next, the elapsed time, and the
 * restart after the end of the book. A player adds what its medium is: how
 * it opens, the tracks' places and lengths, and the key of its resume mark.
 *
 * Owns the engine. Main thread.
 */
class TrackWalkPlayer : public AudioBookPlayerInterface
{
public:
    ~TrackWalkPlayer() override;

    bool play() override;
    void stop() override;
    void pause() override;
    void unpause() override;
    void mute(bool muted) override;
    void changeTempo(double tempo) override;
    void changePitch(int semitones) override;
    int level() override;
    bool setLevel(int level) override;
    int walkHeading(int step) override;
    int walkPage(int step, bool play) override;
    int trackNumber() override;
    int changeTrackNumber(int step) override;
    int totalTracks() override;
    int fastForward(int seconds) override;
    int rewind(int seconds) override;
    bool isPlaying() override;
    void setResume(bool resume) override;
    void resetResumeMark() override;
    int elapsedTime() override;
    VlcMediaPlayer *mediaPlayer() override;
    BookKey bookKey() override;
    void setLeadIn(qint64 msec) override { m_leadIn = msec; }

protected:
    TrackWalkPlayer();

    /** What the log lines of a player say about it. */
    struct LogNames {
        const char *className; ///< "CddaAudioBookPlayer": the lines start with its signatures
        const char *book; ///< "cdda audio book"
        const char *markInfo; ///< heading of the resume mark read: "CDDA audiobook"
    };
    virtual LogNames logNames() const = 0;
    /** The resume mark's key of the open book. */
    virtual QString markTitle() const = 0;
    /** Milliseconds of @p track; negative while not known: a walk then opens the track to learn it. */
    virtual qint64 trackLength(int track) const = 0;
    /** What the engine plays for @p track. */
    virtual QString trackUrl(int track) const = 0;
    /** The engine opened @p track and found it @p msec long. */
    virtual void learnLength(int track, qint64 msec);
    /**
     * Reads the stored mark of markTitle() into @p mark; false when there is
     * none. A player whose key changed over time looks for its older keys here.
     */
    virtual bool readStoredMark(ResumemarkData &mark);
    /** Playing on has passed the last track: the player raises finished(). */
    virtual void bookEnded() = 0;

    /** For open(): @p total tracks are there; the current one is the resume mark's. */
    void setOpened(int total);
    /** For close(): stops the engine; no book. */
    void setClosed();
    bool isOpened() const { return m_opened; }
    /** The engine's finished(): plays on to the next track that plays. */
    void engineFinished();
    /** The stored position, checked against the book: a mark outside it is the start. */
    ResumemarkData readResumemarkData();
    bool writeResumemark(int track, qint64 time);
    /** The signature of @p operation for the log: "virtual bool CddaAudioBookPlayer::play()". */
    QByteArray signature(const char *returns, const char *operation) const;

private:
    /** The recap asked for the next resumed play(), in ms. */
    qint64 m_leadIn = 0;
    int startTrack(int track, qint64 from);
    /** Starts @p track from its beginning and keeps the length the engine found on opening it. */
    int startToLearn(int track);
    /** Going on @p remainder ms from the end of @p track, track by track. */
    int walkOn(int track, qint64 remainder, const char *function);
    /** Going back @p shortfall ms from the start of @p track, track by track. */
    int walkBack(int track, qint64 shortfall, const char *function);
    /** The walk past the last track: stopped at the end of it, marked there, end of book. */
    int endOfBookReached();
    /** The walk before the first track: stopped on track 1, resume mark reset. */
    int beginOfBookReached();
    /** From @p first on, the first track that plays from @p from (then 0); false when none does. */
    bool startFirstPlaying(int first, qint64 from, const char *function);
    qint64 knownLength(int track) const { return qMax<qint64>(0, trackLength(track)); }

    bool m_opened = false;
    bool m_resume = true;
    bool m_playing = false;
    bool m_endOfBook = false;
    int m_trackNumber = 1;
    int m_totalTracks = 0;
    std::unique_ptr<AudioSettings> m_audioSettings;
    std::unique_ptr<VlcMediaPlayer> m_engine;
};

#endif
