// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "players/digitalaudiobookscanner.h"

#include "audio/mpegaudioframes.h"
#include "players/logcategory.h"

#include <QDebug>

#include <climits>

DigitalAudioBookScanner::DigitalAudioBookScanner(const QMap<int, MpegTrack> &tracks, QObject *parent)
    : QObject(parent)
    , m_tracks(tracks)
{
}

void DigitalAudioBookScanner::stop()
{
    m_stopRequested = true;
}

void DigitalAudioBookScanner::start()
{
    if (m_tracks.isEmpty()) {
        qCDebug(lcPlayers) << Q_FUNC_INFO << "no tracks";
        Q_EMIT quit();
        return;
    }
    for (auto it = m_tracks.cbegin(); it != m_tracks.cend(); ++it) {
        const MpegAudioFrames::Scan scan = MpegAudioFrames::measure(it->fileName, &m_stopRequested);
        if (m_stopRequested)
            break;
        // A file with no frames counts as 0 ms: measured once, never retried.
        if (!scan.found)
            qCWarning(lcPlayers).noquote() << Q_FUNC_INFO << it->fileName << scan.reason;
        Q_EMIT trackMeasured(it.key(), int(qBound<qint64>(0, scan.durationMsec, qint64(INT_MAX))));
    }
    const bool stopped = m_stopRequested;
    if (stopped)
        qCDebug(lcPlayers) << Q_FUNC_INFO << "stop scanning";
    qCDebug(lcPlayers) << Q_FUNC_INFO << "stop by used:" << stopped;
    if (stopped)
        Q_EMIT quit();
    else
        Q_EMIT finished();
}
