// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_SYSTEM_KEYDESCRIBER_H
#define QUIMBO_SYSTEM_KEYDESCRIBER_H

#include "system/modebase.h"

class AudioSettings;
class Input;

/**
 * The key describer, entered from the settings menu: each key press (and
 * each turn of the knob) speaks the key's name and what it does in a book,
 * without doing it, so that a reader can learn the keypad without losing the
 * place. Holding the menu key leaves it (quitToMenu()); holding the power
 * button still switches off, and so does the standby timer (shutdown()).
 * Created by the menu for one visit; main thread.
 */
class KeyDescriber : public ModeBase
{
    Q_OBJECT

public:
    KeyDescriber(AudioSettings *audioSettings, Input *input, QObject *parent = nullptr);
    ~KeyDescriber() override;

public Q_SLOTS:
    void run();

Q_SIGNALS:
    void quitToMenu();

private:
    void describe(int key);
};

#endif
