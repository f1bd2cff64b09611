// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/audiosubsystem.h"

#include "audio/logcategory.h"
#include "platform/i2cbus.h"
#include "platform/inputeventsource.h"
#include "platform/platform.h"

#include <QDebug>
#include <QEventLoop>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

namespace {

const QString AmplifierBus = QStringLiteral("/dev/i2c-1");
constexpr int AmplifierAddress = 0x70;
const QString HeadphoneInput = QStringLiteral("/dev/input/event2");
// The board's jack driver reports a key; a standard jack driver reports the
// SW_HEADPHONE_INSERT switch. Either means the same plug.
constexpr int HeadphoneKey = 35;
constexpr int HeadphoneSwitch = 2;
constexpr int RegisterCount = 7;
constexpr int Attempts = 5;
constexpr int RetryMsec = 20;
constexpr int MuteSettleMsec = 100;
constexpr int VolumeSettleMsec = 250;

QByteArray registerSet(std::initializer_list<quint8> bytes)
{
    QByteArray set;
    for (quint8 b : bytes)
        set.append(char(b));
    return set;
}

/**
 * Waits in a nested event loop, so signals keep arriving while the amplifier
 * settles; the length follows the process-wide time scale.
 */
void wait(int msec)
{
    QEventLoop loop;
    QTimer::singleShot(Platform::scaledMsec(msec), &loop, &QEventLoop::quit);
    loop.exec();
}

unsigned char *bytes(const QByteArray &set)
{
    return reinterpret_cast<unsigned char *>(const_cast<char *>(set.constData()));
}

} // namespace

const QByteArray AudioSubsystem::AMP_MUTE = registerSet({0x00, 0x80, 0x25, 0x57, 0xED, 0x0D, 0x0D});
const QByteArray AudioSubsystem::HEADPHONE_AMP_ON = registerSet({0x00, 0x4C, 0x27, 0x57, 0x8D, 0x0D, 0x0D});
const QByteArray AudioSubsystem::SPEAKER_AMP_ON = registerSet({0x00, 0xC2, 0x27, 0x57, 0x8D, 0x0D, 0x0D});
const QByteArray AudioSubsystem::SPEAKER_AMP_ON_OPT = registerSet({0x00, 0xC2, 0x25, 0x57, 0x9F, 0x1F, 0x1F});
const QByteArray AudioSubsystem::BYPASS_AMP_ON = registerSet({0x00, 0x81, 0x25, 0x57, 0xED, 0x0D, 0x0D});
const QByteArray AudioSubsystem::SPEAKER_AMP_ON_MAX = registerSet({0x00, 0x82, 0x27, 0x57, 0x9F, 0x9F, 0x1F});
const QByteArray AudioSubsystem::HEADPHONE_AMP_OFF = registerSet({0x00, 0x8C, 0x25, 0x57, 0xED, 0x0D, 0x0D});
const QByteArray AudioSubsystem::SPEAKER_AMP_OFF = registerSet({0x00, 0x82, 0x25, 0x57, 0xED, 0x0D, 0x0D});

class AudioSubsystemPrivate
{
public:
    QSocketNotifier *headphoneNotifier = nullptr;
    bool powered = false;
    std::unique_ptr<Platform::I2cBus> i2c;
    std::unique_ptr<Platform::InputEventSource> headphoneInput;
    AudioSettings::AudioEndpointDevices endpoint = AudioSettings::Speaker;
    QString revision;

    QByteArray speakerSet() const
    {
        return revision == QLatin1String("Rev6") ? AudioSubsystem::SPEAKER_AMP_ON_OPT : AudioSubsystem::SPEAKER_AMP_ON;
    }
};

AudioSubsystem::AudioSubsystem(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<AudioSubsystemPrivate>())
{
}

AudioSubsystem::~AudioSubsystem()
{
    qCDebug(lcAudio, "%s: ~AudioSubsystem", Q_FUNC_INFO);
}

void AudioSubsystem::setBoardRevision(const QString &revision)
{
    d->revision = revision;
}

