// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_PATHS_H
#define QUIMBO_PLATFORM_PATHS_H

#include <QString>

namespace Platform {

/**
 * The root directory in front of every absolute path the firmware touches.
 * Taken from the environment variable QUIMBO_ROOT at each call (tests change
 * it between cases); unset or empty means "/", the device itself.
 */
QString root();

/**
 * Puts the root in front of an absolute device path: path("/root/quimbo/log")
 * is "/root/quimbo/log" on the device and "<root>/root/quimbo/log" elsewhere.
 * This is the only place where absolute paths are built.
 */
QString path(const QString &absolute);

/** The same for C APIs that want bytes (open(2), sysfs writes). */
QByteArray nativePath(const QString &absolute);

/**
 * Points the settings store (organisation "KAL", application "quimbo-basic")
 * below the root, so that off the device nothing is read from or written to
 * the real home directory. Call after QCoreApplication's names are set.
 */
void setupSettingsLocation();

} // namespace Platform

#endif
