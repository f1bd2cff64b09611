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
#include "system/notifier.h"
#include "system/sound.h"
#include "system/soundmanager.h"
#include "system/timerclass.h"

#include <QDebug>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QSettings>

#include <cstdlib>

namespace {

constexpr int kStandbySeconds = 1800;
constexpr int kSleepWarningSeconds = 60;
// The spoken contents: the manual's second SMIL file.
constexpr int kContentsSpineIndex = 1;
// Every heading level counts when the wind keys move through the manual.
constexpr int kAnyLevel = 6;

const QString kEnglish = QStringLiteral("eng");

Sound *sound(const QString &name)
{
    return SoundManager::instance()->effect(name);
}

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
    SystemManualPrivate(SystemManual *q, AudioSettings *audioSettings, Input *input)
        : q(q)
        , audioSettings(audioSettings)
        , messages(new Messages(q))
        , notifier(Notifier::instance())
        , beep(sound(QStringLiteral("beep")))
        , normalBeep(sound(QStringLiteral("normalBeep")))
        , doubleBeep(sound(QStringLiteral("doubleBeep")))
        , alarmBeep(sound(QStringLiteral("alarmBeep")))
        , tickBeep(sound(QStringLiteral("tickBeep")))
        , input(input)
        , standbyTimer(new TimerClass(q))
        , sleepTimer(new TimerClass(q))
    {
    }

    ~SystemManualPrivate() { delete book; }

    bool isPlaying() const { return engine && engine->isPlaying(); }
    /** Plays the group's current track (or its first) from where it should start; false when there is none or the engine refuses. */
    bool playGroup(SmilMediaGroup *group);
    bool playTrack(AudioNode *track, qint64 from);
    void stepSleepTimer();
    void changePitch(int delta);
    void changeSpeed(int delta);
    void changeVolume(int delta);
    void wind(int direction);
    void playStop();
    void failAndReturnToMenu();
    void disconnectAll();

    SystemManual *const q;
    AudioSettings *audioSettings;
    Messages *messages;
    Notifier *notifier;
    Sound *beep;
    Sound *normalBeep;
    Sound *doubleBeep;
    Sound *alarmBeep;
    Sound *tickBeep;
    Input *input;
    TimerClass *standbyTimer;
    TimerClass *sleepTimer;
    DaisyTalkingBook *book = nullptr;
    QPointer<VlcMediaPlayer> engine;

