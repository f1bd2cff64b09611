// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Cost of the audio chain, in CPU seconds per second of book audio:
// the engine (libvlc decode -> SoundTouch -> libao) at tempo 1.0, 2.0 and 3.0,
// with and without a pitch shift, next to libvlc decoding alone (the floor)
// and `sox in.mp3 -t null - pitch 200`; plus the resident memory of the
// process while the engine plays.
//
// libvlc plays in real time, so a 60 s file would take 60 s per run. Each run
// therefore plays the file for a warm-up (libvlc's first ~1 s burst) and then
// measures over a window of real-time playback: the process CPU time
// (CLOCK_PROCESS_CPUTIME_ID, all threads) against the book time that the
// frames delivered in that window hold (frames / rate x tempo). The
// compared figures are the least of three interleaved runs. A run of the
// whole benchmark takes about 3.5 minutes.
#include "audio/aoaudiooutput.h"
#include "audio/vlcmediaplayer.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTextStream>
#include <QTimer>

#include <vlc/vlc.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <ctime>
#include <sys/resource.h>

namespace {

const QString Speech = QStringLiteral(QUIMBO_BINARY_DIR "/benchdata/audio/speech22k-mono.mp3");
const QString Music = QStringLiteral(QUIMBO_BINARY_DIR "/benchdata/audio/music44k-stereo.mp3");
constexpr int WarmUpMsec = 1500;
constexpr int Repeats = 3;

/** The smaller of two figures, where -1 means none yet (or a failed run). */
double least(double a, double b)
{
    if (a < 0)
        return b;
    if (b < 0)
        return a;
    return std::min(a, b);
}
// Longer windows give steadier figures; QUIMBO_BENCH_AUDIO_WINDOW_MS overrides.
int windowMsec()
{
    const int fromEnvironment = qEnvironmentVariableIntValue("QUIMBO_BENCH_AUDIO_WINDOW_MS");
    return fromEnvironment > 0 ? fromEnvironment : 8000;
}

double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

double childrenCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double residentMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return -1;
}

