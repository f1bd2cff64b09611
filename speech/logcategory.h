// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_SPEECH_LOGCATEGORY_H
#define QUIMBO_SPEECH_LOGCATEGORY_H

#include <QLoggingCategory>

/**
 * "quimbo.speech": every log line of speech/ (the voice messages).
 * Enabled for all levels unless the logging rules say otherwise.
 */
Q_DECLARE_LOGGING_CATEGORY(lcSpeech)

#endif
