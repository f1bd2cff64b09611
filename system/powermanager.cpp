// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/powermanager.h"

#include "input/board.h"
#include "platform/gpio.h"
#include "platform/inputeventsource.h"
#include "platform/platform.h"
#include "platform/systemactions.h"
#include "system/batteryfuelgauge.h"
#include "system/delay.h"
#include "system/logcategory.h"
#include "system/powermanagementic.h"

#include <QDebug>
#include <QSettings>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>

namespace {
const QString s_adapterInput = QStringLiteral("/dev/input/event3");
constexpr int s_adapterKey = 30;
constexpr int s_efuseLine = 36;
constexpr int s_rev6 = 7;
constexpr int s_pollMsec = 5000;
constexpr int s_logMsec = 300000;
// How often an adapter input that went away is looked for again.
constexpr int s_reopenMsec = 1000;
constexpr int s_lowBatteryRepeat = 60;
} // namespace

class PowerManagerPrivate
{
public:
    struct Measurements {
        bool charging = false;
        int stateOfCharge = 0;
        float batteryVoltage = 0, chargeCurrent = 0, dischargeCurrent = 0, adapterVoltage = 0, adapterCurrent = 0;
        float internalTemperature = 0;
        float externalTemperature = 0;
        int efuseFd = -1;
        QSocketNotifier *efuseNotifier = nullptr;
    };

    std::unique_ptr<Platform::InputEventSource> adapterInput;
    QTimer pollTimer;
    QTimer logTimer;
    QTimer reopenTimer;
    PowerManagementIC pmic;
    QSocketNotifier *adapterNotifier = nullptr;
    BatteryFuelGauge *fuelGauge = nullptr;
    Measurements record;

    int lowestStateOfCharge = 100;
    bool fullChargeAnnounced = false;
    int lowBatteryCounter = 0;
    bool polling = false;
    int adapterStatusWhenLost = PowerManager::AdapterDisconnected;
};

PowerManager::PowerManager(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<PowerManagerPrivate>())
{
    d->reopenTimer.setSingleShot(false);
    connect(&d->reopenTimer, &QTimer::timeout, this, [this] {
        auto source = Platform::createInputEventSource();
        if (!source || !source->open(s_adapterInput))
            return;
        d->reopenTimer.stop();
        d->adapterInput = std::move(source);
        qCInfo(lcSystem, "[PowerManager] adapter input is back");
        d->adapterNotifier = new QSocketNotifier(d->adapterInput->fd(), QSocketNotifier::Read, this);
        connect(d->adapterNotifier, &QSocketNotifier::activated, this, &PowerManager::adapterEventChange);
        // A plug or pull while it was away.
        const int status = adapterStatus();
        if (status != d->adapterStatusWhenLost) {
            if (status == AdapterDisconnected)
                d->fullChargeAnnounced = false;
            Q_EMIT adapterStatusChanged(status);
        }
    });
}

PowerManager::~PowerManager()
{
    if (d->record.efuseFd >= 0)
        Platform::gpio()->closeValue(d->record.efuseFd);
}

bool PowerManager::initialize()
{
    if (!d->pmic.initialize())
        return false;

    d->adapterInput = Platform::createInputEventSource();
    if (!d->adapterInput || !d->adapterInput->open(s_adapterInput)) {
        qCDebug(lcSystem).nospace() << Q_FUNC_INFO << ": error cannot open adapter input!";
        d->adapterInput.reset();
        return false;
    }

    d->fuelGauge = new BatteryFuelGauge(&d->pmic, this);
    if (!d->fuelGauge->isValid()) {
        qCDebug(lcSystem).nospace() << Q_FUNC_INFO << ": error creating a fuel gauge!";
        return false;
    }
    connect(d->fuelGauge, &BatteryFuelGauge::sendStateOfCharge, this, &PowerManager::stateOfChargeReceived);
    d->record.stateOfCharge = d->fuelGauge->stateOfCharge();
    d->record.charging = d->pmic.isCharging() == 1;

    d->adapterNotifier = new QSocketNotifier(d->adapterInput->fd(), QSocketNotifier::Read, this);
    connect(d->adapterNotifier, &QSocketNotifier::activated, this, &PowerManager::adapterEventChange);

    if (Board::getInstance()->revision() == s_rev6) {
        Platform::Gpio *gpio = Platform::gpio();
        // Board::init() has set the line up as an edge input.
        d->record.efuseFd = gpio->openValue(s_efuseLine);
        if (d->record.efuseFd >= 0) {
            d->record.efuseNotifier = new QSocketNotifier(d->record.efuseFd, gpio->edgeNotifierType(), this);
            d->record.efuseNotifier->setEnabled(true);
            connect(d->record.efuseNotifier, &QSocketNotifier::activated, this, &PowerManager::efuseEvent);
        }
        qCDebug(lcSystem) << "EFuse notifier is" << (d->record.efuseFd >= 0 ? "active" : "not active");
    }

    connect(&d->logTimer, &QTimer::timeout, this, &PowerManager::logTimerTimeout);
    connect(&d->pollTimer, &QTimer::timeout, this, &PowerManager::axp209TimerTimeout);
    d->pollTimer.start(Platform::scaledMsec(s_pollMsec));
    d->logTimer.start(Platform::scaledMsec(s_logMsec));

    QSettings settings;
    if (adapterStatus() == AdapterConnected) {
        qCDebug(lcSystem).nospace() << Q_FUNC_INFO << ": adapter is connected..reset settings";
        settings.setValue(QStringLiteral("batteryEmpty"), false);
        settings.setValue(QStringLiteral("shutdownGood"), true);
    } else if (d->record.stateOfCharge > 39) {
        qCDebug(lcSystem).nospace() << Q_FUNC_INFO << ": battery is 40% or higher, set shutdownGood to true";
        settings.setValue(QStringLiteral("shutdownGood"), true);
    }
    return true;
}

