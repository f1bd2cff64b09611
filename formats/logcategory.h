// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FORMATS_LOGCATEGORY_H
#define QUIMBO_FORMATS_LOGCATEGORY_H

#include <QLoggingCategory>

/**
 * "quimbo.formats": every log line of formats/ (the book parsers and the ZIP reader).
 * Enabled for all levels unless the logging rules say otherwise.
 */
Q_DECLARE_LOGGING_CATEGORY(lcFormats)

#endif
