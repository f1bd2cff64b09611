// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_APP_MAINMODE_H
#define QUIMBO_APP_MAINMODE_H

#include "system/modebase.h"

#include <functional>

/**
 * Main mode: no book chosen. Each key says what it does (the first wind or
 * play key after entering also says that there is no medium); a held
 * sleep/menu key asks for the settings menu, a held power button for the
 * shutdown. While the media are busy the keys are answered with "please
 * wait". Created once by the controller; run() each time the mode is entered.
 */
class MainMode : public ModeBase
{
    Q_OBJECT

public:
    MainMode(Input *input, AudioSettings *audioSettings, std::function<bool()> mediaBusy, QObject *parent = nullptr);
    ~MainMode() override;

    /** Takes the keys; the next wind or play key says there is no medium again. */
    void run();
    /** Hands the keys back and falls silent. */
    void leave();

Q_SIGNALS:
    void menuRequested();

private:
    bool busy(const char *function) const;

    std::function<bool()> m_mediaBusy;
    bool m_firstPress = true;
};

#endif
