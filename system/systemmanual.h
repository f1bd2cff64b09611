// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_SYSTEM_SYSTEMMANUAL_H
#define QUIMBO_SYSTEM_SYSTEMMANUAL_H

#include "system/modebase.h"

#include <QString>

#include <memory>

class AudioSettings;
class Input;
class VlcMediaPlayer;
class SystemManualPrivate;

/**
 * The device's spoken user manual: a DAISY 2.02 book per language below
 * "/root/quimbo/emanuals/", read from its start. The wind keys move by
 * headings; holding play/stop reads the spoken contents (the book's second
 * SMIL file, one clip per chapter), where a wind key jumps to the chapter
 * whose name is being read.
 *
 * Created by the settings menu for one visit and deleted (deferred) by it
 * when the manual emits quit(), quitToMenu() or shutdown(). Main thread.
 */
class SystemManual : public ModeBase
{
    Q_OBJECT

public:
    ~SystemManual() override;

    /**
     * The manual for the language in the settings store, ready to run(), or
     * null when no manual can be opened (not even the English one) or no
     * engine can be had. Without @p mediaPlayer the manual makes its own
     * engine; a given one is borrowed, not deleted.
     */
    static SystemManual *createManual(AudioSettings *audioSettings, Input *input, VlcMediaPlayer *mediaPlayer, QObject *parent);

    /** The folder below "/root/quimbo/emanuals/" that holds the manual for a language code. */
    static QString manualFolder(const QString &languageCode);

    /** In the spoken contents: jumps to the chapter named by the clip playing at @p position (ms in its file). */
    void gotoHeading(qint64 position);

    bool audioPlaying() const override;

public Q_SLOTS:
    void run();
    void aboutToQuit();
    void mediaPlayerFinished();

Q_SIGNALS:
    void quit();
    void quitToMenu();

protected:
    void pauseAudio() override;
    void unpauseAudio() override;
    void muteAudio(bool muted) override;
    void applyPitch(int pitch) override;
    void applyTempo(double tempo) override;
    void stopAudio() override;

private:
    SystemManual(AudioSettings *audioSettings, Input *input, QObject *parent);
    /** The last heading has been read: "end of manual", and the contents are ready to play. */
    void endOfManual();

    friend class SystemManualPrivate;
    const std::unique_ptr<SystemManualPrivate> d;
};

#endif
