// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLAYERS_EPUBAUDIOBOOKPLAYER_H
#define QUIMBO_PLAYERS_EPUBAUDIOBOOKPLAYER_H

#include "players/audiobookplayerinterface.h"

#include <QObject>

#include <memory>

class EpubAudioBookPlayerPrivate;

/**
 * Plays the narration of an EPUB 3 book with media overlays: the clips of each
 * overlay (SMIL document) in spine order, a run of clips that follow each
 * other in one file played as one stretch, each file copied out of the
 * archive into a temporary file. One SMIL document is one heading; winding
 * goes through the clips of a chapter, file by file, then on into the next
 * chapters. The position (document, stretch, time in its file) is a resume
 * mark keyed by the book's title.
 *
 * Owned by the player front end; owns its engine and its parser. Main thread.
 * At most the temporary file of the audio playing exists (and, for a moment,
 * a copy whose length is measured); the folder is emptied at construction,
 * stop and close. Audio that is missing or does not play is skipped with a
 * log line.
 */
class EpubAudioBookPlayer : public QObject, public AudioBookPlayerInterface
{
    Q_OBJECT

public:
    explicit EpubAudioBookPlayer(QObject *parent = nullptr);
    ~EpubAudioBookPlayer() override;

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

    /** The folder of the temporary audio files. */
    QString temporaryFolder() const;

Q_SIGNALS:
    void finished();

private Q_SLOTS:
    void mediaPlayerFinished();

private:
    friend class EpubAudioBookPlayerPrivate;
    const std::unique_ptr<EpubAudioBookPlayerPrivate> d;
};

#endif
