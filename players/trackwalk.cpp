// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "players/trackwalk.h"

#include "audio/vlcmediaplayer.h"
#include "players/audiobookplayerinterface.h"
#include "players/logcategory.h"

#include <QDebug>

namespace TrackWalk {

Target forward(int track, qint64 remainder, int total, const Length &length, const char *function)
{
    for (;;) {
        if (++track > total) {
            qCWarning(lcPlayers).noquote().nospace() << function << ": no more track available!";
            return {Target::PastEnd, total, 0};
        }
        const qint64 l = length(track);
        if (l < 0)
            return {Target::Unknown, track, remainder};
        if (remainder < l) {
            qCDebug(lcPlayers).noquote().nospace() << function << ": track: " << track << " at time: " << remainder;
            return {Target::Inside, track, remainder};
        }
        qCDebug(lcPlayers).noquote().nospace() << function << ": track duration to small: " << l << " seekTime is: " << remainder;
        remainder -= l;
    }
}

Target backward(int track, qint64 shortfall, const Length &length, const char *function)
{
    for (;;) {
        if (--track < 1) {
            qCWarning(lcPlayers).noquote().nospace() << function << ": no previous tracks available!";
            return {Target::BeforeStart, 1, 0};
        }
        const qint64 l = length(track);
        if (l < 0)
            return {Target::Unknown, track, shortfall};
        const qint64 position = l - shortfall;
        if (position >= 0) {
            qCDebug(lcPlayers).noquote().nospace() << function << ": track: " << track << " at time: " << position;
            return {Target::Inside, track, position};
        }
        qCDebug(lcPlayers).noquote().nospace() << function << ": seekTime time is smaller then zero: " << position << " load previous track";
        shortfall = -position;
    }
}

int seekWithin(VlcMediaPlayer *engine, qint64 offset, const char *function, qint64 *beyond)
{
    const qint64 r = engine->seek(offset);
    if (r < 0) {
        qCWarning(lcPlayers).noquote().nospace() << function << ": vlc player failed to seek";
        return AudioBookPlayerInterface::EngineFailure;
    }
    if (r == 0) {
        qCDebug(lcPlayers).noquote().nospace() << function << ": vlc player seek ok";
        return AudioBookPlayerInterface::Done;
    }
    engine->stop();
    *beyond = r;
    return -1;
}

int wrap(int track, int step, int total, const char *function)
{
    const int moved = track + step;
    if (moved < 1) {
        qCDebug(lcPlayers).noquote().nospace() << function << ": first track -> last track";
        return total;
    }
    if (moved > total) {
        qCDebug(lcPlayers).noquote().nospace() << function << ": last track -> first track";
        return 1;
    }
    return moved;
}

} // namespace TrackWalk

void TrackWalkPlayer::pause() { mediaPlayer()->pause(true); }
void TrackWalkPlayer::unpause() { mediaPlayer()->pause(false); }
void TrackWalkPlayer::mute(bool muted) { mediaPlayer()->setMuted(muted); }
void TrackWalkPlayer::changeTempo(double tempo) { mediaPlayer()->changeTempo(float(tempo)); }
void TrackWalkPlayer::changePitch(int semitones) { mediaPlayer()->changePitch(float(semitones)); }
int TrackWalkPlayer::level() { return 0; }
bool TrackWalkPlayer::setLevel(int) { return true; }
int TrackWalkPlayer::walkHeading(int) { return Done; }
int TrackWalkPlayer::walkPage(int, bool) { return Done; }

qint64 TrackWalkPlayer::takeLeadIn(qint64 time)
{
    const qint64 from = qMax<qint64>(0, time - m_leadIn);
    if (m_leadIn > 0)
        qCDebug(lcPlayers) << "recap: from" << from << "instead of" << time;
    m_leadIn = 0;
    return from;
}

void TrackWalkPlayer::stopAndMark(bool *playing, int track, const MarkWriter &write)
{
    if (!*playing)
        return;
    VlcMediaPlayer *const engine = mediaPlayer();
    const qint64 time = engine->currentTime();
    engine->stop();
    *playing = false;
    if (write(track, time))
        qCDebug(lcPlayers) << "resume mark written succesfull" << "Track number:" << track << "time:" << time;
    else
        qCWarning(lcPlayers) << "resume mark written failed!";
}

int TrackWalkPlayer::endOfBookReached(bool *playing, int *trackNumber, int total, const TrackWalk::Length &length, bool *endOfBook,
                                      const MarkWriter &write)
{
    *trackNumber = total;
    if (*playing)
        mediaPlayer()->stop();
    *playing = false;
    write(total, length(total));
    *endOfBook = true;
    return EndOfBook;
}

int TrackWalkPlayer::stepTrack(int step, bool playing, int *trackNumber, int total, bool *endOfBook, const MarkWriter &write,
                               const char *function)
{
    if (playing) {
        warnFrom(function) << ": we are playing";
        return Refused;
    }
    *trackNumber = TrackWalk::wrap(*trackNumber, step, total, function);
    *endOfBook = false;
    if (write(*trackNumber, 0))
        qCDebug(lcPlayers).noquote().nospace() << function << ": succesfull";
    else
        warnFrom(function) << ": failed!";
    return *trackNumber;
}

int TrackWalkPlayer::beginOfBookReached(bool *playing, int *trackNumber)
{
    *trackNumber = 1;
    if (*playing)
        mediaPlayer()->stop();
    *playing = false;
    resetResumeMark();
    return BeginOfBook;
}
