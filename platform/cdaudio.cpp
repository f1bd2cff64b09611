// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cdaudio.h"

#include "platform/platform.h"
#include "platform/sim/simcdaudio.h"

namespace Platform {

namespace {
// On the device libvlc's cdda access reads the drive itself.
class LinuxCdAudio : public CdAudio
{
public:
    bool trackMedia(int track, CdTrackMedia *media) override
    {
        if (track < 1 || !media)
            return false;
        media->isLocation = true;
        media->location = QStringLiteral("cdda://");
        media->option = QStringLiteral("cdda-track=") + QString::number(track);
        return true;
    }
};
} // namespace

CdAudio::~CdAudio() = default;

std::unique_ptr<CdAudio> createCdAudio()
{
    if (backend() == Backend::Simulated)
        return std::make_unique<SimCdAudio>();
    return std::make_unique<LinuxCdAudio>();
}

} // namespace Platform
