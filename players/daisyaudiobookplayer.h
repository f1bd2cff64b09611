// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLAYERS_DAISYAUDIOBOOKPLAYER_H
#define QUIMBO_PLAYERS_DAISYAUDIOBOOKPLAYER_H

#include "players/audiobookplayerinterface.h"

#include <QObject>

#include <memory>

class DaisyAudioBookPlayerPrivate;

/**
 * Plays a DAISY 2.02 or DAISY 3 talking book: the audio tracks of the current
 * SMIL file one after another (each a run of clips that follow each other in
 * one audio file, played from its first clip's begin to its last clip's end),
 * then the next SMIL file of the spine; moves by headings of the chosen level,
 * by pages and by seconds across track and file boundaries; keeps the reading
 * position in the book's resume marker.
 *
 * Owned by the player front end; owns its engine and its book model. Main
 * thread. Audio that is missing or cannot be decoded is skipped with a log
 * line; when nothing playable is left, finished() says the book has ended,
 * and only then does the next play() start the book over: a wind or walk past
 * the end answers EndOfBook and leaves the reader where they were.
 */
class DaisyAudioBookPlayer : public QObject, public AudioBookPlayerInterface
{
    Q_OBJECT

public:
    explicit DaisyAudioBookPlayer(QObject *parent = nullptr);
    ~DaisyAudioBookPlayer() override;

    QString name() override;
    bool open(const QString &url) override;
    void close() override;
    bool play() override;
    void stop() override;
    void pause() override;
    void unpause() override;
    void mute(bool muted) override;
    void changeTempo(double tempo) override;
    void changePitch(int semitones) override;
    int level() override;
    bool setLevel(int level) override;
    int walkHeading(int step) override;
    int walkPage(int step, bool play) override;
    int trackNumber() override;
    int changeTrackNumber(int step) override;
    int totalTracks() override;
    int fastForward(int seconds) override;
    int rewind(int seconds) override;
    bool isPlaying() override;
    void setResume(bool resume) override;
    void resetResumeMark() override;
    int totalTime() override;
    int elapsedTime() override;
    VlcMediaPlayer *mediaPlayer() override;
    BookKey bookKey() override;
    void setLeadIn(qint64 msec) override;
    void reloadResumeMark() override;

Q_SIGNALS:
    void finished();

private Q_SLOTS:
    void mediaPlayerFinished();

private:
    friend class DaisyAudioBookPlayerPrivate;
    const std::unique_ptr<DaisyAudioBookPlayerPrivate> d;
};

#endif
