// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/audiosettings.h"

#include "audio/logcategory.h"
#include "platform/mixer.h"
#include "platform/platform.h"

#include <QDebug>
#include <QSettings>
#include <QTimer>

#include <array>

namespace {

const QString MixerControl = QStringLiteral("Power Amplifier");
constexpr int MixerReadLimitMsec = 30000;
constexpr int MinimumStep = 7;
constexpr int MaximumStep = 21;
constexpr int DefaultStep = 9;
constexpr int SafeRS1Level = 17;
constexpr int RS2MinutesPerTick = 5;
// Exceeding this many minutes means 1195 minutes, the listening-time limit above RS1.
constexpr int RS2LimitMinutes = 1194;
constexpr int PauseMsec = 2000;
constexpr int AcknowledgeMsec = 3000;
constexpr int RS2TickMsec = 300000;

struct TempoStep {
    float tempo;
    int speed;
};
constexpr std::array<TempoStep, 7> TempoTable{{
    {AudioSetting::Tempo::Minimum, AudioSetting::Speed::Lowest},
    {AudioSetting::Tempo::Normal, 0},
    {AudioSetting::Tempo::Fast, 1},
    {AudioSetting::Tempo::Faster, 2},
    {AudioSetting::Tempo::Double, 3},
    {AudioSetting::Tempo::DoubleAndHalf, 4},
    {AudioSetting::Tempo::Maximum, AudioSetting::Speed::Highest},
}};

int tempoIndex(float tempo)
{
    for (int i = 0; i < int(TempoTable.size()); ++i) {
        if (TempoTable[i].tempo == tempo)
            return i;
    }
    return -1;
}

QString volumeKey(AudioSettings::AudioEndpointDevices endpoint)
{
    return endpoint == AudioSettings::Headphones ? QStringLiteral("headphoneVolume") : QStringLiteral("speakerVolume");
}

} // namespace

class AudioSettingsPrivate
{
public:
    AudioSettings::AudioEndpointDevices endpoint = AudioSettings::Speaker;
    int rs1Level = SafeRS1Level;
    int rs2Exposure = 0;
    QTimer pauseTimer;
    QTimer acknowledgeTimer;
    QTimer rs2Timer;
    int pauseMsec = Platform::scaledMsec(PauseMsec);
    int acknowledgeMsec = Platform::scaledMsec(AcknowledgeMsec);
};

AudioSettings::AudioSettings(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<AudioSettingsPrivate>())
{
    d->pauseTimer.setSingleShot(true);
    d->acknowledgeTimer.setSingleShot(true);
    d->rs2Timer.setInterval(Platform::scaledMsec(RS2TickMsec));
    connect(&d->pauseTimer, &QTimer::timeout, this, &AudioSettings::pauseTimerTimeout);
    connect(&d->acknowledgeTimer, &QTimer::timeout, this, &AudioSettings::acknowledgeTimerTimeout);
    connect(&d->rs2Timer, &QTimer::timeout, this, &AudioSettings::rs2TimerTimeout);
}

AudioSettings::~AudioSettings() = default;

void AudioSettings::setTimerLengths(int pauseMsec, int acknowledgeMsec, int rs2Msec)
{
    d->pauseMsec = pauseMsec;
    d->acknowledgeMsec = acknowledgeMsec;
    d->rs2Timer.setInterval(rs2Msec);
}

int AudioSettings::volume()
{
    const QString output = Platform::createMixer()->sget(MixerControl, MixerReadLimitMsec);
    const int at = output.indexOf(QLatin1String("Mono:"));
    // Text that is not a number reads as 0, so the next change starts from the minimum step.
    const int raw = at < 0 ? 0 : output.mid(at + 6, 2).trimmed().toInt();
    qCDebug(lcAudio, "[AudioSettings::volume] rawVolume: %d app volume: %d", raw, raw / 3);
    return raw / 3;
}

void AudioSettings::setVolume(int step)
{
    const int value = step * 3;
    Platform::createMixer()->sset(MixerControl, value);
    qCDebug(lcAudio, "[AudioSettings::setVolume] volume set to: %d", value);
}

