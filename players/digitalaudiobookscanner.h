// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLAYERS_DIGITALAUDIOBOOKSCANNER_H
#define QUIMBO_PLAYERS_DIGITALAUDIOBOOKSCANNER_H

#include <QMap>
#include <QObject>
#include <QString>

#include <atomic>

/** One file of a folder book. */
struct MpegTrack
{
    QString fileName; ///< folder, "/", file name
    int duration = 0; ///< milliseconds; 0 until measured
};

/**
 * Measures the tracks of a folder book one after another in its own thread.
 *
 * A track is as long as the MPEG frames it holds (MpegAudioFrames), not as
 * long as a header claims: a cut-short file whose Xing or LAME header still
 * promises an hour is a few seconds. It works on its own copy of the track
 * list and hands each duration over by trackMeasured(), delivered queued to
 * the player: nothing is shared between the threads but the stop request.
 */
class DigitalAudioBookScanner : public QObject
{
    Q_OBJECT

public:
    explicit DigitalAudioBookScanner(const QMap<int, MpegTrack> &tracks, QObject *parent = nullptr);

public Q_SLOTS:
    void start();
    /** Any thread: the scan ends within the file being measured. */
    void stop();

Q_SIGNALS:
    // All three come on the scanner thread; connect queued.
    void trackMeasured(int number, int duration);
    /** Every track was measured. */
    void finished();
    /** Stopped early, or nothing to measure. */
    void quit();

private:
    std::atomic_bool m_stopRequested{false};
    QMap<int, MpegTrack> m_tracks;
};

#endif
