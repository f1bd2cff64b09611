// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_SYSTEM_SOUND_H
#define QUIMBO_SYSTEM_SOUND_H

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QProcess;
class QTemporaryFile;

/**
 * A short sound effect played by the external sound player "play". A path
 * that names a compiled-in resource (":/sounds/…") is copied to a temporary
 * file first, because the player cannot read resources; the copy goes away
 * with the Sound.
 *
 * With normalize set, the sound is levelled against the master volume:
 * "--norm=" (level − volume) × 3, so that it does not blast out at a high
 * master volume. Get sounds from the SoundManager rather than creating them.
 */
class Sound : public QObject
{
    Q_OBJECT

public:
    explicit Sound(const QString &path, QObject *parent = nullptr);
    ~Sound() override;

    /** Normalise against the current volume when playing (off by default). */
    bool normalize = false;
    /** Volume step at which a normalised sound plays unchanged (9 by default). */
    int level = 9;

    /** The file handed to the player: the temporary copy of a resource, or the path itself. */
    QString fileName() const;
    /** The path the sound was created from. */
    QString path() const { return m_path; }

    /** The player's arguments for the next play(), with the normalisation option for the current volume. */
    QStringList arguments() const;

    bool isPlaying() const;

    /**
     * Replaces where the current master volume step comes from; without a
     * provider (the default) it is AudioSettings::volume(), read from the mixer.
     */
    static void setVolumeProvider(std::function<int()> provider);
    static int currentVolume();

public Q_SLOTS:
    /** Starts the sound, stopping a running one. With wait, returns when it has ended (at most 30 s). */
    void play(bool wait = false);
    void stop();

private:
    QString m_path;
    QProcess *m_process;
    QTemporaryFile *m_copy = nullptr;
};

#endif
