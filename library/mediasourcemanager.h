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
 * Created per job: by MediaClass for a file search (moved into a
 * short-lived low-priority thread, started by startSearchingFiles()), or on
 * the main thread by the update and log-backup code. mount() and unmount()
 * are serialised by the manager's own mutex.
 *
 * Mount paths stay device paths ("/media/usb"); the files are reached below
 * the platform root (Platform::path()).
 */
class MediaSourceManager : public QObject
{
    Q_OBJECT

public:
    explicit MediaSourceManager(const MediaSource &mediaSource, QObject *parent = nullptr);
    ~MediaSourceManager() override;

    /** True when the medium is (already) mounted at its mount path. */
    bool mount();
    /** Lazy unmount of the mount path; false without a mount path or when it fails. */
    bool unmount();
    /** Copies "log", "log1", "dmesg_startup" and "dmesg_shutdown" to the medium's root. */
    bool systemBackup();

    /** Name filters of the file search ("ncc.html", "*.mp3", ...), matched case-insensitively. */
    void setFileNameFilters(const QStringList &filters);
    QStringList fileNameFilters() const;

    /** The medium as far as the manager knows it: mounted flag and, after a search, its files. */
    MediaSource mediaSource() const;

    /** Plain unmount of "/media/cd", "/media/usb" and "/media/mmc"; errors are ignored. */
    static void unmountAll();

public Q_SLOTS:
    /**
     * Mounts the medium and collects the files matching the name filters;
     * emits readySearchingFiles() with the result (no files when the mount
     * failed) and finished() 100 ms later.
     */
    void startSearchingFiles();

Q_SIGNALS:
    // Both come on the thread the manager lives on (the search thread for a
    // file search); connect queued.
    void readySearchingFiles(MediaSource mediaSource);
    void finished();

private:
    bool mountFat(const QString &device, const QString &mountPath);
    bool mountExFat(const QString &device, const QString &mountPath);
    bool mountISO9660(const QString &device, const QString &mountPath);

    MediaSource m_mediaSource;
    QStringList m_fileNameFilters;
    QMutex m_mutex;
};

#endif