QString AudioSubsystem::boardRevision() const
{
    return d->revision;
}

bool AudioSubsystem::initialize()
{
    d->i2c = Platform::createI2cBus();
    if (!d->i2c->open(AmplifierBus)) {
        qCWarning(lcAudio, "%s: error cannot open I2C bus", Q_FUNC_INFO);
        d->i2c.reset();
        return false;
    }
    if (!d->i2c->setSlaveAddress(AmplifierAddress, true)) {
        qCWarning(lcAudio, "%s: error cannot talk i2c slave", Q_FUNC_INFO);
        d->i2c.reset();
        return false;
    }
    d->headphoneInput = Platform::createInputEventSource();
    if (!d->headphoneInput->open(HeadphoneInput)) {
        qCWarning(lcAudio, "%s: error cannot open headphone input", Q_FUNC_INFO);
        d->headphoneInput.reset();
        return false;
    }
    return true;
}

void AudioSubsystem::uninitialize()
{
    delete d->headphoneNotifier;
    d->headphoneNotifier = nullptr;
    d->powered = false;
    d->i2c.reset();
    d->headphoneInput.reset();
}

bool AudioSubsystem::writeRegister(quint8 reg, quint8 value)
{
    if (!d->i2c) {
        qCWarning(lcAudio, "%s: error no file descriptor!", Q_FUNC_INFO);
        return false;
    }
    const unsigned char data[2] = {reg, value};
    if (d->i2c->write(data, 2) != 2) {
        qCWarning(lcAudio, "%s: error writing register TPA2051D3", Q_FUNC_INFO);
        return false;
    }
    return true;
}

int AudioSubsystem::readRegister(quint8 reg)
{
    if (!d->i2c) {
        qCWarning(lcAudio, "%s: error no file descriptor!", Q_FUNC_INFO);
        return -1;
    }
    if (d->i2c->write(&reg, 1) != 1) {
        qCWarning(lcAudio, "%s: error write register to read from", Q_FUNC_INFO);
        return -1;
    }
    unsigned char value = 0;
    if (d->i2c->read(&value, 1) != 1) {
        qCWarning(lcAudio, "%s: error reading value from register", Q_FUNC_INFO);
        return -1;
    }
    return value;
}

bool AudioSubsystem::writeRegisterData(unsigned char *data, int count)
{
    for (int reg = 0; reg < count; ++reg) {
        bool written = false;
        for (int attempt = 0; attempt < Attempts && !written; ++attempt) {
            if (attempt > 0)
                wait(RetryMsec);
            written = writeRegister(quint8(reg), data[reg]);
        }
        if (!written) {
            qCWarning(lcAudio, "%s: error writing multi data to TPA2051D3", Q_FUNC_INFO);
            return false;
        }
        if (reg == 1)
            wait(1);
    }
    return true;
}

bool AudioSubsystem::verifyRegisterData(unsigned char *data, int count)
{
    for (int reg = 0; reg < count; ++reg) {
        int value = -1;
        for (int attempt = 0; attempt < Attempts && value < 0; ++attempt) {
            if (attempt > 0)
                wait(RetryMsec);
            value = readRegister(quint8(reg));
        }
        // Register 0 holds the chip's status bits, which never read back as written.
        if (reg == 0)
            continue;
        if (value != data[reg]) {
            qCWarning(lcAudio, "[AudioSubsystem::verifyRegisterData] failed, got: %x, excpected: %x in reg: %d", value, data[reg], reg);
            return false;
        }
    }
    return true;
}

bool AudioSubsystem::headphoneConnected()
{
    if (!d->headphoneInput)
        return false;
    return d->headphoneInput->state(Platform::EventKey, HeadphoneKey) == 1
        || d->headphoneInput->state(Platform::EventSw, HeadphoneSwitch) == 1;
}

AudioSettings::AudioEndpointDevices AudioSubsystem::audioEndpointDevice() const
{
    return d->endpoint;
}

bool AudioSubsystem::isPowered() const
{
    return d->powered;
}

