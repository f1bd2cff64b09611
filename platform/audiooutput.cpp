// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/audiooutput.h"

#include <atomic>

namespace Platform {

namespace {
std::atomic<AudioListener *> s_listener{nullptr};

class ListenedOutput : public AudioOutput
{
public:
    explicit ListenedOutput(std::unique_ptr<AudioOutput> output)
        : m_output(std::move(output))
    {
    }

    bool open(int sampleRate, int channels) override
    {
        m_rate = sampleRate;
        m_channels = channels;
        return m_output->open(sampleRate, channels);
    }
    void close() override { m_output->close(); }
    void write(const char *data, int bytes) override
    {
        m_output->write(data, bytes);
        if (AudioListener *listener = s_listener.load())
            listener->heard(m_rate, m_channels, data, bytes);
    }

private:
    std::unique_ptr<AudioOutput> m_output;
    int m_rate = 0;
    int m_channels = 0;
};
} // namespace

AudioOutput::~AudioOutput() = default;
AudioListener::~AudioListener() = default;

void setAudioListener(AudioListener *listener)
{
    s_listener.store(listener);
}

std::unique_ptr<AudioOutput> listenedOutput(std::unique_ptr<AudioOutput> output)
{
    if (!s_listener.load())
        return output;
    return std::make_unique<ListenedOutput>(std::move(output));
}

} // namespace Platform
