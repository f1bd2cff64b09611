// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/linuxmounter.h"

#include "platform/paths.h"

#include <cerrno>
#include <sys/mount.h>

namespace Platform {

static_assert(Mounter::kReadOnly == MS_RDONLY && Mounter::kNoAccessTime == MS_NOATIME, "mount flags of the seam are those of mount(2)");

int LinuxMounter::mount(const QString &device, const QString &mountPath, const QString &fileSystem, unsigned long flags, const QString &options)
{
    const QByteArray data = options.toLatin1();
    if (::mount(nativePath(device).constData(), nativePath(mountPath).constData(), fileSystem.toLatin1().constData(), flags,
                options.isEmpty() ? nullptr : data.constData())
        == 0)
        return 0;
    return errno;
}

int LinuxMounter::unmount(const QString &mountPath, bool lazy)
{
    return ::umount2(nativePath(mountPath).constData(), lazy ? MNT_DETACH : 0) == 0 ? 0 : errno;
}

} // namespace Platform
