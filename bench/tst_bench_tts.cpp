// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Books read aloud, on a 1,000-page text-only EPUB made here (quimbo-textbookgen
// --large): opening it, key to first sound (play from the start, a heading jump),
// CPU seconds per second of speech at normal and at the top speed (process CPU
// time, all threads: synthesis, engine, SoundTouch), and the peak resident memory
// after reading across the book. Prints "name: value unit" lines.
#include "benchutil.h"

#include "audio/audiosettings.h"
#include "audio/vlcmediaplayer.h"
#include "formats/textbook.h"
#include "players/ttsaudiobookplayer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <cstdio>

namespace {

/** Seconds of speech in a sentence's WAV file (the synthesizer writes a plain 44-byte header). */
double wavSeconds(const QString &path)
{
    QFile file(path);
    const QByteArray header = file.open(QIODevice::ReadOnly) ? file.read(44) : QByteArray();
    const quint32 byteRate = header.size() == 44 ? qFromLittleEndian<quint32>(header.constData() + 28) : 0;
    return byteRate ? double(file.size() - 44) / byteRate : 0;
}

/**
 * CPU milliseconds per second of speech while the player reads on for @p wallMs at @p tempo;
 * @p sentences counts those started. The speech is what the sentences played hold, not the
 * wall time times the tempo: the null audio device of a machine without a sound card takes
 * sound as fast as it comes.
 */
double cpuPerSpeechSecond(TtsAudioBookPlayer &player, float tempo, int wallMs, int *sentences)
{
    QObject context;
    double speech = 0;
    double current = 0;
    *sentences = 0;
    QObject::connect(&player, &TtsAudioBookPlayer::sentenceStarted, &context, [&](int sentence) {
        speech += current;
        current = wavSeconds(player.temporaryFolder() + QStringLiteral("sentence-%1.wav").arg(sentence));
        ++*sentences;
    });
    AudioSettings().setTempo(tempo);
    player.setResume(false);
    player.play();
    const double cpu = Bench::cpuMs();
    QElapsedTimer wall;
    wall.start();
    while (wall.elapsed() < wallMs)
        QTest::qWait(100);
    const double used = Bench::cpuMs() - cpu;
    speech += qMin(current, double(player.mediaPlayer()->currentTime()) / 1000);
    player.stop();
    return speech > 0 ? used / speech : -1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Bench::quietLog();
    const Bench::DeviceRoot root;
    QTemporaryDir books;

    const QString book = books.filePath(QStringLiteral("large.epub"));
    QProcess generator;
    generator.start(QStringLiteral("python3"), {QStringLiteral(QUIMBO_SOURCE_DIR "/tools/textbookgen/quimbo-textbookgen.py"), book,
                                                QStringLiteral("--large"), QStringLiteral("1000"), QStringLiteral("--title"), QStringLiteral("Large")});
    if (!generator.waitForFinished(120000) || generator.exitCode() != 0) {
        std::fprintf(stderr, "tst_bench_tts: the large book could not be made\n");
        return 1;
    }
    const double before = Bench::statusMiB("VmRSS:");

    TtsAudioBookPlayer player;
    QElapsedTimer timer;
    timer.start();
    if (!player.open(book)) {
        std::fprintf(stderr, "tst_bench_tts: cannot open the large book\n");
        return 1;
    }
    const double open = double(timer.nsecsElapsed()) / 1e6;
    const double opened = Bench::statusMiB("VmRSS:");

    // Key to first sound: play returns once the engine plays the first decoded block.
    player.setResume(false);
    timer.restart();
    player.play();
    const double firstSound = double(timer.nsecsElapsed()) / 1e6;
    player.stop();
    player.setLevel(1);
    const double headingJump = Bench::median(9, [&player] { player.walkHeading(1); }, [&player] { player.stop(); }).wall;
    player.stop();

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

    Bench::print("tts_open_1000_pages", open, "ms");
    Bench::print("tts_key_to_first_sound", firstSound, "ms");
    Bench::print("tts_heading_jump_to_sound_median", headingJump, "ms");
    Bench::print("tts_cpu_per_speech_second_1x", cpuNormal, "ms/s");
    Bench::print("tts_cpu_per_speech_second_3x", cpuTop, "ms/s");
    Bench::print("tts_sentences_in_15s_1x", spokenNormal, "sentences");
    Bench::print("tts_sentences_in_15s_3x", spokenTop, "sentences");
    Bench::print("tts_book_model_1000_pages", opened - before, "MiB");
    Bench::print("tts_peak_resident_memory", Bench::statusMiB("VmHWM:"), "MiB");
    Bench::print("tts_book_characters", double(player.book()->characters()), "chars");
    return 0;
}
