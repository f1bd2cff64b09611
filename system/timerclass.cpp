// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/timerclass.h"

#include "platform/devicestatus.h"
#include "platform/platform.h"
#include "system/logcategory.h"

#include <QDebug>

#include <algorithm>
#include <limits>

namespace {
// QTimer takes an int of milliseconds; anything longer cannot be counted.
constexpr qint64 s_longestTime = std::numeric_limits<int>::max();
} // namespace

TimerClass::TimerClass(QObject *parent)
    : QObject(parent)
{
    m_timer.setSingleShot(true);
    m_warningTimer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &TimerClass::countdownExpired);
    connect(&m_warningTimer, &QTimer::timeout, this, &TimerClass::warningTimerEvent);
}

TimerClass::~TimerClass() = default;

void TimerClass::setTime(int seconds)
{
    const qint64 ms = qint64(seconds) * 1000;
    if (seconds < 0 || ms > s_longestTime) {
        qCWarning(lcSystem) << "[TimerClass::setTime] invalid time:" << seconds;
        return;
    }
    m_time = ms;
}

int TimerClass::time() const
{
    return m_timer.isActive() ? int(m_time / 1000) : 0;
}

void TimerClass::setWarningTime(int seconds)
{
    const qint64 ms = qint64(seconds) * 1000;
    if (seconds < 0 || ms > s_longestTime) {
        qCWarning(lcSystem) << "[TimerClass::setWarningTime] invalid warning time:" << seconds;
        return;
    }
    m_warningTime = ms;
}

int TimerClass::warningTime() const
{
    return int(m_warningTime / 60000);
}

void TimerClass::start()
{
    if (m_timer.isActive())
        return;
    m_warningTimer.stop();
    if (m_time < 1)
        return;
    m_timer.start(Platform::scaledMsec(int(m_time)));
    if (m_warningTime >= 1 && m_warningTime < m_time)
        m_warningTimer.start(Platform::scaledMsec(int(m_time - m_warningTime)));
}

void TimerClass::start(int seconds)
{
    stop();
    setTime(seconds);
    start();
}

void TimerClass::stop()
{
    m_timer.stop();
    m_warningTimer.stop();
}

bool TimerClass::isActive() const
{
    return m_timer.isActive();
}

int TimerClass::remainingSeconds() const
{
    if (!m_timer.isActive())
        return 0;
    // A coarse timer may run a little long; the countdown never shows more than its length.
    const qint64 deviceMsec = std::min(qint64(m_timer.remainingTime() / Platform::timeScale()), m_time);
    return int((deviceMsec + 999) / 1000);
}

void TimerClass::publishStatus(const QString &field)
{
    const bool minutes = field == QLatin1String("sleep");
    Platform::provideStatus(this, field, [this, minutes] {
        if (!isActive())
            return QStringLiteral("off");
        const int seconds = remainingSeconds();
        return QString::number(minutes ? (seconds + 59) / 60 : seconds);
    });
}

void TimerClass::restartTimer()
{
    if (!m_timer.isActive())
        return;
    stop();
    start();
}

void TimerClass::countdownExpired()
{
    m_timer.stop();
    Q_EMIT timeout();
}

void TimerClass::warningTimerEvent()
{
    m_warningTimer.stop();
    Q_EMIT timeoutWarning();
}
