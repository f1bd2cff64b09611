// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_UPDATE_LOGCATEGORY_H
#define QUIMBO_UPDATE_LOGCATEGORY_H

#include <QLoggingCategory>

/**
 * "quimbo.update": every log line of update/ (the update packages).
 * Enabled for all levels unless the logging rules say otherwise.
 */
Q_DECLARE_LOGGING_CATEGORY(lcUpdate)

#endif
