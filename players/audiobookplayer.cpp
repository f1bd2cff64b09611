// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "players/audiobookplayer.h"

#include "audio/audiosettings.h"
#include "audio/vlcmediaplayer.h"
#include "input/input.h"
#include "input/keys.h"
#include "library/cdromworker.h"
#include "library/mediaclass.h"
#include "platform/devicestatus.h"
#include "platform/platform.h"
#include "players/audiobookplayerinfo.h"
#include "players/audiobookplayerinterface.h"
#include "players/cddaaudiobookplayer.h"
#include "players/daisyaudiobookplayer.h"
#include "players/digitalaudiobookplayer.h"
#include "players/epubaudiobookplayer.h"
#include "players/logcategory.h"
#include "speech/messages.h"
#include "system/delay.h"
#include "system/notifier.h"
#include "system/sound.h"
#include "system/soundmanager.h"
#include "system/systemsettings.h"
#include "system/timerclass.h"

#include <QDebug>
#include <QMetaMethod>
#include <QSettings>
#include <QTimer>

namespace {

constexpr int kStandbySeconds = 1800;
constexpr int kSleepWarningSeconds = 60;
constexpr int kSleepStepSeconds = 900;
constexpr int kSleepMaxSeconds = 3600;
constexpr int kShortJumpSeconds = 10;
constexpr int kWindRepeatMsec = 2000;
constexpr int kFastRepeatMsec = 290;
constexpr int kPitchEnd = 4;
constexpr int kSpeedLowest = -1;
constexpr int kSpeedHighest = 3;
constexpr int kVolumeEdgeLow = 7;
constexpr int kVolumeEdgeHigh = 21;

const QString kDaisyPlayer = QStringLiteral("Daisy Player");
const QString kEpubPlayer = QStringLiteral("Epub Player");

// What messagesFinished() does when the current spoken answer ends.
enum AfterMessage {
    ResumePaused = 0, ///< unpause a paused player, unmute
    PlayAfterStartOfBook = 1,
    EndOfFastSeek = 2,
    EndOfSlowSeek = 3,
    EndOfLevelAnnouncement = 4,
};

AudioBookPlayerInterface *createPlayer(int mimeType)
{
    if (mimeType == AudioBook::Daisy)
        return new DaisyAudioBookPlayer;
    if (mimeType == AudioBook::Epub)
        return new EpubAudioBookPlayer;
    if (mimeType == AudioBook::Cdda)
        return new CddaAudioBookPlayer;
    if (mimeType == AudioBook::DigitalAudio)
        return new DigitalAudioBookPlayer;
    return nullptr;
}

AudioBookPlayer::PlayerFactory &playerFactory()
{
    static AudioBookPlayer::PlayerFactory factory = createPlayer;
    return factory;
}

int direction(int key)
{
    return key == BUTTON_FAST_FORWARD ? 1 : -1;
}

} // namespace

class AudioBookPlayerPrivate
{
public:
    explicit AudioBookPlayerPrivate(AudioBookPlayer *q)
        : q(q)
    {
    }

    bool playing() const { return player && player->isPlaying(); }
    QString playerName() const { return player ? player->name() : QString(); }
    bool isDaisy() const { return playerName() == kDaisyPlayer; }
    bool speaksBookEnds() const { return isDaisy() || playerName() == kEpubPlayer; }
    static int navigationMode() { return QSettings().value(QStringLiteral("navigationMode"), 1).toInt(); }

    /** Speaks the messages as one utterance; finished() of the messages follows its end. */
    void say(const QStringList &names);
    void connectKeys();
    void disconnectKeys();
    void stopPlayer();
    void closePlayer();

    void windRelease(int key);
    void timeJump(int seconds);
    void timeSeek(int direction, bool restart);
    /** The answer of walkHeading/walkPage when the wind keys are released. */
    void answerWalk(int result);
    /** Hold and repeat of a wind key while stopped in navigation mode 2 or 3. */
    void stepNavigation(int direction);
    void stepSleepTimer();
    bool discInDrive() const;