    QList<QMetaObject::Connection> connections;
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

void SystemManualPrivate::disconnectAll()
{
    for (const QMetaObject::Connection &connection : std::as_const(connections))
        QObject::disconnect(connection);
    connections.clear();
}

void SystemManualPrivate::stepSleepTimer()
{
    // The lengths the user steps through, in seconds; past the last the timer goes off.
    static const QHash<int, int> next = {{0, 900}, {900, 1800}, {1800, 2700}, {2700, 3600}};
    const int current = sleepTimer->time();
    messages->append(Message::sleep_timer, true);
    if (next.contains(current)) {
        sleepTimer->start(next.value(current));
        messages->append(QString::number(next.value(current) / 60), false);
    } else {
        sleepTimer->stop();
    }
    messages->append(sleepTimer->isActive() ? Message::minutes : Message::off, false);
    messages->playMessages();
}

void SystemManualPrivate::changePitch(int delta)
{
    audioSettings->changePitch(delta);
    const int pitch = audioSettings->pitch();
    if (isPlaying()) {
        engine->changePitch(float(pitch));
        if (pitch == 0)
            normalBeep->play();
        else if (std::abs(pitch) == 4)
            doubleBeep->play();
        else
            beep->play();
        return;
    }
    notifier->stopNotify();
    messages->append(Message::pitch, true);
    if (pitch < 0)
        messages->append(Message::minus, false);
    messages->append(QString::number(std::abs(pitch)), false);
    messages->playMessages();
}

void SystemManualPrivate::changeSpeed(int delta)
{
    audioSettings->changeTempo(delta);
    const int speed = audioSettings->speed();
    if (isPlaying()) {
        engine->changeTempo(audioSettings->tempo());
        if (speed == 0)
            normalBeep->play();
        else if (speed == -1 || speed == 3)
            doubleBeep->play();
        else
            beep->play();
        return;
    }
    messages->append(Message::speed, true);
    if (speed < 0)
        messages->append(Message::minus, false);
    messages->append(QString::number(std::abs(speed)), false);
    messages->playMessages();
}

void SystemManualPrivate::changeVolume(int delta)
{
    const QString answer = SoundManager::volumeAnswer(audioSettings->changeVolume(delta), audioSettings->volumeMaxRS1Level());
    // The tick would only disturb the manual while it is being read.
    if (answer != QLatin1String("tickBeep") || !isPlaying())
        SoundManager::instance()->play(answer);
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
    playGroup(group);
}

void SystemManualPrivate::playStop()
{
    notifier->stopNotify();
    messages->stop();
    SmilMediaGroup *group = book->currentSmilMediaGroup();
    if (isPlaying()) {
        if (group && group->currentAudioTrack())
            group->currentAudioTrack()->setPosition(engine->currentTime());
        engine->stop();
        standbyTimer->start();
        return;
    }
    if (!group) {
        failAndReturnToMenu();
        return;
    }
    playGroup(group);
    standbyTimer->stop();
}

void SystemManualPrivate::failAndReturnToMenu()
{
    q->aboutToQuit();
    messages->play(Message::failed, true);
    messages->play(Message::close, true);
    Q_EMIT q->quitToMenu();
}

SystemManual::SystemManual(AudioSettings *audioSettings, Input *input, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<SystemManualPrivate>(this, audioSettings, input))
{
    d->standbyTimer->setTime(kStandbySeconds);
    d->standbyTimer->stop();
    d->sleepTimer->setWarningTime(kSleepWarningSeconds);
    d->sleepTimer->stop();
    connect(d->standbyTimer, &TimerClass::timeout, this, &SystemManual::standbyTimerTimeout);
    connect(d->sleepTimer, &TimerClass::timeout, this, &SystemManual::sleepTimerTimeout);
    connect(d->sleepTimer, &TimerClass::timeoutWarning, this, &SystemManual::sleepTimerWarning);
    // The simulator's status: the menu's mode while the manual reads is the manual.
    d->standbyTimer->publishStatus(QStringLiteral("standby"));
    d->sleepTimer->publishStatus(QStringLiteral("sleep"));
    Platform::provideStatus(this, QStringLiteral("mode"), [] { return QStringLiteral("manual"); });
}

SystemManual::~SystemManual()
{
    d->disconnectAll();
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
        d->engine->setPitch(float(d->audioSettings->pitch()));
        d->engine->setTempo(d->audioSettings->tempo());
    }
    if (!track || !d->playTrack(track, track->clipBegin())) {
        qCWarning(lcSystem, "%s: the manual cannot be played", Q_FUNC_INFO);
        Q_EMIT quitToMenu();
        return;
    }

    d->disconnectAll();
    d->connections << connect(d->input, &Input::pressed, this, &SystemManual::keyPressEvent);
    d->connections << connect(d->input, &Input::released, this, &SystemManual::keyReleaseEvent);
    d->connections << connect(d->input, &Input::holded, this, &SystemManual::keyHoldEvent);
    d->connections << connect(d->notifier, &Notifier::startNotify, d->messages, &Messages::stop);
    d->connections << connect(d->notifier, &Notifier::startNotify, d->engine, qOverload<>(&VlcMediaPlayer::pause));
    d->connections << connect(d->notifier, &Notifier::finishedNotify, d->engine, &VlcMediaPlayer::unpause);
    d->connections << connect(d->messages, &Messages::finished, d->engine, &VlcMediaPlayer::unpause);
    d->input->setEnabled(true);
    d->input->setAutoRepeat(false);
    d->standbyTimer->stop();
}

