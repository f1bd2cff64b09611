// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "players/daisyaudiobookplayer.h"

#include "audio/audiosettings.h"
#include "audio/vlcmediaplayer.h"
#include "formats/daisytalkingbook.h"
#include "formats/mediagroup.h"
#include "formats/medianode.h"
#include "formats/smilmediagroup.h"
#include "formats/smiltree.h"
#include "library/resumemarker.h"
#include "library/resumemarkmanager.h"
#include "players/logcategory.h"

#include <QDebug>
#include <QFileInfo>
#include <QSettings>
#include <QTimer>

namespace {
constexpr int kDefaultLevel = 2;
constexpr int kMinLevel = 1;
constexpr int kMaxLevel = 6;
// How often the end of the playing clip is looked for: a few tens of ms of the
// next clip in a file are heard at most.
constexpr int kClipWatchMsec = 40;
const char *const kLevelKey = "daisyLevel";
} // namespace

class DaisyAudioBookPlayerPrivate
{
public:
    explicit DaisyAudioBookPlayerPrivate(DaisyAudioBookPlayer *q)
        : q(q)
        , level(QSettings().value(QLatin1String(kLevelKey), kDefaultLevel).toInt())
    {
    }

    bool ready() const { return engine && book; }
    SmilMediaGroup *group() const { return book ? book->currentSmilMediaGroup() : nullptr; }

    void applyAudioSettings();
    /** Starts @p track's file at @p from ms into it; false when the file is missing or does not play. */
    bool startTrack(AudioNode *track, qint64 from);
    /** startTrack(), skipping forward past audio that does not play; false when nothing is left. */
    bool startPlayable(AudioNode *track, qint64 from);
    /** Seeks to an absolute time of the file that has just started. */
    void seekFromStart(qint64 msec);
    /** The next track of the group, else the first of the next SMIL file that has audio. */
    AudioNode *nextTrack();
    /** The previous track of the group, else the last of the previous SMIL file that has audio. */
    AudioNode *previousTrack();
    /**
     * Makes the reading position the probe of a walk: loads the marker's SMIL
     * file when nothing is loaded, and puts the probe just inside the clip the
     * position starts (the model counts a position strictly inside a clip).
     */
    void prepareWalk();
    /**
     * The part of a wind inside the current track: starts reading when stopped
     * and seeks by @p offset ms. A result code when that settles it, else -1
     * with the engine stopped and the part beyond the track's clips in @p beyond.
     */
    int windInFile(qint64 offset, const char *operation, qint64 *beyond);
    /** Plays the group's current track from its position (a walk's target); a result code. */
    int playWalkTarget(SmilMediaGroup *target);
    void saveMarker();
    /** Loads the marker's place into the book model, as if the reader had just stopped there. */
    void returnToMarker();
    /** The marker takes the place the engine is playing (not saved). */
    void markPlayingPlace();
    /**
     * A wind or walk ran past the last audio: the reader stays where they
     * were (the marker's place), stopped; only a book heard to its end starts
     * over on play.
     */
    int overshoot(const char *operation);
    /** Ends @p track's clip: on to the next track, without a restart when it follows on in the file. */
    void clipEnded(AudioNode *track, bool engineRunning);
    void watchClipEnd();

    DaisyAudioBookPlayer *const q;
    bool resume = true;
    bool playing = false;
    bool heardToEnd = false; ///< the last audio of the book played to its end
    QTimer clipWatch;
    qint64 leadIn = 0;
    int level;
    AudioSettings audioSettings;
    std::unique_ptr<DaisyTalkingBook> book;
    std::unique_ptr<ResumeMarker> marker;
    std::unique_ptr<VlcMediaPlayer> engine;
};

void DaisyAudioBookPlayerPrivate::applyAudioSettings()
{
    engine->setPitch(float(audioSettings.pitch()));
    engine->setTempo(audioSettings.tempo());
}

void DaisyAudioBookPlayerPrivate::seekFromStart(qint64 msec)
{
    if (msec <= 0)
        return;
    const qint64 now = qMax<qint64>(0, engine->currentTime());
    const qint64 r = engine->seek(msec - now);
    if (r != 0)
        qCWarning(lcPlayers).noquote() << "[DaisyAudioBookPlayer] position" << msec << "is not inside the file, result:" << r;
}

