// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_LIBRARY_TEXTTITLE_H
#define QUIMBO_LIBRARY_TEXTTITLE_H

#include "library/audiobook.h"

#include <QFileInfo>

/**
 * The shelf's entry for a book read aloud: its title is spoken by the voice
 * that will read it, once, when the book is found (on the search thread), into
 * "/tmp/ttsTitles/" below the root; the shelf plays that file after the
 * book's kind and medium, as it plays a DAISY book's recorded title.
 */
namespace TextTitle {

/** A Text book for the EPUB file or DAISY package @p info; undefined when it cannot be read. */
AudioBook textBook(const QFileInfo &info, int mediaType);

/** The message naming the kind of @p book: "EPUB" or "DAISY". */
QString kindMessage(const AudioBook &book);

} // namespace TextTitle

#endif
