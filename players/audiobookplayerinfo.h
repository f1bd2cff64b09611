// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLAYERS_AUDIOBOOKPLAYERINFO_H
#define QUIMBO_PLAYERS_AUDIOBOOKPLAYERINFO_H

#include <QObject>
#include <QStringList>

class AudioBookPlayerInterface;
class Messages;

/**
 * Speaks where the reader is: the current position (and the track for CDs
 * and folders of audio files) and the total time. Starting it stops the
 * player; the front end starts it again when the reader goes on. Owned by
 * the player front end; main thread.
 */
class AudioBookPlayerInfo : public QObject
{
    Q_OBJECT

public:
    explicit AudioBookPlayerInfo(QObject *parent = nullptr);
    ~AudioBookPlayerInfo() override;

    void start(AudioBookPlayerInterface *player);
    void stop();
    bool isActive() const { return m_active; }

    /**
     * The message names that say a time: hours and minutes, and the seconds
     * when @p format holds "ss" ("hhmmss"); "undefined" for a negative time.
     */
    static QStringList timeToMessages(int seconds, const QString &format);

private Q_SLOTS:
    void messageReady();

private:
    bool m_active = false;
    Messages *m_messages;
};

#endif
