// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cddrive.h"

#include "platform/linux/linuxcddrive.h"
#include "platform/platform.h"
#include "platform/sim/simcddrive.h"
#include "platform/sim/simmedia.h"

namespace Platform {

CdDrive::~CdDrive() = default;

std::unique_ptr<CdDrive> createCdDrive(const QString &deviceNode)
{
    if (backend() == Backend::Simulated)
        return std::make_unique<SimCdDrive>(SimMedia::instance());
    return std::make_unique<LinuxCdDrive>(deviceNode);
}

} // namespace Platform