void SystemManual::aboutToQuit()
{
    d->disconnectAll();
    d->input->setEnabled(false);
    d->input->setAutoRepeat(false);
    d->standbyTimer->stop();
    d->sleepTimer->stop();
    if (d->engine)
        d->engine->stop();
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

void SystemManual::keyPressEvent(int key)
{
    qCDebug(lcSystem) << Q_FUNC_INFO << key;
    d->input->setAutoRepeat(false);
    switch (key) {
    case BUTTON_POWER:
    case BUTTON_SLEEP_MENU:
    case BUTTON_REWIND:
    case BUTTON_FAST_FORWARD:
    case BUTTON_PLAY_STOP:
        d->beep->play();
        break;
    case BUTTON_PITCH_UP:
        d->changePitch(+1);
        break;
    case BUTTON_PITCH_DOWN:
        d->changePitch(-1);
        break;
    case BUTTON_SPEED_UP:
        d->changeSpeed(+1);
        break;
    case BUTTON_SPEED_DOWN:
        d->changeSpeed(-1);
        break;
    default:
        break;
    }
}

void SystemManual::keyReleaseEvent(int key)
{
    switch (key) {
    case BUTTON_POWER:
        d->messages->stop();
        d->notifier->batteryStatus();
        break;
    case BUTTON_SLEEP_MENU:
        if (!d->isPlaying()) {
            aboutToQuit();
            d->messages->play(Message::close, true);
            d->messages->play(Message::manual, true);
            Q_EMIT quit();
            return;
        }
        // Paused while the sleep timer is spoken; the end of the speech resumes.
        d->engine->pause();
        d->notifier->stopNotify();
        d->stepSleepTimer();
        break;
    case BUTTON_VOLUME_UP:
        d->changeVolume(+1);
        break;
    case BUTTON_VOLUME_DOWN:
        d->changeVolume(-1);
        break;
    case BUTTON_FAST_FORWARD:
        d->wind(+1);
        break;
    case BUTTON_REWIND:
        d->wind(-1);
        break;
    case BUTTON_PLAY_STOP:
        d->playStop();
        break;
    default:
        break;
    }
}

void SystemManual::keyHoldEvent(int key)
{
    qCDebug(lcSystem) << Q_FUNC_INFO << key;
    switch (key) {
    case BUTTON_SLEEP_MENU:
        aboutToQuit();
        d->messages->play(Message::close, true);
        d->messages->play(Message::manual, true);
        Q_EMIT quitToMenu();
        break;
    case BUTTON_POWER:
        aboutToQuit();
        Q_EMIT shutdown();
        break;
    case BUTTON_PLAY_STOP: {
        if (d->isPlaying())
            d->engine->stop();
        SmilMediaGroup *contents = d->book->startReading(kContentsSpineIndex);
        AudioNode *track = contents ? contents->firstAudioTrack() : nullptr;
        if (track)
            d->playTrack(track, track->clipBegin());
        d->standbyTimer->stop();
        break;
    }
    default:
        break;
    }
}

void SystemManual::sleepTimerWarning()
{
    if (d->isPlaying())
        d->engine->pause();
    d->messages->append(Message::sleep_timer, true);
    d->messages->append(Message::time_remaining, false);
    d->messages->append(QString::number(d->sleepTimer->warningTime()), false);
    d->messages->append(Message::minute, false);
    d->messages->playMessages();
}

void SystemManual::sleepTimerTimeout()
{
    d->input->setEnabled(false);
    d->engine->stop();
    Q_EMIT shutdown();
}

void SystemManual::standbyTimerTimeout()
{
    d->input->setEnabled(false);
    d->doubleBeep->play();
    Q_EMIT shutdown();
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
        d->notifier->stopNotify();
        d->messages->play(Message::end_of_manual, false);
        d->book->startReading(kContentsSpineIndex);
        d->standbyTimer->start();
        return;
    }
    AudioNode *track = group->firstAudioTrack();
    if (!track) {
        d->failAndReturnToMenu();
        return;
    }
    d->playTrack(track, track->clipBegin());
}
