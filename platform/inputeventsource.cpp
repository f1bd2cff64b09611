// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/inputeventsource.h"

#include "platform/linux/linuxinputeventsource.h"
#include "platform/platform.h"
#include "platform/sim/simboard.h"
#include "platform/sim/siminputeventsource.h"

namespace Platform {

InputEventSource::~InputEventSource() = default;

std::unique_ptr<InputEventSource> createInputEventSource()
{
    if (backend() == Backend::Simulated)
        return std::make_unique<SimInputEventSource>(SimBoard::instance());
    return std::make_unique<LinuxInputEventSource>();
}

} // namespace Platform
