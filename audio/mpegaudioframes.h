// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_AUDIO_MPEGAUDIOFRAMES_H
#define QUIMBO_AUDIO_MPEGAUDIOFRAMES_H

#include <QString>
#include <QVector>

#include <atomic>

/**
 * The MPEG audio frames of a file, read from their headers only (nothing is
 * decoded). A header's claims (Xing, Info, VBRI, an ID3 length) are not
 * trusted: a file is as long as the frames that follow one another in it.
 *
 * Files as people have them are read: junk before the first frame, stacked
 * or oversized ID3v2 tags, APEv2, Lyrics3 and ID3v1 tags after the audio, MPEG 1, 2 and 2.5
 * of any layer, VBR with or without a header frame, a cut-off last frame
 * (not counted), a tail of zeros. An ID3v2 tag whose size runs past the end
 * of the file hides the audio from the engine (it skips the tag by its size):
 * such a file holds nothing to play. Plain functions, safe on any thread.
 */
namespace MpegAudioFrames {

struct Scan {
    /** False when no run of frames was found: nothing in the file decodes. */
    bool found = false;
    /** Why nothing was found, for the log. */
    QString reason;
    /** Byte offset of the first frame. */
    qint64 firstFrame = -1;
    /** The bit rate changes from frame to frame (by a Xing or VBRI header, or the first frames). */
    bool variableBitRate = false;
    /** Bytes of the file walked. */
    qint64 fileSize = 0;
    /** Audio frames counted (a Xing/Info/VBRI frame carries no audio and is left out). */
    qint64 frames = 0;
    /** Milliseconds of audio in the counted frames. */
    qint64 durationMsec = 0;
    /**
     * With an index asked for: the byte offset and the start in ms of every
     * counted frame, in file order.
     */
    QVector<qint64> frameOffsets;
    QVector<qint64> frameTimes;
};

/** Finds the first run of frames only: quick enough for every file of a folder. */
Scan probe(const QString &path);

/**
 * Walks every frame of the file. @p stop, when given, is polled now and then;
 * a scan that was stopped reports found false. @p index fills frameOffsets and
 * frameTimes.
 */
Scan measure(const QString &path, const std::atomic_bool *stop = nullptr, bool index = false);

} // namespace MpegAudioFrames

#endif
