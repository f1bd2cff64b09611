// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Where a resume in a long VBR file lands: the engine plays a one-hour VBR
// MP3 (tools/mp3gen --long) and seeks to a stored time, as the folder player
// does on play; the audio it then delivers is matched against the file
// decoded by sox from the start up to that time. The error is where the audio
// really is minus where the engine says it is, in ms (positive: later).
// Also the time MpegAudioFrames takes to walk every frame of that hour (the
// folder scanner's cost per file). A run takes a few minutes: sox decodes up
// to an hour of audio for each target.
#include "audio/mpegaudioframes.h"
#include "audio/vlcmediaplayer.h"
#include "platform/audiooutput.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QElapsedTimer>
#include <QFile>
#include <QEventLoop>
#include <QMutex>
#include <QProcess>
#include <QTextStream>
#include <QTimer>
#include <QVector>

#include <vlc/vlc.h>

#include <cmath>
#include <cstring>
#include <memory>

namespace {

const QString LongVbr = QStringLiteral(QUIMBO_BINARY_DIR "/benchdata/audio/long-vbr.mp3");
constexpr int Rate = 44100;
constexpr int Decimation = 8; // correlate at 5.5 kHz: 0.2 ms steps
constexpr double SkipSeconds = 0.25; // past the first decoded frames after the jump
constexpr double ChunkSeconds = 1.0;
constexpr double SearchSeconds = 30.0; // either side of the target

struct Capture {
    QMutex mutex;
    QVector<qint16> samples;
    int channels = 1;
};

class CapturingOutput : public Platform::AudioOutput
{
public:
    explicit CapturingOutput(Capture *capture)
        : m_capture(capture)
    {
    }
    bool open(int, int channels) override
    {
        QMutexLocker lock(&m_capture->mutex);
        m_capture->channels = channels;
        return true;
    }
    void close() override { }
    void write(const char *data, int bytes) override
    {
        QMutexLocker lock(&m_capture->mutex);
        const auto *s = reinterpret_cast<const qint16 *>(data);
        const int n = bytes / int(sizeof(qint16));
        for (int i = 0; i < n; i += m_capture->channels)
            m_capture->samples.append(s[i]);
    }

private:
    Capture *m_capture;
};

void runFor(int msec)
{
    QEventLoop loop;
    QTimer::singleShot(msec, &loop, &QEventLoop::quit);
    loop.exec();
}

QVector<float> decimate(const qint16 *samples, qsizetype count)
{
    QVector<float> out(count / Decimation);
    for (qsizetype i = 0; i < out.size(); ++i) {
        float sum = 0;
        for (int k = 0; k < Decimation; ++k)
            sum += samples[i * Decimation + k];
        out[i] = sum;
    }
    return out;
}

/** sox's decode of @p seconds from @p from, mono 16-bit at Rate. */
QVector<qint16> reference(double from, double seconds)
{
    QProcess sox;
    sox.start(QStringLiteral("sox"), {LongVbr, QStringLiteral("-t"), QStringLiteral("raw"), QStringLiteral("-e"), QStringLiteral("signed"),
                                      QStringLiteral("-b"), QStringLiteral("16"), QStringLiteral("-c"), QStringLiteral("1"),
                                      QStringLiteral("-r"), QString::number(Rate), QStringLiteral("-"), QStringLiteral("trim"),
                                      QString::number(from, 'f', 3), QString::number(seconds, 'f', 3)});
    if (!sox.waitForFinished(600000) || sox.exitCode() != 0)
        return {};
    const QByteArray raw = sox.readAllStandardOutput();
    QVector<qint16> out(raw.size() / 2);
    std::memcpy(out.data(), raw.constData(), size_t(out.size()) * 2);
    return out;
}

/**
 * Seconds into @p haystack where @p needle matches best (normalised
 * correlation); NAN when nothing matches (the audio is elsewhere).
 */
double bestOffset(const QVector<float> &haystack, const QVector<float> &needle)
{
    double needleEnergy = 0;
    for (float v : needle)
        needleEnergy += double(v) * v;
    double best = -2;
    qsizetype bestLag = 0;
    for (qsizetype lag = 0; lag + needle.size() <= haystack.size(); ++lag) {
        double dot = 0;
        double energy = 0;
        for (qsizetype i = 0; i < needle.size(); ++i) {
            dot += double(needle[i]) * haystack[lag + i];
            energy += double(haystack[lag + i]) * haystack[lag + i];
        }
        const double score = energy > 0 ? dot / std::sqrt(energy * needleEnergy) : -1;
        if (score > best) {
            best = score;
            bestLag = lag;
        }
    }
    return best < 0.5 ? NAN : double(bestLag) * Decimation / Rate;
}

/** libvlc alone, with the engine's options, seeking by its own means. */
bool jumpWithLibvlc(Capture *capture, int target)
{
    const char *const arguments[] = {"--quiet", "--intf", "dummy", "--vout", "dummy", "--no-stats", "--no-video"};
    libvlc_instance_t *instance = libvlc_new(int(std::size(arguments)), arguments);
    libvlc_media_player_t *player = libvlc_media_player_new(instance);
    libvlc_audio_set_format_callbacks(
        player,
        [](void **, char *format, unsigned *, unsigned *channels) -> int {
            std::memcpy(format, "S16N", 4);
            *channels = 1;
            return 0;
        },
        nullptr);
    libvlc_audio_set_callbacks(
        player,
        [](void *opaque, const void *samples, unsigned count, int64_t) {
            auto *c = static_cast<Capture *>(opaque);
            QMutexLocker lock(&c->mutex);
            const auto *s = static_cast<const qint16 *>(samples);
            for (unsigned i = 0; i < count; ++i)
                c->samples.append(s[i]);
        },
        nullptr, nullptr, nullptr, nullptr, capture);
    libvlc_media_t *media = libvlc_media_new_path(instance, QFile::encodeName(LongVbr).constData());
    libvlc_media_add_option(media, ":clock-synchro=0");
    libvlc_media_add_option(media, ":clock-jitter=0");
    libvlc_media_player_set_media(player, media);
    libvlc_media_player_play(player);
    QElapsedTimer clock;
    clock.start();
    while (libvlc_media_player_get_state(player) != libvlc_Playing && clock.elapsed() < 10000)
        runFor(5);
    libvlc_media_player_set_time(player, qint64(target) * 1000);
    runFor(3000);
    libvlc_media_player_stop(player);
    libvlc_media_release(media);
    libvlc_media_player_release(player);
    libvlc_release(instance);
    return true;
}

/** The engine's jump, as the folder player resumes. */
bool jumpWithEngine(Capture *capture, int target)
{
    VlcMediaPlayer engine(std::make_unique<CapturingOutput>(capture));
    if (!engine.init() || !engine.play(LongVbr))
        return false;
    if (engine.seek(qint64(target) * 1000 - qMax<qint64>(0, engine.currentTime())) != 0)
        return false;
    runFor(3000);
    engine.stop();
    return true;
}

/**
 * ms between where the audio is after a jump to @p target s and the target;
 * NAN when it is not within SearchSeconds of it. @p around: the file decoded
 * from SearchSeconds before the target.
 */
double landingError(int target, bool engine, const QVector<qint16> &around)
{
    Capture capture;
    // The file starts with silence: whatever was decoded before the jump is
    // near zero, the first loud sample is the landing.
    if (!(engine ? jumpWithEngine(&capture, target) : jumpWithLibvlc(&capture, target)))
        return NAN;
    QVector<qint16> samples;
    {
        QMutexLocker lock(&capture.mutex);
        samples = capture.samples;
    }
    qsizetype landing = 0;
    while (landing < samples.size() && std::abs(samples[landing]) < 200)
        ++landing;
    const qsizetype from = landing + qsizetype(SkipSeconds * Rate);
    const qsizetype count = qsizetype(ChunkSeconds * Rate);
    if (from + count > samples.size())
        return NAN;
    const double found = bestOffset(decimate(around.constData(), around.size()), decimate(samples.constData() + from, count));
    const double actual = target - SearchSeconds + found - SkipSeconds;
    return (actual - target) * 1000.0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // Only the figures: the firmware's category lines would come between them, as the tools keep them out.
    QLoggingCategory::setFilterRules(QStringLiteral("quimbo.*=false"));
    QTextStream out(stdout);

    QElapsedTimer clock;
    clock.start();
    const MpegAudioFrames::Scan scan = MpegAudioFrames::measure(LongVbr);
    out << "mp3_frame_walk_one_hour_vbr: " << clock.elapsed() << " ms\n";
    out << "mp3_frame_walk_length: " << scan.durationMsec << " ms\n";
    out.flush();

    // Inside the loud stretches (noise matches in one place only), late in them.
    double worst[2] = {0, 0}; // libvlc, engine
    for (int target : {560, 1160, 1760, 2360, 2960}) {
        const QVector<qint16> around = reference(target - SearchSeconds, 2 * SearchSeconds + ChunkSeconds);
        for (const bool engine : {false, true}) {
            const double error = around.isEmpty() ? NAN : landingError(target, engine, around);
            out << "vbr_resume_error_" << (engine ? "engine" : "libvlc") << "_at_" << target << "s: "
                << (std::isnan(error) ? QStringLiteral("over 30000") : QString::number(qRound(error))) << " ms\n";
            out.flush();
            worst[engine] = std::isnan(error) ? INFINITY : qMax(worst[engine], std::abs(error));
        }
    }
    for (const bool engine : {false, true})
        out << "vbr_resume_error_" << (engine ? "engine" : "libvlc") << "_worst: "
            << (std::isinf(worst[engine]) ? QStringLiteral("over 30000") : QString::number(qRound(worst[engine]))) << " ms\n";
    return 0;
}
