// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLAYERS_AUDIOBOOKPLAYER_H
#define QUIMBO_PLAYERS_AUDIOBOOKPLAYER_H

#include "library/audiobook.h"
#include "system/modebase.h"

#include <functional>
#include <memory>

class AudioBookPlayerInterface;
class AudioBookPlayerPrivate;
class AudioSettings;
class Input;

/**
 * The player front end: opens the concrete player that fits a book, starts
 * it, and turns every key press, release, hold and repeat into a player
 * operation or a spoken answer. The standby and sleep timers, the pauses for
 * answers and the notifier are the mode base's. Created by the main
 * controller for one book; deletes itself (deferred, by the controller's
 * connections) when it signals its end. Main thread.
 */
class AudioBookPlayer : public ModeBase
{
    Q_OBJECT

public:
    /**
     * Makes the player for a book's mime type (AudioBook::MimeType); null when
     * there is none. The default makes the DAISY player; tests put a stand-in
     * here; null brings the default back. The player must be a QObject with
     * a finished() signal.
     */
    using PlayerFactory = std::function<AudioBookPlayerInterface *(int mimeType)>;
    static void setPlayerFactory(PlayerFactory factory);

    AudioBookPlayer(AudioSettings *audioSettings, Input *input, QObject *parent = nullptr);
    ~AudioBookPlayer() override;

    /** False when no player can open the book (the reason is logged). */
    bool open(const AudioBook &audioBook);

    bool audioPlaying() const override;
    /** The player of the open book; null before open(). */
    AudioBookPlayerInterface *bookPlayer() const;

public Q_SLOTS:
    /** Starts playing at once. */
    void run();
    /** Takes the keys without starting playback (after the settings menu). */
    void runIdle();
    /** Leaves the player, saving the position first. */
    void aboutToQuit();
    /** The drive kept the disc (the book is on another medium): said over the paused book. */
    void ejectFailed();

Q_SIGNALS:
    void quit();
    void ejectCd();
    void ejectCdAndQuit();
    void quitToBookshelf();
    void quitSystemSettings();

protected:
    void pauseAudio() override;
    void unpauseAudio() override;
    void muteAudio(bool muted) override;
    void applyPitch(int pitch) override;
    void applyTempo(double tempo) override;
    void stopAudio() override;
    void keysTakenAway() override;

private Q_SLOTS:
    void playerFinished();
    void runSystemSettings();

private:
    friend class AudioBookPlayerPrivate;
    const std::unique_ptr<AudioBookPlayerPrivate> d;
};

#endif
