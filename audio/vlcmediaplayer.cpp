// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/vlcmediaplayer.h"

#include "audio/aoaudiooutput.h"
#include "audio/logcategory.h"
#include "audio/mpegaudioframes.h"
#include "platform/audiooutput.h"
#include "platform/cdaudio.h"
#include "platform/engineevents.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <soundtouch/SoundTouch.h>
#include <vlc/libvlc_version.h>
#include <vlc/vlc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <initializer_list>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// libvlc answers a state change within milliseconds; a wait this long means
// the decoder is stuck, and the caller gets a failure instead of a hang.
constexpr int StateWaitLimitMsec = 10000;
// How long play() waits for the first decoded block before trusting the
// Playing state on its own (a slow CD drive may take this long to spin up).
constexpr int FirstAudioLimitMsec = 10000;
constexpr int ParseLimitMsec = 5000;
// The play callback works through the block in pieces of this many frames,
// so its buffers live on the stack whatever size libvlc hands over.
constexpr unsigned ChunkFrames = 2048;
constexpr int MaxChannels = 2;

const char *const CddaPrefix = "cdda://cdda-track=";

/**
 * The one place that calls SoundTouch. Debian's SoundTouch throws
 * std::runtime_error on bad parameters; nothing of that may reach libvlc's
 * audio thread or a caller, so every call is caught here and reported once.
 */
class PitchShifter
{
public:
    PitchShifter()
    {
        guard("setup", [this] {
            m_soundTouch.setSetting(SETTING_USE_QUICKSEEK, 1);
            m_soundTouch.setSetting(SETTING_USE_AA_FILTER, 1);
            m_soundTouch.setTempo(1.0);
            m_soundTouch.setPitch(1.0);
            m_soundTouch.setSetting(SETTING_SEQUENCE_MS, 40);
            m_soundTouch.setSetting(SETTING_SEEKWINDOW_MS, 15);
            m_soundTouch.setSetting(SETTING_OVERLAP_MS, 8);
        });
    }

    void setFormat(int sampleRate, int channels)
    {
        guard("setFormat", [&] {
            m_soundTouch.clear();
            m_soundTouch.setSampleRate(uint(sampleRate));
            m_soundTouch.setChannels(uint(channels));
        });
    }

    void clear()
    {
        guard("clear", [this] { m_soundTouch.clear(); });
    }

    void setPitchSemiTones(float semitones)
    {
        guard("setPitchSemiTones", [&] { m_soundTouch.setPitchSemiTones(semitones); });
    }

    void putSamples(const float *samples, uint frames)
    {
        guard("putSamples", [&] { m_soundTouch.putSamples(samples, frames); });
    }

    uint receiveSamples(float *out, uint maxFrames)
    {
        uint got = 0;
        guard("receiveSamples", [&] { got = m_soundTouch.receiveSamples(out, maxFrames); });
        return got;
    }

private:
    template<typename F>
    void guard(const char *operation, F &&call) noexcept
    {
        try {
            call();
        } catch (const std::exception &e) {
            if (!m_reported.exchange(true))
                qCWarning(lcAudio, "[VlcMediaPlayer::PitchShifter] SoundTouch %s failed: %s", operation, e.what());
        } catch (...) {
            if (!m_reported.exchange(true))
                qCWarning(lcAudio, "[VlcMediaPlayer::PitchShifter] SoundTouch %s failed", operation);
        }
    }

    soundtouch::SoundTouch m_soundTouch;
    std::atomic_bool m_reported{false};
};

bool stateIn(libvlc_state_t state, std::initializer_list<libvlc_state_t> states)
{
    return std::find(states.begin(), states.end(), state) != states.end();
}

} // namespace

class VlcMediaPlayerPrivate
{
public:
    VlcMediaPlayerPrivate(VlcMediaPlayer *q, std::unique_ptr<Platform::AudioOutput> output)
        : q(q)
        , output(std::move(output))
        , events{libvlc_MediaPlayerEncounteredError, libvlc_MediaPlayerEndReached, libvlc_MediaPlayerStopped,
                 libvlc_MediaPlayerPlaying, libvlc_MediaPlayerPaused}
    {
    }

