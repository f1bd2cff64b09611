// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_SIM_SIMCDAUDIO_H
#define QUIMBO_PLATFORM_SIM_SIMCDAUDIO_H

#include "platform/cdaudio.h"

namespace Platform {

/**
 * The simulated disc: a directory with one audio file per track (".wav",
 * ".mp3", ".flac", ".ogg"); track N is the N-th file in name order, so
 * "track01.wav", "track02.wav", … Which directory: setDiscDirectory(), else
 * the environment variable QUIMBO_SIM_CD, else "/sim/cd" below the root.
 */
class SimCdAudio : public CdAudio
{
public:
    bool trackMedia(int track, CdTrackMedia *media) override;

    static void setDiscDirectory(const QString &directory);
    static QString discDirectory();
};

} // namespace Platform

#endif
