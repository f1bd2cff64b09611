// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/audiooutput.h"

namespace Platform {

AudioOutput::~AudioOutput() = default;

} // namespace Platform
