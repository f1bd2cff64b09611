// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLAYERS_TRACKWALK_H
#define QUIMBO_PLAYERS_TRACKWALK_H

#include <QtGlobal>

#include <functional>

/**
 * Where a wind across track ends lands, for the players whose book is a row
 * of numbered tracks (a folder of MP3 files, an audio CD).
 */
namespace TrackWalk {

struct Target {
    enum Kind { Inside, PastEnd, BeforeStart };
    Kind kind = Inside;
    int track = 1;
    qint64 position = 0; ///< ms into track, for Inside
};

/** Milliseconds of a track; 0 when not known. */
using Length = std::function<qint64(int track)>;

/** @p remainder ms beyond the end of @p track, going on through tracks up to @p total. */
Target forward(int track, qint64 remainder, int total, const Length &length, const char *function);
/** @p shortfall ms before the start of @p track, going back through the tracks before it. */
Target backward(int track, qint64 shortfall, const Length &length, const char *function);

} // namespace TrackWalk

#endif
