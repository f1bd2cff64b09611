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
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMutex>
#include <QProcess>
#include <QTextStream>
#include <QTimer>
#include <QVector>

#include <cmath>
#include <memory>

namespace {

const QString LongVbr = QStringLiteral(QUIMBO_BINARY_DIR "/benchdata/audio/long-vbr.mp3");
constexpr int Rate = 44100;
constexpr int Decimation = 4; // correlate at 11 kHz: 0.1 ms steps, a quarter of the work
constexpr double SkipSeconds = 0.25; // past the first decoded frames after the jump
constexpr double ChunkSeconds = 1.0;
constexpr double SearchSeconds = 5.0; // either side of the target

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

/** Seconds into @p haystack where @p needle matches best (normalised correlation). */
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
    return double(bestLag) * Decimation / Rate;
}

/** ms between where the engine's audio is after a jump to @p target s and the target; NAN when not measured. */
double landingError(int target)
{
    Capture capture;
    VlcMediaPlayer engine(std::make_unique<CapturingOutput>(&capture));
    if (!engine.init() || !engine.play(LongVbr))
        return NAN;
    // The file starts with silence: whatever was decoded before the jump is
    // near zero, the first loud sample is the landing.
    if (engine.seek(qint64(target) * 1000 - qMax<qint64>(0, engine.currentTime())) != 0)
        return NAN;
    runFor(3000);
    engine.stop();
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
    const QVector<qint16> around = reference(target - SearchSeconds, 2 * SearchSeconds + ChunkSeconds);
    if (around.isEmpty())
        return NAN;
    const double found = bestOffset(decimate(around.constData(), around.size()), decimate(samples.constData() + from, count));
    const double actual = target - SearchSeconds + found - SkipSeconds;
    return (actual - target) * 1000.0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);

    QElapsedTimer clock;
    clock.start();
    const MpegAudioFrames::Scan scan = MpegAudioFrames::measure(LongVbr);
    out << "mp3_frame_walk_one_hour_vbr: " << clock.elapsed() << " ms\n";
    out << "mp3_frame_walk_length: " << scan.durationMsec << " ms\n";
    out.flush();

    double worst = 0;
    for (int target : {600, 1800, 2700, 3500}) {
        const double error = landingError(target);
        out << "vbr_resume_error_at_" << target << "s: " << (std::isnan(error) ? QStringLiteral("failed") : QString::number(qRound(error)))
            << " ms\n";
        out.flush();
        if (!std::isnan(error))
            worst = qMax(worst, std::abs(error));
    }
    out << "vbr_resume_error_worst: " << qRound(worst) << " ms\n";
    return 0;
}
