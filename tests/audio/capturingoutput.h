// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_TESTS_AUDIO_CAPTURINGOUTPUT_H
#define QUIMBO_TESTS_AUDIO_CAPTURINGOUTPUT_H

#include "platform/audiooutput.h"

#include <QMutex>
#include <QVector>

#include <memory>

/** What a CapturingOutput saw; shared so the test keeps it after handing the sink to the engine. */
struct Capture {
    mutable QMutex mutex;
    QVector<qint16> samples;
    int sampleRate = 0;
    int channels = 0;
    int opens = 0;

    qsizetype frames() const
    {
        QMutexLocker lock(&mutex);
        return channels > 0 ? samples.size() / channels : 0;
    }
    QVector<qint16> copy() const
    {
        QMutexLocker lock(&mutex);
        return samples;
    }
};

/** An audio output that keeps every sample written to it. */
class CapturingOutput : public Platform::AudioOutput
{
public:
    explicit CapturingOutput(std::shared_ptr<Capture> capture)
        : m_capture(std::move(capture))
    {
        m_capture->samples.reserve(44100 * 2 * 10);
    }

    bool open(int sampleRate, int channels) override
    {
        QMutexLocker lock(&m_capture->mutex);
        m_capture->sampleRate = sampleRate;
        m_capture->channels = channels;
        ++m_capture->opens;
        return true;
    }
    void close() override { }
    void write(const char *data, int bytes) override
    {
        QMutexLocker lock(&m_capture->mutex);
        const auto *s = reinterpret_cast<const qint16 *>(data);
        const int n = bytes / int(sizeof(qint16));
        for (int i = 0; i < n; ++i)
            m_capture->samples.append(s[i]);
    }

private:
    std::shared_ptr<Capture> m_capture;
};

#endif
