// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "players/cddaaudiobookplayer.h"

#include "audio/vlcmediaplayer.h"
#include "platform/cddrive.h"
#include "players/logcategory.h"
#include "players/trackwalk.h"

#include <QDebug>
#include <QMap>
#include <QVector>

namespace {
const QString cddaTrack = QStringLiteral("cdda://cdda-track=");
constexpr int kFramesPerSecond = 75;
constexpr int kPregapFrames = 150;
/** Lead-out, lead-in and pregap between the audio session and the data session of an enhanced CD. */
constexpr int kSessionGapFrames = 11400;


struct AudioTrack {
    bool dataTrack = false;
    int startFrame = 0;
};

int digitSum(int n)
{
    int sum = 0;
    for (; n > 0; n /= 10)
        sum += n % 10;
    return sum;
}
} // namespace

class CddaAudioBookPlayerPrivate
{
public:
    int totalTracks = 0;
    int totalTime = 0;
    quint32 discId = 0;
    QMap<int, qint64> trackLengths;
};

bool CddaAudioBookPlayer::readDiscId()
{
    const char *const function = Q_FUNC_INFO;
    d->trackLengths.clear();
    std::unique_ptr<Platform::CdDrive> drive = Platform::createCdDrive(QStringLiteral("/dev/cdrom"));
    if (!drive || !drive->open(false)) {
        warnFrom(function) << ": failed to open /dev/cdrom";
        return false;
    }
    int first = 0;
    int last = 0;
    if (!drive->readTocHeader(&first, &last) || last < 1 || last > 99) {
        warnFrom(function) << ": error reading toc header!";
        drive->close();
        return false;
    }
    QList<Platform::CdTocEntry> toc;
    for (int track = 1; track <= last; ++track) {
        Platform::CdTocEntry entry;
        if (!drive->readTocEntry(track, &entry)) {
            warnFrom(function) << ": error reading toc entry: " << track;
            drive->close();
            return false;
        }
        toc.append(entry);
    }
    Platform::CdTocEntry leadOut;
    if (!drive->readTocEntry(Platform::CdDrive::kLeadOut, &leadOut)) {
        warnFrom(function) << ": error reading leadout entry";
        drive->close();
        return false;
    }
    toc.append(leadOut);
    drive->close();
    const CddaAudioBookPlayer::Disc disc = CddaAudioBookPlayer::readDisc(toc);
    d->discId = disc.discId;
    d->totalTracks = disc.totalTracks;
    d->totalTime = disc.totalTime;
    d->trackLengths = disc.trackLengths;
    return true;
}

CddaAudioBookPlayer::Disc CddaAudioBookPlayer::readDisc(const QList<Platform::CdTocEntry> &toc)
{
    Disc disc;
    if (toc.size() < 2)
        return disc;
    QVector<AudioTrack> entries;
    entries.reserve(toc.size());
    for (const Platform::CdTocEntry &entry : toc)
        entries.append({entry.dataTrack, entry.lba + kPregapFrames});
    const int last = int(toc.size()) - 1;

    // The CDDB disc id, on the table as the drive gives it.
    int sum = 0;
    for (int i = 0; i < last; ++i)
        sum += digitSum(entries.at(i).startFrame / kFramesPerSecond);
    const int leadOutSeconds = entries.last().startFrame / kFramesPerSecond;
    const int firstSeconds = entries.first().startFrame / kFramesPerSecond;
    disc.discId = (quint32(sum % 255) << 24) | (quint32(leadOutSeconds - firstSeconds) << 8) | quint32(last);
    disc.totalTime = leadOutSeconds;

    // An audio track followed by a data track (the data session of an
    // enhanced CD) ends where the gap between the sessions begins; the gap is
    // taken off once.
    for (int k = 1; k < entries.size(); ++k) {
        const AudioTrack &previous = entries.at(k - 1);
        const AudioTrack &current = entries.at(k);
        if (previous.dataTrack)
            continue;
        const int gap = current.dataTrack ? kSessionGapFrames : 0;
        const int seconds = int((current.startFrame - previous.startFrame - gap) / double(kFramesPerSecond) + 0.5);
        disc.trackLengths.insert(k, qint64(qMax(0, seconds)) * 1000);
    }
    // The data session of an enhanced CD is never a track: stepping back
    // from track 1 would name it, and a mark stored on it would play nothing.
    // (Read as a count of the disc's tracks, the number would include it.)
    disc.totalTracks = disc.trackLengths.isEmpty() ? 0 : disc.trackLengths.lastKey();
    return disc;
}

CddaAudioBookPlayer::CddaAudioBookPlayer(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<CddaAudioBookPlayerPrivate>())
{
    connect(mediaPlayer(), &VlcMediaPlayer::finished, this, &CddaAudioBookPlayer::mediaPlayerFinished);
}

CddaAudioBookPlayer::~CddaAudioBookPlayer()
{
    qCDebug(lcPlayers) << "~CddaAudioBookPlayer";
    close();
}

QString CddaAudioBookPlayer::name()
{
    return QStringLiteral("Cdda Player");
}

TrackWalkPlayer::LogNames CddaAudioBookPlayer::logNames() const
{
    return {"CddaAudioBookPlayer", "cdda audio book", "CDDA audiobook"};
}

QString CddaAudioBookPlayer::markTitle() const
{
    return QString::number(d->discId);
}

qint64 CddaAudioBookPlayer::trackLength(int track) const
{
    // A data track before the audio (a mixed-mode disc) is passed over like an empty one.
    return d->trackLengths.value(track, 0);
}

QString CddaAudioBookPlayer::trackUrl(int track) const
{
    return cddaTrack + QString::number(track);
}

void CddaAudioBookPlayer::bookEnded()
{
    Q_EMIT finished();
}

bool CddaAudioBookPlayer::open(const QString &path)
{
    if (path != QLatin1String("cdda://")) {
        warnFrom(Q_FUNC_INFO) << ": mediaPathFile is not cdda!";
        return false;
    }
    if (!readDiscId()) {
        warnFrom(Q_FUNC_INFO) << ": failed to read the toc and id";
        return false;
    }
    if (d->trackLengths.isEmpty()) {
        warnFrom(Q_FUNC_INFO) << ": the disc holds no audio track";
        return false;
    }
    if (!mediaPlayer()->init()) {
        warnFrom(Q_FUNC_INFO) << ": failed to initialize the vlc media player";
        return false;
    }
    setOpened(d->totalTracks);
    qCDebug(lcPlayers).noquote().nospace() << Q_FUNC_INFO << ": disc id: " << d->discId;
    return true;
}

void CddaAudioBookPlayer::close()
{
    if (!isOpened())
        return;
    setClosed();
    d->discId = 0;
    d->trackLengths.clear();
}

int CddaAudioBookPlayer::totalTime() { return d->totalTime; }
quint32 CddaAudioBookPlayer::discId() const { return d->discId; }

void CddaAudioBookPlayer::mediaPlayerFinished()
{
    engineFinished();
}
