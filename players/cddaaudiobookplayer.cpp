// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "players/cddaaudiobookplayer.h"

#include "audio/audiosettings.h"
#include "audio/vlcmediaplayer.h"
#include "library/resumemark.h"
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
    explicit CddaAudioBookPlayerPrivate(CddaAudioBookPlayer *q)
        : q(q)
    {
    }

    bool writeResumemark(int track, qint64 time);
    qint64 length(int track) const { return trackLengths.value(track, 0); }
    int startTrack(int track, qint64 from);
    int endOfDiscReached();

    CddaAudioBookPlayer *const q;
    bool opened = false;
    bool resume = true;
    bool playing = false;
    bool endOfDisc = false;
    int trackNumber = 1;
    int totalTracks = 0;
    int totalTime = 0;
    quint32 discId = 0;
    QMap<int, qint64> trackLengths;
    AudioSettings audioSettings;
    std::unique_ptr<VlcMediaPlayer> engine = std::make_unique<VlcMediaPlayer>();
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
    disc.totalTracks = last;

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
    return disc;
}

ResumemarkData CddaAudioBookPlayer::readResumemarkData()
{
    const char *const function = Q_FUNC_INFO;
    ResumemarkData data;
    data.title = QString::number(d->discId);
    data.navListPos = 1;
    Resumemark store;
    if (!store.isValid()) {
        warnFrom(function) << ": resumeMark is not valid";
        return data;
    }
    if (!store.read(data))
        warnFrom(function) << ": failed to resumeMark data";
    if (data.navListPos < 1 || data.navListPos > d->totalTracks || data.playerTime < 0) {
        warnFrom(function) << ": error, track number lower/higher then available";
        data.navListPos = 1;
        data.playerTime = 0;
    }
    qCDebug(lcPlayers) << "**** CDDA audiobook resumemark info ***";
    qCDebug(lcPlayers) << "Track number:" << data.navListPos;
    qCDebug(lcPlayers) << "Player time :" << data.playerTime << "msec";
    return data;
}

bool CddaAudioBookPlayerPrivate::writeResumemark(int track, qint64 time)
{
    ResumemarkData data;
    data.title = QString::number(discId);
    data.navListPos = track;
    data.playerTime = qMax<qint64>(0, time);
    return Resumemark().write(data);
}

int CddaAudioBookPlayerPrivate::startTrack(int track, qint64 from)
{
    trackNumber = track;
    engine->setPitch(float(audioSettings.pitch()));
    engine->setTempo(audioSettings.tempo());
    playing = engine->play(cddaTrack + QString::number(track));
    if (!playing)
        return AudioBookPlayerInterface::EngineFailure;
    // A relative jump from the track's start.
    if (from > 0 && engine->seek(from - qMax<qint64>(0, engine->currentTime())) != 0)
        warnFrom("CddaAudioBookPlayer") << ": position " << from << " is not inside track " << track;
    return AudioBookPlayerInterface::Done;
}

int CddaAudioBookPlayerPrivate::endOfDiscReached()
{
    return q->endOfBookReached(&playing, &trackNumber, totalTracks, [this](int track) { return length(track); }, &endOfDisc,
                               [this](int track, qint64 time) { return writeResumemark(track, time); });
}

CddaAudioBookPlayer::CddaAudioBookPlayer(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<CddaAudioBookPlayerPrivate>(this))
{
    connect(d->engine.get(), &VlcMediaPlayer::finished, this, &CddaAudioBookPlayer::mediaPlayerFinished);
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
    if (!d->engine->init()) {
        warnFrom(Q_FUNC_INFO) << ": failed to initialize the vlc media player";
        return false;
    }
    d->endOfDisc = false;
    const ResumemarkData mark = readResumemarkData();
    d->trackNumber = d->resume ? mark.navListPos : 1;
    qCDebug(lcPlayers).noquote().nospace() << Q_FUNC_INFO << ": disc id: " << d->discId;
    d->opened = true;
    return true;
}

void CddaAudioBookPlayer::close()
{
    if (!d->opened)
        return;
    d->engine->stop();
    d->playing = false;
    d->discId = 0;
    d->trackNumber = 1;
    d->trackLengths.clear();
    d->opened = false;
}

bool CddaAudioBookPlayer::play()
{
    if (!d->opened) {
        warnFrom(Q_FUNC_INFO) << ": no cdda audio book is opened";
        return false;
    }
    if (d->endOfDisc) {
        d->endOfDisc = false;
        resetResumeMark();
        qCDebug(lcPlayers).noquote().nospace() << Q_FUNC_INFO << ": we are at end of book.. we will restart";
    }
    const ResumemarkData mark = readResumemarkData();
    d->trackNumber = d->resume ? mark.navListPos : 1;
    d->startTrack(d->trackNumber, d->resume ? takeLeadIn(mark.playerTime) : 0);
    qCDebug(lcPlayers).noquote().nospace() << Q_FUNC_INFO << ": track number: " << d->trackNumber << (d->playing ? " playing" : " not playing");
    return d->playing;
}

void CddaAudioBookPlayer::stop()
{
    stopAndMark(&d->playing, d->trackNumber, [this](int track, qint64 time) { return d->writeResumemark(track, time); });
}

