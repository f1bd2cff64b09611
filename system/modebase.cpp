// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/modebase.h"

#include "audio/audiosettings.h"
#include "input/input.h"
#include "input/keys.h"
#include "platform/platform.h"
#include "speech/messages.h"
#include "system/logcategory.h"
#include "system/notifier.h"
#include "system/sound.h"
#include "system/soundmanager.h"
#include "system/timerclass.h"

#include <QDebug>
#include <QTimer>

#include <cstdlib>
#include <utility>

ModeBase *ModeBase::s_holder = nullptr;

namespace {

// The sleep timer ran out while no mode held the keys: the next holder ends the visit.
bool s_sleepExpiredUnheld = false;

int rowOf(ModeBase::KeyEvent event, int key)
{
    return int(event) * 65536 + key;
}

// Seconds of device time left on a countdown, -1 when it does not run.
int secondsLeft(const TimerClass *timer)
{
    return timer->isActive() ? timer->remainingSeconds() : -1;
}

// A countdown of the whole device, shown in the simulator's status as @p field.
// It lives as long as the process: the device's timers outlast every mode.
TimerClass *deviceTimer(const QString &field, const std::function<void()> &expired)
{
    auto *timer = new TimerClass;
    timer->publishStatus(field);
    QObject::connect(timer, &TimerClass::timeout, timer, expired);
    return timer;
}

} // namespace

ModeBase::ModeBase(const QString &name, Input *input, AudioSettings *audioSettings, QObject *parent)
    : QObject(parent)
    , m_name(name)
    , m_input(input)
    , m_audioSettings(audioSettings)
    , m_messages(new Messages(this))
{
    connect(m_messages, &Messages::finished, this, &ModeBase::answerEnded);
}

ModeBase::~ModeBase()
{
    if (holdsKeys()) {
        for (const QMetaObject::Connection &connection : std::as_const(m_keyConnections))
            disconnect(connection);
        s_holder = nullptr;
        standbyTimer()->stop();
    }
}

TimerClass *ModeBase::sleepTimer()
{
    static TimerClass *timer = [] {
        TimerClass *sleep = deviceTimer(QStringLiteral("sleep"), [] {
            qCDebug(lcSystem).noquote() << "[ModeBase] sleep timer expired in" << (s_holder ? s_holder->modeName() : QStringLiteral("no mode"));
            if (s_holder)
                s_holder->sleepExpired();
            else
                s_sleepExpiredUnheld = true;
        });
        sleep->setWarningTime(SleepWarningSeconds);
        QObject::connect(sleep, &TimerClass::timeoutWarning, sleep, [] {
            if (s_holder)
                s_holder->sleepWarning();
        });
        return sleep;
    }();
    return timer;
}

TimerClass *ModeBase::standbyTimer()
{
    static TimerClass *timer = [] {
        TimerClass *standby = deviceTimer(QStringLiteral("standby"), [] {
            if (s_holder)
                s_holder->standbyExpired();
        });
        standby->setTime(StandbySeconds);
        return standby;
    }();
    return timer;
}

int ModeBase::standbyLeft()
{
    return secondsLeft(standbyTimer());
}

int ModeBase::sleepLeft()
{
    return secondsLeft(sleepTimer());
}

bool ModeBase::answering() const
{
    return m_answering;
}

void ModeBase::onKey(KeyEvent event, int key, Action action)
{
    m_keyTable.insert(rowOf(event, key), std::move(action));
}

void ModeBase::onKeys(KeyEvent event, const QList<int> &keys, const Action &action)
{
    for (int key : keys)
        onKey(event, key, action);
}

QList<int> ModeBase::allKeys()
{
    QList<int> keys;
    for (int key = BUTTON_POWER; key <= BUTTON_PLAY_STOP; ++key)
        keys << key;
    return keys;
}

QList<int> ModeBase::settingKeys()
{
    return {BUTTON_PITCH_UP, BUTTON_PITCH_DOWN, BUTTON_SPEED_UP, BUTTON_SPEED_DOWN};
}

int ModeBase::step(int key)
{
    switch (key) {
    case BUTTON_FAST_FORWARD:
    case BUTTON_VOLUME_UP:
    case BUTTON_PITCH_UP:
    case BUTTON_SPEED_UP:
        return 1;
    default:
        return -1;
    }
}

