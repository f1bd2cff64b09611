// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "players/trackwalk.h"

#include "audio/audiosettings.h"
#include "audio/vlcmediaplayer.h"
#include "library/resumemark.h"
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

TrackWalkPlayer::TrackWalkPlayer()
    : m_audioSettings(std::make_unique<AudioSettings>())
    , m_engine(std::make_unique<VlcMediaPlayer>())
{
}

TrackWalkPlayer::~TrackWalkPlayer() = default;

void TrackWalkPlayer::pause() { m_engine->pause(true); }
void TrackWalkPlayer::unpause() { m_engine->pause(false); }
void TrackWalkPlayer::mute(bool muted) { m_engine->setMuted(muted); }
void TrackWalkPlayer::changeTempo(double tempo) { m_engine->changeTempo(float(tempo)); }
void TrackWalkPlayer::changePitch(int semitones) { m_engine->changePitch(float(semitones)); }
int TrackWalkPlayer::level() { return 0; }
bool TrackWalkPlayer::setLevel(int) { return true; }
int TrackWalkPlayer::walkHeading(int) { return Done; }
int TrackWalkPlayer::walkPage(int, bool) { return Done; }
int TrackWalkPlayer::trackNumber() { return m_trackNumber; }
int TrackWalkPlayer::totalTracks() { return m_totalTracks; }
bool TrackWalkPlayer::isPlaying() { return m_playing; }
void TrackWalkPlayer::setResume(bool resume) { m_resume = resume; }
VlcMediaPlayer *TrackWalkPlayer::mediaPlayer() { return m_engine.get(); }
void TrackWalkPlayer::learnLength(int, qint64) {}

QByteArray TrackWalkPlayer::signature(const char *returns, const char *operation) const
{
    return QByteArray(returns) + ' ' + logNames().className + "::" + operation;
}

bool TrackWalkPlayer::readStoredMark(ResumemarkData &mark)
{
    return Resumemark().read(mark);
}

void TrackWalkPlayer::setOpened(int total)
{
    m_totalTracks = total;
    m_endOfBook = false;
    m_playing = false;
    m_opened = true;
    m_trackNumber = m_resume ? readResumemarkData().navListPos : 1;
}

void TrackWalkPlayer::setClosed()
{
    m_engine->stop();
    m_playing = false;
    m_endOfBook = false;
    m_trackNumber = 1;
    m_totalTracks = 0;
    m_opened = false;
}

ResumemarkData TrackWalkPlayer::readResumemarkData()
{
    const QByteArray signatureText = signature("ResumemarkData", "readResumemarkData()");
    const char *const function = signatureText.constData();
    ResumemarkData data;
    data.title = markTitle();
    data.navListPos = 1;
    if (!Resumemark().isValid()) {
        warnFrom(function) << ": resumeMark is not valid";
        return data;
    }
    ResumemarkData read = data;
    if (!readStoredMark(read))
        return data;
    // A mark on a track this book does not have (another disc with the same id,
    // the data session of an enhanced CD) would play nothing: the book starts over.
    if (read.navListPos < 1 || read.navListPos > m_totalTracks || read.playerTime < 0) {
        warnFrom(function) << ": error, track number lower/higher then available";
        read.navListPos = 1;
        read.playerTime = 0;
    }
    qCDebug(lcPlayers).noquote() << "****" << logNames().markInfo << "resumemark info ***";
    qCDebug(lcPlayers).noquote() << "Track file  :" << trackUrl(read.navListPos);
    qCDebug(lcPlayers).noquote() << "Track number:" << read.navListPos;
    qCDebug(lcPlayers).noquote() << "Player time :" << read.playerTime << "msec";
    return read;
}

bool TrackWalkPlayer::writeResumemark(int track, qint64 time)
{
    ResumemarkData data;
    data.title = markTitle();
    data.navListPos = track;
    data.playerTime = qMax<qint64>(0, time);
    return Resumemark().write(data);
}

BookKey TrackWalkPlayer::bookKey()
{
    // The key its resume mark is written under.
    if (!m_opened)
        return {};
    return {BookKey::Marks, markTitle(), QString()};
}

int TrackWalkPlayer::startTrack(int track, qint64 from)
{
    m_trackNumber = track;
    m_engine->setPitch(float(m_audioSettings->pitch()));
    m_engine->setTempo(m_audioSettings->tempo());
    m_playing = m_engine->play(trackUrl(track));
    if (!m_playing)
        return EngineFailure;
    if (from > 0) {
        const qint64 r = m_engine->seek(from - qMax<qint64>(0, m_engine->currentTime()));
        if (r != 0)
            warnFrom(logNames().className) << ": position " << from << " is not inside track " << track << ", result: " << r;
    }
    return Done;
}

