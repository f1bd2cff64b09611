// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "players/logcategory.h"

Q_LOGGING_CATEGORY(lcPlayers, "quimbo.players")

QDebug warnFrom(const char *function)
{
    // The logger, unlike qCWarning, can be handed back; it drops the line
    // itself when the category's warnings are off.
    return QMessageLogger(QT_MESSAGELOG_FILE, QT_MESSAGELOG_LINE, function).warning(lcPlayers()).noquote().nospace() << function;
}
