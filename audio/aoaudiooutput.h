// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_AUDIO_AOAUDIOOUTPUT_H
#define QUIMBO_AUDIO_AOAUDIOOUTPUT_H

#include "platform/audiooutput.h"

#include <memory>

class AoAudioOutputPrivate;

/**
 * libao's default live driver. libao is initialised while at least one of
 * these exists (every book player and the manual own an engine, so the
 * library's global set-up is counted rather than torn down by the first one).
 */
class AoAudioOutput : public Platform::AudioOutput
{
public:
    AoAudioOutput();
    ~AoAudioOutput() override;

    bool open(int sampleRate, int channels) override;
    void close() override;
    void write(const char *data, int bytes) override;

private:
    const std::unique_ptr<AoAudioOutputPrivate> d;
};

#endif
