// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/runtimerclass.h"

#include "platform/platform.h"

#include <QSettings>

RunTimerClass::RunTimerClass(QObject *parent)
    : QObject(parent)
{
    m_previousRunTime = QSettings().value(QStringLiteral("timeActive"), 0u).toUInt();
    connect(&m_timer, &QTimer::timeout, this, &RunTimerClass::runTimerEvent);
}

RunTimerClass::~RunTimerClass() = default;

void RunTimerClass::start()
{
    QSettings().setValue(QStringLiteral("timeActive"), 0u);
    m_timer.start(Platform::scaledMsec(int(stepMinutes) * 60 * 1000));
}

unsigned int RunTimerClass::currentRunTime() const
{
    return m_previousRunTime;
}

void RunTimerClass::runTimerEvent()
{
    QSettings settings;
    const unsigned int minutes = settings.value(QStringLiteral("timeActive"), 0u).toUInt();
    settings.setValue(QStringLiteral("timeActive"), minutes + stepMinutes);
}
