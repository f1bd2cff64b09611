// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_TOOLS_BOOKDUMP_H
#define QUIMBO_TOOLS_BOOKDUMP_H

#include <QByteArray>
#include <QString>

/**
 * The structure of a book as stable JSON: what quimbo-inspect prints and
 * what the golden-file tests compare. One function per book format; the
 * entry point picks one by the path.
 */
namespace BookDump {

struct Options {
    /** Also load every SMIL file and report its tracks and load time (not stable: timings). */
    bool walk = false;
};

/** The book file to open for @p path: the path itself, or the ncc.html/.opf inside a folder. */
QString findDaisyBookFile(const QString &path);

/** DAISY 2.02 or 3 through DaisyTalkingBook. False with @p error set when the book cannot be opened. */
bool dumpDaisy(const QString &path, const Options &options, QByteArray *json, QString *error);

/** EPUB 3 with media overlays through EpubParser: spine, overlays and their media:duration; --walk lists each overlay's audio files. */
bool dumpEpub(const QString &path, const Options &options, QByteArray *json, QString *error);

/** Whether @p path (an .epub, ncc.html or .opf) is a book without recorded audio. */
bool isTextBook(const QString &path);

/** A book without recorded audio as it is read aloud: headings, pages (document and character offset) and characters. */
bool dumpText(const QString &path, QByteArray *json, QString *error);

/** Picks the dumper by the path; a book without recorded audio gets the text dump. */
bool dumpBook(const QString &path, const Options &options, QByteArray *json, QString *error);

} // namespace BookDump

#endif
