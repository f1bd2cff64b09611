// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/systemmanual.h"

#include "audio/audiosettings.h"
#include "audio/vlcmediaplayer.h"
#include "formats/daisytalkingbook.h"
#include "formats/medianode.h"
#include "formats/navmodel.h"
#include "formats/navnode.h"
#include "formats/smilmediagroup.h"
#include "input/input.h"
#include "input/keys.h"
#include "platform/devicestatus.h"
#include "platform/paths.h"
#include "speech/messages.h"
#include "system/logcategory.h"

#include <QDebug>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QSettings>

#include <cstdlib>

namespace {

// The spoken contents: the manual's second SMIL file.
constexpr int kContentsSpineIndex = 1;
// Every heading level counts when the wind keys move through the manual.
constexpr int kAnyLevel = 6;

const QString kEnglish = QStringLiteral("eng");

/** Where a track starts playing: its play cursor when that lies in the track, else its first clip. */
qint64 startOf(const AudioNode *track)
{
    const qint64 position = track->position();
    if (position > track->clipBegin() && position <= track->clipEnd())
        return position;
    return track->clipBegin();
}

} // namespace

class SystemManualPrivate
{
public:
    explicit SystemManualPrivate(SystemManual *q)
        : q(q)
    {
    }

    ~SystemManualPrivate() { delete book; }

    bool isPlaying() const { return engine && engine->isPlaying(); }
    /** Plays the group's current track (or its first) from where it should start; false when there is none or the engine refuses. */
    bool playGroup(SmilMediaGroup *group);
    bool playTrack(AudioNode *track, qint64 from);
    void wind(int direction);
    void playStop();
    void failAndReturnToMenu();
    /** Leaves the manual with its closing words, waited for. */
    void close();

    SystemManual *const q;
    DaisyTalkingBook *book = nullptr;
    QPointer<VlcMediaPlayer> engine;
};

bool SystemManualPrivate::playTrack(AudioNode *track, qint64 from)
{
    if (!track || !engine)
        return false;
    qCDebug(lcSystem).noquote() << "[SystemManual::playTrack]" << track->source() << "from" << from;
    if (!engine->play(track->source()))
        return false;
    if (from > 0)
        engine->seek(from);
    return true;
}

bool SystemManualPrivate::playGroup(SmilMediaGroup *group)
{
    if (!group)
        return false;
    AudioNode *track = group->currentAudioTrack() ? group->currentAudioTrack() : group->firstAudioTrack();
    return track && playTrack(track, startOf(track));
}

void SystemManualPrivate::wind(int direction)
{
    SmilMediaGroup *group = book->currentSmilMediaGroup();
    AudioNode *track = group ? group->currentAudioTrack() : nullptr;
    const bool playing = isPlaying();
    qint64 position = track ? track->position() : 0;
    if (playing)
        position = engine->currentTime();
    engine->stop();

    if (book->currentSpineIndex() == kContentsSpineIndex) {
        q->gotoHeading(position);
        return;
    }
    if (track)
        track->setPosition(position);
    group = direction > 0 ? book->nextSection(kAnyLevel) : book->previousSection(kAnyLevel);
    if (!group && direction > 0) {
        // Past the last heading the manual has been read to its end, as if it had played on.
        q->endOfManual();
        return;
    }
    playGroup(group);
}

void SystemManualPrivate::playStop()
{
    q->stopNotifier();
    q->stopAnswer();
    SmilMediaGroup *group = book->currentSmilMediaGroup();
    if (isPlaying()) {
        if (group && group->currentAudioTrack())
            group->currentAudioTrack()->setPosition(engine->currentTime());
        engine->stop();
        return;
    }
    if (!group) {
        failAndReturnToMenu();
        return;
    }
    playGroup(group);
}

void SystemManualPrivate::failAndReturnToMenu()
{
    q->aboutToQuit();
    q->messages()->play(Message::failed, true);
    q->messages()->play(Message::close, true);
    Q_EMIT q->quitToMenu();
}

void SystemManualPrivate::close()
{
    q->aboutToQuit();
    q->messages()->play(Message::close, true);
    q->messages()->play(Message::manual, true);
}