    AudioBookPlayer *const q;
    AudioBook book;
    AudioBookPlayerInfo *info = nullptr;
    AudioSettings *audioSettings = nullptr;
    Messages *messages = nullptr;
    Notifier *notifier = nullptr;
    Input *input = nullptr;
    TimerClass *standbyTimer = nullptr;
    TimerClass *sleepTimer = nullptr;
    std::unique_ptr<AudioBookPlayerInterface> player;
    Sound *beep = nullptr;
    Sound *normalBeep = nullptr;
    Sound *doubleBeep = nullptr;
    Sound *alarmBeep = nullptr;
    Sound *tickBeep = nullptr;
    int afterMessageAction = ResumePaused;

    // The accelerated seek of a held wind key, kept across its repeats.
    int seekCounter = 0;
    int seekStep = 0; ///< minutes skipped so far, for the announcement
    int seekTime = 5; ///< seconds per step

    // The key the reader held last; a press of any key forgets it.
    int lastHeld = BUTTON_NONE;
    QList<QMetaObject::Connection> keyConnections;
};

void AudioBookPlayerPrivate::say(const QStringList &names)
{
    if (names.isEmpty())
        return;
    messages->append(names.first(), true);
    for (qsizetype i = 1; i < names.size(); ++i)
        messages->append(names.at(i), false);
    messages->playMessages();
}

void AudioBookPlayerPrivate::connectKeys()
{
    disconnectKeys();
    keyConnections << QObject::connect(input, &Input::pressed, q, &AudioBookPlayer::keyPressEvent)
                   << QObject::connect(input, &Input::released, q, &AudioBookPlayer::keyReleaseEvent)
                   << QObject::connect(input, &Input::holded, q, &AudioBookPlayer::keyHoldEvent)
                   << QObject::connect(input, &Input::repeated, q, &AudioBookPlayer::keyRepeatEvent)
                   << QObject::connect(notifier, &Notifier::startNotify, q, &AudioBookPlayer::notifierStarted, Qt::DirectConnection)
                   << QObject::connect(notifier, &Notifier::finishedNotify, q, &AudioBookPlayer::messagesFinished);
}

void AudioBookPlayerPrivate::disconnectKeys()
{
    for (const QMetaObject::Connection &connection : std::as_const(keyConnections))
        QObject::disconnect(connection);
    keyConnections.clear();
}

void AudioBookPlayerPrivate::stopPlayer()
{
    if (player)
        player->stop();
}

void AudioBookPlayerPrivate::closePlayer()
{
    if (player) {
        player->stop();
        player->close();
    }
}

bool AudioBookPlayerPrivate::discInDrive() const
{
    if (auto *mediaClass = qobject_cast<MediaClass *>(notifier->mediaClass())) {
        const int status = mediaClass->cdromStatus();
        // Not ready (still spinning up), an audio CD or a data disc.
        return status == 0 || status == 2 || status == 3;
    }
    return CdRomWorker::diskOk();
}

void AudioBookPlayerPrivate::stepSleepTimer()
{
    const int set = sleepTimer->time();
    if (set >= kSleepMaxSeconds) {
        sleepTimer->stop();
    } else {
        const int next = set - set % kSleepStepSeconds + kSleepStepSeconds;
        sleepTimer->start(next);
        messages->append(QString::number(next / 60));
    }
    messages->append(sleepTimer->isActive() ? Message::minutes : Message::off);
}

void AudioBookPlayerPrivate::timeJump(int seconds)
{
    if (seconds == 0) {
        qCDebug(lcPlayers).nospace() << Q_FUNC_INFO << ": 0 seconds jump not possible";
        return;
    }
    standbyTimer->stop();
    const int result = seconds > 0 ? player->fastForward(seconds) : player->rewind(seconds);
    if (result == AudioBookPlayerInterface::EndOfBook) {
        notifier->stopNotify();
        say({isDaisy() ? Message::end_of_book : Message::end_of_cd});
        standbyTimer->start();
    } else if (result == AudioBookPlayerInterface::BeginOfBook) {
        say({isDaisy() ? Message::start_of_book : Message::begin_of_cd});
    }
}

