// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_INPUT_KEYS_H
#define QUIMBO_INPUT_KEYS_H

// Key codes: consecutive from 0x800, so that code - BUTTON_NONE is a dense
// index (0..12) for range checks and jump tables.
constexpr int BUTTON_NONE = 2048; ///< a matrix scan with nothing pressed; never signalled
constexpr int BUTTON_POWER = 2049;
constexpr int BUTTON_SLEEP_MENU = 2050;
constexpr int BUTTON_EJECT = 2051;
constexpr int BUTTON_PITCH_UP = 2052;
constexpr int BUTTON_PITCH_DOWN = 2053;
constexpr int BUTTON_VOLUME_UP = 2054; ///< knob, one detent in the positive direction
constexpr int BUTTON_VOLUME_DOWN = 2055; ///< knob, one detent in the negative direction
constexpr int BUTTON_SPEED_UP = 2056;
constexpr int BUTTON_SPEED_DOWN = 2057;
constexpr int BUTTON_REWIND = 2058;
constexpr int BUTTON_FAST_FORWARD = 2059;
constexpr int BUTTON_PLAY_STOP = 2060;

// Event types of keyEvent(int key, int type).
constexpr int KEY_RELEASED = 0;
constexpr int KEY_PRESSED = 1;
constexpr int KEY_HELD = 2;
constexpr int KEY_REPEATED = 3;

#endif
