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
#include "players/readerextras.h"
#include "speech/messages.h"
#include "players/ttsaudiobookplayer.h"
#include "system/delay.h"
#include "system/notifier.h"
#include "system/systemsettings.h"

#include <QDebug>
#include <QMetaMethod>
#include <QSettings>
#include <QTimer>

namespace {

constexpr int kShortJumpSeconds = 10;
constexpr int kWindRepeatMsec = 2000;
constexpr int kFastRepeatMsec = 290;

const QString kDaisyPlayer = QStringLiteral("Daisy Player");
const QString kEpubPlayer = QStringLiteral("Epub Player");
const QString kTtsPlayer = QStringLiteral("Tts Player");
const QString kCdPlayer = QStringLiteral("Cdda Player");

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
    if (mimeType == AudioBook::Text)
        return new TtsAudioBookPlayer;
    return nullptr;
}

AudioBookPlayer::PlayerFactory &playerFactory()
{
    static AudioBookPlayer::PlayerFactory factory = createPlayer;
    return factory;
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
    // A book read aloud walks levels and pages like a DAISY book.
    bool isDaisy() const { return playerName() == kDaisyPlayer || playerName() == kTtsPlayer; }
    bool speaksBookEnds() const { return isDaisy() || playerName() == kEpubPlayer; }
    // Only a disc ends as a CD: a folder of MP3 files and an EPUB are books to
    // their reader, whatever the player underneath (the older answers said
    // "end of CD" for every player but the DAISY one).
    QString endPrompt() const { return playerName() == kCdPlayer ? Message::end_of_cd : Message::end_of_book; }
    QString startPrompt() const { return playerName() == kCdPlayer ? Message::begin_of_cd : Message::start_of_book; }
    static int navigationMode() { return QSettings().value(QStringLiteral("navigationMode"), 1).toInt(); }

    void say(const QStringList &words, AudioBookPlayer::Answer answer = AudioBookPlayer::Answer()) { q->say(words, std::move(answer)); }
    void closePlayer();
    /** Plays from where the book stands, unless it plays already. */
    void playIfStopped();
    /** Says that @p audioBook cannot be played; false, for open() to return. */
    bool refuseBook(const AudioBook &audioBook);
    /** Nothing of the book plays (its audio missing or broken): said; the device may switch itself off. */
    void answerPlayFailed();

    void buildKeyTable();
    void eject();
    void windRelease(int key);
    void timeJump(int seconds);
    void timeSeek(int direction, bool restart);
    /** The answer of walkHeading/walkPage when the wind keys are released. */
    void answerWalk(int result);
    /** Hold and repeat of a wind key while stopped in navigation mode 2 or 3. */
    void stepNavigation(int direction);
    /** Hold and repeat of a wind key: a time seek, or the navigation mode's step while stopped. */
    void windHeld(int key, bool restart);
    void restartBook();
    void clickDuringAnnouncement();
    bool discInDrive() const;
    /** The reader's play from the stored place: with the recap after a pause. */
    bool resumePlaying();
    /** Stopped, navigation mode 4: plays from the next or previous bookmark. */
    void walkBookmark(int direction);
    /** The held pitch keys: their press changed the pitch, the hold puts it back and acts on bookmarks. */
    void bookmarkHold(int key);

    AudioBookPlayer *const q;
    AudioBook book;
    AudioBookPlayerInfo *info = nullptr;
    std::unique_ptr<AudioBookPlayerInterface> player;

    // The accelerated seek of a held wind key, kept across its repeats.
    int seekCounter = 0;
    int seekStep = 0; ///< which of the minute jumps comes next
    int seekTime = 5; ///< seconds per step
    int seekWound = 0; ///< seconds the hold has really moved the book, for the announcement
    // Whether the last hold of a wind key wound by time (rather than stepping
    // a level or a page): its release then has nothing more to do.
    bool holdWound = false;

    // The key the reader held last; a press of any key forgets it.
    int lastHeld = BUTTON_NONE;
    int pitchBeforePress = 0;
    // The bookmark set or walked to last: the one a hold of pitch down deletes.
    BookPlace lastBookmark;
    bool hasLastBookmark = false;
};

