// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Books read aloud, on a 1,000-page text-only EPUB made here (quimbo-textbookgen
// --large): opening it, key to first sound (play from the start, a heading jump),
// CPU seconds per second of speech at normal and at the top speed (process CPU
// time, all threads: synthesis, engine, SoundTouch), and the peak resident memory
// after reading across the book. Prints "name: value unit" lines.
#include "audio/audiosettings.h"
#include "audio/vlcmediaplayer.h"
#include "formats/textbook.h"
#include "platform/paths.h"
#include "players/ttsaudiobookplayer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

void print(const char *name, double value, const char *unit)
{
    std::printf("%s: %.2f %s\n", name, value, unit);
    std::fflush(stdout);
}

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

double statusMegabytes(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toDouble() / 1024;
    }
    return -1;
}

/** CPU milliseconds per second of speech while the player reads on for @p wallMs at @p tempo; @p sentences counts those started. */
double cpuPerSpeechSecond(TtsAudioBookPlayer &player, float tempo, int wallMs, int *sentences)
{
    QSignalSpy started(&player, &TtsAudioBookPlayer::sentenceStarted);
    AudioSettings().setTempo(tempo);
    player.setResume(false);
    player.play();
    const double cpu = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    while (wall.elapsed() < wallMs)
        QTest::qWait(100);
    const double used = cpuSeconds() - cpu;
    player.stop();
    *sentences = int(started.count());
    return used * 1000 / (double(wall.elapsed()) / 1000 * double(tempo));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "%s\n", qPrintable(message));
    });
    QCoreApplication::setOrganizationName(QStringLiteral("KAL"));
    QCoreApplication::setApplicationName(QStringLiteral("quimbo-basic"));
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir root;
    QTemporaryDir books;
    qputenv("QUIMBO_ROOT", QFile::encodeName(root.path()));
    QDir().mkpath(root.filePath(QStringLiteral("root/quimbo")));
    Platform::setupSettingsLocation();

    const QString book = books.filePath(QStringLiteral("large.epub"));
    QProcess generator;
    generator.start(QStringLiteral("python3"), {QStringLiteral(QUIMBO_SOURCE_DIR "/tools/textbookgen/quimbo-textbookgen.py"), book,
                                                QStringLiteral("--large"), QStringLiteral("1000"), QStringLiteral("--title"), QStringLiteral("Large")});
    if (!generator.waitForFinished(120000) || generator.exitCode() != 0) {
        std::fprintf(stderr, "tst_bench_tts: the large book could not be made\n");
        return 1;
    }
    const double before = statusMegabytes("VmRSS:");

    TtsAudioBookPlayer player;
    QElapsedTimer timer;
    timer.start();
    if (!player.open(book)) {
        std::fprintf(stderr, "tst_bench_tts: cannot open the large book\n");
        return 1;
    }
    const double open = double(timer.nsecsElapsed()) / 1e6;
    const double opened = statusMegabytes("VmRSS:");

    // Key to first sound: play returns once the engine plays the first decoded block.
    player.setResume(false);
    timer.restart();
    player.play();
    const double firstSound = double(timer.nsecsElapsed()) / 1e6;
    player.stop();
    player.setLevel(1);
    QVector<double> jumps;
    for (int i = 0; i < 9; ++i) {
        timer.restart();
        player.walkHeading(1);
        jumps.append(double(timer.nsecsElapsed()) / 1e6);
        player.stop();
    }
    std::sort(jumps.begin(), jumps.end());

    int spokenNormal = 0;
    int spokenTop = 0;
    const double cpuNormal = cpuPerSpeechSecond(player, 1.0f, 15000, &spokenNormal);
    const double cpuTop = cpuPerSpeechSecond(player, 3.0f, 15000, &spokenTop);
    // Across the whole book: a long step after each second of speech.
    player.setResume(true);
    player.play();
    for (int i = 0; i < 60; ++i) {
        player.fastForward(300);
        QTest::qWait(50);
    }
    player.stop();

    print("tts_open_1000_pages", open, "ms");
    print("tts_key_to_first_sound", firstSound, "ms");
    print("tts_heading_jump_to_sound_median", jumps.at(jumps.size() / 2), "ms");
    print("tts_cpu_per_speech_second_1x", cpuNormal, "ms/s");
    print("tts_cpu_per_speech_second_3x", cpuTop, "ms/s");
    print("tts_sentences_in_15s_1x", spokenNormal, "sentences");
    print("tts_sentences_in_15s_3x", spokenTop, "sentences");
    print("tts_book_model_1000_pages", opened - before, "MiB");
    print("tts_peak_resident_memory", statusMegabytes("VmHWM:"), "MiB");
    print("tts_book_characters", double(player.book()->characters()), "chars");
    return 0;
}
