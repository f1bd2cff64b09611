// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_CDAUDIO_H
#define QUIMBO_PLATFORM_CDAUDIO_H

#include <QString>

#include <memory>

namespace Platform {

/** How one audio CD track is handed to the decoder. */
struct CdTrackMedia {
    /** True: location is an MRL ("cdda://"); false: a file path. */
    bool isLocation = false;
    QString location;
    /** Extra media option ("cdda-track=7"), or empty. */
    QString option;
};

/**
 * The way a CD track reaches the audio engine. On the device libvlc reads the
 * drive itself ("cdda://" with the option "cdda-track=N"); on the simulated
 * board the disc is a directory holding one audio file per track.
 */
class CdAudio
{
public:
    virtual ~CdAudio();
    /** False when there is no such track. */
    virtual bool trackMedia(int track, CdTrackMedia *media) = 0;
};

std::unique_ptr<CdAudio> createCdAudio();

} // namespace Platform

#endif