void ModeBase::takeKeys()
{
    if (s_holder && s_holder != this) {
        ModeBase *previous = s_holder;
        qCWarning(lcSystem).noquote() << "[ModeBase::takeKeys]" << m_name << "takes the keys from" << previous->modeName();
        previous->releaseKeys();
        previous->keysTakenAway();
    }
    for (const QMetaObject::Connection &connection : std::as_const(m_keyConnections))
        disconnect(connection);
    m_keyConnections = {
        connect(m_input, &Input::pressed, this, [this](int key) { dispatch(Press, key); }),
        connect(m_input, &Input::released, this, [this](int key) { dispatch(Release, key); }),
        connect(m_input, &Input::holded, this, [this](int key) { dispatch(Hold, key); }),
        connect(m_input, &Input::repeated, this, [this](int key) { dispatch(Repeat, key); }),
        // Direct: the audio must fall silent before the notifier speaks.
        connect(Notifier::instance(), &Notifier::startNotify, this, &ModeBase::notifierStarted, Qt::DirectConnection),
        connect(Notifier::instance(), &Notifier::finishedNotify, this, &ModeBase::notifierFinished),
    };
    s_holder = this;
    qCDebug(lcSystem).noquote() << "[ModeBase::takeKeys]" << m_name << "holds the keys";
    m_input->setAutoRepeat(false);
    m_input->setEnabled(true);
    standbyTimer()->stop();
    updateStandby();
    if (s_sleepExpiredUnheld) {
        s_sleepExpiredUnheld = false;
        sleepExpired();
    }
}

void ModeBase::releaseKeys()
{
    for (const QMetaObject::Connection &connection : std::as_const(m_keyConnections))
        disconnect(connection);
    m_keyConnections.clear();
    if (!holdsKeys())
        return;
    s_holder = nullptr;
    standbyTimer()->stop();
    m_input->setEnabled(false);
    m_input->setAutoRepeat(false);
}

void ModeBase::keysTakenAway()
{
    stopAnswer();
    stopAudio();
    Q_EMIT keysLost();
}

void ModeBase::updateStandby()
{
    if (!holdsKeys())
        return;
    if (m_standby == Standby::Never || audioPlaying())
        standbyTimer()->stop();
    else
        standbyTimer()->start();
}

void ModeBase::dispatch(KeyEvent event, int key)
{
    if (!holdsKeys())
        return;
    // A reader at the keys is not away: every key counts the 30 minutes anew.
    standbyTimer()->restartTimer();
    if (m_pausedForNotifier && !Notifier::instance()->messages()->isPlaying()) {
        m_pausedForNotifier = false;
        resume();
    }
    const auto row = m_keyTable.constFind(rowOf(event, key));
    if (row != m_keyTable.cend())
        (*row)(key);
    updateStandby();
}

void ModeBase::say(const QStringList &words, Answer answer)
{
    if (words.isEmpty())
        return;
    endAnswer(false);
    if (answer.pause && audioPlaying() && !m_pausedForAnswer && !m_pausedForNotifier) {
        pause();
        answer.paused = true;
    } else if (answer.paused) {
        rememberSettings();
    }
    m_answer = std::move(answer);
    m_pausedForAnswer = m_answer.paused;
    m_muted = m_muted || m_answer.muted;
    m_answering = true;
    m_messages->append(words.first(), true);
    for (qsizetype i = 1; i < words.size(); ++i)
        m_messages->append(words.at(i));
    m_messages->playMessages();
}

void ModeBase::say(const QStringList &words)
{
    say(words, Answer());
}

void ModeBase::stopAnswer()
{
    m_messages->stop();
    endAnswer(false);
}

void ModeBase::dropFollowUp()
{
    m_answer.then = nullptr;
}

void ModeBase::answerEnded()
{
    endAnswer(true);
    updateStandby();
}

void ModeBase::endAnswer(bool byItself)
{
    if (!m_answering)
        return;
    m_answering = false;
    const Answer answer = std::exchange(m_answer, Answer());
    if (m_pausedForAnswer) {
        m_pausedForAnswer = false;
        if (!m_pausedForNotifier)
            resume();
    }
    // Every way out of an answer gives the book its sound back.
    if (m_muted) {
        m_muted = false;
        muteAudio(false);
    }
    if (byItself && answer.then)
        answer.then();
}

void ModeBase::rememberSettings()
{
    if (m_audioSettings) {
        m_pausedPitch = m_audioSettings->pitch();
        m_pausedTempo = m_audioSettings->tempo();
    }
}

void ModeBase::pause()
{
    rememberSettings();
    pauseAudio();
}

void ModeBase::resume()
{
    if (!audioPlaying())
        return;
    // A change made while the audio was paused would otherwise be lost: the
    // engine only takes a new pitch or tempo while it plays.
    if (m_audioSettings && m_audioSettings->pitch() != m_pausedPitch)
        applyPitch(m_audioSettings->pitch());
    if (m_audioSettings && m_audioSettings->tempo() != m_pausedTempo)
        applyTempo(m_audioSettings->tempo());
    unpauseAudio();
}

