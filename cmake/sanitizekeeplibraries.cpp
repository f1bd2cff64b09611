// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Linked into every executable of the sanitized build, and only there.
//
// LeakSanitizer looks for leaks when the process ends, after libvlc has
// unloaded its plug-ins. Whatever a plug-in's libraries keep in their own
// globals then points from unmapped memory: it is reported as a leak whose
// stack names no module, which no suppression can match and no fix of ours can
// reach. Keeping every library mapped until the end lets the check see those
// globals, as it does for the libraries that are never unloaded, while leaks
// in our code are still reported with full names.
extern "C" __attribute__((visibility("default"))) int dlclose(void *)
{
    return 0;
}