int AudioSettings::changeVolume(int delta)
{
    if (d->pauseTimer.isActive() && delta > 0) {
        d->pauseTimer.start(d->pauseMsec);
        return -1;
    }
    if (d->acknowledgeTimer.isActive() && delta > 0) {
        qCDebug(lcAudio, "[AudioSettings::changeVolume] user accepts RS2 level");
        d->acknowledgeTimer.stop();
        d->rs2Exposure = 0;
        d->rs2Timer.start();
        setVolume(d->rs1Level);
        return d->rs1Level;
    }
    d->pauseTimer.stop();
    d->acknowledgeTimer.stop();
    const int v = qBound(MinimumStep, volume() + delta, MaximumStep);
    QSettings().setValue(volumeKey(d->endpoint), v);

    if (v == d->rs1Level && delta > 0) {
        // The louder level waits for the user's confirmation; the store
        // already holds it, the amplifier does not yet.
        d->pauseTimer.start(d->pauseMsec);
        return -1;
    }
    if (v < d->rs1Level && delta < 0) {
        d->rs2Exposure = 0;
        d->rs2Timer.stop();
    }
    setVolume(v);
    return v;
}

int AudioSettings::volumeMaxRS1Level() const
{
    return d->rs1Level;
}

AudioSettings::AudioEndpointDevices AudioSettings::endpoint() const
{
    return d->endpoint;
}

void AudioSettings::presetVolume(AudioSettings::AudioEndpointDevices device)
{
    qCDebug(lcAudio, "[AudioSettings::presetVolume] presetVolume %d", int(device));
    if (device != Speaker && device != Headphones)
        return;
    d->endpoint = device;
    d->rs1Level = SafeRS1Level;
    QSettings settings;
    int v = settings.value(volumeKey(device), DefaultStep).toInt();
    if (v >= d->rs1Level) {
        if (device == Speaker)
            qCDebug(lcAudio, "[AudioSettings::presetVolume] speaker volume exceeds RS1 level..reset to safe value");
        else
            qCDebug(lcAudio, "[AudioSettings::presetVolume] headphone volume exceeds RS1 level.. reset to safe value");
        v = d->rs1Level - 1;
        settings.setValue(volumeKey(device), v);
    }
    // A confirmation belongs to the endpoint it was given on: a pause or an
    // open window carried over would let one turn lift the new endpoint to RS1
    // without its own confirmation.
    d->pauseTimer.stop();
    d->acknowledgeTimer.stop();
    d->rs2Timer.stop();
    setVolume(v);
}

void AudioSettings::pauseTimerTimeout()
{
    d->pauseTimer.stop();
    d->acknowledgeTimer.start(d->acknowledgeMsec);
    Q_EMIT pauseTimerReady();
    qCDebug(lcAudio, "[AudioSettings::pauseTimerTimeout] pauseTimerTimeout");
}

void AudioSettings::acknowledgeTimerTimeout()
{
    d->acknowledgeTimer.stop();
    qCDebug(lcAudio, "[AudioSettings::acknowledgeTimerTimeout] acknowledgeTimerTimeout");
}

void AudioSettings::rs2TimerTimeout()
{
    d->rs2Exposure += RS2MinutesPerTick;
    if (d->rs2Exposure > RS2LimitMinutes) {
        qCDebug(lcAudio, "[AudioSettings::rsTimerTimout] RS2 duration timeout");
        Q_EMIT rs2DurationTimeout();
    }
}

bool AudioSettings::acknowledgeWindowOpen() const
{
    return d->acknowledgeTimer.isActive();
}

int AudioSettings::rs2Exposure() const
{
    return d->rs2Exposure;
}

float AudioSettings::tempo() const
{
    return QSettings().value(QStringLiteral("tempo"), AudioSetting::Tempo::Normal).toFloat();
}

void AudioSettings::setTempo(float tempo)
{
    if (tempo > AudioSetting::Tempo::Maximum)
        tempo = AudioSetting::Tempo::Maximum;
    else if (!(tempo > AudioSetting::Tempo::Minimum))
        tempo = AudioSetting::Tempo::Minimum;
    QSettings().setValue(QStringLiteral("tempo"), tempo);
    qCDebug(lcAudio, "[AudioSettings::setTempo]: %g", double(tempo));
}

void AudioSettings::changeTempo(int delta)
{
    const int i = tempoIndex(tempo());
    setTempo(TempoTable[qBound(0, i + delta, int(TempoTable.size()) - 1)].tempo);
}

int AudioSettings::speed() const
{
    const int i = tempoIndex(tempo());
    return i < 0 ? 0 : TempoTable[i].speed;
}

int AudioSettings::pitch() const
{
    return QSettings().value(QStringLiteral("pitch"), 0).toInt();
}

void AudioSettings::setPitch(int pitch)
{
    pitch = qBound(-4, pitch, 4);
    QSettings().setValue(QStringLiteral("pitch"), pitch);
    qCDebug(lcAudio, "[AudioSettings::setPitch]: %d", pitch);
}

void AudioSettings::changePitch(int delta)
{
    setPitch(pitch() + delta);
}