SystemManual::SystemManual(AudioSettings *audioSettings, Input *input, QObject *parent)
    : ModeBase(QStringLiteral("manual"), input, audioSettings, parent)
    , d(std::make_unique<SystemManualPrivate>(this))
{
    onKeys(Press, {BUTTON_POWER, BUTTON_SLEEP_MENU, BUTTON_REWIND, BUTTON_FAST_FORWARD, BUTTON_PLAY_STOP},
           [](int) { playSound(QStringLiteral("beep")); });
    onKeys(Press, settingKeys(), [this](int key) { answerSettingKey(key); });
    onKey(Release, BUTTON_POWER, [this](int) { answerBatteryStatus(); });
    onKey(Release, BUTTON_SLEEP_MENU, [this](int) {
        if (d->isPlaying()) {
            stepSleepTimer();
            return;
        }
        d->close();
        Q_EMIT quit();
    });
    onKeys(Release, {BUTTON_VOLUME_UP, BUTTON_VOLUME_DOWN}, [this](int key) { answerVolume(step(key)); });
    onKeys(Release, {BUTTON_REWIND, BUTTON_FAST_FORWARD}, [this](int key) { d->wind(step(key)); });
    onKey(Release, BUTTON_PLAY_STOP, [this](int) { d->playStop(); });
    onKey(Hold, BUTTON_SLEEP_MENU, [this](int) {
        d->close();
        Q_EMIT quitToMenu();
    });
    onKey(Hold, BUTTON_POWER, [this](int) {
        aboutToQuit();
        Q_EMIT shutdown();
    });
    onKey(Hold, BUTTON_PLAY_STOP, [this](int) {
        if (d->isPlaying())
            d->engine->stop();
        SmilMediaGroup *contents = d->book->startReading(kContentsSpineIndex);
        AudioNode *track = contents ? contents->firstAudioTrack() : nullptr;
        if (track)
            d->playTrack(track, track->clipBegin());
    });
    // The simulator's status: the menu's mode while the manual reads is the manual.
    Platform::provideStatus(this, QStringLiteral("mode"), [] { return QStringLiteral("manual"); });
}

SystemManual::~SystemManual()
{
    if (d->engine)
        disconnect(d->engine, nullptr, this, nullptr);
}

QString SystemManual::manualFolder(const QString &languageCode)
{
    // Languages without a recorded manual of their own share the nearest one.
    static const QHash<QString, QString> shared = {
        {QStringLiteral("enu"), kEnglish},
        {QStringLiteral("ene"), kEnglish},
        {QStringLiteral("ens"), kEnglish},
        {QStringLiteral("ena"), kEnglish},
        {QStringLiteral("eni"), kEnglish},
        {QStringLiteral("enz"), kEnglish},
        {QStringLiteral("dub"), QStringLiteral("dun")},
        {QStringLiteral("frc"), QStringLiteral("frf")},
        {QStringLiteral("wln"), QStringLiteral("frf")},
        {QStringLiteral("spl"), QStringLiteral("spe")},
        {QStringLiteral("spa"), QStringLiteral("spe")},
        {QStringLiteral("spc"), QStringLiteral("spe")},
        {QStringLiteral("spm"), QStringLiteral("spe")},
        {QStringLiteral("cae"), QStringLiteral("spe")},
    };
    return shared.value(languageCode, languageCode);
}

SystemManual *SystemManual::createManual(AudioSettings *audioSettings, Input *input, VlcMediaPlayer *mediaPlayer, QObject *parent)
{
    if (!audioSettings || !input) {
        qCWarning(lcSystem, "%s: no audio settings or key input", Q_FUNC_INFO);
        return nullptr;
    }
    auto *manual = new SystemManual(audioSettings, input, parent);
    if (mediaPlayer) {
        manual->d->engine = mediaPlayer;
    } else {
        // An engine of its own lives as long as the manual does.
        manual->d->engine = new VlcMediaPlayer(manual);
        if (!manual->d->engine->init()) {
            qCWarning(lcSystem, "%s: failed to initialize the vlc media player", Q_FUNC_INFO);
            delete manual;
            return nullptr;
        }
    }

    const QString language = QSettings().value(QStringLiteral("systemLanguage"), kEnglish).toString();
    const QString folder = manualFolder(language);
    const QString path = Platform::path(QStringLiteral("/root/quimbo/emanuals/") + folder + QStringLiteral("/ncc.html"));
    manual->d->book = DaisyTalkingBook::open(path);
    if (!manual->d->book && folder != kEnglish) {
        qCDebug(lcSystem).noquote() << "[SystemManual::createManual] no manual in" << folder << "for" << language << ", reading the English one";
        manual->d->book = DaisyTalkingBook::open(Platform::path(QStringLiteral("/root/quimbo/emanuals/eng/ncc.html")));
    }
    if (!manual->d->book) {
        qCWarning(lcSystem, "%s: no manual found", Q_FUNC_INFO);
        delete manual;
        return nullptr;
    }
    qCDebug(lcSystem).noquote() << "[SystemManual::createManual] manual:" << manual->d->book->path();
    connect(manual->d->engine, &VlcMediaPlayer::finished, manual, &SystemManual::mediaPlayerFinished);
    return manual;
}

