// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_LIBRARY_RESUMEMARKER_H
#define QUIMBO_LIBRARY_RESUMEMARKER_H

#include <QString>

/**
 * Where a DAISY book was left: the spine index (SMIL file), the clip index
 * (audio track within it) and the time offset in milliseconds into that
 * track's audio file. The title is the key under which it is stored.
 */
class ResumeMarker
{
public:
    explicit ResumeMarker(const QString &title = QString());

    QString title() const { return m_title; }

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
    qint64 m_timeOffset = 0;
    int m_spineIndex = 0;
    int m_clipIndex = 0;
};

#endif