bool DaisyAudioBookPlayerPrivate::startTrack(AudioNode *track, qint64 from)
{
    if (!track)
        return false;
    const QString source = track->source();
    if (!QFileInfo(source).isFile()) {
        qCWarning(lcPlayers).noquote() << "[DaisyAudioBookPlayer] audio file missing, skipped:" << source;
        playing = false;
        return false;
    }
    playing = engine->play(source);
    if (!playing) {
        qCWarning(lcPlayers).noquote() << "[DaisyAudioBookPlayer] audio file does not play, skipped:" << source;
        return false;
    }
    // Never before the clip: a track may begin well into its file.
    seekFromStart(qMax(from, track->clipBegin()));
    clipWatch.start();
    return true;
}

bool DaisyAudioBookPlayerPrivate::startPlayable(AudioNode *track, qint64 from)
{
    // Each track is tried once: the walk ends at the last SMIL file.
    while (track) {
        if (startTrack(track, from))
            return true;
        track = nextTrack();
        from = track ? track->clipBegin() : 0;
    }
    return false;
}

AudioNode *DaisyAudioBookPlayerPrivate::nextTrack()
{
    if (SmilMediaGroup *current = group()) {
        if (AudioNode *track = current->nextAudioTrack())
            return track;
    }
    while (book->currentSpineIndex() + 1 < book->spine().size()) {
        if (SmilMediaGroup *next = book->next()) {
            if (AudioNode *track = next->firstAudioTrack())
                return track;
        }
        qCWarning(lcPlayers).noquote() << "[DaisyAudioBookPlayer] no audio in spine entry" << book->currentSpineIndex() << ", skipped";
    }
    return nullptr;
}

AudioNode *DaisyAudioBookPlayerPrivate::previousTrack()
{
    if (SmilMediaGroup *current = group()) {
        if (AudioNode *track = current->previousAudioTrack())
            return track;
    }
    while (book->currentSpineIndex() > 0) {
        // The last track, not the first: a rewind goes back through the
        // audio right before the current one, whatever the file holds.
        if (SmilMediaGroup *previous = book->previous()) {
            if (AudioNode *track = previous->lastAudioTrack())
                return track;
        }
        qCWarning(lcPlayers).noquote() << "[DaisyAudioBookPlayer] no audio in spine entry" << book->currentSpineIndex() << ", skipped";
    }
    return nullptr;
}

void DaisyAudioBookPlayerPrivate::returnToMarker()
{
    SmilMediaGroup *loaded = book->startReading(marker->spineIndex());
    if (!loaded)
        loaded = book->startReading(0);
    if (!loaded)
        return;
    AudioNode *track = loaded->audioTrack(marker->clipIndex());
    if (!track)
        track = loaded->firstAudioTrack();
    if (track)
        track->setPosition(qMax(track->clipBegin(), marker->timeOffset()));
}

void DaisyAudioBookPlayerPrivate::markPlayingPlace()
{
    const SmilMediaGroup *current = group();
    if (!playing || !current || !current->currentAudioTrack())
        return;
    marker->setSpineIndex(qMax(0, book->currentSpineIndex()));
    marker->setClipIndex(qMax(0, current->currentAudioTrackIndex()));
    marker->setTimeOffset(qMax(current->currentAudioTrack()->clipBegin(), engine->currentTime()));
}

int DaisyAudioBookPlayerPrivate::overshoot(const char *operation)
{
    if (playing)
        engine->stop();
    playing = false;
    clipWatch.stop();
    saveMarker();
    returnToMarker();
    qCDebug(lcPlayers) << operation << "past the end of the book, the place stays at spine entry" << marker->spineIndex() << "at"
                       << marker->timeOffset() << "ms";
    return AudioBookPlayerInterface::EndOfBook;
}

void DaisyAudioBookPlayerPrivate::prepareWalk()
{
    if (!group())
        returnToMarker();
    // A walk that stopped on a heading's first sample is inside that heading:
    // quick presses must go on from there, not find the heading before it.
    if (AudioNode *track = group() ? group()->currentAudioTrack() : nullptr)
        track->setPosition(track->position() + 1);
}

