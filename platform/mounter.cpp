// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mounter.h"

#include "platform/linux/linuxmounter.h"
#include "platform/platform.h"
#include "platform/sim/simmedia.h"
#include "platform/sim/simmounter.h"

#include <atomic>

namespace Platform {

Mounter::~Mounter() = default;

namespace {
std::atomic<Mounter *> s_override{nullptr};
} // namespace

void setMounter(Mounter *mounter)
{
    s_override.store(mounter);
}

Mounter *mounter()
{
    if (Mounter *chosen = s_override.load())
        return chosen;
    static LinuxMounter onDevice;
    static SimMounter simulated(SimMedia::instance());
    if (backend() == Backend::Simulated)
        return &simulated;
    return &onDevice;
}

} // namespace Platform