bool AudioSubsystem::powerUp()
{
    if (d->powered)
        return true;
    QByteArray set;
    if (headphoneConnected()) {
        d->endpoint = AudioSettings::Headphones;
        set = HEADPHONE_AMP_ON;
    } else {
        d->endpoint = AudioSettings::Speaker;
        set = d->speakerSet();
    }
    if (!writeRegisterData(bytes(set), RegisterCount)) {
        qCWarning(lcAudio, "%s: failed to write registers", Q_FUNC_INFO);
        return false;
    }
    if (!verifyRegisterData(bytes(set), RegisterCount)) {
        qCWarning(lcAudio, "%s: verify failed", Q_FUNC_INFO);
        return false;
    }
    if (d->headphoneInput) {
        d->headphoneNotifier = new QSocketNotifier(d->headphoneInput->fd(), QSocketNotifier::Read, this);
        connect(d->headphoneNotifier, &QSocketNotifier::activated, this, &AudioSubsystem::headphoneChange);
    }
    d->powered = true;
    return true;
}

bool AudioSubsystem::powerDown()
{
    if (!d->powered)
        return true;
    delete d->headphoneNotifier;
    d->headphoneNotifier = nullptr;
    if (!writeRegisterData(bytes(BYPASS_AMP_ON), RegisterCount)) {
        qCWarning(lcAudio, "%s: failed to write", Q_FUNC_INFO);
        return false;
    }
    if (!verifyRegisterData(bytes(BYPASS_AMP_ON), RegisterCount)) {
        qCWarning(lcAudio, "%s: failed to verify", Q_FUNC_INFO);
        return false;
    }
    d->powered = false;
    return true;
}

void AudioSubsystem::headphoneChange()
{
    if (!d->headphoneInput)
        return;
    Platform::InputEvent event;
    const Platform::ReadResult result = d->headphoneInput->read(&event);
    if (result == Platform::ReadResult::WouldBlock)
        return;
    if (result == Platform::ReadResult::EndOfFile && d->headphoneNotifier) {
        // A device at end of file stays readable: left enabled, the notifier
        // would call this again at once, for ever. The endpoint stays as it is.
        qCWarning(lcAudio, "%s: the headphone input is gone, jack changes are no longer followed", Q_FUNC_INFO);
        d->headphoneNotifier->setEnabled(false);
        return;
    }
    if (result != Platform::ReadResult::Event) {
        qCWarning(lcAudio, "%s: error can not read from the headphone input", Q_FUNC_INFO);
        return;
    }
    const bool jack = (event.type == Platform::EventKey && event.code == HeadphoneKey)
        || (event.type == Platform::EventSw && event.code == HeadphoneSwitch);
    if (!jack)
        return;

    // The switch waits with a nested event loop: keep this handler from
    // running again inside it; the next jack event is read afterwards.
    const QPointer<QSocketNotifier> notifier = d->headphoneNotifier;
    if (notifier)
        notifier->setEnabled(false);

    // The volume is lowered to the new endpoint's level while the amplifier
    // is muted, and only then is the new path switched on.
    writeRegisterData(bytes(AMP_MUTE), RegisterCount);
    wait(MuteSettleMsec);
    // Powered down (idle, shutdown) during the wait: the amplifier stays in
    // bypass and nobody is told of an endpoint.
    if (!notifier)
        return;
    QByteArray set;
    if (event.value == 1) {
        qCDebug(lcAudio, "%s: headphone connected", Q_FUNC_INFO);
        d->endpoint = AudioSettings::Headphones;
        set = HEADPHONE_AMP_ON;
    } else {
        qCDebug(lcAudio, "%s: headphone disconnected", Q_FUNC_INFO);
        d->endpoint = AudioSettings::Speaker;
        set = d->speakerSet();
    }
    Q_EMIT audioEnpointDeviceChange(d->endpoint);
    wait(VolumeSettleMsec);
    if (!notifier)
        return;
    writeRegisterData(bytes(set), RegisterCount);

    if (notifier == d->headphoneNotifier)
        notifier->setEnabled(true);
}