bool TrackWalkPlayer::startFirstPlaying(int first, qint64 from, const char *function)
{
    // Each track is tried once: a book of tracks that give no audio still ends.
    for (int track = first; track <= m_totalTracks; ++track, from = 0) {
        if (startTrack(track, from) == Done)
            return true;
        warnFrom(function) << ": track " << track << " gives no audio, skipped: " << trackUrl(track);
    }
    return false;
}

bool TrackWalkPlayer::play()
{
    const QByteArray signatureText = signature("virtual bool", "play()");
    const char *const function = signatureText.constData();
    if (!m_opened) {
        warnFrom(function) << ": no " << logNames().book << " opened";
        return false;
    }
    if (m_endOfBook) {
        m_endOfBook = false;
        resetResumeMark();
        qCDebug(lcPlayers).noquote().nospace() << function << ": we are at end of book.. we will restart";
    }
    const ResumemarkData mark = readResumemarkData();
    const int first = m_resume ? mark.navListPos : 1;
    // The recap goes back within the track, never before its start.
    const qint64 from = m_resume ? qMax<qint64>(0, mark.playerTime - m_leadIn) : 0;
    if (m_resume && m_leadIn > 0)
        qCDebug(lcPlayers).noquote().nospace() << function << ": recap: from " << from << " instead of " << mark.playerTime;
    m_leadIn = 0;
    // A track that opens but gives no audio (a few ms long, damaged) must not
    // leave the reader in silence, pressing play on the same track for ever.
    if (!startFirstPlaying(first, from, function)) {
        m_trackNumber = first;
        warnFrom(function) << ": no track from " << first << " on gives audio";
        return false;
    }
    qCDebug(lcPlayers).noquote().nospace() << function << ": track number: " << m_trackNumber << " playing";
    return true;
}

void TrackWalkPlayer::stop()
{
    if (!m_playing)
        return;
    const qint64 time = m_engine->currentTime();
    m_engine->stop();
    m_playing = false;
    if (writeResumemark(m_trackNumber, time))
        qCDebug(lcPlayers) << "resume mark written succesfull" << "Track number:" << m_trackNumber << "time:" << time;
    else
        qCWarning(lcPlayers) << "resume mark written failed!";
}

void TrackWalkPlayer::engineFinished()
{
    // A stream stopped or replaced by a jump also ends; only playing on counts.
    if (!m_playing)
        return;
    const QByteArray signatureText = signature("void", "mediaPlayerFinished()");
    const char *const function = signatureText.constData();
    const int previous = m_trackNumber;
    if (startFirstPlaying(previous + 1, 0, function)) {
        qCDebug(lcPlayers).noquote() << trackUrl(m_trackNumber) << "is playing";
        return;
    }
    warnFrom(function) << ": we are at the end of the disc";
    m_trackNumber = previous;
    m_endOfBook = true;
    m_playing = false;
    bookEnded();
}

int TrackWalkPlayer::changeTrackNumber(int step)
{
    const QByteArray signatureText = signature("virtual int", "changeTrackNumber(int)");
    const char *const function = signatureText.constData();
    if (!m_opened) {
        warnFrom(function) << ": no " << logNames().book << " opened";
        return NoBook;
    }
    if (m_playing) {
        warnFrom(function) << ": we are playing";
        return Refused;
    }
    m_trackNumber = TrackWalk::wrap(m_trackNumber, step, m_totalTracks, function);
    m_endOfBook = false;
    if (writeResumemark(m_trackNumber, 0))
        qCDebug(lcPlayers).noquote().nospace() << function << ": succesfull";
    else
        warnFrom(function) << ": failed!";
    return m_trackNumber;
}

int TrackWalkPlayer::startToLearn(int track)
{
    qCDebug(lcPlayers) << "track" << track << "is not measured yet: its length comes from opening it";
    const int started = startTrack(track, 0);
    const qint64 length = started == Done ? m_engine->totalTime() : 0;
    if (length > 0)
        learnLength(track, length);
    return started;
}

int TrackWalkPlayer::endOfBookReached()
{
    m_trackNumber = m_totalTracks;
    if (m_playing)
        m_engine->stop();
    m_playing = false;
    writeResumemark(m_totalTracks, knownLength(m_totalTracks));
    m_endOfBook = true;
    return EndOfBook;
}

int TrackWalkPlayer::beginOfBookReached()
{
    m_trackNumber = 1;
    if (m_playing)
        m_engine->stop();
    m_playing = false;
    resetResumeMark();
    return BeginOfBook;
}