int PowerManager::bootSource() const
{
    return d->pmic.isAdapterBootSource() ? 0 : 1;
}

int PowerManager::adapterStatus() const
{
    if (!d->adapterInput)
        return AdapterDisconnected;
    return d->adapterInput->state(Platform::EventKey, s_adapterKey) == 1 ? AdapterConnected : AdapterDisconnected;
}

int PowerManager::batteryStatus()
{
    if (adapterStatus() == AdapterConnected) {
        const int charging = d->pmic.isCharging();
        if (charging == 1) {
            d->lowestStateOfCharge = 100;
            return 1;
        }
        if (charging == 0 && d->record.stateOfCharge > 98) {
            d->lowestStateOfCharge = 100;
            return 0;
        }
    }
    const int soc = d->fuelGauge ? d->fuelGauge->stateOfCharge() : -1;
    // No good sample yet: the last level known stands.
    if (soc >= 0)
        d->lowestStateOfCharge = std::min(soc, d->lowestStateOfCharge);
    const int level = d->lowestStateOfCharge;
    // 80 % itself counts as the upper end of the middle class.
    if (level > 80)
        return 5;
    if (level >= 64)
        return 4;
    if (level >= 30)
        return 3;
    return 2;
}

void PowerManager::setChargerLed(bool on)
{
    d->pmic.chargeLedControl(on);
}

bool PowerManager::chargerLed() const
{
    return d->pmic.chargeLedByCharger() == 1;
}

void PowerManager::refresh()
{
    if (d->fuelGauge)
        d->fuelGauge->refresh();
}

void PowerManager::resetAudioSubsystem()
{
    d->pmic.gpio2Output(0);
    Delay::msec(50);
    d->pmic.gpio2Output(2);
    Delay::msec(100);
}

void PowerManager::playStartupSound()
{
    qCDebug(lcSystem) << "playStartupSound";
    d->pmic.gpio3Output(false);
    Delay::msec(50);
    d->pmic.gpio3Output(true);
    Delay::msec(2000);
}

void PowerManager::shutdown(bool good)
{
    qCDebug(lcSystem) << Q_FUNC_INFO;
    Board::getInstance()->switchLed(0, false);
    Board::getInstance()->switchLed(1, false);
    d->pmic.chargeLedControl(true);
    QSettings().setValue(QStringLiteral("shutdownGood"), good);
    const bool started = Platform::systemActions()->poweroff();
    qCDebug(lcSystem) << "wait for started poweroff:" << started;
}

void PowerManager::shutdownTurnedIntoCharging()
{
    QSettings settings;
    if (!settings.value(QStringLiteral("batteryEmpty"), false).toBool())
        return;
    qCDebug(lcSystem).nospace() << Q_FUNC_INFO << ": the adapter came in time, the battery charges: batteryEmpty reset";
    settings.setValue(QStringLiteral("batteryEmpty"), false);
    settings.sync();
}

void PowerManager::reboot()
{
    qCDebug(lcSystem) << Q_FUNC_INFO;
    Board::getInstance()->switchLed(0, false);
    Board::getInstance()->switchLed(1, false);
    d->pmic.chargeLedControl(true);
    Platform::systemActions()->reboot();
}

float PowerManager::batteryVoltage() const
{
    return d->pmic.batteryVoltage();
}

float PowerManager::batteryChargeCurrent() const
{
    return d->pmic.batteryChargeCurrent();
}

float PowerManager::batteryDischargeCurrent() const
{
    return d->pmic.batteryDischargeCurrent();
}

float PowerManager::adapterVoltage() const
{
    return d->pmic.adapterVoltage();
}

