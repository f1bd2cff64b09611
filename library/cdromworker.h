// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_LIBRARY_CDROMWORKER_H
#define QUIMBO_LIBRARY_CDROMWORKER_H

#include <QObject>

/**
 * Watches and ejects the USB CD-ROM drive ("/dev/cd-rom").
 *
 * This is the minimal form the main controller needs until the CD drive
 * access lands: no drive can be reached yet, so every eject attempt fails
 * (the attempts and their waits are those of a missing drive).
 */
class CdRomWorker : public QObject
{
    Q_OBJECT

public:
    explicit CdRomWorker(QObject *parent = nullptr);
    ~CdRomWorker() override;

    /** True when a readable disc is in the drive. */
    static bool diskOk();
    /** Ejects without a running poller: up to 11 tries, 1000 ms apart; true when one worked. */
    static bool emergencyEject();

public Q_SLOTS:
    void start();
    void stop();
    /** 0 when the disc is ejecting, -1 after the last failed attempt. */
    int eject();

Q_SIGNALS:
    void statusChanged(int status);
    void finished();
};

#endif
