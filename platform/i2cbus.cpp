// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/i2cbus.h"

#include "platform/linux/linuxi2cbus.h"
#include "platform/platform.h"
#include "platform/sim/axp209model.h"
#include "platform/sim/simi2cbus.h"
#include "platform/sim/tpa2051d3model.h"

namespace Platform {

I2cBus::~I2cBus() = default;

std::unique_ptr<I2cBus> createI2cBus()
{
    if (backend() == Backend::Simulated) {
        // The board's chips are there from the start; a test may take them away afterwards.
        static const bool attached = (Tpa2051d3Model::instance().attach(), Axp209Model::instance().attach(), true);
        Q_UNUSED(attached)
        return std::make_unique<SimI2cBus>();
    }
    return std::make_unique<LinuxI2cBus>();
}

} // namespace Platform