void ModeBase::notifierStarted()
{
    // The pause of a cut-short answer carries over to the notifier's speech.
    if (audioPlaying() && !m_pausedForNotifier) {
        if (!m_pausedForAnswer)
            pause();
        m_pausedForNotifier = true;
    }
    stopAnswer();
}

void ModeBase::notifierFinished()
{
    if (!m_pausedForNotifier)
        return;
    m_pausedForNotifier = false;
    resume();
    updateStandby();
}

void ModeBase::stopNotifier()
{
    Notifier::instance()->stopNotify();
    if (m_pausedForNotifier) {
        m_pausedForNotifier = false;
        resume();
    }
}

bool ModeBase::deviceSeemsOff()
{
    return s_holder && s_holder->m_seemsOff;
}

void ModeBase::playSound(const QString &name)
{
    // A device that looks switched off makes no sound.
    if (deviceSeemsOff())
        return;
    if (Sound *sound = SoundManager::instance()->effect(name))
        sound->play();
}

void ModeBase::answerBatteryStatus()
{
    stopAnswer();
    Notifier::instance()->batteryStatus();
}

void ModeBase::answerVolume(int delta, const QString &upperRangeSound)
{
    if (!m_audioSettings)
        return;
    const QString answer = SoundManager::volumeAnswer(m_audioSettings->changeVolume(delta), m_audioSettings->volumeMaxRS1Level());
    if (answer == QLatin1String("tickBeep")) {
        // The tick would only disturb a book or manual being read.
        if (!audioPlaying())
            playSound(answer);
    } else {
        playSound(answer == QLatin1String("beep") ? upperRangeSound : answer);
    }
}

void ModeBase::answerSetting(Setting setting, int delta)
{
    if (!m_audioSettings)
        return;
    int value = 0;
    bool atEnd = false;
    if (setting == Pitch) {
        m_audioSettings->changePitch(delta);
        value = m_audioSettings->pitch();
        atEnd = std::abs(value) == 4;
    } else {
        m_audioSettings->changeTempo(delta);
        value = m_audioSettings->speed();
        atEnd = value == AudioSetting::Speed::Lowest || value == AudioSetting::Speed::Highest;
    }
    if (audioPlaying()) {
        if (setting == Pitch)
            applyPitch(value);
        else
            applyTempo(m_audioSettings->tempo());
    }
    if (answersWithBeeps()) {
        playSound(value == 0 ? QStringLiteral("normalBeep") : atEnd ? QStringLiteral("doubleBeep") : QStringLiteral("beep"));
        return;
    }
    stopNotifier();
    QStringList words{setting == Pitch ? Message::pitch : Message::speed};
    if (value < 0)
        words << Message::minus;
    say(words << QString::number(std::abs(value)));
}

void ModeBase::answerSettingKey(int key)
{
    answerSetting(key == BUTTON_PITCH_UP || key == BUTTON_PITCH_DOWN ? Pitch : Speed, step(key));
}

void ModeBase::stepSleepTimer()
{
    TimerClass *timer = sleepTimer();
    const int set = timer->time();
    QStringList words{Message::sleep_timer};
    if (set >= SleepMaxSeconds) {
        timer->stop();
        words << Message::off;
    } else {
        const int next = set - set % SleepStepSeconds + SleepStepSeconds;
        timer->start(next);
        words << QString::number(next / 60) << Message::minutes;
    }
    qCDebug(lcSystem).noquote() << "[ModeBase::stepSleepTimer] sleep timer:" << timer->time() << "s";
    stopNotifier();
    say(words, Answer{true, false, false, nullptr});
}

void ModeBase::sleepWarning()
{
    stopNotifier();
    say({Message::sleep_timer, Message::time_remaining, QString::number(sleepTimer()->warningTime()), Message::minute},
        Answer{true, false, false, nullptr});
}

void ModeBase::sleepExpired()
{
    m_input->setEnabled(false);
    stopAnswer();
    stopAudio();
    releaseKeys();
    Q_EMIT shutdown();
}

void ModeBase::standbyExpired()
{
    qCDebug(lcSystem).noquote().nospace() << "[ModeBase] standby: 30 minutes without a key in " << m_name << ", switching off";
    stopAnswer();
    playSound(QStringLiteral("doubleBeep"));
    releaseKeys();
    // The double beep is heard before the shutdown tune.
    QTimer::singleShot(Platform::scaledMsec(500), this, [this] { Q_EMIT shutdown(); });
}
