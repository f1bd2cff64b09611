// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_LIBRARY_MEDIASOURCEMANAGER_H
#define QUIMBO_LIBRARY_MEDIASOURCEMANAGER_H

#include "library/mediasource.h"

#include <QMutex>
#include <QObject>
#include <QStringList>

/**
 * Mounts, unmounts and searches one medium, and copies the log files to it.
 *
 * This is the minimal form the main controller needs until media mounting
 * lands: there is no way to mount yet, so mount() and systemBackup() fail
 * with their log lines.
 */
class MediaSourceManager : public QObject
{
    Q_OBJECT

public:
    explicit MediaSourceManager(const MediaSource &mediaSource, QObject *parent = nullptr);
    ~MediaSourceManager() override;

    bool mount();
    bool unmount();
    /** Copies "log", "log1", "dmesg_startup" and "dmesg_shutdown" to the medium's root. */
    bool systemBackup();

    MediaSource mediaSource() const;

private:
    MediaSource m_mediaSource;
    QMutex m_mutex;
};

#endif