void runFor(int msec)
{
    QEventLoop loop;
    QTimer::singleShot(msec, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Counter {
    std::atomic<qint64> frames{0};
    std::atomic<int> rate{0};
    std::atomic<int> channels{1};
};

/** libao's output with a count of the frames that went through it. */
class CountingOutput : public Platform::AudioOutput
{
public:
    /** @p toAo false: count only, to tell the engine's own cost from libao's. */
    CountingOutput(Counter *counter, bool toAo)
        : m_counter(counter)
        , m_toAo(toAo)
    {
    }
    bool open(int sampleRate, int channels) override
    {
        m_counter->rate = sampleRate;
        m_counter->channels = channels;
        return !m_toAo || m_ao.open(sampleRate, channels);
    }
    void close() override { m_ao.close(); }
    void write(const char *data, int bytes) override
    {
        m_counter->frames += bytes / (2 * m_counter->channels.load());
        if (m_toAo)
            m_ao.write(data, bytes);
    }

private:
    Counter *m_counter;
    const bool m_toAo;
    AoAudioOutput m_ao;
};

struct Window {
    double cpuPerAudioSecond = -1;
    double residentMB = -1;
};

Window measure(Counter &counter, float tempo)
{
    runFor(WarmUpMsec);
    const double cpu0 = processCpuSeconds();
    const qint64 frames0 = counter.frames;
    runFor(windowMsec());
    const double cpu1 = processCpuSeconds();
    const qint64 frames1 = counter.frames;
    Window w;
    w.residentMB = residentMegabytes();
    // libvlc decodes in bursts, and the CPU time of a burst goes with the
    // frames it delivers: the work is set against the book time those frames
    // hold, not against the wall clock.
    const double audioSeconds = counter.rate > 0 ? double(frames1 - frames0) / counter.rate * tempo : 0;
    if (audioSeconds > 0)
        w.cpuPerAudioSecond = (cpu1 - cpu0) / audioSeconds;
    return w;
}

Window measureEngine(const QString &file, float tempo, float pitch, bool toAo = true)
{
    Counter counter;
    VlcMediaPlayer player(std::make_unique<CountingOutput>(&counter, toAo));
    if (!player.init())
        return {};
    player.setTempo(tempo);
    player.setPitch(pitch);
    if (!player.play(file))
        return {};
    const Window w = measure(counter, tempo);
    player.stop();
    return w;
}

/** libvlc with the engine's options and callbacks that only count: the floor. */
Window measureDecodeOnly(const QString &file)
{
    const char *const arguments[] = {"--quiet", "--intf", "dummy", "--vout", "dummy", "--no-stats", "--no-video"};
    libvlc_instance_t *instance = libvlc_new(int(std::size(arguments)), arguments);
    libvlc_media_player_t *player = libvlc_media_player_new(instance);
    Counter counter;
    libvlc_audio_set_format_callbacks(
        player,
        [](void **opaque, char *format, unsigned *rate, unsigned *channels) -> int {
            auto *c = static_cast<Counter *>(*opaque);
            std::memcpy(format, "S16N", 4);
            if (*channels > 2)
                *channels = 2;
            c->rate = int(*rate);
            c->channels = int(*channels);
            return 0;
        },
        nullptr);
    libvlc_audio_set_callbacks(
        player,
        [](void *opaque, const void *, unsigned count, int64_t) { static_cast<Counter *>(opaque)->frames += count; },
        nullptr, nullptr, nullptr, nullptr, &counter);
    libvlc_media_t *media = libvlc_media_new_path(instance, QFile::encodeName(file).constData());
    libvlc_media_add_option(media, ":clock-synchro=0");
    libvlc_media_add_option(media, ":clock-jitter=0");
    libvlc_media_player_set_media(player, media);
    libvlc_media_player_play(player);
    const Window w = measure(counter, 1.0f);
    libvlc_media_player_stop(player);
    libvlc_media_release(media);
    libvlc_media_player_release(player);
    libvlc_release(instance);
    return w;
}

double measureSox(const QString &file)
{
    const double before = childrenCpuSeconds();
    QProcess sox;
    sox.start(QStringLiteral("sox"), {file, QStringLiteral("-t"), QStringLiteral("null"), QStringLiteral("-"), QStringLiteral("pitch"), QStringLiteral("200")});
    if (!sox.waitForFinished(120000) || sox.exitCode() != 0)
        return -1;
    return (childrenCpuSeconds() - before) / 60.0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // Only the figures: the firmware's category lines would come between them, as the tools keep them out.
    QLoggingCategory::setFilterRules(QStringLiteral("quimbo.*=false"));
    QTextStream out(stdout);
    for (const QString &file : {Speech, Music}) {
        if (!QFile::exists(file)) {
            out << "missing " << file << "\n";
            return 1;
        }
    }
    auto line = [&](const QString &name, double value, const char *unit) {
        out << name << ": " << QString::number(value, 'f', 4) << " " << unit << "\n";
        out.flush();
    };

    struct Source {
        QString name;
        QString file;
    };
    const Source sources[] = {{QStringLiteral("speech22k_mono"), Speech}, {QStringLiteral("music44k_stereo"), Music}};

    bool first = true;
    bool withinTargets = true;
    for (const Source &source : sources) {
        const QString p = QStringLiteral("audio_") + source.name;
        // The figures the targets compare are taken Repeats times, interleaved,
        // and the least kept: other processes on the machine only ever add.
        Window shifted;
        Window floor;
        double sox = -1;
        for (int i = 0; i < Repeats; ++i) {
            const Window s = measureEngine(source.file, 1.0f, 2.0f);
            // First run of the process: its resident size is what one playing engine costs.
            if (first) {
                line(QStringLiteral("audio_engine_playing_rss"), s.residentMB, "MB");
                withinTargets = withinTargets && s.residentMB > 0 && s.residentMB < 45.0;
                first = false;
            }
            shifted.cpuPerAudioSecond = least(shifted.cpuPerAudioSecond, s.cpuPerAudioSecond);
            floor.cpuPerAudioSecond = least(floor.cpuPerAudioSecond, measureDecodeOnly(source.file).cpuPerAudioSecond);
            sox = least(sox, measureSox(source.file));
        }
        const Window plain = measureEngine(source.file, 1.0f, 0.0f);
        const Window fast = measureEngine(source.file, 2.0f, 0.0f);
        const Window fastShifted = measureEngine(source.file, 2.0f, 2.0f);
        const Window fastest = measureEngine(source.file, 3.0f, 0.0f);
        const Window shiftedSilent = measureEngine(source.file, 1.0f, 2.0f, false);

        line(p + QStringLiteral("_decode_only"), floor.cpuPerAudioSecond, "cpu_s/audio_s");
        line(p + QStringLiteral("_engine_tempo1"), plain.cpuPerAudioSecond, "cpu_s/audio_s");
        line(p + QStringLiteral("_engine_tempo1_pitch2"), shifted.cpuPerAudioSecond, "cpu_s/audio_s");
        line(p + QStringLiteral("_engine_tempo2"), fast.cpuPerAudioSecond, "cpu_s/audio_s");
        line(p + QStringLiteral("_engine_tempo2_pitch2"), fastShifted.cpuPerAudioSecond, "cpu_s/audio_s");
        line(p + QStringLiteral("_engine_tempo3"), fastest.cpuPerAudioSecond, "cpu_s/audio_s");
        line(p + QStringLiteral("_engine_tempo1_pitch2_without_libao"), shiftedSilent.cpuPerAudioSecond, "cpu_s/audio_s");
        line(p + QStringLiteral("_sox_pitch200"), sox, "cpu_s/audio_s");
        const double vsSox = sox > 0 ? shifted.cpuPerAudioSecond / sox : -1;
        const double vsFloor = floor.cpuPerAudioSecond > 0 ? shifted.cpuPerAudioSecond / floor.cpuPerAudioSecond : -1;
        line(p + QStringLiteral("_pitch2_vs_sox"), vsSox, "x");
        line(p + QStringLiteral("_pitch2_vs_decode_only"), vsFloor, "x");
        withinTargets = withinTargets && vsSox > 0 && vsSox <= 0.7 && vsFloor > 0 && vsFloor <= 1.5;
    }
    out << "audio_targets_met: " << (withinTargets ? 1 : 0) << " bool\n";
    return 0;
}
