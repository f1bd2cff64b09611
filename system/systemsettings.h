// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_SYSTEM_SYSTEMSETTINGS_H
#define QUIMBO_SYSTEM_SYSTEMSETTINGS_H

#include "system/modebase.h"

#include <memory>

class AudioSettings;
class Input;
class VlcMediaPlayer;
class SystemSettingsPrivate;

/**
 * The spoken settings menu: a main list of items (bookshelf while it holds
 * books, manual on Rev6 boards, languages, navigation mode, automatic play,
 * factory defaults, firmware) and, inside an item, its options. Rewind and
 * fast forward move, play/stop enters or chooses, eject goes back to the main
 * list, the sleep/menu key leaves.
 *
 * Created by the mode that opens it (main controller, bookshelf, player) for
 * one visit; that mode deletes it (deferred) when it emits one of its end
 * signals. Main thread.
 */
class SystemSettings : public ModeBase
{
    Q_OBJECT

public:
    SystemSettings(AudioSettings *audioSettings, Input *input, QObject *parent = nullptr);
    ~SystemSettings() override;

    /** The player whose engine the manual may borrow (not owned). */
    void setMediaPlayer(VlcMediaPlayer *mediaPlayer);

public Q_SLOTS:
    /** Speaks the menu and the current item and takes the keys; also where the manual returns to. */
    void run();

Q_SIGNALS:
    void finished();
    void quitToBookshelf();

protected:
    void keysTakenAway() override;

private Q_SLOTS:
    void runHelp();
    void runKeyDescriber();
    void settingsFileChanged();

private:
    friend class SystemSettingsPrivate;
    const std::unique_ptr<SystemSettingsPrivate> d;
};

#endif
