// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_SYSTEM_SOUNDMANAGER_H
#define QUIMBO_SYSTEM_SOUNDMANAGER_H

#include <QHash>
#include <QString>

class Sound;

/**
 * The process-wide register of sound effects by name. It owns the sounds;
 * callers keep plain pointers until destroy() at the end of the process.
 */
class SoundManager
{
public:
    static SoundManager *instance();
    static SoundManager *getInstance() { return instance(); }

    /**
     * The sound registered under name, created from path (a file or a
     * ":/sounds/…" resource) if there is none yet; an existing name keeps its
     * first path. The alarm beep is normalized at level 13 and the double
     * beep normalized, the one place these levels are set.
     */
    Sound *create(const QString &path, const QString &name);
    /**
     * The sound effect registered under name, created like create() from the
     * resource ":/sounds/<name in snake case>.wav" ("alarmBeep" reads
     * alarm_beep.wav).
     */
    Sound *effect(const QString &name);
    /** The sound registered under name, or nullptr. */
    Sound *getSound(const QString &name) const;
    /** Plays the named sound if it exists; false otherwise. */
    bool play(const QString &name);

    /**
     * The name of the sound that answers a turn of the volume knob, from the
     * new step (-1 when the turn was refused): "alarmBeep" refused,
     * "doubleBeep" at the ends 7 and 21, "beep" at or above the RS1 level,
     * otherwise "tickBeep".
     */
    static QString volumeAnswer(int step, int rs1Level);

    /** Deletes every sound and the instance; instance() makes a new, empty one. */
    static void destroy();

private:
    SoundManager() = default;
    ~SoundManager();
    Q_DISABLE_COPY(SoundManager)

    QHash<QString, Sound *> m_sounds;
};

#endif
