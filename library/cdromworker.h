// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_LIBRARY_CDROMWORKER_H
#define QUIMBO_LIBRARY_CDROMWORKER_H

#include <QObject>

#include <memory>

class QTimer;
namespace Platform {
class CdDrive;
}

/**
 * Watches and ejects the USB CD-ROM drive ("/dev/cd-rom"). Lives in a thread
 * of its own (created, started and ended by MediaClass): it polls the drive
 * every 100 ms and reports tray and disc changes through the queued
 * statusChanged() signal: 0 drive not ready, 1 tray open, 2 audio CD,
 * 3 data disc, 4 no disc.
 */
class CdRomWorker : public QObject
{
    Q_OBJECT

public:
    static constexpr int kPollMsec = 100;
    static constexpr int kEjectAttempts = 10;

    explicit CdRomWorker(QObject *parent = nullptr);
    ~CdRomWorker() override;

    /** The last status reported (1 before any report). */
    int status() const;

    /** True when a readable disc is in the drive. Any thread; does not need a worker. */
    static bool diskOk();
    /** Ejects without a running poller: up to 11 tries, 1000 ms apart; true when one worked. */
    static bool emergencyEject();

public Q_SLOTS:
    /** Starts polling (the first call creates the poll timer). */
    void start();
    /** Stops polling and emits finished(). */
    void stop();
    /** Ejects the disc: 0 when it is ejecting, -1 after the last failed attempt. Polling resumes either way. */
    int eject();

Q_SIGNALS:
    // Both come on the worker's poll thread; connect queued.
    void statusChanged(int status);
    void finished();

private Q_SLOTS:
    void checkStatusCdRom();

private:
    int m_status = 1;
    QTimer *m_timer = nullptr;
    std::unique_ptr<Platform::CdDrive> m_drive;
};

#endif
