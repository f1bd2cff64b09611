// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sim/simear.h"

#include "platform/logcategory.h"

#include <QFile>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <unistd.h>

namespace Platform {

namespace {
constexpr int kWindowSamples = SimEar::kRate * SimEar::kWindowMsec / 1000;
constexpr int kHeaderBytes = 44;
constexpr int kChunk = 1024;

void putLe(unsigned char *at, quint32 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        at[i] = static_cast<unsigned char>((value >> (8 * i)) & 0xff);
}

/** A WAV header for @p dataBytes of 16-bit mono at kRate. */
void wavHeader(unsigned char *h, quint32 dataBytes)
{
    std::memcpy(h, "RIFF", 4);
    putLe(h + 4, 36 + dataBytes, 4);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    putLe(h + 16, 16, 4);
    putLe(h + 20, 1, 2); // PCM
    putLe(h + 22, 1, 2); // mono
    putLe(h + 24, SimEar::kRate, 4);
    putLe(h + 28, SimEar::kRate * 2, 4);
    putLe(h + 32, 2, 2);
    putLe(h + 34, 16, 2);
    std::memcpy(h + 36, "data", 4);
    putLe(h + 40, dataBytes, 4);
}
} // namespace

class SimEarPrivate
{
public:
    mutable std::mutex mutex;
    qint16 window[kWindowSamples] = {};
    int windowNext = 0;
    int windowFilled = 0;
    std::chrono::steady_clock::time_point lastHeard;
    bool everHeard = false;
    // Where the next output sample falls in the incoming stream, in its frames.
    double phase = 0;
    int lastRate = 0;
    int fd = -1;
    quint32 dataBytes = 0;
};

SimEar *SimEar::instance()
{
    static SimEar *const ear = new SimEar;
    return ear;
}

SimEar::SimEar()
    : d(std::make_unique<SimEarPrivate>())
{
}

SimEar::~SimEar()
{
    if (d->fd >= 0)
        ::close(d->fd);
}

bool SimEar::record(const QString &hostPath)
{
    const int fd = ::open(QFile::encodeName(hostPath).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    unsigned char header[kHeaderBytes];
    wavHeader(header, 0);
    if (fd < 0 || ::write(fd, header, kHeaderBytes) != kHeaderBytes) {
        qCWarning(lcPlatform).noquote() << "[SimEar::record] cannot write" << hostPath << ":" << std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    std::lock_guard<std::mutex> lock(d->mutex);
    if (d->fd >= 0)
        ::close(d->fd);
    d->fd = fd;
    d->dataBytes = 0;
    return true;
}

double SimEar::recentRms() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    if (!d->everHeard || d->windowFilled == 0)
        return 0;
    const auto age = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - d->lastHeard).count();
    if (age > kFreshMsec)
        return 0;
    double sum = 0;
    for (int i = 0; i < d->windowFilled; ++i)
        sum += double(d->window[i]) * d->window[i];
    return std::sqrt(sum / d->windowFilled);
}

void SimEar::heard(int sampleRate, int channels, const char *data, int bytes)
{
    if (sampleRate <= 0 || channels <= 0 || bytes <= 0)
        return;
    const auto *samples = reinterpret_cast<const qint16 *>(data);
    const int frames = bytes / int(sizeof(qint16)) / channels;
    // Mono at one rate, so that every stream fits one file: the channels
    // averaged, the nearest frame taken.
    const double step = double(sampleRate) / kRate;
    qint16 out[kChunk];
    std::lock_guard<std::mutex> lock(d->mutex);
    if (sampleRate != d->lastRate) {
        d->lastRate = sampleRate;
        d->phase = 0;
    }
    d->lastHeard = std::chrono::steady_clock::now();
    d->everHeard = true;
    int n = 0;
    auto flush = [this, &out, &n] {
        if (d->fd >= 0 && n > 0) {
            const ssize_t written = ::write(d->fd, out, size_t(n) * sizeof(qint16));
            if (written > 0) {
                d->dataBytes += quint32(written);
                unsigned char header[kHeaderBytes];
                wavHeader(header, d->dataBytes);
                // The header always tells the length so far: the file plays whenever it is read.
                if (::pwrite(d->fd, header, kHeaderBytes, 0) != kHeaderBytes)
                    qCWarning(lcPlatform, "[SimEar::heard] cannot update the WAV header");
            }
        }
        n = 0;
    };
    for (; d->phase < frames; d->phase += step) {
        const int frame = int(d->phase);
        int sum = 0;
        for (int c = 0; c < channels; ++c)
            sum += samples[frame * channels + c];
        const auto value = qint16(sum / channels);
        out[n++] = value;
        d->window[d->windowNext] = value;
        d->windowNext = (d->windowNext + 1) % kWindowSamples;
        d->windowFilled = std::min(d->windowFilled + 1, kWindowSamples);
        if (n == kChunk)
            flush();
    }
    flush();
    d->phase -= frames;
}

} // namespace Platform
