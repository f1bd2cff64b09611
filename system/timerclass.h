// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_SYSTEM_TIMERCLASS_H
#define QUIMBO_SYSTEM_TIMERCLASS_H

#include <QObject>
#include <QTimer>

/**
 * A countdown with an optional early warning: every mode's 30-minute standby
 * timer and the user's sleep timer. Lengths are given in seconds and run
 * scaled by Platform::timeScale(), so tests can shorten them.
 */
class TimerClass : public QObject
{
    Q_OBJECT

public:
    explicit TimerClass(QObject *parent = nullptr);
    ~TimerClass() override;

    /** The countdown length; negative or absurdly long values are refused with a log line. */
    void setTime(int seconds);
    /** The length in seconds while the countdown runs, 0 when it does not. */
    int time() const;

    /** How long before the end timeoutWarning() fires; values below 0 are refused. */
    void setWarningTime(int seconds);
    /** The warning lead in whole minutes (rounded down). */
    int warningTime() const;

    /** Starts the countdown unless it already runs; nothing happens while no length is set. */
    void start();
    /** Stops both timers, sets the length and starts. */
    void start(int seconds);
    void stop();

    bool isActive() const;
    /** Device seconds left until timeout(), rounded up; 0 while stopped. */
    int remainingSeconds() const;

    /**
     * Shows the countdown in the simulator's status under field (seconds
     * left, or "off"; "sleep" shows minutes). Nothing on the device.
     */
    void publishStatus(const QString &field);

public Q_SLOTS:
    /** Starts a running countdown again from its full length; a stopped one stays stopped. */
    void restartTimer();

Q_SIGNALS:
    void timeout();
    void timeoutWarning();

private Q_SLOTS:
    // Named apart from QObject::timerEvent(QTimerEvent *), which it would hide.
    void countdownExpired();
    void warningTimerEvent();

private:
    qint64 m_time = 0; // milliseconds
    qint64 m_warningTime = 0; // milliseconds
    QTimer m_timer;
    QTimer m_warningTimer;
};

#endif
