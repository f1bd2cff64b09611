// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_SIM_SIMTERMINAL_H
#define QUIMBO_SIM_SIMTERMINAL_H

#include "sim/simcommand.h"

#include <QObject>

#include <memory>

class SimTerminalPrivate;

/**
 * Keyboard control of the board from the terminal: stdin in raw mode (no
 * line editing, no echo), one computer key per keypad key, Shift holds it.
 * The terminal settings are restored on stop(), on exit and on SIGINT or
 * SIGTERM. Lives on the main thread; at most one per process.
 */
class SimTerminal : public QObject
{
    Q_OBJECT

public:
    explicit SimTerminal(QObject *parent = nullptr);
    ~SimTerminal() override;

    /** True when standard input is a terminal. */
    static bool isInteractive();

    /** Switches the terminal to raw mode and prints the key map; false when stdin is no terminal. */
    bool start();
    /** Restores the terminal settings (also done by the destructor). */
    void stop();

    /** Puts back the terminal settings saved by start(); safe to call at any time. */
    static void restoreSettings();

    /** The key map as printed at start. */
    static QString keyMap();

    /**
     * The command for one key of the computer keyboard; an Invalid command
     * for keys without a meaning. Arrow keys arrive as "\x1b[A" etc.
     * Headphones and the fault line toggle, so the terminal passes their
     * current state.
     */
    static SimCommand commandForKey(const QByteArray &key, bool headphonesIn, bool usbFault);
    /** The folders keys 1 (stick), 3 (card) and 2 (audio disc) put in and take out; empty: the key does nothing. */
    static void setMediaFolders(const QString &stick, const QString &card, const QString &audioDisc);

Q_SIGNALS:
    void quitRequested();

private:
    const std::unique_ptr<SimTerminalPrivate> d;
};

#endif