float PowerManager::adapterCurrent() const
{
    return d->pmic.adapterCurrent();
}

float PowerManager::interalTemperature() const
{
    return d->record.internalTemperature;
}

float PowerManager::externalTemperature() const
{
    return d->record.externalTemperature;
}

void PowerManager::axp209TimerTimeout()
{
    // The thermistor samples wait on the event loop; a late tick must not start a second poll.
    if (d->polling)
        return;
    d->polling = true;
    const float internal = d->pmic.internalTemperature();
    const float external = d->pmic.externalTemperature();
    // An unreadable temperature keeps the last one read.
    if (internal > -1.0f)
        d->record.internalTemperature = internal;
    if (external > -1.0f)
        d->record.externalTemperature = external;
    const int charging = d->pmic.isCharging();
    if (adapterStatus() == AdapterConnected) {
        if (charging == 0 && d->record.stateOfCharge > 92 && !d->fullChargeAnnounced) {
            d->fullChargeAnnounced = true;
            Q_EMIT batteryStatusChanged(0);
        }
    } else {
        d->fullChargeAnnounced = false;
    }
    if (charging >= 0)
        d->record.charging = charging == 1;
    d->polling = false;
}

void PowerManager::adapterEventChange()
{
    QList<Platform::InputEvent> events;
    const Platform::ReadResult result = d->adapterInput->readEvents(&events);
    if (result == Platform::ReadResult::WouldBlock)
        return;
    if (result != Platform::ReadResult::Event) {
        qCDebug(lcSystem).nospace() << Q_FUNC_INFO << ": error can not read from the adapter input";
        if (result == Platform::ReadResult::EndOfFile) {
            // The device is gone; watching it would spin. It is looked for
            // until it is back, so a later plug is never missed.
            d->adapterStatusWhenLost = adapterStatus();
            d->adapterNotifier->setEnabled(false);
            d->adapterNotifier->deleteLater();
            d->adapterNotifier = nullptr;
            d->adapterInput->close();
            d->adapterInput.reset();
            d->reopenTimer.start(Platform::scaledMsec(s_reopenMsec));
        }
        return;
    }
    for (const Platform::InputEvent &event : std::as_const(events)) {
        if (event.type != Platform::EventKey || event.code != s_adapterKey)
            continue;
        if (event.value == 1) {
            qCDebug(lcSystem).nospace() << Q_FUNC_INFO << ": adapter connected";
            Q_EMIT adapterStatusChanged(AdapterConnected);
        } else if (event.value == 0) {
            qCDebug(lcSystem).nospace() << Q_FUNC_INFO << ": adapter disconnected";
            // A pull and plug quicker than the chip's poll must still end in
            // the next full-charge announcement, which idle mode waits for.
            d->fullChargeAnnounced = false;
            Q_EMIT adapterStatusChanged(AdapterDisconnected);
            refresh();
        }
    }
}

void PowerManager::stateOfChargeReceived(int soc)
{
    d->record.stateOfCharge = soc;
    if (adapterStatus() == AdapterConnected)
        return;
    if (soc <= 30) {
        Q_EMIT batteryStatusChanged(2);
    } else if (soc <= 48) {
        if (d->lowBatteryCounter == 0) {
            d->lowBatteryCounter = s_lowBatteryRepeat;
            Q_EMIT batteryStatusChanged(3);
        } else {
            --d->lowBatteryCounter;
        }
    } else {
        d->lowBatteryCounter = 0;
    }
}

void PowerManager::efuseEvent()
{
    Platform::Gpio *gpio = Platform::gpio();
    gpio->rearm(d->record.efuseFd);
    if (gpio->readValue(s_efuseLine) == 0) {
        qCDebug(lcSystem).nospace() << Q_FUNC_INFO << ": efuse is active!";
        Q_EMIT adapterStatusChanged(AdapterFailure);
    }
}

void PowerManager::logTimerTimeout()
{
    qCDebug(lcSystem) << "Battery state of charge:" << d->record.stateOfCharge << "%";
    qCDebug(lcSystem) << "Battery voltage:" << d->pmic.batteryVoltage() << "mV";
    qCDebug(lcSystem) << "Battery charge current:" << d->pmic.batteryChargeCurrent() << "mA";
    qCDebug(lcSystem) << "Battery discharge current:" << d->pmic.batteryDischargeCurrent() << "mA";
    qCDebug(lcSystem) << "Battery temperature:" << d->record.externalTemperature;
    qCDebug(lcSystem) << "Adapter voltage:" << d->pmic.adapterVoltage() << "mV";
    qCDebug(lcSystem) << "Adapter current:" << d->pmic.adapterCurrent() << "mA";
    qCDebug(lcSystem) << "PMIC temperature:" << d->record.internalTemperature;
}
