// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_LIBRARY_MARKERFILE_H
#define QUIMBO_LIBRARY_MARKERFILE_H

#include <QByteArray>
#include <QString>

#include <functional>

/**
 * Storage shared by the resume-mark and last-played files.
 *
 * The device loses power without warning, and a reader who cannot see cannot
 * scan a book to find the place again. So a file is never rewritten in place:
 * the new content goes to a temporary file beside it, is flushed to disk, and
 * is then renamed over the old one. At every moment the file holds either the
 * old or the new content, never a truncated mix.
 */
namespace MarkerFile {

/**
 * Limits for reading a marker file. The files on a stick or card are foreign
 * input: whatever they hold, reading them must neither exhaust memory nor
 * take long. A last-played file holds one marker per medium (a few hundred
 * bytes each); the resume stores grow with every book ever read (some 150
 * bytes each) and are never pruned.
 */
constexpr qint64 kMaxLastPlayedSize = 1024 * 1024;
constexpr qint64 kMaxStoreSize = 16 * 1024 * 1024;

/** What read() found. */
enum class ReadResult {
    Read,
    Missing, ///< no file: a save may create it
    Unreadable, ///< there is something, but it cannot be read (not a file, permission, I/O error)
    TooLarge, ///< larger than the limit: not read at all
};

/**
 * Reads a whole file of at most maxSize bytes. Only a regular file (after
 * links) is opened, so that a device node or a pipe under the file's name
 * can neither block nor stream without end. errorString gets the reason.
 */
ReadResult read(const QString &path, qint64 maxSize, QByteArray *content, QString *errorString = nullptr);

/** The steps of a save, in the order they happen. */
enum class Stage {
    Open, ///< the temporary file is created
    Write, ///< the content goes into the temporary file
    Commit, ///< flush to disk, rename over the old file
};

/** Why a save failed; the caller logs it in its own words. */
enum class SaveResult {
    Saved,
    OpenFailed,
    WriteFailed,
    CommitFailed,
};

/**
 * The host path of a marker file. A device path ("/root/quimbo/...",
 * "/media/usb/...") is put below the platform root; a path that is already
 * below the root is returned as it is, so callers may pass either form.
 */
QString hostPath(const QString &path);

/** Writes content to path atomically. errorString gets the reason on failure. */
SaveResult save(const QString &path, const QByteArray &content, QString *errorString = nullptr);

/**
 * Keeps a damaged file for service as path + ".broken" (replacing an older
 * copy). Returns the copy's path, or an empty string when no copy could be made.
 */
QString keepBroken(const QString &path);

/**
 * True for the document our own writer produces when it has no marker to
 * write: nothing but the XML declaration and white space.
 */
bool isEmptyDocument(const QByteArray &content);

/**
 * Titles are keys held as one character per byte of UTF-8 text (what the
 * players have always passed). In the files they stand as proper UTF-8 text.
 * A key that is not in that byte form (a character above U+00FF, or bytes
 * that are not UTF-8) is stored as it is, so that two such titles can never
 * fall onto the same entry.
 */
QString titleToFile(const QString &key);
QString titleFromFile(const QString &text);

/**
 * For tests: called before each stage of every save. Returning false makes
 * that stage fail as a full disk, a vanished medium or a lost power would:
 * the old file stays untouched. Pass an empty function to remove it.
 */
using FaultHook = std::function<bool(Stage)>;
void setFaultHook(FaultHook hook);

/**
 * For tests: called before every read() of an existing file. Returning false
 * makes the read fail as an I/O error would. Pass an empty function to remove it.
 */
using ReadFaultHook = std::function<bool(const QString &path)>;
void setReadFaultHook(ReadFaultHook hook);

} // namespace MarkerFile

#endif
