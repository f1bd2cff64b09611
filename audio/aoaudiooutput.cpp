// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/aoaudiooutput.h"

#include <QtGlobal>

#include <ao/ao.h>

#include <mutex>

namespace {
std::mutex s_libraryMutex;
int s_libraryUsers = 0;
} // namespace

class AoAudioOutputPrivate
{
public:
    ao_device *device = nullptr;
    ao_sample_format format{};
};

AoAudioOutput::AoAudioOutput()
    : d(std::make_unique<AoAudioOutputPrivate>())
{
    std::lock_guard<std::mutex> lock(s_libraryMutex);
    if (s_libraryUsers++ == 0)
        ao_initialize();
}

AoAudioOutput::~AoAudioOutput()
{
    close();
    std::lock_guard<std::mutex> lock(s_libraryMutex);
    if (--s_libraryUsers == 0)
        ao_shutdown();
}

bool AoAudioOutput::open(int sampleRate, int channels)
{
    close();
    const int driver = ao_default_driver_id();
    if (driver < 0 || !ao_driver_info(driver))
        return false;
    d->format = ao_sample_format{};
    d->format.bits = 16;
    d->format.rate = sampleRate;
    d->format.channels = channels;
    // The engine hands over samples in the host's byte order.
    d->format.byte_format = AO_FMT_NATIVE;
    d->format.matrix = nullptr;
    d->device = ao_open_live(driver, &d->format, nullptr);
    return d->device != nullptr;
}

void AoAudioOutput::close()
{
    if (d->device) {
        ao_close(d->device);
        d->device = nullptr;
    }
}

void AoAudioOutput::write(const char *data, int bytes)
{
    if (d->device && bytes > 0)
        ao_play(d->device, const_cast<char *>(data), uint_32(bytes));
}
