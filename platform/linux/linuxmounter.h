// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_LINUX_LINUXMOUNTER_H
#define QUIMBO_PLATFORM_LINUX_LINUXMOUNTER_H

#include "platform/mounter.h"

namespace Platform {

/** mount(2) and umount2(2) on paths below the root. */
class LinuxMounter : public Mounter
{
public:
    int mount(const QString &device, const QString &mountPath, const QString &fileSystem, unsigned long flags, const QString &options) override;
    int unmount(const QString &mountPath, bool lazy) override;
};

} // namespace Platform

#endif
