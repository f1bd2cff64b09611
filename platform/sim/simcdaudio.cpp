// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sim/simcdaudio.h"

#include "platform/logcategory.h"
#include "platform/paths.h"

#include <QDir>
#include <QMutex>

namespace Platform {

namespace {
QMutex s_mutex;
QString s_directory;
} // namespace

void SimCdAudio::setDiscDirectory(const QString &directory)
{
    QMutexLocker lock(&s_mutex);
    s_directory = directory;
}

QString SimCdAudio::discDirectory()
{
    {
        QMutexLocker lock(&s_mutex);
        if (!s_directory.isEmpty())
            return s_directory;
    }
    const QString fromEnvironment = qEnvironmentVariable("QUIMBO_SIM_CD");
    return fromEnvironment.isEmpty() ? path(QStringLiteral("/sim/cd")) : fromEnvironment;
}

bool SimCdAudio::trackMedia(int track, CdTrackMedia *media)
{
    if (track < 1 || !media)
        return false;
    const QStringList tracks = QDir(discDirectory())
                                   .entryList({QStringLiteral("*.wav"), QStringLiteral("*.mp3"), QStringLiteral("*.flac"), QStringLiteral("*.ogg")},
                                              QDir::Files, QDir::Name);
    if (track > tracks.size()) {
        qCWarning(lcPlatform, "[SimCdAudio::trackMedia] no track %d on the simulated disc in %s", track, qPrintable(discDirectory()));
        return false;
    }
    media->isLocation = false;
    media->location = QDir(discDirectory()).filePath(tracks.at(track - 1));
    media->option.clear();
    return true;
}

} // namespace Platform
