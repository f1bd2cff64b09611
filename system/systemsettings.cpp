// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/systemsettings.h"

#include <QDebug>

SystemSettings::SystemSettings(AudioSettings *audioSettings, Input *input, QObject *parent)
    : QObject(parent)
{
    Q_UNUSED(audioSettings)
    Q_UNUSED(input)
}

SystemSettings::~SystemSettings() = default;

void SystemSettings::setMediaPlayer(VlcMediaPlayer *mediaPlayer)
{
    Q_UNUSED(mediaPlayer)
}

void SystemSettings::run()
{
    qDebug().nospace() << Q_FUNC_INFO << ": no settings items available";
    Q_EMIT finished();
}

void SystemSettings::keyPressEvent(int key)
{
    Q_UNUSED(key)
}

void SystemSettings::keyReleaseEvent(int key)
{
    Q_UNUSED(key)
}

void SystemSettings::keyHoldEvent(int key)
{
    Q_UNUSED(key)
}
