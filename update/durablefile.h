// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_UPDATE_DURABLEFILE_H
#define QUIMBO_UPDATE_DURABLEFILE_H

#include <QByteArray>
#include <QString>

/**
 * File operations that are on the card when they return, for the files an
 * update changes: the device may lose power at any moment, and a rename is
 * only kept once the folder holding it is synced. All paths are host paths.
 */
namespace DurableFile {

/** fsync(2) of an open file. */
bool syncFile(int fd);

/**
 * Turns every sync here into a no-op, so that a benchmark can tell what the
 * syncing costs. Nothing on the device calls it.
 */
void setSyncEnabled(bool enabled);

/** Syncs the folder @p directory, so that renames and removals in it survive a power cut. */
bool syncDirectory(const QString &directory);

/** rename(2) followed by a sync of the destination's folder; errno is kept on failure. */
bool rename(const QString &from, const QString &to);

/** Removes @p path (when present) and syncs its folder. */
bool remove(const QString &path);

/** Writes @p data to a hidden temporary file beside @p path, syncs it and renames it over @p path. */
bool write(const QString &path, const QByteArray &data);

/** Copies @p from (through a link) to @p to in the same way, mode 0755. */
bool copy(const QString &from, const QString &to);

} // namespace DurableFile

#endif
