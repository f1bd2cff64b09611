// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mixer.h"

#include "platform/linux/linuxmixer.h"
#include "platform/platform.h"
#include "platform/sim/simmixer.h"

namespace Platform {

Mixer::~Mixer() = default;

std::unique_ptr<Mixer> createMixer()
{
    if (backend() == Backend::Simulated)
        return std::make_unique<SimMixer>();
    return std::make_unique<LinuxMixer>();
}

} // namespace Platform
