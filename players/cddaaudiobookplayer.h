// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLAYERS_CDDAAUDIOBOOKPLAYER_H
#define QUIMBO_PLAYERS_CDDAAUDIOBOOKPLAYER_H

#include "players/trackwalk.h"

#include <QList>
#include <QMap>
#include <QObject>

#include <memory>

class CddaAudioBookPlayerPrivate;

namespace Platform {
struct CdTocEntry;
}

/**
 * Plays an audio CD ("cdda://") as a book whose chapters are its tracks: the
 * table of contents comes from the drive, the disc is known by its CDDB disc
 * id, and the position is a resume mark keyed by that id. Moves by whole
 * tracks (wrapping at both ends) and by seconds across track ends. On an
 * enhanced CD the data session at the end is not played.
 *
 * Owned by the player front end; owns its engine. Main thread. A drive
 * without a readable table of contents is refused with a log line.
 */
class CddaAudioBookPlayer : public QObject, public TrackWalkPlayer
{
    Q_OBJECT

public:
    explicit CddaAudioBookPlayer(QObject *parent = nullptr);
    ~CddaAudioBookPlayer() override;

    QString name() override;
    bool open(const QString &url) override;
    void close() override;
    int totalTime() override;

    /** The CDDB disc id of the open disc (0 without one): the resume mark's key. */
    quint32 discId() const;
    /** Milliseconds of an audio track; 0 for a data track or no such track. */
    qint64 trackLength(int track) const override;

    /** What a disc's table of contents says. */
    struct Disc {
        quint32 discId = 0; ///< the CDDB disc id
        int totalTracks = 0; ///< the last audio track's number: a data session after it is no track
        int totalTime = 0; ///< seconds up to the lead-out, pregap included
        QMap<int, qint64> trackLengths; ///< ms per audio track
    };
    /** @p toc: the tracks as the drive gives them (LBA form), then the lead-out. */
    static Disc readDisc(const QList<Platform::CdTocEntry> &toc);

Q_SIGNALS:
    void finished();

private Q_SLOTS:
    void mediaPlayerFinished();

protected:
    LogNames logNames() const override;
    QString markTitle() const override;
    QString trackUrl(int track) const override;
    void bookEnded() override;

private:
    // A member of the player itself: its log lines carry its signature.
    bool readDiscId();
    const std::unique_ptr<CddaAudioBookPlayerPrivate> d;
};

#endif
