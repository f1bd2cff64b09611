// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_LIBRARY_LOGCATEGORY_H
#define QUIMBO_LIBRARY_LOGCATEGORY_H

#include <QLoggingCategory>

/**
 * "quimbo.library": every log line of library/ (media, the bookshelf and the resume marks).
 * Enabled for all levels unless the logging rules say otherwise.
 */
Q_DECLARE_LOGGING_CATEGORY(lcLibrary)

#endif
