// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_AUDIO_LOGCATEGORY_H
#define QUIMBO_AUDIO_LOGCATEGORY_H

#include <QLoggingCategory>

/**
 * "quimbo.audio": every log line of audio/ (the audio engine, audio settings and the audio subsystem).
 * Enabled for all levels unless the logging rules say otherwise.
 */
Q_DECLARE_LOGGING_CATEGORY(lcAudio)

#endif