void AudioBookPlayerPrivate::timeSeek(int direction, bool restart)
{
    standbyTimer->stop();
    if (restart || seekCounter < 12) {
        seekCounter = restart ? 1 : seekCounter + 1;
        seekStep = 0;
        seekTime = 5;
        afterMessageAction = EndOfSlowSeek;
        input->setAutoRepeatTime(kFastRepeatMsec);
    } else if (seekCounter == 12) {
        seekCounter = 13;
        seekStep = 1;
        seekTime = 60;
        afterMessageAction = EndOfFastSeek;
        input->setAutoRepeatTime(kWindRepeatMsec);
    } else if (seekCounter == 13) {
        seekCounter = 14;
        seekStep = 2;
        seekTime = 180;
        afterMessageAction = EndOfFastSeek;
    } else {
        seekStep += seekStep == 2 ? 3 : 5;
        seekTime = 300;
        afterMessageAction = EndOfFastSeek;
    }
    qCDebug(lcPlayers) << "step:" << seekStep << "restart:" << restart << "counter:" << seekCounter << "seekTime:" << seekTime;
    const int result = direction > 0 ? player->fastForward(seekTime) : player->rewind(-seekTime);
    switch (result) {
    case AudioBookPlayerInterface::Done:
        if (seekStep > 0) {
            QStringList words;
            const int hours = seekStep / 60;
            const int minutes = seekStep % 60;
            if (hours > 0)
                words << QString::number(hours) << Message::hour;
            words << QString::number(minutes) << (minutes == 1 ? Message::minute : Message::minutes);
            say(words);
        }
        input->setAutoRepeat(true);
        break;
    case AudioBookPlayerInterface::Refused:
    case AudioBookPlayerInterface::NoBook:
        input->setAutoRepeat(true);
        break;
    case AudioBookPlayerInterface::BeginOfBook:
        if (speaksBookEnds())
            say({Message::start_of_book});
        break;
    case AudioBookPlayerInterface::EndOfBook:
        if (speaksBookEnds())
            say({Message::end_of_book});
        afterMessageAction = ResumePaused;
        standbyTimer->start();
        break;
    default:
        break;
    }
}

void AudioBookPlayerPrivate::answerWalk(int result)
{
    if (result == AudioBookPlayerInterface::EndOfBook) {
        if (speaksBookEnds())
            say({Message::end_of_book});
        standbyTimer->start();
    } else if (result == AudioBookPlayerInterface::BeginOfBook) {
        afterMessageAction = PlayAfterStartOfBook;
        if (speaksBookEnds())
            say({Message::start_of_book});
    }
}

void AudioBookPlayerPrivate::windRelease(int key)
{
    const int d = direction(key);
    if (info->isActive()) {
        info->stop();
        player->play();
    }
    notifier->stopNotify();
    input->setAutoRepeatTime(kWindRepeatMsec);
    const bool held = lastHeld == key;
    if (held && playing()) {
        // The hold has already moved the book.
        messages->stop();
        if (afterMessageAction == EndOfFastSeek || afterMessageAction == EndOfSlowSeek) {
            afterMessageAction = ResumePaused;
            player->mute(false);
        }
        return;
    }
    if (playing()) {
        messages->stop();
        timeJump(kShortJumpSeconds * d);
        return;
    }
    const QString name = playerName();
    int result = AudioBookPlayerInterface::Done;
    switch (navigationMode()) {
    case 1:
        messages->stop();
        timeJump(kShortJumpSeconds * d);
        return;
    case 2:
        if (held)
            return;
        messages->stop();
        if (speaksBookEnds()) {
            result = player->walkHeading(d);
        } else {
            say({QString::number(player->changeTrackNumber(d))});
            return;
        }
        break;
    case 3:
        messages->stop();
        if (name == kDaisyPlayer) {
            result = player->walkPage(held ? 0 : d, true);
        } else if (held) {
            return;
        } else if (name == kEpubPlayer) {
            result = player->walkHeading(d);
        } else {
            say({QString::number(player->changeTrackNumber(d))});
            return;
        }
        break;
    default:
        return;
    }
    answerWalk(result);
}

