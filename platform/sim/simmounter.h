// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_SIM_SIMMOUNTER_H
#define QUIMBO_PLATFORM_SIM_SIMMOUNTER_H

#include "platform/mounter.h"

namespace Platform {

class SimMedia;

/** Mounts the media of the simulated board (SimMedia) at their mount points below the root. */
class SimMounter : public Mounter
{
public:
    explicit SimMounter(SimMedia *media);
    int mount(const QString &device, const QString &mountPath, const QString &fileSystem, unsigned long flags, const QString &options) override;
    int unmount(const QString &mountPath, bool lazy) override;

private:
    SimMedia *const m_media;
};

} // namespace Platform

#endif
