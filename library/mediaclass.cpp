// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/mediaclass.h"

#include <QDebug>
#include <QSettings>

MediaClass::MediaClass(QObject *parent)
    : QObject(parent)
{
}

MediaClass::~MediaClass() = default;

bool MediaClass::isBusy() const
{
    return m_activeTasks != 0 || m_cdromStatus == 0;
}

int MediaClass::cdromStatus() const
{
    return m_cdromStatus;
}

QList<MediaSource> MediaClass::mediaSources(int mediaTypeMask) const
{
    Q_UNUSED(mediaTypeMask)
    return {};
}

void MediaClass::waitForPriorityDevice()
{
    ++m_activeTasks;
    QSettings settings;
    const int priority = settings.value(QStringLiteral("lastPlayedMedia"), 0).toInt();
    // A priority is honoured for one start only.
    settings.setValue(QStringLiteral("lastPlayedMedia"), 0);
    qDebug() << "[MediaClass::waitForPriorityDevice] device priority:" << priority;
    --m_activeTasks;
    qDebug() << "[MediaClass::waitForPriorityDevice] active tasks:" << m_activeTasks;
}

void MediaClass::ejectCd()
{
    qDebug() << "[MediaClass::ejectCd]";
}

void MediaClass::cdromStatusChanged(int status)
{
    qDebug() << "[MediaClass::cdromStatusChanged] status:" << status;
    m_cdromStatus = status;
}
