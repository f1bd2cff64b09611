// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_SYSTEM_LOGCATEGORY_H
#define QUIMBO_SYSTEM_LOGCATEGORY_H

#include <QLoggingCategory>

/**
 * "quimbo.system": every log line of system/ (settings, power, timers, sounds and the manual).
 * Enabled for all levels unless the logging rules say otherwise.
 */
Q_DECLARE_LOGGING_CATEGORY(lcSystem)

#endif
