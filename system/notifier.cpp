// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/notifier.h"

#include "speech/messages.h"
#include "system/logcategory.h"
#include "system/soundmanager.h"

#include <QDebug>
#include <QMutex>
#include <QMutexLocker>
#include <QSettings>

#include <atomic>

namespace {

std::atomic<Notifier *> s_instance{nullptr};
QMutex s_instanceMutex;

// Adapter states of the power manager
constexpr int AdapterConnected = 0;
constexpr int AdapterDisconnected = 1;
constexpr int AdapterFail = 2;

// Battery states of the power manager
constexpr int BatteryCharged = 0;
constexpr int BatteryCharging = 1;
constexpr int BatteryEmpty = 2;
constexpr int BatteryLow = 3;
constexpr int BatteryNormal = 4;
constexpr int BatteryHigh = 5;

constexpr int MediaTypeCd = 1;

} // namespace

Notifier *Notifier::instance()
{
    Notifier *notifier = s_instance.load();
    if (!notifier) {
        const QMutexLocker locker(&s_instanceMutex);
        notifier = s_instance.load();
        if (!notifier) {
            notifier = new Notifier;
            s_instance.store(notifier);
        }
    }
    return notifier;
}

Notifier::Notifier(QObject *parent)
    : QObject(parent)
    , m_messages(new Messages(this))
{
    connect(m_messages, &Messages::finished, this, &Notifier::finishedNotify);
}

Notifier::~Notifier()
{
    clear();
}

// The log names the setters as they are called; they are templates in the
// header, whose Q_FUNC_INFO would carry the template arguments.
bool Notifier::acceptMediaClass(QObject *media)
{
    if (!media) {
        qCWarning(lcSystem, "void Notifier::setMediaClass(MediaClass*): media is null object");
        return false;
    }
    if (m_mediaClass) {
        qCWarning(lcSystem, "void Notifier::setMediaClass(MediaClass*): already set a media object");
        return false;
    }
    m_mediaClass = media;
    return true;
}

bool Notifier::acceptPowerManager(QObject *pmic)
{
    if (!pmic) {
        qCWarning(lcSystem, "void Notifier::setPowerManager(PowerManager*): pmic is null object");
        return false;
    }
    if (m_powerManager) {
        qCWarning(lcSystem, "void Notifier::setPowerManager(PowerManager*): already set a pmic object");
        return false;
    }
    m_powerManager = pmic;
    return true;
}

void Notifier::clear()
{
    for (const QMetaObject::Connection &connection : std::as_const(m_connections))
        disconnect(connection);
    m_connections.clear();
    m_mediaClass = nullptr;
    m_powerManager = nullptr;
    m_batteryStatus = nullptr;
}

void Notifier::message(const QString &file)
{
    m_messages->append(file, true);
    Q_EMIT startNotify();
    m_messages->playMessages();
}

void Notifier::batteryStatus()
{
    if (!m_powerManager || !m_batteryStatus) {
        qCWarning(lcSystem, "%s: powerManger is not set!", Q_FUNC_INFO);
        return;
    }
    switch (m_batteryStatus()) {
    case BatteryCharged:
    case BatteryHigh:
        m_messages->append(Message::battery_level, true);
        m_messages->append(Message::high);
        break;
    case BatteryCharging:
        m_messages->append(Message::battery_status, true);
        m_messages->append(Message::charging);
        break;
    case BatteryEmpty:
    case BatteryLow:
        m_messages->append(Message::battery_level, true);
        m_messages->append(Message::low);
        break;
    case BatteryNormal:
        m_messages->append(Message::battery_level, true);
        m_messages->append(Message::normal);
        break;
    default:
        // Undefined: nothing new to say; whatever was queued before is spoken again.
        break;
    }
    Q_EMIT startNotify();
    m_messages->playMessages();
}

void Notifier::stopNotify()
{
    m_messages->stop();
}

void Notifier::adapterStatusChanged(int status)
{
    switch (status) {
    case AdapterConnected:
        SoundManager::instance()->play(QStringLiteral("chargerConnect"));
        break;
    case AdapterDisconnected:
        SoundManager::instance()->play(QStringLiteral("chargerDisconnect"));
        break;
    case AdapterFail:
        Q_EMIT startNotify();
        m_messages->append(Message::power_adapter, true);
        m_messages->append(Message::failed);
        m_messages->playMessages();
        break;
    default:
        break;
    }
}

void Notifier::batteryStatusChanged(int status)
{
    switch (status) {
    case BatteryEmpty: {
        Q_EMIT startNotify();
        QSettings settings(QStringLiteral("KAL"), QStringLiteral("quimbo-basic"));
        settings.setValue(QStringLiteral("batteryEmpty"), true);
        settings.sync();
        // Both spoken to their end before the controller is told to shut down.
        m_messages->play(Message::battery_empty, true);
        m_messages->play(Message::device_will_power_off, true);
        Q_EMIT batteryEmpty();
        break;
    }
    case BatteryLow:
        Q_EMIT startNotify();
        m_messages->play(Message::battery_low_connect_the_power_adapter, false);
        break;
    case BatteryCharged:
        Q_EMIT startNotify();
        m_messages->play(Message::battery_fully_charged, false);
        break;
    default:
        break;
    }
}

void Notifier::insertedMediaIsUnsupported(int mediaType, const std::function<void()> &ejectCd)
{
    m_messages->append(Message::media_not_supported, true);
    if (mediaType == MediaTypeCd) {
        // Named after the slot the media class's signal reaches (the header's lambda).
        qCDebug(lcSystem, "void Notifier::insertedMediaIsUnsupported(MediaSource): unsupported cd.. eject the cd");
        ejectCd();
        m_messages->append(Message::eject);
    }
    Q_EMIT startNotify();
    m_messages->playMessages();
}
