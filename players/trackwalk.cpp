// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "players/trackwalk.h"

#include <QDebug>

namespace TrackWalk {

Target forward(int track, qint64 remainder, int total, const Length &length, const char *function)
{
    for (;;) {
        if (++track > total) {
            qWarning().noquote().nospace() << function << ": no more track available!";
            return {Target::PastEnd, total, 0};
        }
        const qint64 l = length(track);
        if (remainder < l) {
            qDebug().noquote().nospace() << function << ": track: " << track << " at time: " << remainder;
            return {Target::Inside, track, remainder};
        }
        qDebug().noquote().nospace() << function << ": track duration to small: " << l << " seekTime is: " << remainder;
        remainder -= l;
    }
}

Target backward(int track, qint64 shortfall, const Length &length, const char *function)
{
    for (;;) {
        if (--track < 1) {
            qWarning().noquote().nospace() << function << ": no previous tracks available!";
            return {Target::BeforeStart, 1, 0};
        }
        const qint64 position = length(track) - shortfall;
        if (position >= 0) {
            qDebug().noquote().nospace() << function << ": track: " << track << " at time: " << position;
            return {Target::Inside, track, position};
        }
        qDebug().noquote().nospace() << function << ": seekTime time is smaller then zero: " << position << " load previous track";
        shortfall = -position;
    }
}

} // namespace TrackWalk
