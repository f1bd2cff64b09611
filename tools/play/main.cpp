// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// quimbo-play: plays one file (or "cdda://cdda-track=N") through the
// firmware's audio engine and reports the times as it goes.
#include "audio/vlcmediaplayer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>
#include <QTimer>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quimbo-play"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Plays an audio file through the player's audio engine."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("Audio file or cdda://cdda-track=N"));
    const QCommandLineOption tempo(QStringLiteral("tempo"), QStringLiteral("Playback rate (1.0 normal)."), QStringLiteral("T"), QStringLiteral("1.0"));
    const QCommandLineOption pitch(QStringLiteral("pitch"), QStringLiteral("Pitch shift in semitones."), QStringLiteral("P"), QStringLiteral("0"));
    const QCommandLineOption seek(QStringLiteral("seek"), QStringLiteral("Relative seek in ms after the start."), QStringLiteral("MS"), QStringLiteral("0"));
    const QCommandLineOption mute(QStringLiteral("mute"), QStringLiteral("Write silence."));
    const QCommandLineOption interval(QStringLiteral("interval"), QStringLiteral("Report the time every MS ms."), QStringLiteral("MS"), QStringLiteral("500"));
    const QCommandLineOption duration(QStringLiteral("duration"), QStringLiteral("Print the file's duration and exit."));
    parser.addOptions({tempo, pitch, seek, mute, interval, duration});
    parser.process(app);

    QTextStream out(stdout);
    if (parser.positionalArguments().size() != 1) {
        parser.showHelp(2);
    }
    const QString file = parser.positionalArguments().constFirst();

    VlcMediaPlayer player;
    if (!player.init())
        return 1;
    if (parser.isSet(duration)) {
        out << "duration: " << player.totalTimeFile(file) << " ms\n";
        return 0;
    }

    player.setTempo(parser.value(tempo).toFloat());
    player.setPitch(parser.value(pitch).toFloat());
    player.setMuted(parser.isSet(mute));

    QElapsedTimer clock;
    clock.start();
    if (!player.play(file)) {
        out << "play failed\n";
        return 1;
    }
    out << "playing: " << file << " (engine libvlc " << VlcMediaPlayer::libraryVersion() << ")\n";
    out << "total: " << player.totalTime() << " ms\n";
    const qint64 offset = parser.value(seek).toLongLong();
    if (offset != 0)
        out << "seek " << offset << ": " << player.seek(offset) << "\n";
    out.flush();

    QTimer report;
    QObject::connect(&report, &QTimer::timeout, &app, [&] {
        out << "wall " << clock.elapsed() << " ms, position " << player.currentTime() << " ms\n";
        out.flush();
    });
    report.start(qMax(10, parser.value(interval).toInt()));
    QObject::connect(&player, &VlcMediaPlayer::finished, &app, [&] {
        out << "finished after " << clock.elapsed() << " ms\n";
        out.flush();
        player.stop();
        QCoreApplication::quit();
    });
    return app.exec();
}