    libvlc_state_t state() const { return player ? libvlc_media_player_get_state(player) : libvlc_NothingSpecial; }

    /**
     * Polls the player until it is in one of @p states. libvlc changes state
     * on its own threads within milliseconds; the loop sleeps a millisecond
     * between polls so it never spins a core, and gives up after a bound.
     */
    libvlc_state_t waitForState(std::initializer_list<libvlc_state_t> states)
    {
        QElapsedTimer clock;
        clock.start();
        libvlc_state_t s = state();
        while (!stateIn(s, states)) {
            if (clock.elapsed() > StateWaitLimitMsec) {
                qCWarning(lcAudio, "[VlcMediaPlayer::waitForState] gave up waiting, player state: %d", int(s));
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            s = state();
        }
        return s;
    }

    /** Stops the player and waits until libvlc has really stopped. */
    void stopAndWait()
    {
        libvlc_media_player_stop(player);
        waitForState({libvlc_Stopped, libvlc_Ended, libvlc_Error});
    }

    /**
     * Undoes a start that gave up: a play() that reported failure must not
     * sound later, nor raise finished() for a stream nobody plays.
     */
    void abandonStart()
    {
        ++generation;
        stopAndWait();
        libvlc_media_player_set_media(player, nullptr);
        releaseMedia();
    }

    /**
     * Starts the media set up in `media` and waits for its first decoded block;
     * false (logged under @p function, the start undone) when it gives none.
     */
    bool startMedia(const char *function)
    {
        blocksPlayed.store(0);
        libvlc_media_player_set_media(player, media);
        if (libvlc_media_player_play(player) < 0) {
            qCWarning(lcAudio, "%s: failed to play media", function);
            abandonStart();
            return false;
        }
        libvlc_state_t s = waitForState({libvlc_Playing, libvlc_Error, libvlc_Ended});
        // A clip shorter than libvlc's read-ahead (a spoken sentence of a second) can
        // be decoded whole and end before Playing is seen: it did play.
        const bool endedAfterPlaying = s == libvlc_Ended && blocksPlayed.load() > 0;
        if (s != libvlc_Playing && !endedAfterPlaying) {
            qCWarning(lcAudio, "%s: failed to play media, state: %d", function, int(s));
            abandonStart();
            return false;
        }
        // Playing is reached before a single sample is decoded, even for a file
        // that holds no audio at all; only the first block proves it plays.
        QElapsedTimer clock;
        clock.start();
        while (blocksPlayed.load() == 0) {
            s = state();
            if (s != libvlc_Playing && s != libvlc_Opening && s != libvlc_Buffering) {
                qCWarning(lcAudio, "%s: failed to play media, no audio decoded, state: %d", function, int(s));
                abandonStart();
                return false;
            }
            if (clock.elapsed() > FirstAudioLimitMsec)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    /** The frames of the VBR file playing, walked once per file: false when it holds none. */
    bool ensureIndex()
    {
        if (index.frameOffsets.isEmpty() && !path.isEmpty()) {
            QElapsedTimer clock;
            clock.start();
            index = MpegAudioFrames::measure(path, nullptr, true);
            qCDebug(lcAudio, "[VlcMediaPlayer::ensureIndex] %lld frames of %s walked in %lld ms", qlonglong(index.frames),
                    qUtf8Printable(path), qlonglong(clock.elapsed()));
        }
        return !index.frameOffsets.isEmpty();
    }

    /**
     * Plays the VBR file from @p msec: from the frame before the one holding
     * it (its bits may be needed to decode that one), through a media that
     * reads the file from there. libvlc's own seek goes by the average bit
     * rate, which in a long file of quiet and loud parts lands minutes away.
     */
    bool restartAt(qint64 msec, const char *function)
    {
        if (!ensureIndex())
            return false;
        const auto it = std::upper_bound(index.frameTimes.cbegin(), index.frameTimes.cend(), msec);
        const qsizetype frame = qMax<qsizetype>(0, (it - index.frameTimes.cbegin()) - 2);
        ++generation;
        stopAndWait();
        libvlc_media_player_set_media(player, nullptr);
        releaseMedia();
        slice = std::make_unique<Slice>(Slice{path, index.frameOffsets.at(frame)});
        media = libvlc_media_new_callbacks(instance, &sliceOpen, &sliceRead, &sliceSeek, &sliceClose, slice.get());
        if (!media) {
            qCWarning(lcAudio, "%s: failed to create media", function);
            return false;
        }
        libvlc_media_add_option(media, ":clock-synchro=0");
        libvlc_media_add_option(media, ":clock-jitter=0");
        base = index.frameTimes.at(frame);
        return startMedia(function);
    }

    /** What a media made by restartAt() reads: the file from a frame on. */
    struct Slice {
        QString path;
        qint64 start = 0;
    };
    struct SliceReader {
        QFile file;
        qint64 start = 0;
    };
    static int sliceOpen(void *opaque, void **data, uint64_t *size)
    {
        const auto *slice = static_cast<const Slice *>(opaque);
        auto reader = std::make_unique<SliceReader>();
        reader->file.setFileName(slice->path);
        reader->start = slice->start;
        if (!reader->file.open(QIODevice::ReadOnly) || !reader->file.seek(slice->start))
            return -1;
        *size = uint64_t(qMax<qint64>(0, reader->file.size() - slice->start));
        *data = reader.release();
        return 0;
    }
    static ssize_t sliceRead(void *data, unsigned char *buffer, size_t length)
    {
        return ssize_t(static_cast<SliceReader *>(data)->file.read(reinterpret_cast<char *>(buffer), qint64(length)));
    }
    static int sliceSeek(void *data, uint64_t offset)
    {
        auto *reader = static_cast<SliceReader *>(data);
        return reader->file.seek(reader->start + qint64(offset)) ? 0 : -1;
    }
    static void sliceClose(void *data)
    {
        delete static_cast<SliceReader *>(data);
    }

    void report(const QString &event) const { Platform::reportEngineEvent(event); }
    void reportPlay(qint64 from) const { report(QStringLiteral("play %1 at %2").arg(shownUrl).arg(from)); }
    qint64 time() const { return qMax<qint64>(0, libvlc_media_player_get_time(player)); }

    void releaseMedia()
    {
        if (media) {
            libvlc_media_release(media);
            media = nullptr;
        }
    }

    static void handleEvent(const libvlc_event_t *event, void *opaque)
    {
        auto *self = static_cast<VlcMediaPlayerPrivate *>(opaque);
        if (event->type != libvlc_MediaPlayerEndReached)
            return;
        // A medium that never delivered audio (garbage named .mp3) did not
        // "finish"; play() reports it as a failure instead.
        if (self->blocksPlayed.load() == 0)
            return;
        const quint64 generation = self->generation.load();
        VlcMediaPlayer *q = self->q;
        QMetaObject::invokeMethod(
            q,
            [q, self, generation] {
                // An end that belongs to a stream stopped in the meantime is stale.
                if (generation == self->generation.load())
                    Q_EMIT q->finished();
            },
            Qt::QueuedConnection);
    }

    static void handleMediaParsed(const libvlc_event_t *, void *opaque)
    {
        // libvlc's preparser thread: a direct receiver would run there,
        // beside the owner's thread, so the signal is raised on the owner's.
        VlcMediaPlayer *q = static_cast<VlcMediaPlayerPrivate *>(opaque)->q;
        QMetaObject::invokeMethod(q, [q] { Q_EMIT q->mediaParsed(); }, Qt::QueuedConnection);
    }

    static int audioSetup(void **opaque, char *format, unsigned *rate, unsigned *channels)
    {
        return static_cast<VlcMediaPlayerPrivate *>(*opaque)->q->audioSetupCallback(opaque, format, rate, channels);
    }

    static void audioPlay(void *opaque, const void *samples, unsigned count, int64_t)
    {
        static_cast<VlcMediaPlayerPrivate *>(opaque)->playAudio(static_cast<const qint16 *>(samples), count);
    }

    int setupAudio(char *format, unsigned *rate, unsigned *channels, const char *function)
    {
        output->close();
        // Ask for what the pitch path handles: signed 16-bit native samples,
        // mono or stereo; libvlc converts and downmixes anything else.
        std::memcpy(format, "S16N", 4);
        if (*channels > unsigned(MaxChannels))
            *channels = MaxChannels;
        if (*channels < 1)
            *channels = 1;
        this->channels = int(*channels);
        if (!output->open(int(*rate), int(*channels))) {
            // Keep decoding: the position still advances and finished() still
            // comes, which is what a machine without a sound card needs.
            if (!outputFailureReported.exchange(true))
                qCWarning(lcAudio, "%s: error opening audio device", function);
        }
        {
            std::lock_guard<std::mutex> lock(soundTouchMutex);
            pitchShifter.setFormat(int(*rate), int(*channels));
            usePitch(pitch.load());
        }
        qCDebug(lcAudio, "audioSetupCallback format: %.4s sampleRate: %u channels: %u", format, *rate, *channels);
        return 0;
    }

    /**
     * Sets the processor's pitch. At 0 semitones SoundTouch would only copy
     * the samples at the cost of a full time-stretch pass, and most listening
     * is at 0: the blocks then bypass it. Caller holds soundTouchMutex.
     */
    void usePitch(float semitones)
    {
        const bool shift = semitones != 0.0f;
        if (shifting && !shift)
            pitchShifter.clear();
        shifting = shift;
        pitchShifter.setPitchSemiTones(semitones);
    }

    void playAudio(const qint16 *samples, unsigned frames)
    {
        float in[ChunkFrames * MaxChannels];
        float shifted[ChunkFrames * MaxChannels];
        qint16 out[ChunkFrames * MaxChannels];
        const int ch = channels;

        std::lock_guard<std::mutex> lock(soundTouchMutex);
        if (pitchChangePending.load(std::memory_order_acquire)) {
            usePitch(pitch.load(std::memory_order_relaxed));
            pitchChangePending.store(false, std::memory_order_release);
        }
        if (!shifting) {
            if (!muted.load(std::memory_order_relaxed)) {
                output->write(reinterpret_cast<const char *>(samples), int(frames * unsigned(ch) * sizeof(qint16)));
            } else {
                std::fill(std::begin(out), std::end(out), qint16(0));
                while (frames > 0) {
                    const unsigned n = std::min(frames, ChunkFrames);
                    output->write(reinterpret_cast<const char *>(out), int(n * unsigned(ch) * sizeof(qint16)));
                    frames -= n;
                }
            }
            blocksPlayed.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        while (frames > 0) {
            const unsigned n = std::min(frames, ChunkFrames);
            const unsigned values = n * unsigned(ch);
            for (unsigned i = 0; i < values; ++i)
                in[i] = float(samples[i]);
            samples += values;
            frames -= n;
            pitchShifter.putSamples(in, n);

            for (;;) {
                const uint got = pitchShifter.receiveSamples(shifted, n);
                if (got == 0)
                    break;
                const uint count = got * uint(ch);
                if (muted.load(std::memory_order_relaxed)) {
                    std::fill(out, out + count, qint16(0));
                } else {
                    // Truncation toward zero as the float->int conversion does;
                    // clamped, since SoundTouch's overlap can overshoot full scale
                    // and wrapping would click.
                    for (uint i = 0; i < count; ++i)
                        out[i] = qint16(std::clamp(int(shifted[i]), -32768, 32767));
                }
                output->write(reinterpret_cast<const char *>(out), int(count * sizeof(qint16)));
            }
        }
        blocksPlayed.fetch_add(1, std::memory_order_relaxed);
    }

    VlcMediaPlayer *const q;
    std::unique_ptr<Platform::AudioOutput> output;

    bool initialized = false;
    std::atomic_bool muted{false};
    std::atomic_bool pitchChangePending{false};
    std::atomic<float> pitch{0.0f};
    libvlc_instance_t *instance = nullptr;
    libvlc_media_player_t *player = nullptr;
    libvlc_event_manager_t *eventManager = nullptr;
    std::vector<libvlc_event_type_t> events;
    libvlc_media_t *media = nullptr;
    // The VBR MP3 file playing is restarted at a frame instead of seeked in
    // (restartAt); the media's time 0 is then `base` ms into the file.
    QString path; ///< the local file playing; empty for a CD track
    bool variableBitRate = false;
    MpegAudioFrames::Scan index;
    qint64 base = 0;
    std::unique_ptr<Slice> slice; ///< read by the media restartAt() made; outlives it
    QString shownUrl; ///< the medium as engine events name it: an absolute path or a CD url

    // Audio thread only while a stream plays.
    int channels = 1;
    std::mutex soundTouchMutex; // guards pitchShifter and shifting against setPitch() from the owner's thread
    PitchShifter pitchShifter;
    bool shifting = false;

    std::atomic_bool outputFailureReported{false};
    std::atomic<quint64> blocksPlayed{0};
    std::atomic<quint64> generation{0};
};

int VlcMediaPlayer::audioSetupCallback(void **opaque, char *format, unsigned *rate, unsigned *channels)
{
    Q_UNUSED(opaque)
    return d->setupAudio(format, rate, channels, Q_FUNC_INFO);
}

VlcMediaPlayer::VlcMediaPlayer(QObject *parent)
    : VlcMediaPlayer(Platform::listenedOutput(std::make_unique<AoAudioOutput>()), parent)
{
}

VlcMediaPlayer::VlcMediaPlayer(std::unique_ptr<Platform::AudioOutput> output, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<VlcMediaPlayerPrivate>(this, std::move(output)))
{
}

VlcMediaPlayer::~VlcMediaPlayer()
{
    qCDebug(lcAudio, "%s: ~VlcMediaPlayer", Q_FUNC_INFO);
    if (d->eventManager) {
        for (libvlc_event_type_t type : d->events)
            libvlc_event_detach(d->eventManager, type, &VlcMediaPlayerPrivate::handleEvent, d.get());
    }
    d->events.clear();
    // Releasing the player stops libvlc's threads, so no callback runs after this.
    if (d->player)
        libvlc_media_player_release(d->player);
    d->releaseMedia();
    if (d->instance)
        libvlc_release(d->instance);
    d->output->close();
}

QString VlcMediaPlayer::libraryVersion()
{
    return QStringLiteral("%1.%2.%3").arg(LIBVLC_VERSION_MAJOR).arg(LIBVLC_VERSION_MINOR).arg(LIBVLC_VERSION_REVISION);
}

bool VlcMediaPlayer::init()
{
    if (d->initialized) {
        qCDebug(lcAudio, "%s: we are already initialized", Q_FUNC_INFO);
        return true;
    }
    const char *const arguments[] = {"--quiet", "--intf", "dummy", "--vout", "dummy", "--no-stats", "--no-video"};
    d->instance = libvlc_new(int(std::size(arguments)), arguments);
    if (!d->instance) {
        qCWarning(lcAudio, "%s: can't create vlc instance, error: %s", Q_FUNC_INFO, libvlc_errmsg());
        return false;
    }
    d->player = libvlc_media_player_new(d->instance);
    if (!d->player) {
        qCWarning(lcAudio, "%s: can't create vlc media player, error: %s", Q_FUNC_INFO, libvlc_errmsg());
        return false;
    }
    d->eventManager = libvlc_media_player_event_manager(d->player);
    for (libvlc_event_type_t type : d->events) {
        if (libvlc_event_attach(d->eventManager, type, &VlcMediaPlayerPrivate::handleEvent, d.get()) != 0) {
            qCWarning(lcAudio, "%s: can't attach event handler: %d", Q_FUNC_INFO, int(type));
            return false;
        }
    }
    libvlc_audio_set_format_callbacks(d->player, &VlcMediaPlayerPrivate::audioSetup, nullptr);
    libvlc_audio_set_callbacks(d->player, &VlcMediaPlayerPrivate::audioPlay, nullptr, nullptr, nullptr, nullptr, d.get());
    d->initialized = true;
    return true;
}

bool VlcMediaPlayer::play(const QString &url)
{
    if (!d->initialized) {
        qCWarning(lcAudio, "%s: vlc media player is not initialized", Q_FUNC_INFO);
        return false;
    }
    if (url.isEmpty()) {
        qCWarning(lcAudio, "%s: url is empty", Q_FUNC_INFO);
        return false;
    }
    if (d->media) {
        d->stopAndWait();
        d->releaseMedia();
    }
    ++d->generation;

    QString trackOption;
    if (url.contains(QLatin1String(CddaPrefix))) {
        const QString option = QString(url).remove(QStringLiteral("cdda://"));
        bool ok = false;
        const int track = option.mid(option.indexOf(QLatin1Char('=')) + 1).toInt(&ok);
        Platform::CdTrackMedia cd;
        if (ok && Platform::createCdAudio()->trackMedia(track, &cd)) {
            if (cd.isLocation)
                d->media = libvlc_media_new_location(d->instance, cd.location.toUtf8().constData());
            else
                d->media = libvlc_media_new_path(d->instance, QFile::encodeName(cd.location).constData());
            trackOption = cd.option;
        }
    } else {
        d->media = libvlc_media_new_path(d->instance, QFile::encodeName(url).constData());
    }
    if (!d->media) {
        qCWarning(lcAudio, "%s: failed to create media", Q_FUNC_INFO);
        return false;
    }
    libvlc_media_add_option(d->media, ":clock-synchro=0");
    libvlc_media_add_option(d->media, ":clock-jitter=0");
    if (!trackOption.isEmpty())
        libvlc_media_add_option(d->media, trackOption.toUtf8().constData());

    if (!d->startMedia(Q_FUNC_INFO))
        return false;
    d->base = 0;
    const bool file = !url.contains(QLatin1String("://"));
    if (d->path != url || (file && d->index.fileSize != QFileInfo(url).size())) {
        d->path = file ? url : QString();
        d->index = MpegAudioFrames::Scan();
        d->variableBitRate = file && url.endsWith(QLatin1String(".mp3"), Qt::CaseInsensitive) && MpegAudioFrames::probe(url).variableBitRate;
    }
    d->shownUrl = url.contains(QLatin1String(CddaPrefix)) ? url : QFileInfo(url).absoluteFilePath();
    d->reportPlay(0);
    return true;
}

void VlcMediaPlayer::stop()
{
    if (!d->initialized) {
        qCWarning(lcAudio, "%s: vlc media player is not initialized", Q_FUNC_INFO);
        return;
    }
    if (!d->media)
        return;
    const qint64 at = d->time();
    ++d->generation;
    d->stopAndWait();
    libvlc_media_player_set_media(d->player, nullptr);
    d->releaseMedia();
    d->report(QStringLiteral("stop at %1").arg(at));
}

void VlcMediaPlayer::pause(bool p)
{
    if (!d->initialized) {
        qCWarning(lcAudio, "%s: vlc media player is not initialized", Q_FUNC_INFO);
        return;
    }
    const libvlc_state_t s = d->state();
    if (s == libvlc_Playing && p) {
        libvlc_media_player_set_pause(d->player, 1);
        // libvlc pauses asynchronously; a seek or resume right after must
        // already see the pause, or it acts on a stream about to stop.
        d->waitForState({libvlc_Paused, libvlc_Stopped, libvlc_Ended, libvlc_Error});
        d->report(QStringLiteral("pause at %1").arg(d->time()));
    } else if (s == libvlc_Paused && !p) {
        // A resumed stream starts where the pause left it, but libvlc's own
        // resume leaves the callback output out of step: restart instead.
        if (d->variableBitRate) {
            const qint64 time = currentTime();
            if (d->restartAt(time, Q_FUNC_INFO))
                d->reportPlay(time);
            return;
        }
        const libvlc_time_t time = libvlc_media_player_get_time(d->player);
        d->stopAndWait();
        libvlc_media_player_play(d->player);
        d->waitForState({libvlc_Playing, libvlc_Ended, libvlc_Error});
        libvlc_media_player_set_time(d->player, time);
        d->reportPlay(time);
    }
}

void VlcMediaPlayer::pause()
{
    pause(true);
}

void VlcMediaPlayer::unpause()
{
    pause(false);
}

qint64 VlcMediaPlayer::seek(qint64 offset)
{
    if (offset == 0)
        return 0;
    if (!d->initialized) {
        qCWarning(lcAudio, "%s: vlc media player is not initialized", Q_FUNC_INFO);
        return -1;
    }
    libvlc_state_t s = d->state();
    if (s == libvlc_Paused) {
        qCDebug(lcAudio, "%s: vlc player is paued, start playing first.", Q_FUNC_INFO);
        pause(false);
        s = d->state();
    }
    if (s != libvlc_Playing) {
        qCWarning(lcAudio, "%s: no effect, we are not playing", Q_FUNC_INFO);
        return -1;
    }
    if (!d->media) {
        qCWarning(lcAudio, "%s: no valid media available", Q_FUNC_INFO);
        return -1;
    }
    const qint64 target = currentTime() + offset;
    const qint64 duration = totalTime();
    if (target < 0) {
        qCDebug(lcAudio, "%s: begin of track", Q_FUNC_INFO);
        return -target;
    }
    if (target >= duration) {
        qCDebug(lcAudio, "%s: end of track", Q_FUNC_INFO);
        return target - duration;
    }
    if (d->variableBitRate && d->ensureIndex()) {
        if (!d->restartAt(target, Q_FUNC_INFO))
            return -1;
        d->report(QStringLiteral("seek %1").arg(target));
        return 0;
    }
    const qint64 oldTime = libvlc_media_player_get_time(d->player);
    libvlc_media_player_set_time(d->player, target);
    qCDebug(lcAudio, "%s: old time: %lld new time: %lld", Q_FUNC_INFO, qlonglong(oldTime), qlonglong(libvlc_media_player_get_time(d->player)));
    d->report(QStringLiteral("seek %1").arg(target));
    return 0;
}

qint64 VlcMediaPlayer::currentTime() const
{
    if (!d->initialized) {
        qCWarning(lcAudio, "%s: vlc media player is not initialized", Q_FUNC_INFO);
        return -1;
    }
    const qint64 time = libvlc_media_player_get_time(d->player);
    return time < 0 ? time : d->base + time;
}

qint64 VlcMediaPlayer::totalTime() const
{
    if (!d->initialized) {
        qCWarning(lcAudio, "%s: vlc media player is not initialized", Q_FUNC_INFO);
        return -1;
    }
    if (!d->media) {
        qCWarning(lcAudio, "%s: no valid media available", Q_FUNC_INFO);
        return -1;
    }
    // A VBR file's header may claim any length; its frames tell.
    if (d->variableBitRate && d->ensureIndex())
        return d->index.durationMsec;
    return libvlc_media_get_duration(d->media);
}

qint64 VlcMediaPlayer::totalTimeFile(const QString &path)
{
    if (!d->initialized) {
        qCWarning(lcAudio, "%s: vlc media player is not initialized", Q_FUNC_INFO);
        return -1;
    }
    if (path.isEmpty()) {
        qCWarning(lcAudio, "%s: file is empty", Q_FUNC_INFO);
        return -1;
    }
    libvlc_media_t *media = libvlc_media_new_path(d->instance, QFile::encodeName(path).constData());
    if (!media) {
        qCWarning(lcAudio, "%s: can't create a media from this file: %s", Q_FUNC_INFO, qPrintable(path));
        return -1;
    }
    if (d->media) {
        char *currentMrl = libvlc_media_get_mrl(d->media);
        char *newMrl = libvlc_media_get_mrl(media);
        const bool same = currentMrl && newMrl && std::strcmp(currentMrl, newMrl) == 0;
        libvlc_free(currentMrl);
        libvlc_free(newMrl);
        if (same) {
            libvlc_media_release(media);
            return libvlc_media_get_duration(d->media);
        }
    }
    libvlc_event_manager_t *events = libvlc_media_event_manager(media);
    libvlc_event_attach(events, libvlc_MediaParsedChanged, &VlcMediaPlayerPrivate::handleMediaParsed, d.get());
    {
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        // A parse of an earlier file that ended after its wait gave up is
        // still queued; only this file's own parse ends the wait.
        connect(this, &VlcMediaPlayer::mediaParsed, &loop, [&loop, media] {
            if (libvlc_media_get_parsed_status(media) != 0)
                loop.quit();
        });
        timer.start(ParseLimitMsec);
        if (libvlc_media_parse_with_options(media, libvlc_media_parse_local, ParseLimitMsec) == 0)
            loop.exec();
    }
    libvlc_event_detach(events, libvlc_MediaParsedChanged, &VlcMediaPlayerPrivate::handleMediaParsed, d.get());
    const qint64 duration = libvlc_media_get_duration(media);
    libvlc_media_release(media);
    return duration;
}

bool VlcMediaPlayer::isPlaying()
{
    if (!d->initialized) {
        qCWarning(lcAudio, "%s: vlc media player is not initialized", Q_FUNC_INFO);
        return false;
    }
    const libvlc_state_t s = d->state();
    return s == libvlc_Playing || s == libvlc_Paused;
}

void VlcMediaPlayer::setTempo(float rate)
{
    if (!d->initialized) {
        qCWarning(lcAudio, "%s: vlc media player is not initialized", Q_FUNC_INFO);
        return;
    }
    if (d->state() != libvlc_Playing)
        libvlc_media_player_set_rate(d->player, rate);
}

void VlcMediaPlayer::changeTempo(float rate)
{
    if (!d->initialized) {
        qCWarning(lcAudio, "%s: vlc media player is not initialized", Q_FUNC_INFO);
        return;
    }
    if (d->state() != libvlc_Playing)
        return;
    const qint64 time = libvlc_media_player_get_time(d->player);
    ++d->generation;
    d->stopAndWait();
    libvlc_media_player_set_rate(d->player, rate);
    libvlc_media_player_play(d->player);
    d->waitForState({libvlc_Playing, libvlc_Ended, libvlc_Error});
    d->reportPlay(0);
    seek(time);
}

void VlcMediaPlayer::setPitch(float semitones)
{
    if (!d->initialized) {
        qCWarning(lcAudio, "%s: vlc media player is not initialized", Q_FUNC_INFO);
        return;
    }
    if (d->state() == libvlc_Playing)
        return;
    d->pitch.store(semitones);
    std::lock_guard<std::mutex> lock(d->soundTouchMutex);
    d->usePitch(semitones);
}

void VlcMediaPlayer::changePitch(float semitones)
{
    if (!d->initialized) {
        qCWarning(lcAudio, "%s: vlc media player is not initialized", Q_FUNC_INFO);
        return;
    }
    if (d->state() != libvlc_Playing || d->pitchChangePending.load(std::memory_order_acquire))
        return;
    d->pitch.store(semitones, std::memory_order_relaxed);
    d->pitchChangePending.store(true, std::memory_order_release);
}

void VlcMediaPlayer::setMuted(bool muted)
{
    if (!d->initialized) {
        qCWarning(lcAudio, "%s: vlc media player is not initialized", Q_FUNC_INFO);
        return;
    }
    if (d->muted.exchange(muted) != muted)
        d->report(muted ? QStringLiteral("mute on") : QStringLiteral("mute off"));
}

bool VlcMediaPlayer::isPaused() const
{
    return d->state() == libvlc_Paused;
}

bool VlcMediaPlayer::isMuted() const
{
    return d->muted.load();
}
