// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_AUDIO_VLCMEDIAPLAYER_H
#define QUIMBO_AUDIO_VLCMEDIAPLAYER_H

#include <QObject>
#include <QString>

#include <memory>

namespace Platform {
class AudioOutput;
}

class VlcMediaPlayerPrivate;

/**
 * The audio engine: libvlc decodes, the PCM comes back through libvlc's audio
 * callbacks, SoundTouch shifts the pitch and the result goes to an audio
 * output (libao's default live driver unless another one was handed in).
 *
 * Times are milliseconds. Every public operation must be called from the
 * thread that owns the object. libvlc reports on threads of its own; both
 * signals are raised on the owner's thread, so a receiver runs there whatever
 * its connection type.
 */
class VlcMediaPlayer : public QObject
{
    Q_OBJECT
public:
    explicit VlcMediaPlayer(QObject *parent = nullptr);
    /**
     * Same, but the decoded and pitch-shifted PCM goes to @p output instead of
     * libao (tests capture it, benchmarks count it). The engine owns it.
     */
    explicit VlcMediaPlayer(std::unique_ptr<Platform::AudioOutput> output, QObject *parent = nullptr);
    ~VlcMediaPlayer() override;

    /** "major.minor.revision" of the libvlc this engine was built against. */
    static QString libraryVersion();

    bool init();

    /** Plays a file path or a CD track url ("cdda://cdda-track=N") from its start. */
    bool play(const QString &url);
    void stop();
    void pause(bool p);

    /**
     * Relative seek inside the current medium. Returns 0 when the jump was done
     * here (or was 0, or lands exactly on the end), the positive part of the
     * jump that lies before the start or beyond the end (nothing is moved
     * then), or -1 on failure.
     */
    qint64 seek(qint64 offset);
    qint64 currentTime() const;
    qint64 totalTime() const;
    /** Duration of any file; parses it (at most 5 s) unless it is the one playing. */
    qint64 totalTimeFile(const QString &path);
    /** True while Playing or Paused. */
    bool isPlaying();
    bool isPaused() const;

    /** Rate while not playing; ignored while playing. */
    void setTempo(float rate);
    /** Rate while playing (restarts the stream at the same place); ignored otherwise. */
    void changeTempo(float rate);
    /** Pitch in semitones while not playing; ignored while playing. */
    void setPitch(float semitones);
    /** Pitch while playing, applied by the audio thread before its next block. */
    void changePitch(float semitones);
    void setMuted(bool muted);
    bool isMuted() const;

public Q_SLOTS:
    void pause();
    void unpause();

Q_SIGNALS:
    /** The stream that play() started reached its end (never for a stopped one). */
    void finished();
    /** A totalTimeFile() parse ended. */
    void mediaParsed();

private:
    friend class VlcMediaPlayerPrivate;
    /** libvlc's audio set-up, called on its decoding thread; its lines carry this name. */
    int audioSetupCallback(void **opaque, char *format, unsigned *rate, unsigned *channels);

    const std::unique_ptr<VlcMediaPlayerPrivate> d;
};

#endif
