// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_INPUT_LOGCATEGORY_H
#define QUIMBO_INPUT_LOGCATEGORY_H

#include <QLoggingCategory>

/**
 * "quimbo.input": every log line of input/ (keys, knob, power button and the board).
 * Enabled for all levels unless the logging rules say otherwise.
 */
Q_DECLARE_LOGGING_CATEGORY(lcInput)

#endif
