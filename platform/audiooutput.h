// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_AUDIOOUTPUT_H
#define QUIMBO_PLATFORM_AUDIOOUTPUT_H

#include <memory>

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

/**
 * Hears what the engines hand to the amplifier, after pitch, tempo and
 * volume: the simulator's ear. Voice prompts and sounds are played by the
 * sound player and never pass here. Called from the engines' audio threads
 * (more than one engine may play at a time); must not allocate on the heap.
 */
class AudioListener
{
public:
    virtual ~AudioListener();
    virtual void heard(int sampleRate, int channels, const char *data, int bytes) = 0;
};

/** Sets the process's listener (the simulator does, once, before any engine plays); null: none. */
void setAudioListener(AudioListener *listener);

/**
 * The live output as the engines use it: @p output itself, or, once a
 * listener is set, @p output with the listener hearing every write.
 */
std::unique_ptr<AudioOutput> listenedOutput(std::unique_ptr<AudioOutput> output);

} // namespace Platform

#endif
