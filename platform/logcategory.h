// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_LOGCATEGORY_H
#define QUIMBO_PLATFORM_LOGCATEGORY_H

#include <QLoggingCategory>

/**
 * "quimbo.platform": every log line of platform/ (the hardware seams and their Linux and simulated backends).
 * Enabled for all levels unless the logging rules say otherwise.
 */
Q_DECLARE_LOGGING_CATEGORY(lcPlatform)

#endif