void AudioBookPlayerPrivate::closePlayer()
{
    if (player) {
        player->stop();
        player->close();
    }
}

void AudioBookPlayerPrivate::playIfStopped()
{
    if (player && !playing() && !player->play())
        answerPlayFailed();
}

bool AudioBookPlayerPrivate::refuseBook(const AudioBook &audioBook)
{
    // The reader hears why nothing plays before the shelf answers again;
    // waited for, since this front end goes away with the refusal.
    qCWarning(lcPlayers).noquote() << "[AudioBookPlayer::open]: the book cannot be played:" << audioBook.url();
    q->messages()->play(Message::failed, true);
    return false;
}

void AudioBookPlayerPrivate::answerPlayFailed()
{
    qCWarning(lcPlayers) << "[AudioBookPlayer]: nothing of the book plays";
    // The track players answer with their track number and move on by themselves.
    if (speaksBookEnds()) {
        q->stopNotifier();
        say({Message::failed});
    }
    q->updateStandby();
}

bool AudioBookPlayerPrivate::discInDrive() const
{
    if (auto *mediaClass = qobject_cast<MediaClass *>(Notifier::instance()->mediaClass())) {
        const int status = mediaClass->cdromStatus();
        // Not ready (still spinning up), an audio CD or a data disc.
        return status == 0 || status == 2 || status == 3;
    }
    return CdRomWorker::diskOk();
}

bool AudioBookPlayerPrivate::resumePlaying()
{
    ReaderExtras::prepareResume(player.get());
    return player->play();
}

void AudioBookPlayerPrivate::walkBookmark(int direction)
{
    BookPlace place;
    const int number = ReaderExtras::walkBookmark(player.get(), direction, &place);
    if (number <= 0) {
        say({Message::no_bookmark});
        return;
    }
    lastBookmark = place;
    hasLastBookmark = true;
    // The book plays from the bookmark once its number has been said.
    say({Message::bookmark, QString::number(number)}, {false, false, false, [this] { playIfStopped(); }});
}

void AudioBookPlayerPrivate::bookmarkHold(int key)
{
    // The 3 x 3 keypad has no free key, and the pitch keys act on press; a
    // hold of them is the least used gesture left. Their press has changed
    // the pitch: the hold puts it back before it acts.
    q->audioSettings()->setPitch(pitchBeforePress);
    ReaderExtras::keepSound(player.get(), q->audioSettings());
    const bool wasPlaying = playing();
    if (wasPlaying)
        player->stop(); // stores the place the bookmark takes
    q->stopNotifier();
    q->stopAnswer();
    QStringList answer;
    if (key == BUTTON_PITCH_UP) {
        BookPlace place;
        const int number = ReaderExtras::addBookmark(player.get(), &place);
        if (number > 0) {
            lastBookmark = place;
            hasLastBookmark = true;
            answer << Message::bookmark << QString::number(number);
        } else {
            answer << (number == ReaderExtras::BookmarksFull ? Message::bookmarks_full : Message::failed);
        }
    } else {
        const int number = hasLastBookmark ? ReaderExtras::deleteBookmark(player.get(), lastBookmark) : 0;
        if (number > 0) {
            hasLastBookmark = false;
            answer << Message::bookmark_deleted << QString::number(number);
        } else {
            answer << Message::no_bookmark;
        }
    }
    if (wasPlaying)
        say(answer, {false, false, false, [this] { playIfStopped(); }});
    else
        say(answer);
    q->updateStandby();
}

void AudioBookPlayerPrivate::timeJump(int seconds)
{
    if (seconds == 0) {
        qCDebug(lcPlayers).nospace() << Q_FUNC_INFO << ": 0 seconds jump not possible";
        return;
    }
    const int result = seconds > 0 ? player->fastForward(seconds) : player->rewind(seconds);
    if (result == AudioBookPlayerInterface::EndOfBook) {
        q->stopNotifier();
        say({endPrompt()});
    } else if (result == AudioBookPlayerInterface::BeginOfBook) {
        say({startPrompt()});
    }
}

