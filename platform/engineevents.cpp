// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/engineevents.h"

#include "platform/platform.h"
#include "platform/sim/simboard.h"

namespace Platform {

void reportEngineEvent(const QString &event)
{
    if (backend() == Backend::Simulated)
        SimBoard::instance()->recordEngineEvent(event);
}

void reportSound(const QString &name)
{
    if (backend() == Backend::Simulated)
        SimBoard::instance()->recordSound(name);
}

} // namespace Platform
