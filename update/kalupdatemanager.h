// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_UPDATE_KALUPDATEMANAGER_H
#define QUIMBO_UPDATE_KALUPDATEMANAGER_H

#include "update/kalupdate.h"
#include "update/kalversionnumber.h"

#include <QObject>
#include <QString>
#include <QVector>

#include <memory>

class QIODevice;
class ZipReader;
class KalUpdateManagerPrivate;

/**
 * Looks for an update package on a medium, verifies it and installs it below
 * the platform root. The package must not write outside the product's root
 * directory: verification refuses anything that would, before a single byte
 * is written. Lives on the main thread; the main controller creates one for
 * an update run and deletes it afterwards.
 */
class KalUpdateManager : public QObject
{
    Q_OBJECT
public:
    enum Status {
        NoError = 0,
        NoUpdatesFound = 1,
        KalUpdateFound = 2,
        KalImageUpdateFound = 3,
        UpdateFileOpenError = 4,
        UpdateFileVerifyError = 5,
        UpdateFileEmptyError = 6,
        UpdateVerifyError = 7,
        UpdateRunning = 8,
        DataPackagesUpdateFailed = 9,
        FirmwareUpdateFailed = 10,
        PluginsUpdateFailed = 11,
        FirmwareVersionRefused = 12, ///< older than the running firmware, or the same without reinstall="true"
    };
    Q_ENUM(Status)

    /** One file the package would write: where it comes from and the device path it goes to. */
    struct PlannedFile
    {
        KalUpdateType::Types type = KalUpdateType::DataPackageFile;
        QString source; ///< entry path inside the zip archive
        QString destination; ///< absolute device path, cleaned (before the platform root is put in front)
    };

    /** Application name and version are read from the application object now. */
    explicit KalUpdateManager(QObject *parent = nullptr);
    ~KalUpdateManager() override;

    /** Looks at the mount point @p path (a host path): 3 image stick, 2 package found and kept open, 1 nothing. */
    Status checkForUpdates(const QString &path);

    bool open(const QString &path);
    /**
     * Reads the package from @p device (a stick may be any storage). The device
     * stays the caller's and must outlive the open package; close() closes it.
     */
    bool open(QIODevice *device);
    void close();

    bool verifyKalUpdate();
    Status runUpdate();

    static QString statusToString(Status status);
    KalVersionNumber versionUpdate() const;

    const KalUpdate &kalUpdate() const;
    QString applicationName() const;
    KalVersionNumber deviceVersion() const;

    /**
     * Every file the open package would write, in installation order, or an
     * empty list with @p ok false when a destination is unsafe or missing.
     */
    QVector<PlannedFile> plannedFiles(bool *ok = nullptr) const;

    /** Parses update.xml into the current update; public so that it can be fed arbitrary bytes. */
    bool parseUpdateXml(const QByteArray &data);

    /** Strips everything up to and including the last "/"; a path whose only "/" is the first stays. */
    static void resolveRootPath(QString &path);

    /**
     * The version that the program at the host path @p file prints for "--version"
     * on standard output (null on failure); what it logs on standard error is no answer.
     */
    static KalVersionNumber fileVersionNumber(const QString &file, KalUpdateType::Types type);

private:
    friend class KalUpdateManagerPrivate;
    const std::unique_ptr<KalUpdateManagerPrivate> d;
};

#endif
