// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLAYERS_TTSAUDIOBOOKPLAYER_H
#define QUIMBO_PLAYERS_TTSAUDIOBOOKPLAYER_H

#include "players/audiobookplayerinterface.h"

#include <QObject>

#include <memory>

class TextBook;
class TtsAudioBookPlayerPrivate;

/**
 * Reads a book without recorded audio aloud (`TextBook`: an EPUB without
 * media overlays, a text-only DAISY 2.02 or DAISY 3 book). Each sentence is
 * spoken by espeak-ng into a WAV file in the player's temporary folder and
 * played by the same engine as every recorded book, so speed, pitch and
 * volume work alike. A worker thread speaks a few sentences ahead; a jump to
 * a sentence not spoken yet speaks it at once.
 * The recorded parts of a book that mixes them with text play their
 * recordings through the same engine: copied out of an EPUB archive, straight
 * from a DAISY book's folder.
 *
 * Navigation: headings by level (h1-h6, DAISY levels), pages; a short time
 * jump (up to 10 s) moves by one sentence, a longer one by whole paragraphs,
 * as many as make up about that much speech at the voice's normal rate, so
 * the minutes a long wind announces stay close to the time skipped. The
 * resume mark (key: the title) holds the document (smilListPos) and the
 * character offset of the sentence's start (clipNodePos).
 *
 * Owned by the player front end; main thread. Only the files of the
 * sentences around the one playing are on disk.
 */
class TtsAudioBookPlayer : public QObject, public AudioBookPlayerInterface
{
    Q_OBJECT

public:
    explicit TtsAudioBookPlayer(QObject *parent = nullptr);
    ~TtsAudioBookPlayer() override;

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

    /** The book open, or null. */
    const TextBook *book() const;
    /** The sentence playing, or where play would start. */
    int currentSentence() const;
    QString temporaryFolder() const;

    /** Characters a second the time estimates assume: espeak-ng's normal rate. */
    static constexpr int kCharactersPerSecond = 14;

Q_SIGNALS:
    void finished();
    /** A sentence has started to sound. */
    void sentenceStarted(int sentence);

private Q_SLOTS:
    void mediaPlayerFinished();

private:
    friend class TtsAudioBookPlayerPrivate;
    const std::unique_ptr<TtsAudioBookPlayerPrivate> d;
};

#endif
