// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_SIM_SIMSCRIPT_H
#define QUIMBO_SIM_SIMSCRIPT_H

#include "simcommand.h"

#include <QList>
#include <QStringList>

/**
 * A timed script of simulator commands: one command per line, "#" starts a
 * comment line, and a line may begin with "@MS" to run its command no earlier
 * than MS milliseconds (device time) after the script started. Lines that are
 * not understood are reported with their number and skipped. A value type.
 */
class SimScript
{
public:
    struct Entry {
        int lineNumber = 0; ///< 1-based
        int atMsec = -1; ///< -1: right after the previous command
        SimCommand command;
    };

    /** Parses a whole script; bad lines end up in errors(), the rest in entries(). */
    static SimScript parse(const QString &text);
    /** Reads and parses a file; false (and a log line) when it cannot be read. */
    static bool load(const QString &fileName, SimScript *script);

    const QList<Entry> &entries() const { return m_entries; }
    /** "line N: reason: text", one per skipped line. */
    const QStringList &errors() const { return m_errors; }

    /** Removes and returns the "revision" commands before the first other command. */
    QList<Entry> takeLeadingRevisions();
    /**
     * Removes and returns the opening lines that set the board up before the
     * firmware starts: "revision", "adapter", "press", "battery",
     * "headphones" and the media put in, untimed, before the first other command. An "adapter in"
     * among them makes the adapter the way the device was switched on; a key
     * pressed there is held while the firmware decides how to start.
     */
    QList<Entry> takeLeadingSetup();

private:
    QList<Entry> m_entries;
    QStringList m_errors;
};

#endif
