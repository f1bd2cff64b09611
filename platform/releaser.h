// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_RELEASER_H
#define QUIMBO_PLATFORM_RELEASER_H

#include <memory>

namespace Platform {

// Deleter for a C library handle: calls Release on it when it is not null.
// Release may return anything (an unref returning the pointer, a free returning void).
template<auto Release>
struct Releaser {
    template<typename T>
    void operator()(T *p) const
    {
        if (p)
            Release(p);
    }
};

// A unique_ptr owning a C handle that is given back with Release.
template<typename T, auto Release>
using HandlePtr = std::unique_ptr<T, Releaser<Release>>;

} // namespace Platform

#endif // QUIMBO_PLATFORM_RELEASER_H
