// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/systemactions.h"

#include "platform/linux/linuxsystemactions.h"
#include "platform/platform.h"
#include "platform/sim/simboard.h"
#include "platform/sim/simsystemactions.h"

#include <atomic>

namespace Platform {

SystemActions::~SystemActions() = default;

int SystemActions::executeBounded(const QString &program, const QStringList &arguments, int timeoutMsec)
{
    Q_UNUSED(timeoutMsec)
    return execute(program, arguments);
}

namespace {
std::atomic<SystemActions *> s_override{nullptr};
} // namespace

void setSystemActions(SystemActions *actions)
{
    s_override.store(actions);
}

SystemActions *systemActions()
{
    if (SystemActions *chosen = s_override.load())
        return chosen;
    static LinuxSystemActions onDevice;
    static SimSystemActions simulated(SimBoard::instance());
    if (backend() == Backend::Simulated)
        return &simulated;
    return &onDevice;
}

} // namespace Platform
