// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLAYERS_DIGITALAUDIOBOOKPLAYER_H
#define QUIMBO_PLAYERS_DIGITALAUDIOBOOKPLAYER_H

#include "players/trackwalk.h"

#include <QObject>

#include <memory>

class DigitalAudioBookPlayerPrivate;

/**
 * Plays a folder of MP3 files as one book: each file is a track, in file-name
 * order without regard to case. Moves by whole tracks (wrapping at both ends)
 * and by seconds across track ends. Track durations are measured once per
 * book by a scanner thread and kept in "/root/quimbo/toc.xml"; the first
 * track plays while the others are still measured. The position is a resume
 * mark keyed by the book id, which travels with the folder (its path below
 * the medium's root and its file names).
 *
 * Owned by the player front end; owns its engine. Main thread. Hidden files,
 * and files that are empty, unreadable or hold no MPEG audio, are left out
 * with a log line; a track that gives no audio is skipped.
 */
class DigitalAudioBookPlayer : public QObject, public TrackWalkPlayer
{
    Q_OBJECT

public:
    explicit DigitalAudioBookPlayer(QObject *parent = nullptr);
    ~DigitalAudioBookPlayer() override;

    QString name() override;
    bool open(const QString &url) override;
    void close() override;
    int totalTime() override;

    /** The identity of the open book (0 without one): the resume mark's key. */
    quint64 bookId() const;
    /** True once every track's duration is known (cache read or scan done). */
    bool hasToc() const;

Q_SIGNALS:
    void finished();
    void stopScanner();
    /** The scan has ended and its durations are in the cache file. */
    void tocWritten();

private Q_SLOTS:
    void digitalAudioBookScannerFinished();
    void mediaPlayerFinished();

protected:
    LogNames logNames() const override;
    QString markTitle() const override;
    qint64 trackLength(int track) const override;
    QString trackUrl(int track) const override;
    void learnLength(int track, qint64 msec) override;
    bool readStoredMark(ResumemarkData &mark) override;
    void bookEnded() override;

private:
    friend class DigitalAudioBookPlayerPrivate;
    const std::unique_ptr<DigitalAudioBookPlayerPrivate> d;
};

#endif
