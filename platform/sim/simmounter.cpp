// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sim/simmounter.h"

#include "platform/sim/simmedia.h"

namespace Platform {

SimMounter::SimMounter(SimMedia *media)
    : m_media(media)
{
}

int SimMounter::mount(const QString &device, const QString &mountPath, const QString &fileSystem, unsigned long flags, const QString &options)
{
    Q_UNUSED(options)
    return m_media->mount(device, mountPath, fileSystem, flags);
}

int SimMounter::unmount(const QString &mountPath, bool lazy)
{
    Q_UNUSED(lazy)
    return m_media->unmount(mountPath);
}

} // namespace Platform
