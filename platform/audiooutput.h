// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_AUDIOOUTPUT_H
#define QUIMBO_PLATFORM_AUDIOOUTPUT_H

namespace Platform {

/**
 * Where the audio engine writes its PCM: signed 16-bit, native byte order,
 * interleaved. On the device and in the simulator this is libao's default
 * live driver; tests put a capturing sink here.
 *
 * All three calls come from the decoder's audio thread, never concurrently.
 */
class AudioOutput
{
public:
    virtual ~AudioOutput();

    /** A new stream starts; closes a previous one first. False: nothing will be heard. */
    virtual bool open(int sampleRate, int channels) = 0;
    virtual void close() = 0;
    /** Writes @p bytes bytes of frames; must not allocate on the heap. */
    virtual void write(const char *data, int bytes) = 0;
};

} // namespace Platform

#endif
