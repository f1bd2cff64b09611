// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Preloaded into the board's programs while a cross build's tests run them
// under qemu user emulation. QProcess starts children through clone() with
// CLONE_PIDFD when the kernel's waitid() knows P_PIDFD; the kernel here does,
// but qemu 7.2's clone() refuses that flag, so every QProcess would fail to
// start. Answering the P_PIDFD probe with ENOSYS makes Qt fall back to plain
// fork(), which qemu runs. readdir() is the other (below).
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <sys/syscall.h>

// The preload is named through QEMU_SET_ENV, which reaches every emulated child
// again; a host program started by the emulated one (sh, sox, amixer) must not
// inherit it, or its loader prints an error into the output being read.
__attribute__((constructor)) static void forgetPreload()
{
    unsetenv("LD_PRELOAD");
}

namespace {
constexpr long kPidFdIdType = 3; // P_PIDFD in <linux/wait.h>
}

extern "C" long syscall(long number, ...)
{
    // Syscalls take at most six word-sized arguments; reading unused ones is harmless.
    va_list ap;
    va_start(ap, number);
    long a[6];
    for (long &x : a)
        x = va_arg(ap, long);
    va_end(ap);
    if (number == SYS_waitid && a[0] == kPidFdIdType) {
        errno = ENOSYS;
        return -1;
    }
    using Syscall = long (*)(long, ...);
    static const auto real = reinterpret_cast<Syscall>(dlsym(RTLD_NEXT, "syscall"));
    return real(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}

// readdir() of a 32-bit program without large-file support fails with EOVERFLOW
// when a directory offset does not fit 32 bits. A 32-bit ARM kernel gives such
// callers 32-bit ext4 offsets, but qemu's calls reach the 64-bit host kernel,
// which gives 64-bit ones: espeak-ng, built so, found no voices and spoke nothing.
// readdir64() reads the same entries; the offset only serves telldir().
#if !defined(__USE_FILE_OFFSET64) && !defined(__LP64__)
extern "C" struct dirent *readdir(DIR *dir)
{
    static thread_local struct dirent entry;
    const struct dirent64 *next = readdir64(dir);
    if (!next)
        return nullptr;
    entry.d_ino = ino_t(next->d_ino);
    entry.d_off = off_t(next->d_off);
    entry.d_reclen = sizeof entry;
    entry.d_type = next->d_type;
    std::strncpy(entry.d_name, next->d_name, sizeof entry.d_name - 1);
    entry.d_name[sizeof entry.d_name - 1] = '\0';
    return &entry;
}
#endif
