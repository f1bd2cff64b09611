// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "speech/logcategory.h"

Q_LOGGING_CATEGORY(lcSpeech, "quimbo.speech")
