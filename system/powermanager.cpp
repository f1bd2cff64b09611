// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/powermanager.h"

#include "input/board.h"
#include "platform/inputeventsource.h"
#include "platform/systemactions.h"
#include "system/delay.h"

#include <QDebug>
#include <QSettings>
#include <QSocketNotifier>

namespace {
const QString s_adapterInput = QStringLiteral("/dev/input/event3");
constexpr int s_adapterKey = 30;
} // namespace

class PowerManagerPrivate
{
public:
    std::unique_ptr<Platform::InputEventSource> adapterInput;
    QSocketNotifier *adapterNotifier = nullptr;
    int bootSource = 1;
    int batteryStatus = 5;
    bool chargerLed = true;
};

PowerManager::PowerManager(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<PowerManagerPrivate>())
{
}

PowerManager::~PowerManager() = default;

bool PowerManager::initialize()
{
    d->adapterInput = Platform::createInputEventSource();
    if (!d->adapterInput || !d->adapterInput->open(s_adapterInput)) {
        qDebug().nospace() << Q_FUNC_INFO << ": error cannot open adapter input!";
        d->adapterInput.reset();
        return false;
    }
    d->adapterNotifier = new QSocketNotifier(d->adapterInput->fd(), QSocketNotifier::Read, this);
    connect(d->adapterNotifier, &QSocketNotifier::activated, this, &PowerManager::adapterEventChange);

    QSettings settings;
    if (adapterStatus() == AdapterConnected) {
        qDebug().nospace() << Q_FUNC_INFO << ": adapter is connected..reset settings";
        settings.setValue(QStringLiteral("batteryEmpty"), false);
        settings.setValue(QStringLiteral("shutdownGood"), true);
    }
    return true;
}

int PowerManager::bootSource() const
{
    return d->bootSource;
}

void PowerManager::setBootSource(int source)
{
    d->bootSource = source == 0 ? 0 : 1;
}

int PowerManager::adapterStatus() const
{
    if (!d->adapterInput)
        return AdapterDisconnected;
    return d->adapterInput->state(Platform::EventKey, s_adapterKey) == 1 ? AdapterConnected : AdapterDisconnected;
}

int PowerManager::batteryStatus() const
{
    return d->batteryStatus;
}

void PowerManager::setBatteryStatus(int status)
{
    d->batteryStatus = status;
}

void PowerManager::setChargerLed(bool on)
{
    d->chargerLed = on;
}

bool PowerManager::chargerLed() const
{
    return d->chargerLed;
}

void PowerManager::refresh()
{
    qDebug() << Q_FUNC_INFO;
}

void PowerManager::resetAudioSubsystem()
{
    Delay::msec(50);
    Delay::msec(100);
}

void PowerManager::shutdown(bool good)
{
    qDebug() << Q_FUNC_INFO;
    Board::getInstance()->switchLed(0, false);
    Board::getInstance()->switchLed(1, false);
    setChargerLed(true);
    QSettings().setValue(QStringLiteral("shutdownGood"), good);
    const bool started = Platform::systemActions()->poweroff();
    qDebug() << "wait for started poweroff:" << started;
}

void PowerManager::reboot()
{
    qDebug() << Q_FUNC_INFO;
    Board::getInstance()->switchLed(0, false);
    Board::getInstance()->switchLed(1, false);
    setChargerLed(true);
    Platform::systemActions()->reboot();
}

void PowerManager::playStartupSound()
{
    qDebug() << "playStartupSound";
    Delay::msec(50);
    Delay::msec(2000);
}

void PowerManager::adapterEventChange()
{
    QList<Platform::InputEvent> events;
    const Platform::ReadResult result = d->adapterInput->readEvents(&events);
    if (result == Platform::ReadResult::WouldBlock)
        return;
    if (result != Platform::ReadResult::Event) {
        qDebug().nospace() << Q_FUNC_INFO << ": error can not read from the adapter input";
        if (result == Platform::ReadResult::EndOfFile)
            d->adapterNotifier->setEnabled(false);
        return;
    }
    for (const Platform::InputEvent &event : std::as_const(events)) {
        if (event.type != Platform::EventKey || event.code != s_adapterKey)
            continue;
        if (event.value == 1) {
            qDebug().nospace() << Q_FUNC_INFO << ": adapter connected";
            Q_EMIT adapterStatusChanged(AdapterConnected);
        } else if (event.value == 0) {
            qDebug().nospace() << Q_FUNC_INFO << ": adapter disconnected";
            Q_EMIT adapterStatusChanged(AdapterDisconnected);
            refresh();
        }
    }
}