void AudioBookPlayerPrivate::timeSeek(int direction, bool restart)
{
    Input *input = q->input();
    if (restart || seekCounter < 12) {
        seekCounter = restart ? 1 : seekCounter + 1;
        seekStep = 0;
        if (restart)
            seekWound = 0;
        seekTime = 5;
        input->setAutoRepeatTime(kFastRepeatMsec);
    } else if (seekCounter == 12) {
        seekCounter = 13;
        seekStep = 1;
        seekTime = 60;
        input->setAutoRepeatTime(kWindRepeatMsec);
    } else if (seekCounter == 13) {
        seekCounter = 14;
        seekStep = 2;
        seekTime = 180;
    } else {
        seekStep += seekStep == 2 ? 3 : 5;
        seekTime = 300;
    }
    qCDebug(lcPlayers) << "step:" << seekStep << "restart:" << restart << "counter:" << seekCounter << "seekTime:" << seekTime;
    const int result = direction > 0 ? player->fastForward(seekTime) : player->rewind(-seekTime);
    switch (result) {
    case AudioBookPlayerInterface::Done:
        seekWound += seekTime;
        if (seekStep > 0) {
            // The minutes the book has really moved, the 5-s steps before
            // the first minute jump included: a reader who hears "5 minutes"
            // is 5 minutes further on.
            QStringList words;
            const int wound = seekWound / 60;
            const int hours = wound / 60;
            const int minutes = wound % 60;
            if (hours > 0)
                words << QString::number(hours) << Message::hour;
            words << QString::number(minutes) << (minutes == 1 ? Message::minute : Message::minutes);
            // Read on from where the seek got to once the minutes are said.
            say(words, {false, false, false, [this] {
                    playIfStopped();
                    q->input()->setAutoRepeat(true);
                }});
        }
        input->setAutoRepeat(true);
        break;
    case AudioBookPlayerInterface::Refused:
    case AudioBookPlayerInterface::NoBook:
        input->setAutoRepeat(true);
        break;
    case AudioBookPlayerInterface::BeginOfBook:
        say({startPrompt()}, {false, false, false, [this] { playIfStopped(); }});
        break;
    case AudioBookPlayerInterface::EndOfBook:
        say({endPrompt()});
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
    } else if (result == AudioBookPlayerInterface::BeginOfBook) {
        // The reader went back past the first heading: the book starts once that is said.
        if (speaksBookEnds())
            say({Message::start_of_book}, {false, false, false, [this] { playIfStopped(); }});
        else
            playIfStopped();
    }
}

