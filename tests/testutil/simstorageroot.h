// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_TESTS_SIMSTORAGEROOT_H
#define QUIMBO_TESTS_SIMSTORAGEROOT_H

#include "platform/paths.h"
#include "platform/platform.h"
#include "platform/sim/simboard.h"
#include "platform/sim/simmedia.h"
#include "testroot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

/**
 * A TestRoot on a fresh simulated board: empty media slots, an empty closed
 * CD drive, the mount points in place, and every timer shortened by the time
 * scale while it lives. Selects the simulated backend for the process.
 */
class SimStorageRoot : public TestRoot
{
public:
    explicit SimStorageRoot(double timeScale = 1.0)
    {
        Platform::setBackend(Platform::Backend::Simulated);
        Platform::setTimeScale(timeScale);
        Platform::SimBoard::instance()->reset();
        Platform::SimMedia::instance()->reset();
        for (const char *dir : {"/media/cd", "/media/usb", "/media/mmc"})
            QDir().mkpath(path(QLatin1String(dir)));
    }
    ~SimStorageRoot()
    {
        Platform::SimMedia::instance()->reset();
        Platform::setTimeScale(1.0);
    }

    /** A host folder "/host/<name>" below the root holding the files (relative paths; each holds the folder's name). */
    QString medium(const QString &name, const QStringList &files = {}) const
    {
        const QString dir = path(QStringLiteral("/host/") + name);
        QDir().mkpath(dir);
        for (const QString &file : files) {
            const QString filePath = dir + QLatin1Char('/') + file;
            QDir().mkpath(QFileInfo(filePath).absolutePath());
            QFile out(filePath);
            if (out.open(QIODevice::WriteOnly))
                out.write(name.toUtf8());
        }
        return dir;
    }
};

#endif
