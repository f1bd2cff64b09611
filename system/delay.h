// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_SYSTEM_DELAY_H
#define QUIMBO_SYSTEM_DELAY_H

/**
 * The program-wide wait. Runs a nested event loop, so signals, timers and key
 * events keep being delivered while the caller waits: a caller must not
 * assume its own state is unchanged when msec() returns.
 */
class Delay
{
public:
    /**
     * Waits ms milliseconds (multiplied by Platform::timeScale()); 0 returns
     * at once. Returns early only when the application is shutting its event
     * loops down.
     */
    static void msec(unsigned int ms);
};

#endif
