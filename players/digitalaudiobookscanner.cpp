// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "players/digitalaudiobookscanner.h"

#include "audio/vlcmediaplayer.h"
#include "players/logcategory.h"

#include <QDebug>
#include <QMutexLocker>

#include <climits>

DigitalAudioBookScanner::DigitalAudioBookScanner(const QMap<int, MpegTrack> &tracks, QObject *parent)
    : QObject(parent)
    , m_tracks(tracks)
{
}

bool DigitalAudioBookScanner::stopRequested()
{
    QMutexLocker lock(&m_mutex);
    return m_stopRequested;
}

void DigitalAudioBookScanner::stop()
{
    QMutexLocker lock(&m_mutex);
    m_stopRequested = true;
}

void DigitalAudioBookScanner::start()
{
    if (m_tracks.isEmpty()) {
        qCDebug(lcPlayers) << Q_FUNC_INFO << "no tracks";
        Q_EMIT quit();
        return;
    }
    VlcMediaPlayer engine;
    if (!engine.init()) {
        qCWarning(lcPlayers) << Q_FUNC_INFO << "engine failed to start, nothing measured";
        Q_EMIT quit();
        return;
    }
    bool stopped = false;
    for (auto it = m_tracks.cbegin(); it != m_tracks.cend(); ++it) {
        // A file the decoder cannot read counts as 0 ms: measured once, never retried.
        const qint64 duration = engine.totalTimeFile(it->fileName);
        Q_EMIT trackMeasured(it.key(), int(qBound<qint64>(0, duration, qint64(INT_MAX))));
        if (stopRequested()) {
            qCDebug(lcPlayers) << Q_FUNC_INFO << "stop scanning";
            stopped = true;
            break;
        }
    }
    qCDebug(lcPlayers) << Q_FUNC_INFO << "stop by used:" << stopped;
    if (stopped)
        Q_EMIT quit();
    else
        Q_EMIT finished();
}
