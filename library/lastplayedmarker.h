// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_LIBRARY_LASTPLAYEDMARKER_H
#define QUIMBO_LIBRARY_LASTPLAYEDMARKER_H

#include <QString>

/**
 * Which book of a medium was read last: the book's url and the medium's
 * identifier. A stick or card carries its own file holding one marker
 * (single); the CD file on the device keeps one marker per disc.
 */
class LastPlayedMarker
{
public:
    LastPlayedMarker() = default;

    bool single() const { return m_single; }
    void setSingle(bool single) { m_single = single; }

    QString source() const { return m_source; }
    void setSource(const QString &source) { m_source = source; }

    quint64 mediaId() const { return m_mediaId; }
    void setMediaId(quint64 mediaId) { m_mediaId = mediaId; }

private:
    bool m_single = true;
    QString m_source;
    quint64 m_mediaId = 0;
};

#endif