void SystemManual::run()
{
    SmilMediaGroup *group = d->book->startReading(0);
    AudioNode *track = group ? group->firstAudioTrack() : nullptr;
    if (track) {
        d->engine->setPitch(float(audioSettings()->pitch()));
        d->engine->setTempo(audioSettings()->tempo());
    }
    if (!track || !d->playTrack(track, track->clipBegin())) {
        qCWarning(lcSystem, "%s: the manual cannot be played", Q_FUNC_INFO);
        Q_EMIT quitToMenu();
        return;
    }
    takeKeys();
}

void SystemManual::aboutToQuit()
{
    releaseKeys();
    if (d->engine)
        d->engine->stop();
}

bool SystemManual::audioPlaying() const
{
    return d->isPlaying();
}

void SystemManual::pauseAudio()
{
    d->engine->pause();
}

void SystemManual::unpauseAudio()
{
    d->engine->unpause();
}

void SystemManual::muteAudio(bool muted)
{
    d->engine->setMuted(muted);
}

void SystemManual::applyPitch(int pitch)
{
    // Only one of the two takes: the first while the engine plays, the second while it is paused.
    d->engine->changePitch(float(pitch));
    d->engine->setPitch(float(pitch));
}

void SystemManual::applyTempo(double tempo)
{
    d->engine->changeTempo(float(tempo));
    d->engine->setTempo(float(tempo));
}

void SystemManual::stopAudio()
{
    if (d->engine)
        d->engine->stop();
}

void SystemManual::endOfManual()
{
    stopNotifier();
    say({Message::end_of_manual});
    d->book->startReading(kContentsSpineIndex);
    updateStandby();
}

void SystemManual::gotoHeading(qint64 position)
{
    SmilMediaGroup *group = d->book->currentSmilMediaGroup();
    if (!group)
        return;
    const AudioNode *track = group->currentAudioTrack();
    int clip = -1;
    for (int i = 0; i < group->numberOfAudioClips(); ++i) {
        const AudioNode *node = group->audioClip(i);
        if (track && node->source() != track->source())
            continue;
        if (node->clipBegin() <= position && position <= node->clipEnd()) {
            clip = i;
            break;
        }
    }
    if (clip < 0)
        return;
    // The first clip is the contents' own heading: it leads to the contents chapter itself.
    const int ordinal = qMax(clip, 1);

    NavNode *target = nullptr;
    int count = 0;
    for (NavNode *node : d->book->navModel()->playOrderList()) {
        if (node->typeOfNode() != NavNode::NavPointType)
            continue;
        if (count++ == ordinal) {
            target = node;
            break;
        }
    }
    if (!target)
        return;
    qCDebug(lcSystem).noquote() << "[SystemManual::gotoHeading]: navpoint found." << target->content();
    d->playGroup(d->book->smilMediaGroupFromFile(target->content()));
}

void SystemManual::mediaPlayerFinished()
{
    SmilMediaGroup *group = d->book->currentSmilMediaGroup();
    if (AudioNode *track = group ? group->nextAudioTrack() : nullptr) {
        qCDebug(lcSystem) << "[SystemManual::mediaPlayerFinished] play next track of current smilMediaGroup";
        d->playTrack(track, track->clipBegin());
        return;
    }
    group = d->book->next();
    if (!group) {
        endOfManual();
        return;
    }
    AudioNode *track = group->firstAudioTrack();
    if (!track) {
        d->failAndReturnToMenu();
        return;
    }
    d->playTrack(track, track->clipBegin());
}