void AudioBookPlayerPrivate::stepNavigation(int direction)
{
    if (!isDaisy())
        return;
    switch (navigationMode()) {
    case 2:
        player->setLevel(player->level() + direction);
        afterMessageAction = EndOfLevelAnnouncement;
        say({Message::level, QString::number(player->level())});
        break;
    case 3:
        switch (player->walkPage(direction, false)) {
        case AudioBookPlayerInterface::Done:
            beep->play();
            input->setAutoRepeat(true);
            break;
        case AudioBookPlayerInterface::BeginOfBook:
            say({Message::start_of_book});
            break;
        case AudioBookPlayerInterface::EndOfBook:
            say({Message::end_of_book});
            break;
        default:
            break;
        }
        break;
    default:
        break;
    }
}

void AudioBookPlayer::setPlayerFactory(PlayerFactory factory)
{
    playerFactory() = factory ? std::move(factory) : PlayerFactory(createPlayer);
}

AudioBookPlayer::AudioBookPlayer(AudioSettings *audioSettings, Input *input, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<AudioBookPlayerPrivate>(this))
{
    d->audioSettings = audioSettings;
    d->input = input;
    d->info = new AudioBookPlayerInfo(this);
    d->messages = new Messages(this);
    d->notifier = Notifier::instance();
    d->standbyTimer = new TimerClass(this);
    d->sleepTimer = new TimerClass(this);
    // For the simulator's status: the book by kind and url, the engine's state and muting.
    d->standbyTimer->publishStatus(QStringLiteral("standby"));
    d->sleepTimer->publishStatus(QStringLiteral("sleep"));
    Platform::provideStatus(this, QStringLiteral("book"), [this] {
        return d->book.isDefined() ? QString::number(int(d->book.mimeType())) + QLatin1Char(':') + d->book.url() : QString();
    });
    Platform::provideStatus(this, QStringLiteral("player"), [this] {
        VlcMediaPlayer *engine = d->player ? d->player->mediaPlayer() : nullptr;
        return engine ? QString::fromLatin1(engine->isPaused() ? "paused" : engine->isPlaying() ? "playing" : "stopped") : QString();
    });
    Platform::provideStatus(this, QStringLiteral("muted"), [this] {
        VlcMediaPlayer *engine = d->player ? d->player->mediaPlayer() : nullptr;
        return engine ? QString::fromLatin1(engine->isMuted() ? "yes" : "no") : QString();
    });

    SoundManager *sounds = SoundManager::instance();
    d->beep = sounds->create(QStringLiteral(":/sounds/beep.wav"), QStringLiteral("beep"));
    d->normalBeep = sounds->create(QStringLiteral(":/sounds/normal_beep.wav"), QStringLiteral("normalBeep"));
    d->doubleBeep = sounds->create(QStringLiteral(":/sounds/double_beep.wav"), QStringLiteral("doubleBeep"));
    d->alarmBeep = sounds->create(QStringLiteral(":/sounds/alarm_beep.wav"), QStringLiteral("alarmBeep"));
    d->tickBeep = sounds->create(QStringLiteral(":/sounds/tick_beep.wav"), QStringLiteral("tickBeep"));
    d->doubleBeep->normalize = true;
    d->alarmBeep->normalize = true;

    d->input->setEnabled(false);
    d->input->setAutoRepeat(false);
    d->standbyTimer->setTime(kStandbySeconds);
    d->standbyTimer->stop();
    d->sleepTimer->setWarningTime(kSleepWarningSeconds);
    d->sleepTimer->stop();
    connect(d->standbyTimer, &TimerClass::timeout, this, &AudioBookPlayer::standbyTimerTimeout);
    connect(d->sleepTimer, &TimerClass::timeout, this, &AudioBookPlayer::sleepTimerTimeout);
    connect(d->sleepTimer, &TimerClass::timeoutWarning, this, &AudioBookPlayer::sleepTimerWarning);
    connect(d->messages, &Messages::finished, this, &AudioBookPlayer::messagesFinished);
}

AudioBookPlayer::~AudioBookPlayer()
{
    d->disconnectKeys();
    d->closePlayer();
}

