// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_SYSTEM_RUNTIMERCLASS_H
#define QUIMBO_SYSTEM_RUNTIMERCLASS_H

#include <QObject>
#include <QTimer>

/**
 * Counts the minutes of the current power cycle, in 5-minute steps, in the
 * settings key "timeActive". The value found there at construction (the
 * length of the previous power cycle) is kept as currentRunTime().
 */
class RunTimerClass : public QObject
{
    Q_OBJECT

public:
    /** Step of the counter in minutes; the timer period is this many minutes (scaled). */
    static constexpr unsigned int stepMinutes = 5;

    explicit RunTimerClass(QObject *parent = nullptr);
    ~RunTimerClass() override;

    /** Resets "timeActive" to 0 and starts counting. */
    void start();
    /** Minutes of the previous power cycle, as read at construction. */
    unsigned int currentRunTime() const;

private Q_SLOTS:
    void runTimerEvent();

private:
    unsigned int m_previousRunTime = 0;
    QTimer m_timer;
};

#endif
