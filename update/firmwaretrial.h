// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_UPDATE_FIRMWARETRIAL_H
#define QUIMBO_UPDATE_FIRMWARETRIAL_H

#include <QString>
#include <QStringList>

/**
 * A newly installed program is on trial until it has spoken the welcome once;
 * until then the previous one is kept beside it as PROGRAM.bak. The service
 * runs atStart() (quimbo-update --at-start, from the packaged tool, which no
 * firmware update replaces) before every start of the program: it cleans what
 * an interrupted update left and, after kStartsAllowed starts that never came
 * to the welcome, puts the previous program back. A program that dies before
 * its first line of our code can take no part in its own roll-back, which is
 * why this does not live in the firmware's start.
 *
 * State, below the product root: "update.running" while an installation
 * writes (the program and the folders it writes to), "update.trial" while a
 * new program is on trial (the program and the starts so far),
 * "update.rolledback" from a roll-back to the next welcome (what happened).
 * Paths given and recorded are device paths.
 */
class FirmwareTrial
{
public:
    static constexpr int kStartsAllowed = 3;
    /** The program the service starts. */
    static QString defaultProgram() { return QStringLiteral("/root/quimbo/bin/quimbo-basic"); }

    /** Before each start of @p program; returns what it did, one log line each. */
    static QStringList atStart(const QString &program);

    /**
     * After the welcome: the program on trial made it, its backup goes. True
     * when the start before went back to the previous program (the reader is
     * told the update failed); the reason is logged.
     */
    static bool confirmGoodStart();

    /**
     * Whether this run of the program on trial is a try for the welcome, as
     * atStart() counted it. A start into idle mode (the adapter plugged in
     * while the device was off) is not: a few plug-ins of the charger would
     * otherwise roll good firmware back. Switching on from there makes it one
     * again, so a program that dies on the way to the welcome is still caught.
     */
    static void countThisStart(bool counts);

    /** An installation is about to write @p folders and, when not empty, @p program. */
    static bool beginInstall(const QString &program, const QStringList &folders);
    static void endInstall();

    /** @p program is about to be replaced by a new one, its backup written. */
    static bool begin(const QString &program);
    /** The new program was not kept after all. */
    static void cancel();
    /** True while @p program is on trial: its backup is the last program that started well. */
    static bool isOnTrial(const QString &program);
};

#endif