bool AudioBookPlayer::open(const AudioBook &audioBook)
{
    if (d->player) {
        d->player->close();
        d->player.reset();
    }
    switch (audioBook.mimeType()) {
    case AudioBook::Daisy:
        qCDebug(lcPlayers).nospace() << Q_FUNC_INFO << ": daisy book";
        break;
    case AudioBook::Epub:
        qCDebug(lcPlayers).nospace() << Q_FUNC_INFO << ": epub audiobook";
        break;
    case AudioBook::Cdda:
        qCDebug(lcPlayers).nospace() << Q_FUNC_INFO << ": audio cd book";
        break;
    case AudioBook::DigitalAudio:
        qCDebug(lcPlayers).nospace() << Q_FUNC_INFO << ": other audio book";
        break;
    default:
        qCDebug(lcPlayers).nospace() << Q_FUNC_INFO << ": unsupported audiobook";
        return false;
    }
    d->player.reset(playerFactory()(audioBook.mimeType()));
    if (!d->player) {
        qCWarning(lcPlayers).nospace() << Q_FUNC_INFO << ": no player for mime type " << int(audioBook.mimeType());
        return false;
    }
    if (!d->player->open(audioBook.url())) {
        d->player.reset();
        return false;
    }
    d->book = audioBook;
    // Every player is a QObject with finished(); the interface itself is not
    // a QObject, so the signal is found by its signature.
    if (auto *object = dynamic_cast<QObject *>(d->player.get())) {
        const int signal = object->metaObject()->indexOfSignal("finished()");
        const int slot = metaObject()->indexOfSlot("playerFinished()");
        if (signal >= 0 && slot >= 0)
            connect(object, object->metaObject()->method(signal), this, metaObject()->method(slot));
    }
    QSettings().setValue(QStringLiteral("lastPlayedMedia"), audioBook.mediaType());
    return true;
}

void AudioBookPlayer::run()
{
    if (!d->player) {
        qCDebug(lcPlayers).nospace() << Q_FUNC_INFO << ": no player opened";
        Q_EMIT quit();
        return;
    }
    if (d->book.mimeType() == AudioBook::Cdda || d->book.mimeType() == AudioBook::DigitalAudio) {
        d->messages->play(Message::track, true);
        d->messages->play(QString::number(d->player->trackNumber()), true);
    }
    d->standbyTimer->stop();
    d->player->play();
    d->connectKeys();
    d->input->setEnabled(true);
    d->input->setAutoRepeat(false);
}

void AudioBookPlayer::runIdle()
{
    if (!d->player) {
        qCDebug(lcPlayers).nospace() << Q_FUNC_INFO << ": no player opened";
        Q_EMIT quit();
        return;
    }
    d->connectKeys();
    d->input->setEnabled(true);
    d->input->setAutoRepeat(false);
    d->standbyTimer->start();
}

void AudioBookPlayer::aboutToQuit()
{
    qCDebug(lcPlayers) << Q_FUNC_INFO;
    disconnect(d->messages, nullptr, this, nullptr);
    d->disconnectKeys();
    d->messages->stop();
    d->notifier->stopNotify();
    d->input->setEnabled(false);
    d->input->setAutoRepeat(false);
    d->standbyTimer->stop();
    d->sleepTimer->stop();
    d->stopPlayer();
    Q_EMIT quitSystemSettings();
    Q_EMIT quit();
}

