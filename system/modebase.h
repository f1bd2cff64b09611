// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_SYSTEM_MODEBASE_H
#define QUIMBO_SYSTEM_MODEBASE_H

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class AudioSettings;
class Input;
class Messages;
class TimerClass;

/**
 * What every mode of the device (main mode, bookshelf, player, settings menu,
 * manual, idle) shares, written once:
 *
 * - the keys: a mode declares its key table with onKey()/onKeys(); the base
 *   connects the key input while the mode holds the keys (takeKeys() /
 *   releaseKeys()). Exactly one mode holds them at a time: a mode that takes
 *   them from another ends that one (keysTakenAway()).
 * - the standby timer: 30 minutes, armed whenever the holder is stopped and
 *   silent, disarmed while its audio plays, started again by every key.
 * - the sleep timer: one for the device, so a timer set in one book goes on
 *   across the shelf, the menu and the next book; its warning and its end
 *   reach whichever mode holds the keys.
 * - spoken answers (say()): an answer may pause or mute the mode's audio;
 *   every way out of the answer (its end, a new answer, stopAnswer(), the
 *   notifier) lifts them, and only an answer that ends by itself runs its
 *   follow-up.
 * - the notifier: its speech pauses the mode's audio, its end resumes it.
 * - pitch and speed go to the engine again whenever it resumes, since an
 *   engine that is paused ignores them.
 *
 * Main thread. The modes' own signals stay theirs; shutdown() is shared.
 */
class ModeBase : public QObject
{
    Q_OBJECT

public:
    enum KeyEvent { Press, Release, Hold, Repeat };
    Q_ENUM(KeyEvent)

    /** Whether the standby timer runs while this mode holds the keys. */
    enum class Standby { WhenSilent, Never };

    static constexpr int StandbySeconds = 1800;
    static constexpr int SleepWarningSeconds = 60;
    static constexpr int SleepStepSeconds = 900;
    static constexpr int SleepMaxSeconds = 3600;

    ~ModeBase() override;

    /** "main", "shelf", "player", "menu", "manual" or "idle". */
    QString modeName() const { return m_name; }
    bool holdsKeys() const { return s_holder == this; }
    /** The mode that holds the keys, or null between modes. */
    static ModeBase *keyHolder() { return s_holder; }

    /** Whether the mode's audio (a book, the manual) plays; paused for an answer counts as playing. */
    virtual bool audioPlaying() const { return false; }
    /** Whether the mode's audio is silenced for a spoken answer. */
    bool audioMuted() const { return m_muted; }
    bool answering() const;

    /** Whether the mode holding the keys makes the device look switched off (idle mode). */
    static bool deviceSeemsOff();
    /** Seconds until the standby switch-off, -1 while it is not armed. */
    static int standbyLeft();
    /** Seconds until the sleep timer switches the device off, -1 while it is off. */
    static int sleepLeft();
    /** The device's sleep timer (warning 60 s before its end). */
    static TimerClass *sleepTimer();
    /** The device's standby timer; it runs only while some mode holds the keys. */
    static TimerClass *standbyTimer();

Q_SIGNALS:
    void shutdown();
    /** Another mode took the keys without a hand-over. */
    void keysLost();

protected:
    ModeBase(const QString &name, Input *input, AudioSettings *audioSettings, QObject *parent = nullptr);

    using Action = std::function<void(int key)>;
    /** One row of the key table: what @p event of @p key does while the mode holds the keys. */
    void onKey(KeyEvent event, int key, Action action);
    void onKeys(KeyEvent event, const QList<int> &keys, const Action &action);
    /** Every key of the device, power button to play/stop. */
    static QList<int> allKeys();
    /** The pitch and speed keys. */
    static QList<int> settingKeys();
    /** A key's direction: 1 for fast forward and the up keys (knob, pitch, speed), else -1. */
    static int step(int key);
    void setStandby(Standby standby) { m_standby = standby; }
    /** While this mode holds the keys the device looks switched off: no standby, no sounds. */
    void setSeemsOff(bool seemsOff) { m_seemsOff = seemsOff; }

