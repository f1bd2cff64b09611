// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_AUDIO_AUDIOSUBSYSTEM_H
#define QUIMBO_AUDIO_AUDIOSUBSYSTEM_H

#include "audio/audiosettings.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

class AudioSubsystemPrivate;

/**
 * The TPA2051D3 class-D/headphone amplifier on "/dev/i2c-1" and the headphone
 * jack on "/dev/input/event2": powers the output path up and down and
 * switches it between loudspeaker and headphones as the jack changes.
 */
class AudioSubsystem : public QObject
{
    Q_OBJECT
public:
    /** Amplifier register sets, 7 bytes each for registers 0 to 6. */
    static const QByteArray AMP_MUTE;
    static const QByteArray HEADPHONE_AMP_ON;
    static const QByteArray SPEAKER_AMP_ON;
    static const QByteArray SPEAKER_AMP_ON_OPT;
    static const QByteArray BYPASS_AMP_ON;
    static const QByteArray SPEAKER_AMP_ON_MAX;
    static const QByteArray HEADPHONE_AMP_OFF;
    static const QByteArray SPEAKER_AMP_OFF;

    explicit AudioSubsystem(QObject *parent = nullptr);
    ~AudioSubsystem() override;

    /**
     * The board revision as Board::revisionString() names it ("Rev4",
     * "Rev6"); it chooses the loudspeaker register set. Until the owner sets
     * it (before powerUp()), the Rev4 set is used.
     */
    void setBoardRevision(const QString &revision);
    QString boardRevision() const;

    bool initialize();
    void uninitialize();
    bool powerUp();
    bool powerDown();
    bool isPowered() const;
    bool headphoneConnected();
    /** The endpoint the amplifier is switched to. */
    AudioSettings::AudioEndpointDevices audioEndpointDevice() const;

    bool writeRegister(quint8 reg, quint8 value);
    int readRegister(quint8 reg);
    bool writeRegisterData(unsigned char *data, int count);
    bool verifyRegisterData(unsigned char *data, int count);

Q_SIGNALS:
    void audioEnpointDeviceChange(AudioSettings::AudioEndpointDevices device);

private Q_SLOTS:
    void headphoneChange();

private:
    const std::unique_ptr<AudioSubsystemPrivate> d;
};

#endif