void AudioBookPlayer::keyPressEvent(int key)
{
    d->afterMessageAction = ResumePaused;
    d->input->setAutoRepeat(false);
    d->lastHeld = BUTTON_NONE;
    switch (key) {
    case BUTTON_POWER:
    case BUTTON_SLEEP_MENU:
    case BUTTON_REWIND:
    case BUTTON_FAST_FORWARD:
    case BUTTON_PLAY_STOP:
        d->beep->play();
        break;
    case BUTTON_EJECT:
        if (d->info->isActive())
            return;
        if (!d->discInDrive()) {
            if (d->playing()) {
                d->doubleBeep->play();
            } else {
                d->notifier->stopNotify();
                d->say({Message::eject, Message::cd_not_detectable});
            }
        } else if (d->book.mediaType() == 1) {
            // The book itself leaves with the disc.
            d->input->setEnabled(false);
            d->closePlayer();
            d->notifier->stopNotify();
            d->messages->play(Message::eject, true);
            Q_EMIT ejectCdAndQuit();
        } else {
            if (d->playing())
                d->beep->play();
            else
                d->say({Message::eject});
            Q_EMIT ejectCd();
        }
        break;
    case BUTTON_PITCH_UP:
    case BUTTON_PITCH_DOWN: {
        if (d->info->isActive())
            return;
        d->audioSettings->changePitch(key == BUTTON_PITCH_UP ? 1 : -1);
        const int pitch = d->audioSettings->pitch();
        if (d->playing()) {
            d->player->changePitch(pitch);
            if (pitch == 0)
                d->normalBeep->play();
            else if (qAbs(pitch) == kPitchEnd)
                d->doubleBeep->play();
            else
                d->beep->play();
        } else {
            d->notifier->stopNotify();
            QStringList words{Message::pitch};
            if (pitch < 0)
                words << Message::minus;
            d->say(words << QString::number(qAbs(pitch)));
        }
        break;
    }
    case BUTTON_SPEED_UP:
    case BUTTON_SPEED_DOWN: {
        if (d->info->isActive())
            return;
        d->input->setEnabled(false);
        d->audioSettings->changeTempo(key == BUTTON_SPEED_UP ? 1 : -1);
        const int speed = d->audioSettings->speed();
        if (d->playing()) {
            d->player->changeTempo(d->audioSettings->tempo());
            if (speed == 0)
                d->normalBeep->play();
            else if (speed == kSpeedLowest || speed == kSpeedHighest)
                d->doubleBeep->play();
            else
                d->beep->play();
        } else {
            QStringList words{Message::speed};
            if (speed < 0)
                words << Message::minus;
            d->say(words << QString::number(qAbs(speed)));
        }
        d->input->setEnabled(true);
        break;
    }
    default:
        break;
    }
}

void AudioBookPlayer::keyReleaseEvent(int key)
{
    d->input->setAutoRepeat(false);
    switch (key) {
    case BUTTON_POWER:
        if (d->info->isActive())
            return;
        d->messages->stop();
        d->notifier->batteryStatus();
        break;
    case BUTTON_SLEEP_MENU:
        if (d->info->isActive())
            return;
        if (d->playing())
            d->player->pause();
        d->notifier->stopNotify();
        d->messages->append(Message::sleep_timer, true);
        d->stepSleepTimer();
        // The pause ends with the answer (afterMessageAction 0).
        d->messages->playMessages();
        break;
    case BUTTON_VOLUME_UP:
    case BUTTON_VOLUME_DOWN: {
        const int volume = d->audioSettings->changeVolume(key == BUTTON_VOLUME_UP ? 1 : -1);
        if (volume < 0)
            d->alarmBeep->play();
        else if (volume == kVolumeEdgeLow || volume == kVolumeEdgeHigh)
            d->doubleBeep->play();
        else if (volume >= d->audioSettings->volumeMaxRS1Level())
            d->beep->play();
        else if (!d->playing())
            d->tickBeep->play();
        break;
    }
    case BUTTON_REWIND:
    case BUTTON_FAST_FORWARD:
        d->windRelease(key);
        break;
    case BUTTON_PLAY_STOP:
        if (d->info->isActive())
            d->info->stop();
        d->notifier->stopNotify();
        d->messages->stop();
        if (d->playing()) {
            d->player->stop();
            d->standbyTimer->start();
        } else {
            d->player->play();
            d->standbyTimer->stop();
        }
        d->afterMessageAction = ResumePaused;
        break;
    default:
        break;
    }
}

void AudioBookPlayer::keyHoldEvent(int key)
{
    d->afterMessageAction = ResumePaused;
    d->lastHeld = key;
    switch (key) {
    case BUTTON_POWER:
        d->input->setEnabled(false);
        d->messages->stop();
        d->info->stop();
        d->closePlayer();
        d->sleepTimer->stop();
        d->standbyTimer->stop();
        Delay::msec(500);
        Q_EMIT shutdown();
        break;
    case BUTTON_SLEEP_MENU:
        if (d->info->isActive())
            return;
        d->notifier->stopNotify();
        d->messages->stop();
        if (d->playing())
            d->info->start(d->player.get());
        else
            QTimer::singleShot(Platform::scaledMsec(10), this, &AudioBookPlayer::runSystemSettings);
        break;
    case BUTTON_REWIND:
    case BUTTON_FAST_FORWARD:
        if (d->info->isActive()) {
            d->info->stop();
            d->player->play();
        }
        d->input->setReleaseEnabled(true);
        if (d->playing() || AudioBookPlayerPrivate::navigationMode() == 1)
            d->timeSeek(direction(key), true);
        else
            d->stepNavigation(direction(key));
        break;
    case BUTTON_PLAY_STOP:
        if (d->info->isActive())
            return;
        // Back to the beginning of the book, silent and paused until the answer ends.
        if (d->playing())
            d->player->stop();
        d->player->mute(true);
        d->player->resetResumeMark();
        d->player->setResume(false);
        d->player->play();
        d->player->setResume(true);
        d->player->pause();
        d->standbyTimer->stop();
        d->say({Message::start_of_book});
        break;
    default:
        break;
    }
}

