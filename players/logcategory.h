// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLAYERS_LOGCATEGORY_H
#define QUIMBO_PLAYERS_LOGCATEGORY_H

#include <QLoggingCategory>

/**
 * "quimbo.players": every log line of players/ (the book players and their front end).
 * Enabled for all levels unless the logging rules say otherwise.
 */
Q_DECLARE_LOGGING_CATEGORY(lcPlayers)

/**
 * A quimbo.players warning that starts with \a function (Q_FUNC_INFO of the
 * caller), written without quotes or spaces: warnFrom(function) << ": text".
 */
QDebug warnFrom(const char *function);

#endif
