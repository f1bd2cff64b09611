// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "players/audiobookplayerinfo.h"

#include "players/audiobookplayerinterface.h"
#include "players/logcategory.h"
#include "speech/messages.h"

#include <QDebug>

AudioBookPlayerInfo::AudioBookPlayerInfo(QObject *parent)
    : QObject(parent)
    , m_messages(new Messages(this))
{
    connect(m_messages, &Messages::finished, this, &AudioBookPlayerInfo::messageReady);
}

AudioBookPlayerInfo::~AudioBookPlayerInfo() = default;

void AudioBookPlayerInfo::start(AudioBookPlayerInterface *player)
{
    if (!player) {
        qCWarning(lcPlayers).nospace() << Q_FUNC_INFO << ": invalid player object";
        m_active = false;
        return;
    }
    m_messages->stop();
    const int total = player->totalTime();
    const int elapsed = player->elapsedTime();
    player->stop();

    m_messages->append(Message::info, true);
    m_messages->append(Message::current_position);
    const QString name = player->name();
    if (name != QLatin1String("Daisy Player") && name != QLatin1String("Epub Player")) {
        m_messages->append(Message::track);
        m_messages->append(QString::number(player->trackNumber()));
    }
    for (const QString &message : timeToMessages(elapsed, QStringLiteral("hhmmss")))
        m_messages->append(message);
    m_messages->append(Message::total_time);
    for (const QString &message : timeToMessages(total, QStringLiteral("hhmm")))
        m_messages->append(message);
    m_messages->playMessages();
    m_active = true;
}

void AudioBookPlayerInfo::stop()
{
    m_messages->stop();
    m_active = false;
}

QStringList AudioBookPlayerInfo::timeToMessages(int seconds, const QString &format)
{
    if (seconds < 0)
        return {Message::undefined};
    const int h = seconds / 3600;
    const int m = (seconds % 3600) / 60;
    const int s = seconds % 60;
    QStringList words;
    auto say = [&words](int n, const QString &one, const QString &many) {
        words << QString::number(n) << (n == 1 ? one : many);
    };
    if (h > 0) {
        say(h, Message::hour, Message::hours);
        say(m, Message::minute, Message::minutes);
    } else if (m > 0) {
        say(m, Message::minute, Message::minutes);
    }
    if (format.contains(QLatin1String("ss")) && s > 0)
        say(s, Message::second, Message::seconds);
    return words;
}

void AudioBookPlayerInfo::messageReady()
{
    m_active = false;
}
