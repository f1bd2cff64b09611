// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_SIM_SIMCOMMANDRUNNER_H
#define QUIMBO_SIM_SIMCOMMANDRUNNER_H

#include "simcommand.h"

#include <QObject>

#include <memory>

class SimCommandRunnerPrivate;

/**
 * Carries out simulator commands on the board model, one after the other: a
 * command that takes time (tap, hold, wait) delays the ones queued after it.
 * Each source of commands (script, terminal, one socket connection) has its
 * own runner, so a long hold in the script does not block the terminal.
 * Lives on the main thread.
 */
class SimCommandRunner : public QObject
{
    Q_OBJECT

public:
    explicit SimCommandRunner(QObject *parent = nullptr);
    ~SimCommandRunner() override;

    /**
     * Queues a command. A tap or hold is answered once the key has been up
     * for ten scan ticks, so that a following press counts as a new one.
     * An Invalid command is answered "error: " and its text.
     * atMsec >= 0 holds it back until that many milliseconds
     * of device time have passed since restartClock().
     */
    void enqueue(const SimCommand &command, int atMsec = -1);
    /** Starts the clock that "@MS" times count from. */
    void restartClock();
    bool isBusy() const;

    /**
     * Where "await" starts looking in the firmware's log: its size when the
     * simulation started, so that lines of earlier runs do not count.
     */
    static void setLogStart(qint64 offset);
    /** Real milliseconds an "await" waits before it answers with an error. */
    static constexpr int kAwaitTimeoutMsec = 30000;

    /** "revision" is only accepted while this is true (before the firmware starts). */
    void setRevisionAllowed(bool allowed);

    /** The board state as one line: LEDs, USB power, keys down, jack, fault line, revision. */
    static QString statusText();
    /** The adapter, battery and e-fuse part of the status line. */
    static QString powerText();
    /**
     * What the firmware says of itself: mode, book, player, muted, standby,
     * sleep, shelf and input (the keys taken or not).
     */
    static QString firmwareText();

    /**
     * Real milliseconds a key must stay down to last ms of device time. The
     * keypad counts scan ticks, and a tick never gets shorter than 1 ms
     * however small the time scale, so key times are counted in ticks too.
     */
    static int keyMsec(int deviceMsec);

Q_SIGNALS:
    /** A command is about to be carried out. */
    void started(const SimCommand &command);
    /** A command has been carried out: answer is "ok", "ok <status>" or "error: …". */
    void answered(const SimCommand &command, const QString &answer);
    /** The queue ran empty. */
    void finished();
    /** "log TEXT". */
    void echo(const QString &text);
    void quitRequested();

private:
    const std::unique_ptr<SimCommandRunnerPrivate> d;
};

#endif
