// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_SIM_LOGCATEGORY_H
#define QUIMBO_SIM_LOGCATEGORY_H

#include <QLoggingCategory>

/**
 * "quimbo.sim": every log line of sim/ (the simulator's terminal, script and control socket).
 * Enabled for all levels unless the logging rules say otherwise.
 */
Q_DECLARE_LOGGING_CATEGORY(lcSim)

#endif