int DaisyAudioBookPlayerPrivate::playWalkTarget(SmilMediaGroup *target)
{
    AudioNode *track = target->currentAudioTrack();
    qint64 from = track ? track->position() : 0;
    if (!track) {
        track = target->firstAudioTrack();
        from = track ? track->clipBegin() : 0;
    }
    applyAudioSettings();
    if (!startPlayable(track, from))
        return AudioBookPlayerInterface::EngineFailure;
    return playing ? AudioBookPlayerInterface::Done : AudioBookPlayerInterface::EngineFailure;
}

int DaisyAudioBookPlayerPrivate::windInFile(qint64 offset, const char *operation, qint64 *beyond)
{
    if (!playing) {
        resume = true;
        if (!q->play())
            return AudioBookPlayerInterface::EngineFailure;
    }
    AudioNode *track = group() ? group()->currentAudioTrack() : nullptr;
    if (!track)
        return AudioBookPlayerInterface::EngineFailure;
    const bool bounded = track->clipEnd() > track->clipBegin();
    // The engine may have finished the file a moment before its end reached
    // this player: the track is at its end then, and a wind goes on from there.
    const bool running = engine->isPlaying();
    if (!running && !bounded) {
        qCWarning(lcPlayers) << operation << "the engine has ended an audio file of unknown length";
        return AudioBookPlayerInterface::EngineFailure;
    }
    const qint64 now = running ? qMax<qint64>(0, engine->currentTime()) : track->clipEnd();
    const qint64 target = now + offset;
    if (bounded && (target >= track->clipEnd() || target < track->clipBegin())) {
        // Across the clip's ends: the rest is wound through the tracks around it.
        engine->stop();
        playing = false;
        *beyond = target >= track->clipEnd() ? target - track->clipEnd() : track->clipBegin() - target;
        return -1;
    }
    if (!running)
        return startTrack(track, target) ? AudioBookPlayerInterface::Done : AudioBookPlayerInterface::EngineFailure;
    const qint64 r = engine->seek(offset);
    if (r < 0) {
        qCWarning(lcPlayers) << operation << "vlc mediaplayer seek failed";
        return AudioBookPlayerInterface::EngineFailure;
    }
    if (r == 0) {
        qCDebug(lcPlayers) << operation << "vlc mediaplayer seek ok";
        return AudioBookPlayerInterface::Done;
    }
    engine->stop();
    playing = false;
    *beyond = r;
    return -1;
}

void DaisyAudioBookPlayerPrivate::clipEnded(AudioNode *track, bool engineRunning)
{
    const QString source = track->source();
    const qint64 end = track->clipEnd();
    AudioNode *next = nextTrack();
    if (next) {
        marker->setTimeOffset(next->clipBegin());
        marker->setSpineIndex(book->currentSpineIndex());
        marker->setClipIndex(group() ? group()->currentAudioTrackIndex() : 0);
        if (engineRunning && next->source() == source && next->clipBegin() >= end - SmilMediaGroup::kFollowOnMsec) {
            // Further on in the same file: no restart, so no gap; a clip that
            // follows on right away needs not even a seek.
            if (next->clipBegin() - end <= SmilMediaGroup::kFollowOnMsec || engine->seek(next->clipBegin() - engine->currentTime()) == 0)
                return;
        }
        if (engineRunning)
            engine->stop();
        if (startPlayable(next, next->clipBegin()))
            return;
    }
    if (engineRunning)
        engine->stop();
    playing = false;
    clipWatch.stop();
    heardToEnd = true;
    // Walks and winds back after the end start from there.
    if (SmilMediaGroup *last = group()) {
        if (AudioNode *lastTrack = last->lastAudioTrack())
            lastTrack->setPosition(qMax(lastTrack->clipBegin(), lastTrack->clipEnd() - 2));
    }
    Q_EMIT q->finished();
}

void DaisyAudioBookPlayerPrivate::watchClipEnd()
{
    if (!playing || !ready()) {
        clipWatch.stop();
        return;
    }
    AudioNode *track = group() ? group()->currentAudioTrack() : nullptr;
    if (!track || track->clipEnd() <= track->clipBegin() || !engine->isPlaying())
        return;
    if (engine->currentTime() >= track->clipEnd())
        clipEnded(track, true);
}

void DaisyAudioBookPlayerPrivate::saveMarker()
{
    if (!ResumeMarkManager::saveResumeMarker(marker.get()))
        qCWarning(lcPlayers).noquote() << "[DaisyAudioBookPlayer] failed to save the resume marker of" << marker->title();
}