void AudioBookPlayer::keyRepeatEvent(int key)
{
    if (key != BUTTON_REWIND && key != BUTTON_FAST_FORWARD)
        return;
    d->input->setAutoRepeat(false);
    if (d->info->isActive())
        d->info->stop();
    if (d->playing() || AudioBookPlayerPrivate::navigationMode() == 1)
        d->timeSeek(direction(key), !d->playing());
    else
        d->stepNavigation(direction(key));
}

void AudioBookPlayer::messagesFinished()
{
    if (!d->player)
        return;
    switch (d->afterMessageAction) {
    case ResumePaused:
        if (d->playing())
            d->player->unpause();
        d->player->mute(false);
        break;
    case PlayAfterStartOfBook:
        d->afterMessageAction = ResumePaused;
        if (!d->playing()) {
            d->player->play();
            d->standbyTimer->stop();
        }
        break;
    case EndOfFastSeek:
    case EndOfSlowSeek:
        d->afterMessageAction = ResumePaused;
        if (!d->playing()) {
            d->player->play();
            d->standbyTimer->stop();
        }
        d->player->mute(false);
        d->input->setAutoRepeat(true);
        break;
    case EndOfLevelAnnouncement:
        d->afterMessageAction = ResumePaused;
        d->input->setAutoRepeat(true);
        break;
    default:
        break;
    }
}

void AudioBookPlayer::notifierStarted()
{
    d->messages->stop();
    if (d->afterMessageAction == ResumePaused && d->playing())
        d->player->pause();
}

void AudioBookPlayer::playerFinished()
{
    // A book whose files went from under it has not ended: its medium went,
    // and the removal that follows stops the player with the stored place kept.
    if (MediaClass::bookVanished(d->book))
        return;
    d->notifier->stopNotify();
    d->say({Message::end_of_book});
    d->standbyTimer->start();
}

void AudioBookPlayer::sleepTimerWarning()
{
    if (d->playing())
        d->player->pause();
    d->notifier->stopNotify();
    d->say({Message::sleep_timer, Message::time_remaining, QString::number(d->sleepTimer->warningTime()), Message::minute});
}

void AudioBookPlayer::sleepTimerTimeout()
{
    d->input->setEnabled(false);
    d->messages->stop();
    d->closePlayer();
    Q_EMIT shutdown();
}

void AudioBookPlayer::standbyTimerTimeout()
{
    d->input->setEnabled(false);
    d->doubleBeep->play();
    Q_EMIT shutdown();
}

void AudioBookPlayer::runSystemSettings()
{
    d->disconnectKeys();
    d->standbyTimer->stop();
    d->messages->stop();
    d->input->setEnabled(false);
    auto *menu = new SystemSettings(d->audioSettings, d->input);
    menu->setMediaPlayer(d->player ? d->player->mediaPlayer() : nullptr);
    connect(menu, &SystemSettings::shutdown, this, &AudioBookPlayer::shutdown, Qt::QueuedConnection);
    connect(menu, &SystemSettings::finished, this, &AudioBookPlayer::runIdle, Qt::QueuedConnection);
    connect(menu, &SystemSettings::quitToBookshelf, this, &AudioBookPlayer::quitToBookshelf, Qt::QueuedConnection);
    for (auto signal : {&SystemSettings::shutdown, &SystemSettings::finished, &SystemSettings::quitToBookshelf})
        connect(menu, signal, menu, &QObject::deleteLater);
    connect(this, &AudioBookPlayer::quitSystemSettings, menu, &QObject::deleteLater);
    menu->run();
}
