// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_SYSTEM_SYSTEMSETTINGS_H
#define QUIMBO_SYSTEM_SYSTEMSETTINGS_H

#include <QObject>

class AudioSettings;
class Input;
class VlcMediaPlayer;

/**
 * The spoken settings menu. Created by the mode that opens it (main
 * controller, bookshelf, player) for one visit; deletes itself (deferred)
 * when it emits one of its end signals. Main thread.
 *
 * This is the minimal form the main controller needs until the settings menu
 * lands: it has no items yet, so run() closes the menu again with finished().
 */
class SystemSettings : public QObject
{
    Q_OBJECT

public:
    SystemSettings(AudioSettings *audioSettings, Input *input, QObject *parent = nullptr);
    ~SystemSettings() override;

    /** The player whose engine the manual may borrow. */
    void setMediaPlayer(VlcMediaPlayer *mediaPlayer);

public Q_SLOTS:
    void run();
    void keyPressEvent(int key);
    void keyReleaseEvent(int key);
    void keyHoldEvent(int key);

Q_SIGNALS:
    void shutdown();
    void finished();
    void quitToBookshelf();
};

#endif