DaisyAudioBookPlayer::DaisyAudioBookPlayer(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<DaisyAudioBookPlayerPrivate>(this))
{
    d->clipWatch.setInterval(kClipWatchMsec);
    connect(&d->clipWatch, &QTimer::timeout, this, [this] { d->watchClipEnd(); });
}

DaisyAudioBookPlayer::~DaisyAudioBookPlayer()
{
    close();
}

QString DaisyAudioBookPlayer::name()
{
    return QStringLiteral("Daisy Player");
}

bool DaisyAudioBookPlayer::open(const QString &url)
{
    close();
    d->engine = std::make_unique<VlcMediaPlayer>();
    if (!d->engine->init()) {
        qCWarning(lcPlayers) << "[DaisyAudioBookPlayer::open]: failed to init the vlc mediaplayer";
        d->engine.reset();
        return false;
    }
    // Queued by the engine; a finished() of a stream this player no longer
    // plays is ignored in mediaPlayerFinished().
    connect(d->engine.get(), &VlcMediaPlayer::finished, this, &DaisyAudioBookPlayer::mediaPlayerFinished);
    d->book.reset(DaisyTalkingBook::open(url));
    if (!d->book) {
        d->engine.reset();
        return false;
    }
    // A book of text alone (no SMIL file with audio) has nothing this player
    // can read: refused here, so the reader hears so and stays on the shelf.
    // The first SMIL file with audio ends the search, so a talking book is
    // hardly slower to open.
    bool hasAudio = false;
    for (int i = 0; i < d->book->spine().size() && !hasAudio; ++i)
        hasAudio = d->book->startReading(i) != nullptr;
    if (!hasAudio) {
        qCWarning(lcPlayers).noquote() << "[DaisyAudioBookPlayer::open]: the book has no audio to play:" << url;
        d->book.reset();
        d->engine.reset();
        return false;
    }
    const MediaGroup *title = d->book->title();
    const QString titleText = title && title->textNode() ? title->textNode()->text() : QString();
    // With the title alone, the volumes of one work or the issues of a
    // magazine would share one place.
    QString identifier = d->book->metaData(QStringLiteral("dc:identifier"));
    if (identifier.isEmpty())
        identifier = d->book->metaData(QStringLiteral("dtb:uid"));
    d->marker.reset(ResumeMarkManager::loadResumeMarker(titleText, identifier.trimmed()));
    // The search above moved the model: back to where the reader is.
    d->returnToMarker();
    return true;
}

void DaisyAudioBookPlayer::close()
{
    stop();
    d->marker.reset();
    d->engine.reset();
    d->book.reset();
    d->playing = false;
    d->heardToEnd = false;
    d->clipWatch.stop();
}

bool DaisyAudioBookPlayer::play()
{
    if (!d->ready())
        return false;
    if (!d->resume || d->heardToEnd) {
        d->heardToEnd = false;
        d->marker->clear();
    }
    SmilMediaGroup *group = d->book->startReading(d->marker->spineIndex());
    if (!group && d->marker->spineIndex() != 0) {
        // A marker from another edition of the book: start at its beginning.
        qCWarning(lcPlayers) << "[DaisyBookPlayer::play] stored position not in this book, starting at its beginning";
        d->marker->clear();
        group = d->book->startReading(0);
    }
    if (!group)
        return false;
    AudioNode *track = group->audioTrack(d->marker->clipIndex());
    if (!track) {
        track = group->firstAudioTrack();
        d->marker->setClipIndex(0);
        d->marker->setTimeOffset(0);
    }
    if (!track)
        track = d->nextTrack();
    d->applyAudioSettings();
    qint64 from = d->resume ? d->marker->timeOffset() : 0;
    if (d->resume && d->leadIn > 0 && track) {
        from = qMax(track->clipBegin(), from - d->leadIn);
        qCDebug(lcPlayers) << "[DaisyBookPlayer::play] recap: from" << from << "instead of" << d->marker->timeOffset();
    }
    d->leadIn = 0;
    d->startPlayable(track, from);
    const AudioNode *current = d->group() ? d->group()->currentAudioTrack() : nullptr;
    qCDebug(lcPlayers).noquote() << "[DaisyBookPlayer::play]" << (current ? current->source() : QString())
                       << (d->playing ? "is playing" : "not playing");
    return d->playing;
}

