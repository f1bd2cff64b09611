// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_AUDIO_AUDIOSETTINGS_H
#define QUIMBO_AUDIO_AUDIOSETTINGS_H

#include <QObject>

#include <memory>

namespace AudioSetting {
namespace Tempo {
constexpr float Minimum = 0.75f;
constexpr float Normal = 1.0f;
constexpr float Fast = 1.25f;
constexpr float Faster = 1.5f;
constexpr float Double = 2.0f;
// Readers who skim a known book or study at speed ask for well past 2x; the
// two steps above it only lengthen the table, so every key keeps its meaning.
constexpr float DoubleAndHalf = 2.5f;
constexpr float Maximum = 3.0f;
} // namespace Tempo
/** The spoken speed values at the ends of the tempo table, where the keys answer with the double beep. */
namespace Speed {
constexpr int Lowest = -1;
constexpr int Highest = 5;
} // namespace Speed
} // namespace AudioSetting

class AudioSettingsPrivate;

/**
 * Volume per endpoint, tempo and pitch in the settings store, and the
 * listening-level protection: a step at or above the RS1 level must be
 * confirmed, and a long time above it ends in rs2DurationTimeout().
 */
class AudioSettings : public QObject
{
    Q_OBJECT
public:
    enum AudioEndpointDevices {
        Speaker = 0,
        Headphones = 1,
    };
    Q_ENUM(AudioEndpointDevices)

    explicit AudioSettings(QObject *parent = nullptr);
    ~AudioSettings() override;

    /** Current volume step, read back from the mixer control; 0 when unreadable. */
    static int volume();
    /** Writes step x 3 to the mixer, unclamped (9 for announcements, 5 for the shutdown tune). */
    static void setVolume(int step);
    /** The user's volume change by +1 or -1: the new step, or -1 when refused. */
    int changeVolume(int delta);
    int volumeMaxRS1Level() const;
    AudioEndpointDevices endpoint() const;

    float tempo() const;
    void setTempo(float tempo);
    /** Moves the tempo by @p delta steps of the tempo table. */
    void changeTempo(int delta);
    /** Spoken speed value of the current tempo (-1 to 5); 0 for a tempo off the table. */
    int speed() const;

    int pitch() const;
    void setPitch(int pitch);
    void changePitch(int delta);

    /** True while a turn up would confirm the RS1 level (after pauseTimerReady()). */
    bool acknowledgeWindowOpen() const;

    /** Accumulated minutes above the safe range (memory only). */
    int rs2Exposure() const;

    /**
     * Timer lengths in milliseconds, unscaled. By default 2000, 3000 and
     * 300000 passed through Platform::scaledMsec(); tests shorten them here.
     */
    void setTimerLengths(int pauseMsec, int acknowledgeMsec, int rs2Msec);

public Q_SLOTS:
    void presetVolume(AudioSettings::AudioEndpointDevices device);

Q_SIGNALS:
    void pauseTimerReady();
    void rs2DurationTimeout();

private Q_SLOTS:
    void pauseTimerTimeout();
    void acknowledgeTimerTimeout();
    void rs2TimerTimeout();

private:
    const std::unique_ptr<AudioSettingsPrivate> d;
};

#endif
