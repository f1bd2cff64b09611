// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Key release to the engine playing the new position, on the large DAISY 2.02 book
// (600 SMIL files of 60 s) with a real 60-s MP3 behind every file: after a heading
// jump, and after a 60-s fast forward across a file boundary. libvlc's own start of
// playback is in both and is measured apart. Prints "name: value unit" lines.
#include "benchutil.h"

#include "audio/audiosettings.h"
#include "audio/vlcmediaplayer.h"
#include "input/input.h"
#include "input/keys.h"
#include "library/audiobook.h"
#include "players/audiobookplayer.h"
#include "players/daisyaudiobookplayer.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

namespace {

constexpr int kRuns = 9;

double medianMs(const std::function<void()> &prepare, const std::function<void()> &step)
{
    return Bench::median(kRuns, step, prepare).wall;
}

void print(const char *name, double value, const char *unit)
{
    Bench::print(name, value, unit, 1);
}

/** The large book's text files, with the 60-s speech MP3 standing in for every audio file. */
bool makeBook(const QString &from, const QString &speech, const QString &to)
{
    const QDir source(from);
    for (const QString &file : source.entryList(QDir::Files)) {
        if (!QFile::link(source.absoluteFilePath(file), QDir(to).filePath(file)))
            return false;
    }
    for (int i = 1; i <= 600; ++i) {
        const QString audio = QStringLiteral("audio%1.mp3").arg(i, 4, 10, QLatin1Char('0'));
        if (!QFile::link(speech, QDir(to).filePath(audio)))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // Only the figures: the firmware's category lines would come between them, as the tools keep them out.
    QLoggingCategory::setFilterRules(QStringLiteral("quimbo.*=false"));
    // The key source has no keypad here and says so at every key; only the figures count.
    Bench::quietLog();
    const Bench::DeviceRoot root;
    QTemporaryDir bookDir;

    const QString large = QStringLiteral(QUIMBO_BINARY_DIR "/benchdata/large202");
    const QString speech = QStringLiteral(QUIMBO_BINARY_DIR "/benchdata/audio/speech22k-mono.mp3");
    if (!QFile::exists(speech) || !makeBook(large, speech, bookDir.path())) {
        std::fprintf(stderr, "tst_bench_player: the large book or the speech MP3 is missing\n");
        return 1;
    }
    const QString ncc = QDir(bookDir.path()).filePath(QStringLiteral("ncc.html"));

    // A heading jump as the reader makes it: stopped, navigation by headings, fast forward released.
    QSettings().setValue(QStringLiteral("navigationMode"), 2);
    AudioSettings audioSettings;
    Input input;
    AudioBookPlayer frontEnd(&audioSettings, &input);
    AudioBook book;
    book.setMimeType(AudioBook::Daisy);
    book.setUrl(ncc);
    if (!frontEnd.open(book)) {
        std::fprintf(stderr, "tst_bench_player: cannot open %s\n", qPrintable(ncc));
        return 1;
    }
    frontEnd.runIdle();
    auto stopReading = [&input] {
        // Play/stop while playing stops; the next release of fast forward walks.
        Q_EMIT input.released(BUTTON_PLAY_STOP);
    };
    Q_EMIT input.released(BUTTON_PLAY_STOP);
    const double heading = medianMs(stopReading, [&input] { Q_EMIT input.released(BUTTON_FAST_FORWARD); });
    stopReading();

    // A 60-s fast forward from 30 s before the end of a file.
    DaisyAudioBookPlayer player;
    player.open(ncc);
    player.play();
    VlcMediaPlayer *engine = player.mediaPlayer();
    auto nearTheEnd = [&] {
        if (!player.isPlaying())
            player.play();
        engine->seek(engine->totalTime() - 30000 - engine->currentTime());
    };
    const double forward = medianMs(nearTheEnd, [&player] { player.fastForward(60); });
    player.close();

    // libvlc alone: a stopped engine starting a file until its first decoded block.
    VlcMediaPlayer bare;
    bare.init();
    const double start = medianMs([&bare] { bare.stop(); }, [&bare, &speech] { bare.play(speech); });
    bare.stop();

    print("player_heading_jump_release_to_playing", heading, "ms");
    print("player_ff60_across_file_release_to_playing", forward, "ms");
    print("player_libvlc_start_of_playback", start, "ms");
    print("player_heading_jump_without_libvlc_start", heading - start, "ms");
    print("player_ff60_across_file_without_libvlc_start", forward - start, "ms");
    return 0;
}