void DaisyAudioBookPlayer::stop()
{
    if (!d->playing || !d->ready())
        return;
    d->playing = false;
    d->clipWatch.stop();
    const qint64 t = qMax<qint64>(0, d->engine->currentTime());
    d->engine->stop();
    SmilMediaGroup *group = d->group();
    if (group && group->currentAudioTrack())
        group->currentAudioTrack()->setPosition(t);
    d->marker->setTimeOffset(t);
    d->marker->setSpineIndex(qMax(0, d->book->currentSpineIndex()));
    d->marker->setClipIndex(group ? qMax(0, group->currentAudioTrackIndex()) : 0);
    d->saveMarker();
}

void DaisyAudioBookPlayer::pause()
{
    if (d->engine)
        d->engine->pause(true);
}

void DaisyAudioBookPlayer::unpause()
{
    if (d->engine)
        d->engine->pause(false);
}

void DaisyAudioBookPlayer::mute(bool muted)
{
    if (d->engine)
        d->engine->setMuted(muted);
}

void DaisyAudioBookPlayer::changeTempo(double tempo)
{
    if (d->engine)
        d->engine->changeTempo(float(tempo));
}

void DaisyAudioBookPlayer::changePitch(int semitones)
{
    if (d->engine)
        d->engine->changePitch(float(semitones));
}

int DaisyAudioBookPlayer::level()
{
    return d->level;
}

bool DaisyAudioBookPlayer::setLevel(int level)
{
    if (level < kMinLevel || level > kMaxLevel)
        return false;
    d->level = level;
    QSettings().setValue(QLatin1String(kLevelKey), level);
    return true;
}

int DaisyAudioBookPlayer::walkHeading(int step)
{
    if (!d->ready() || step == 0) {
        qCWarning(lcPlayers) << "[DaisyAudioBookPlayer::walkHeading]: no daisy book open / invalid step value";
        return NoBook;
    }
    if (d->playing)
        return Refused;
    d->prepareWalk();
    SmilMediaGroup *target = nullptr;
    if (step < 0) {
        d->heardToEnd = false;
        target = d->book->previousSection(d->level);
        if (!target) {
            d->marker->clear();
            return BeginOfBook;
        }
    } else {
        if (d->heardToEnd)
            return EndOfBook;
        target = d->book->nextSection(d->level);
        if (!target)
            return d->overshoot("[DaisyAudioBookPlayer::walkHeading]");
    }
    return d->playWalkTarget(target);
}

int DaisyAudioBookPlayer::walkPage(int step, bool play)
{
    if (!d->ready()) {
        qCWarning(lcPlayers) << "[DaisyAudioBookPlayer::walkPage]: no daisy book open";
        return NoBook;
    }
    if (d->playing)
        return Refused;
    d->prepareWalk();
    SmilMediaGroup *target = nullptr;
    if (step > 0) {
        if (d->heardToEnd)
            return EndOfBook;
        target = d->book->nextPage();
        if (!target)
            return d->overshoot("[DaisyAudioBookPlayer::walkPage]");
    } else if (step < 0) {
        d->heardToEnd = false;
        target = d->book->previous();
        if (!target) {
            d->marker->clear();
            return BeginOfBook;
        }
        if (AudioNode *first = target->firstAudioTrack())
            first->setPosition(first->clipBegin());
    } else {
        target = d->group();
        if (!target)
            return NoBook;
    }
    if (!play)
        return Done;
    return d->playWalkTarget(target);
}

int DaisyAudioBookPlayer::trackNumber()
{
    return -1;
}

int DaisyAudioBookPlayer::changeTrackNumber(int)
{
    return -1;
}

int DaisyAudioBookPlayer::totalTracks()
{
    return -1;
}

int DaisyAudioBookPlayer::fastForward(int seconds)
{
    if (!d->ready())
        return NoBook;
    if (d->heardToEnd)
        return EndOfBook;
    d->markPlayingPlace();
    qint64 remaining = 0;
    const int inFile = d->windInFile(qint64(seconds) * 1000, "[DaisyAudioBookPlayer::fastForward]:", &remaining);
    if (inFile >= 0)
        return inFile;
    for (;;) {
        AudioNode *track = d->nextTrack();
        if (!track)
            return d->overshoot("[DaisyAudioBookPlayer::fastForward]:");
        const qint64 duration = track->duration();
        if (duration >= remaining) {
            // From the clip's begin: several SMIL files may share one audio file.
            if (d->startTrack(track, track->clipBegin() + remaining))
                return Done;
            remaining = 0;
            continue;
        }
        qCDebug(lcPlayers) << "[DaisyAudioBookPlayer::fastForward]: duration to small:" << duration << "remaining time:" << remaining - duration;
        remaining -= duration;
    }
}