void AudioBookPlayerPrivate::windRelease(int key)
{
    const int d = AudioBookPlayer::step(key);
    if (info->isActive()) {
        info->stop();
        player->play();
    }
    q->stopNotifier();
    q->input()->setAutoRepeatTime(kWindRepeatMsec);
    const bool held = lastHeld == key;
    if (held && (playing() || holdWound)) {
        // The hold has already moved the book. When it reached an end the
        // player has stopped and said so: the release adds no jump and no
        // second answer, and the end's answer is left to finish.
        if (playing())
            q->stopAnswer();
        return;
    }
    if (playing()) {
        q->stopAnswer();
        timeJump(kShortJumpSeconds * d);
        return;
    }
    const QString name = playerName();
    int result = AudioBookPlayerInterface::Done;
    switch (navigationMode()) {
    case 1:
        q->stopAnswer();
        timeJump(kShortJumpSeconds * d);
        return;
    case 2:
        if (held)
            return;
        q->stopAnswer();
        if (speaksBookEnds()) {
            result = player->walkHeading(d);
        } else {
            say({QString::number(player->changeTrackNumber(d))});
            return;
        }
        break;
    case 3:
        q->stopAnswer();
        if (isDaisy()) {
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
    case 4:
        // Bookmarks: a mode of its own, so that no key changes its meaning.
        if (held)
            return;
        q->stopAnswer();
        walkBookmark(d);
        return;
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
        say({Message::level, QString::number(player->level())}, {false, false, false, [this] { q->input()->setAutoRepeat(true); }});
        break;
    case 3:
        switch (player->walkPage(direction, false)) {
        case AudioBookPlayerInterface::Done:
            AudioBookPlayer::playSound(QStringLiteral("beep"));
            q->input()->setAutoRepeat(true);
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

void AudioBookPlayerPrivate::windHeld(int key, bool restart)
{
    if (playing() || navigationMode() == 1)
        timeSeek(AudioBookPlayer::step(key), restart);
    else
        stepNavigation(AudioBookPlayer::step(key));
}

void AudioBookPlayerPrivate::eject()
{
    if (info->isActive()) {
        clickDuringAnnouncement();
        return;
    }
    if (!discInDrive()) {
        if (playing()) {
            AudioBookPlayer::playSound(QStringLiteral("doubleBeep"));
        } else {
            q->stopNotifier();
            say({Message::eject, Message::cd_not_detectable});
        }
    } else if (book.mediaType() == 1) {
        // The book itself leaves with the disc.
        q->releaseKeys();
        closePlayer();
        q->stopNotifier();
        q->messages()->play(Message::eject, true);
        Q_EMIT q->ejectCdAndQuit();
    } else {
        if (playing())
            AudioBookPlayer::playSound(QStringLiteral("beep"));
        else
            say({Message::eject});
        Q_EMIT q->ejectCd();
    }
}

// The keys the position announcement ignores still click, as the others do:
// a key that makes no sound at all leaves the reader unsure it was pressed.
void AudioBookPlayerPrivate::clickDuringAnnouncement()
{
    AudioBookPlayer::playSound(QStringLiteral("beep"));
}

void AudioBookPlayerPrivate::restartBook()
{
    if (info->isActive())
        return;
    // Back to the beginning of the book, silent and paused until the answer ends.
    if (playing())
        player->stop();
    player->mute(true);
    player->resetResumeMark();
    player->setResume(false);
    player->play();
    player->setResume(true);
    player->pause();
    say({Message::start_of_book}, {false, true, true, nullptr});
}

void AudioBookPlayerPrivate::buildKeyTable()
{
    using Key = AudioBookPlayer;
    // A press or a hold is a new request: what an answer was to do after it is dropped.
    q->onKeys(Key::Press, AudioBookPlayer::allKeys(), [this](int) {
        q->dropFollowUp();
        q->input()->setAutoRepeat(false);
        lastHeld = BUTTON_NONE;
    });
    q->onKeys(Key::Press, {BUTTON_POWER, BUTTON_SLEEP_MENU, BUTTON_REWIND, BUTTON_FAST_FORWARD, BUTTON_PLAY_STOP}, [this](int) {
        q->dropFollowUp();
        q->input()->setAutoRepeat(false);
        lastHeld = BUTTON_NONE;
        AudioBookPlayer::playSound(QStringLiteral("beep"));
    });
    q->onKey(Key::Press, BUTTON_EJECT, [this](int) {
        q->dropFollowUp();
        q->input()->setAutoRepeat(false);
        lastHeld = BUTTON_NONE;
        eject();
    });
    q->onKeys(Key::Press, AudioBookPlayer::settingKeys(), [this](int key) {
        q->dropFollowUp();
        q->input()->setAutoRepeat(false);
        lastHeld = BUTTON_NONE;
        if (info->isActive()) {
            clickDuringAnnouncement();
            return;
        }
        if (key == BUTTON_PITCH_UP || key == BUTTON_PITCH_DOWN)
            pitchBeforePress = q->audioSettings()->pitch();
        q->answerSettingKey(key);
        ReaderExtras::keepSound(player.get(), q->audioSettings());
    });

    q->onKeys(Key::Release, AudioBookPlayer::allKeys(), [this](int) { q->input()->setAutoRepeat(false); });
    q->onKey(Key::Release, BUTTON_POWER, [this](int) {
        q->input()->setAutoRepeat(false);
        if (!info->isActive())
            q->answerBatteryStatus();
    });
    q->onKey(Key::Release, BUTTON_SLEEP_MENU, [this](int) {
        q->input()->setAutoRepeat(false);
        if (!info->isActive())
            q->stepSleepTimer();
    });
    q->onKeys(Key::Release, {BUTTON_VOLUME_UP, BUTTON_VOLUME_DOWN}, [this](int key) {
        q->input()->setAutoRepeat(false);
        q->answerVolume(AudioBookPlayer::step(key));
    });
    q->onKeys(Key::Release, {BUTTON_REWIND, BUTTON_FAST_FORWARD}, [this](int key) {
        q->input()->setAutoRepeat(false);
        windRelease(key);
    });
    q->onKey(Key::Release, BUTTON_PLAY_STOP, [this](int) {
        q->input()->setAutoRepeat(false);
        if (info->isActive())
            info->stop();
        q->stopNotifier();
        q->stopAnswer();
        if (playing())
            player->stop();
        else if (!resumePlaying())
            answerPlayFailed();
    });

    q->onKeys(Key::Hold, AudioBookPlayer::allKeys(), [this](int key) {
        q->dropFollowUp();
        lastHeld = key;
    });
    q->onKey(Key::Hold, BUTTON_POWER, [this](int) {
        q->releaseKeys();
        q->stopAnswer();
        info->stop();
        closePlayer();
        Delay::msec(500);
        Q_EMIT q->shutdown();
    });
    q->onKey(Key::Hold, BUTTON_SLEEP_MENU, [this](int key) {
        q->dropFollowUp();
        lastHeld = key;
        if (info->isActive())
            return;
        q->stopNotifier();
        q->stopAnswer();
        if (playing())
            info->start(player.get());
        else
            QTimer::singleShot(Platform::scaledMsec(10), q, &AudioBookPlayer::runSystemSettings);
    });
    q->onKeys(Key::Hold, {BUTTON_REWIND, BUTTON_FAST_FORWARD}, [this](int key) {
        q->dropFollowUp();
        lastHeld = key;
        if (info->isActive()) {
            info->stop();
            player->play();
        }
        q->input()->setReleaseEnabled(true);
        holdWound = playing() || navigationMode() == 1;
        windHeld(key, true);
    });
    q->onKeys(Key::Hold, {BUTTON_PITCH_UP, BUTTON_PITCH_DOWN}, [this](int key) {
        q->dropFollowUp();
        lastHeld = key;
        if (!info->isActive())
            bookmarkHold(key);
    });
    q->onKey(Key::Hold, BUTTON_PLAY_STOP, [this](int key) {
        q->dropFollowUp();
        lastHeld = key;
        restartBook();
    });

    q->onKeys(Key::Repeat, {BUTTON_REWIND, BUTTON_FAST_FORWARD}, [this](int key) {
        q->input()->setAutoRepeat(false);
        if (info->isActive())
            info->stop();
        windHeld(key, !playing());
    });
}

AudioBookPlayerInterface *AudioBookPlayer::bookPlayer() const
{
    return d->player.get();
}

void AudioBookPlayer::setPlayerFactory(PlayerFactory factory)
{
    playerFactory() = factory ? std::move(factory) : PlayerFactory(createPlayer);
}

AudioBookPlayer::AudioBookPlayer(AudioSettings *audioSettings, Input *input, QObject *parent)
    : ModeBase(QStringLiteral("player"), input, audioSettings, parent)
    , d(std::make_unique<AudioBookPlayerPrivate>(this))
{
    d->info = new AudioBookPlayerInfo(this);
    d->buildKeyTable();
    input->setEnabled(false);
    input->setAutoRepeat(false);
    // For the simulator's status: the book by kind and url, the engine's state and muting.
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
}

AudioBookPlayer::~AudioBookPlayer()
{
    releaseKeys();
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
    case AudioBook::Text:
        qCDebug(lcPlayers).nospace() << Q_FUNC_INFO << ": book read aloud";
        break;
    default:
        qCDebug(lcPlayers).nospace() << Q_FUNC_INFO << ": unsupported audiobook";
        return d->refuseBook(audioBook);
    }
    d->player.reset(playerFactory()(audioBook.mimeType()));
    if (!d->player) {
        qCWarning(lcPlayers).nospace() << Q_FUNC_INFO << ": no player for mime type " << int(audioBook.mimeType());
        return d->refuseBook(audioBook);
    }
    if (!d->player->open(audioBook.url())) {
        d->player.reset();
        return d->refuseBook(audioBook);
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
    ReaderExtras::restoreSound(d->player.get(), audioSettings());
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
        messages()->play(Message::track, true);
        messages()->play(QString::number(d->player->trackNumber()), true);
    }
    const bool playing = d->resumePlaying();
    takeKeys();
    if (!playing)
        d->answerPlayFailed();
}

void AudioBookPlayer::runIdle()
{
    if (!d->player) {
        qCDebug(lcPlayers).nospace() << Q_FUNC_INFO << ": no player opened";
        Q_EMIT quit();
        return;
    }
    takeKeys();
}

void AudioBookPlayer::aboutToQuit()
{
    qCDebug(lcPlayers) << Q_FUNC_INFO;
    releaseKeys();
    stopAnswer();
    stopNotifier();
    if (d->player)
        d->player->stop();
    Q_EMIT quitSystemSettings();
    Q_EMIT quit();
}

void AudioBookPlayer::ejectFailed()
{
    qCDebug(lcPlayers) << Q_FUNC_INFO;
    if (keyHolder() != this)
        return;
    stopNotifier();
    Answer answer;
    answer.pause = true;
    say({Message::eject, Message::failed}, answer);
}

bool AudioBookPlayer::audioPlaying() const
{
    return d->playing();
}

void AudioBookPlayer::pauseAudio()
{
    d->player->pause();
}

void AudioBookPlayer::unpauseAudio()
{
    d->player->unpause();
}

void AudioBookPlayer::muteAudio(bool muted)
{
    d->player->mute(muted);
}

void AudioBookPlayer::applyPitch(int pitch)
{
    d->player->changePitch(pitch);
    // A paused engine takes the pitch for when it goes on.
    if (VlcMediaPlayer *engine = d->player->mediaPlayer())
        engine->setPitch(float(pitch));
}

void AudioBookPlayer::applyTempo(double tempo)
{
    d->player->changeTempo(tempo);
    if (VlcMediaPlayer *engine = d->player->mediaPlayer())
        engine->setTempo(float(tempo));
}

void AudioBookPlayer::stopAudio()
{
    d->info->stop();
    d->closePlayer();
}

void AudioBookPlayer::keysTakenAway()
{
    // Whatever took the keys ends the book's visit; its place is stored.
    aboutToQuit();
}

void AudioBookPlayer::playerFinished()
{
    // A book whose files went from under it has not ended: its medium went,
    // and the removal that follows stops the player with the stored place kept.
    if (MediaClass::bookVanished(d->book))
        return;
    stopNotifier();
    say({Message::end_of_book});
    updateStandby();
}

void AudioBookPlayer::runSystemSettings()
{
    releaseKeys();
    stopAnswer();
    auto *menu = new SystemSettings(audioSettings(), input());
    menu->setMediaPlayer(d->player ? d->player->mediaPlayer() : nullptr);
    connect(menu, &SystemSettings::shutdown, this, &AudioBookPlayer::shutdown, Qt::QueuedConnection);
    connect(menu, &SystemSettings::finished, this, &AudioBookPlayer::runIdle, Qt::QueuedConnection);
    connect(menu, &SystemSettings::quitToBookshelf, this, &AudioBookPlayer::quitToBookshelf, Qt::QueuedConnection);
    // The menu lost the keys to another mode: the book's visit is over too.
    connect(menu, &SystemSettings::keysLost, this, &AudioBookPlayer::aboutToQuit, Qt::QueuedConnection);
    for (auto signal : std::initializer_list<void (SystemSettings::*)()>{&SystemSettings::shutdown, &SystemSettings::finished, &SystemSettings::quitToBookshelf})
        connect(menu, signal, menu, &QObject::deleteLater);
    connect(this, &AudioBookPlayer::quitSystemSettings, menu, &QObject::deleteLater);
    menu->run();
}
