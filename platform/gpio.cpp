// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/gpio.h"

#include "platform/linux/linuxgpio.h"
#include "platform/platform.h"
#include "platform/sim/simboard.h"
#include "platform/sim/simgpio.h"

#include <atomic>

namespace Platform {

Gpio::~Gpio() = default;

namespace {
std::atomic<Gpio *> s_override{nullptr};
} // namespace

void setGpio(Gpio *gpio)
{
    s_override.store(gpio);
}

Gpio *gpio()
{
    if (Gpio *chosen = s_override.load())
        return chosen;
    // Both backends are stateless wrappers; keeping one of each lets a test
    // switch the backend between cases.
    static LinuxGpio onDevice;
    static SimGpio simulated(SimBoard::instance());
    if (backend() == Backend::Simulated)
        return &simulated;
    return &onDevice;
}

} // namespace Platform