// A track whose length is not known yet is opened and the engine finds the rest
// of the way: the walk never waits on the main thread for a measurement.
int TrackWalkPlayer::walkOn(int track, qint64 remainder, const char *function)
{
    const TrackWalk::Length length = [this](int t) { return trackLength(t); };
    for (;;) {
        const TrackWalk::Target target = TrackWalk::forward(track, remainder, m_totalTracks, length, function);
        if (target.kind == TrackWalk::Target::PastEnd)
            return endOfBookReached();
        if (target.kind == TrackWalk::Target::Inside)
            return startTrack(target.track, target.position);
        if (const int started = startToLearn(target.track); started != Done || target.position <= 0)
            return started;
        qint64 beyond = 0;
        const int result = TrackWalk::seekWithin(m_engine.get(), target.position - qMax<qint64>(0, m_engine->currentTime()), function, &beyond);
        if (result >= 0)
            return result;
        m_playing = false;
        track = target.track;
        remainder = beyond;
    }
}

int TrackWalkPlayer::walkBack(int track, qint64 shortfall, const char *function)
{
    const TrackWalk::Length length = [this](int t) { return trackLength(t); };
    for (;;) {
        const TrackWalk::Target target = TrackWalk::backward(track, shortfall, length, function);
        if (target.kind == TrackWalk::Target::Inside)
            return startTrack(target.track, target.position);
        if (target.kind == TrackWalk::Target::BeforeStart)
            return beginOfBookReached();
        if (const int started = startToLearn(target.track); started != Done)
            return started;
        // A file whose length the engine cannot tell either is passed over, as a measured 0 is.
        const qint64 position = knownLength(target.track) - target.position;
        if (position >= 0) {
            qint64 beyond = 0;
            const int result = TrackWalk::seekWithin(m_engine.get(), position - qMax<qint64>(0, m_engine->currentTime()), function, &beyond);
            return result >= 0 ? result : EngineFailure;
        }
        m_engine->stop();
        m_playing = false;
        track = target.track;
        shortfall = -position;
    }
}

int TrackWalkPlayer::fastForward(int seconds)
{
    const QByteArray signatureText = signature("virtual int", "fastForward(int)");
    const char *const function = signatureText.constData();
    if (!m_opened) {
        warnFrom(function) << ": no " << logNames().book << " opened!";
        return NoBook;
    }
    if (m_endOfBook) {
        warnFrom(function) << ": end of book!";
        return EndOfBook;
    }
    const qint64 step = qint64(seconds) * 1000;
    if (m_playing) {
        qint64 r = 0;
        if (const int result = TrackWalk::seekWithin(m_engine.get(), step, function, &r); result >= 0)
            return result;
        return walkOn(m_trackNumber, r, function);
    }
    const qint64 target = readResumemarkData().playerTime + step;
    const qint64 length = trackLength(m_trackNumber);
    // Not measured yet: the walk opens the track itself.
    if (length < 0)
        return walkOn(m_trackNumber - 1, target, function);
    if (target >= length)
        return walkOn(m_trackNumber, target - length, function);
    qCDebug(lcPlayers).noquote().nospace() << function << ": we are start playing: " << m_trackNumber << " at time: " << target;
    return startTrack(m_trackNumber, target);
}

int TrackWalkPlayer::rewind(int seconds)
{
    const QByteArray signatureText = signature("virtual int", "rewind(int)");
    const char *const function = signatureText.constData();
    if (!m_opened) {
        warnFrom(function) << ": no " << logNames().book << " opened!";
        return NoBook;
    }
    const qint64 step = qAbs(qint64(seconds)) * 1000;
    if (m_playing) {
        qint64 r = 0;
        if (const int result = TrackWalk::seekWithin(m_engine.get(), -step, function, &r); result >= 0)
            return result;
        return walkBack(m_trackNumber, r, function);
    }
    qint64 position;
    if (m_endOfBook) {
        m_endOfBook = false;
        m_trackNumber = m_totalTracks;
        const qint64 length = trackLength(m_trackNumber);
        // Not measured yet: the walk back from past the end opens the last track itself.
        if (length < 0)
            return walkBack(m_totalTracks + 1, step, function);
        position = length - step;
    } else {
        position = readResumemarkData().playerTime - step;
    }
    if (position < 0)
        return walkBack(m_trackNumber, -position, function);
    return startTrack(m_trackNumber, position);
}

void TrackWalkPlayer::resetResumeMark()
{
    if (!m_opened) {
        warnFrom(signature("virtual void", "resetResumeMark()").constData()) << ": no " << logNames().book << " opened";
        return;
    }
    if (writeResumemark(1, 0))
        qCDebug(lcPlayers) << "resetResumeMark: succesfull";
    else
        qCWarning(lcPlayers) << "resetResumeMark: failed!";
}

int TrackWalkPlayer::elapsedTime()
{
    if (!m_opened) {
        warnFrom(signature("virtual int", "elapsedTime()").constData()) << ": no " << logNames().book << " opened";
        return -1;
    }
    qint64 sum = m_playing ? qMax<qint64>(0, m_engine->currentTime()) : readResumemarkData().playerTime;
    for (int track = 1; track < m_trackNumber; ++track)
        sum += knownLength(track);
    return int(sum / 1000);
}
