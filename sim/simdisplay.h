// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_SIM_SIMDISPLAY_H
#define QUIMBO_SIM_SIMDISPLAY_H

#include <QObject>

#include <memory>

class SimDisplayPrivate;

/**
 * Shows a sighted developer what the board does, one "[sim] …" line per
 * change on standard output: LEDs, USB power, keys, system actions, the voice
 * prompts as the sound player starts them (read from the voice file the
 * tools/sim-bin "play" wrapper appends to) and the firmware's warnings from
 * its log file (its debug lines already reach standard error). Lives on the
 * main thread.
 */
class SimDisplay : public QObject
{
    Q_OBJECT

public:
    /**
     * voiceFile: host path the "play" wrapper appends "NNN text" lines to;
     * logFile: host path of the firmware's log. Either may be empty.
     */
    SimDisplay(const QString &voiceFile, const QString &logFile, QObject *parent = nullptr);
    ~SimDisplay() override;

    /** Prints "[sim] text". */
    static void show(const QString &text);
    /** Reads what was appended to the voice and log files since the last look. */
    void poll();

private:
    const std::unique_ptr<SimDisplayPrivate> d;
};

#endif
