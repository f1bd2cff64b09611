// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_APP_LOGCATEGORY_H
#define QUIMBO_APP_LOGCATEGORY_H

#include <QLoggingCategory>

/**
 * "quimbo.app": every log line of app/ (start-up, the log handler and the controller).
 * Enabled for all levels unless the logging rules say otherwise.
 */
Q_DECLARE_LOGGING_CATEGORY(lcApp)

#endif