    /** Takes the keys (enabled, auto-repeat off) and the notifier; another holder loses them. */
    void takeKeys();
    /** Hands the keys back: disconnected, disabled, auto-repeat off; the standby timer stops. */
    void releaseKeys();
    /** Arms or disarms the standby timer after the audio started or stopped by itself. */
    void updateStandby();
    /**
     * Another mode took the keys: the mode must not act on anything any more.
     * The default releases the audio and emits keysLost().
     */
    virtual void keysTakenAway();

    struct Answer {
        bool pause = false; ///< pause the audio while the answer is spoken, if it plays
        bool paused = false; ///< the mode paused the audio for the answer
        bool muted = false; ///< the mode muted the audio for the answer
        std::function<void()> then; ///< after the answer ended by itself
    };
    /** Speaks the words as one utterance; a running answer is cut short first. */
    void say(const QStringList &words, Answer answer);
    void say(const QStringList &words);
    /** Cuts the current answer short: the audio is unmuted and resumed, its follow-up dropped. */
    void stopAnswer();
    /** The answer's follow-up is dropped; its pause and mute are still lifted when it ends. */
    void dropFollowUp();
    /** Stops the notifier's speech, resuming audio it paused. */
    void stopNotifier();
    Messages *messages() const { return m_messages; }
    AudioSettings *audioSettings() const { return m_audioSettings; }
    Input *input() const { return m_input; }
    static void playSound(const QString &name);

    // The answers the modes share.
    void answerBatteryStatus();
    /** The knob: the volume answer; the tick is left out while audio plays. */
    void answerVolume(int delta, const QString &upperRangeSound = QStringLiteral("beep"));
    enum Setting { Pitch, Speed };
    /** Pitch or speed one step: beeps while audio plays (answersWithBeeps()), else spoken. */
    void answerSetting(Setting setting, int delta);
    /** A pitch or speed key (settingKeys()): that setting one step its way. */
    void answerSettingKey(int key);
    /** The sleep key: 15, 30, 45, 60 minutes, off, spoken with the audio paused. */
    void stepSleepTimer();

    // What a mode with audio does for the base.
    virtual bool answersWithBeeps() const { return audioPlaying(); }
    virtual void pauseAudio() { }
    virtual void unpauseAudio() { }
    virtual void muteAudio(bool muted) { Q_UNUSED(muted) }
    /** A new pitch or tempo for the audio, playing or paused. */
    virtual void applyPitch(int pitch) { Q_UNUSED(pitch) }
    virtual void applyTempo(double tempo) { Q_UNUSED(tempo) }
    /** Stops the audio where it is (the place kept) before the device switches off. */
    virtual void stopAudio() { }

    /** Sleep timer warning: pauses the audio and says one minute is left. */
    virtual void sleepWarning();
    /** Sleep timer end and standby end: silent, keys off, shutdown(). */
    virtual void sleepExpired();
    virtual void standbyExpired();

private:
    void dispatch(KeyEvent event, int key);
    void answerEnded();
    void endAnswer(bool byItself);
    void rememberSettings();
    void pause();
    void resume();
    void notifierStarted();
    void notifierFinished();

    static ModeBase *s_holder;

    QString m_name;
    Input *m_input;
    AudioSettings *m_audioSettings;
    Messages *m_messages;
    Standby m_standby = Standby::WhenSilent;
    bool m_seemsOff = false;
    QHash<int, Action> m_keyTable; // by event * 65536 + key
    QList<QMetaObject::Connection> m_keyConnections;
    bool m_answering = false;
    Answer m_answer;
    bool m_muted = false;
    bool m_pausedForAnswer = false;
    bool m_pausedForNotifier = false;
    // What the audio was paused with: a change meanwhile is applied as it resumes.
    int m_pausedPitch = 0;
    double m_pausedTempo = 1.0;
};

#endif
