// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "players/audiobookplayer.h"

#include <QDebug>

AudioBookPlayer::AudioBookPlayer(AudioSettings *audioSettings, Input *input, QObject *parent)
    : QObject(parent)
{
    Q_UNUSED(audioSettings)
    Q_UNUSED(input)
}

AudioBookPlayer::~AudioBookPlayer() = default;

bool AudioBookPlayer::open(const AudioBook &audioBook)
{
    if (!audioBook.isDefined()) {
        qDebug().nospace() << Q_FUNC_INFO << ": undefined audio book";
        return false;
    }
    qDebug().nospace() << Q_FUNC_INFO << ": no player available for mime type " << int(audioBook.mimeType());
    return false;
}

void AudioBookPlayer::run()
{
    qDebug() << Q_FUNC_INFO;
}

void AudioBookPlayer::runIdle()
{
    qDebug() << Q_FUNC_INFO;
}

void AudioBookPlayer::aboutToQuit()
{
    qDebug() << Q_FUNC_INFO;
    Q_EMIT quitSystemSettings();
    Q_EMIT quit();
}
