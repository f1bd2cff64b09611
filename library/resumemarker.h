// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_LIBRARY_RESUMEMARKER_H
#define QUIMBO_LIBRARY_RESUMEMARKER_H

#include "library/bookextras.h"

#include <QString>

/**
 * Where a DAISY book was left: the spine index (SMIL file), the clip index
 * (audio track within it) and the time offset in milliseconds into that
 * track's audio file. The title and the book's identifier (dc:identifier,
 * dtb:uid) are the key under which it is stored; a marker stored before
 * identifiers were kept has only its title, is still found by it, and takes
 * the identifier at its next save.
 */
class ResumeMarker
{
public:
    explicit ResumeMarker(const QString &title = QString(), const QString &identifier = QString());

    QString title() const { return m_title; }
    QString identifier() const { return m_identifier; }

    /** Kept in the store with the place; the players' saves leave them as they are. */
    const BookExtras &extras() const { return m_extras; }
    void setExtras(const BookExtras &extras) { m_extras = extras; }

    qint64 timeOffset() const { return m_timeOffset; }
    void setTimeOffset(qint64 timeOffset) { m_timeOffset = timeOffset; }

    int spineIndex() const { return m_spineIndex; }
    void setSpineIndex(int spineIndex) { m_spineIndex = spineIndex; }

    int clipIndex() const { return m_clipIndex; }
    void setClipIndex(int clipIndex) { m_clipIndex = clipIndex; }

    /** Back to the start of the book; the title stays. */
    void clear();

private:
    QString m_title;
    QString m_identifier;
    BookExtras m_extras;
    qint64 m_timeOffset = 0;
    int m_spineIndex = 0;
    int m_clipIndex = 0;
};

#endif
