// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/audiobook.h"

bool AudioBook::operator==(const AudioBook &other) const
{
    return m_mimeType == other.m_mimeType && m_url == other.m_url && m_titleFilename == other.m_titleFilename
        && m_titleStartTime == other.m_titleStartTime && m_titleStopTime == other.m_titleStopTime
        && m_mediaType == other.m_mediaType && m_number == other.m_number;
}