int DaisyAudioBookPlayer::rewind(int seconds)
{
    if (!d->ready())
        return NoBook;
    const qint64 step = qAbs(qint64(seconds)) * 1000;
    AudioNode *track = nullptr;
    qint64 t = 0;
    if (d->heardToEnd && d->group() && d->group()->currentAudioTrack()) {
        // Back from the end of a book heard to its end, not from its start.
        d->heardToEnd = false;
        track = d->group()->currentAudioTrack();
        t = track->duration() - step;
    } else {
        qint64 shortfall = 0;
        const int inFile = d->windInFile(-step, "[DaisyAudioBookPlayer::rewind]:", &shortfall);
        if (inFile >= 0)
            return inFile;
        t = -shortfall;
    }
    for (;;) {
        if (track && t >= 0) {
            if (d->startTrack(track, track->clipBegin() + t))
                return Done;
            // Unplayable: land at the end of the audio before it.
            t = 0;
        }
        track = d->previousTrack();
        if (!track) {
            d->marker->clear();
            return BeginOfBook;
        }
        t += track->duration();
    }
}

bool DaisyAudioBookPlayer::isPlaying()
{
    return d->playing;
}

void DaisyAudioBookPlayer::setResume(bool resume)
{
    d->resume = resume;
}

void DaisyAudioBookPlayer::resetResumeMark()
{
    if (!d->marker)
        return;
    d->marker->clear();
    d->saveMarker();
}

int DaisyAudioBookPlayer::totalTime()
{
    if (!d->book)
        return -1;
    QString total = d->book->metaData(QStringLiteral("ncc:totaltime"));
    if (total.isEmpty())
        total = d->book->metaData(QStringLiteral("dtb:totaltime"));
    if (total.isEmpty())
        return -1;
    return int(SmilTree::clockValue(total) / 1000);
}

int DaisyAudioBookPlayer::elapsedTime()
{
    if (!d->book)
        return -1;
    QString elapsed;
    for (const char *name : {"ncc:totalelapsedtime", "dtb:totalelapsedtime", "ncc:total-elapsed-time"}) {
        elapsed = d->book->metaData(QLatin1String(name));
        if (!elapsed.isEmpty())
            break;
    }
    if (elapsed.isEmpty())
        return -1;
    qint64 msec = SmilTree::clockValue(elapsed);
    const SmilMediaGroup *group = d->group();
    if (group)
        msec += group->elapsedTime();
    if (d->engine && d->playing)
        msec += qMax<qint64>(0, d->engine->currentTime());
    else if (group && group->currentAudioTrack())
        msec += group->currentAudioTrack()->position();
    return int(msec / 1000);
}

VlcMediaPlayer *DaisyAudioBookPlayer::mediaPlayer()
{
    return d->engine.get();
}

BookKey DaisyAudioBookPlayer::bookKey()
{
    if (!d->marker)
        return {};
    return {BookKey::Markers, d->marker->title(), d->marker->identifier()};
}

void DaisyAudioBookPlayer::setLeadIn(qint64 msec)
{
    d->leadIn = msec;
}

void DaisyAudioBookPlayer::reloadResumeMark()
{
    if (!d->marker)
        return;
    d->marker.reset(ResumeMarkManager::loadResumeMarker(d->marker->title(), d->marker->identifier()));
    d->heardToEnd = false;
    d->returnToMarker();
}

void DaisyAudioBookPlayer::mediaPlayerFinished()
{
    // A stream that was stopped, or replaced by a jump, has nothing to move on.
    if (!d->playing || !d->ready())
        return;
    AudioNode *track = d->group() ? d->group()->currentAudioTrack() : nullptr;
    if (!track) {
        d->playing = false;
        d->clipWatch.stop();
        Q_EMIT finished();
        return;
    }
    d->clipEnded(track, false);
}