int CddaAudioBookPlayer::trackNumber() { return d->trackNumber; }
int CddaAudioBookPlayer::totalTracks() { return d->totalTracks; }
bool CddaAudioBookPlayer::isPlaying() { return d->playing; }
void CddaAudioBookPlayer::setResume(bool resume) { d->resume = resume; }
int CddaAudioBookPlayer::totalTime() { return d->totalTime; }
VlcMediaPlayer *CddaAudioBookPlayer::mediaPlayer() { return d->engine.get(); }
quint32 CddaAudioBookPlayer::discId() const { return d->discId; }
qint64 CddaAudioBookPlayer::trackLength(int track) const { return d->trackLengths.value(track, -1); }

void CddaAudioBookPlayer::mediaPlayerFinished()
{
    // A stream stopped or replaced by a jump also ends; only playing on counts.
    if (!d->playing)
        return;
    const int next = d->trackNumber + 1;
    // The data session of an enhanced CD has no length: the audio ends before it.
    if (next > d->totalTracks || !d->trackLengths.contains(next)) {
        warnFrom(Q_FUNC_INFO) << ": we are at the end of the disc";
        d->endOfDisc = true;
        d->playing = false;
        Q_EMIT finished();
        return;
    }
    if (d->startTrack(next, 0) == Done) {
        qCDebug(lcPlayers).noquote().nospace() << Q_FUNC_INFO << ":track number: " << next << " is playing";
        return;
    }
    warnFrom(Q_FUNC_INFO) << ": failed to play next track. End?";
    d->trackNumber = next - 1;
    d->playing = false;
    Q_EMIT finished();
}

int CddaAudioBookPlayer::changeTrackNumber(int step)
{
    if (!d->opened) {
        warnFrom(Q_FUNC_INFO) << ": no cdda audiobook opened";
        return NoBook;
    }
    return stepTrack(step, d->playing, &d->trackNumber, d->totalTracks, &d->endOfDisc,
                     [this](int track, qint64 time) { return d->writeResumemark(track, time); }, Q_FUNC_INFO);
}

int CddaAudioBookPlayer::fastForward(int seconds)
{
    if (!d->opened) {
        warnFrom(Q_FUNC_INFO) << ": no cdda audio book opened!";
        return NoBook;
    }
    if (d->endOfDisc) {
        warnFrom(Q_FUNC_INFO) << ": end of book!";
        return EndOfBook;
    }
    const qint64 step = qint64(seconds) * 1000;
    qint64 remainder;
    if (d->playing) {
        qint64 r = 0;
        if (const int result = TrackWalk::seekWithin(d->engine.get(), step, Q_FUNC_INFO, &r); result >= 0)
            return result;
        remainder = r;
    } else {
        const qint64 target = readResumemarkData().playerTime + step;
        if (target < d->length(d->trackNumber)) {
            qCDebug(lcPlayers).noquote().nospace() << Q_FUNC_INFO << ": we are start playing: " << d->trackNumber << " at time: " << target;
            return d->startTrack(d->trackNumber, target);
        }
        remainder = target - d->length(d->trackNumber);
    }
    const TrackWalk::Target target = TrackWalk::forward(d->trackNumber, remainder, d->totalTracks,
                                                        [this](int track) { return d->length(track); }, Q_FUNC_INFO);
    if (target.kind == TrackWalk::Target::PastEnd)
        return d->endOfDiscReached();
    return d->startTrack(target.track, target.position);
}

int CddaAudioBookPlayer::rewind(int seconds)
{
    if (!d->opened) {
        warnFrom(Q_FUNC_INFO) << ": no cdda audio book opened!";
        return NoBook;
    }
    const qint64 step = qAbs(qint64(seconds)) * 1000;
    qint64 position;
    if (d->playing) {
        qint64 r = 0;
        if (const int result = TrackWalk::seekWithin(d->engine.get(), -step, Q_FUNC_INFO, &r); result >= 0)
            return result;
        position = -r;
    } else if (d->endOfDisc) {
        d->endOfDisc = false;
        d->trackNumber = d->totalTracks;
        position = d->length(d->trackNumber) - step;
    } else {
        position = readResumemarkData().playerTime - step;
    }
    if (position >= 0)
        return d->startTrack(d->trackNumber, position);
    const TrackWalk::Target target = TrackWalk::backward(d->trackNumber, -position, [this](int track) { return d->length(track); },
                                                         Q_FUNC_INFO);
    if (target.kind == TrackWalk::Target::Inside)
        return d->startTrack(target.track, target.position);
    return beginOfBookReached(&d->playing, &d->trackNumber);
}

void CddaAudioBookPlayer::resetResumeMark()
{
    if (!d->opened) {
        warnFrom(Q_FUNC_INFO) << ": no cdda audio book opend";
        return;
    }
    if (d->writeResumemark(1, 0))
        qCDebug(lcPlayers) << "resetResumeMark: succesfull";
    else
        qCWarning(lcPlayers) << "resetResumeMark: failed!";
}

int CddaAudioBookPlayer::elapsedTime()
{
    if (!d->opened) {
        warnFrom(Q_FUNC_INFO) << ": no cdda audio book opened";
        return -1;
    }
    qint64 sum = d->playing ? qMax<qint64>(0, d->engine->currentTime()) : readResumemarkData().playerTime;
    for (int track = 1; track < d->trackNumber; ++track)
        sum += d->length(track);
    return int(sum / 1000);
}

BookKey CddaAudioBookPlayer::bookKey()
{
    // The key its resume mark is written under.
    if (!d->opened)
        return {};
    return {BookKey::Marks, QString::number(d->discId), QString()};
}
