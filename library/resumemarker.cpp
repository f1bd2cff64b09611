// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/resumemarker.h"

ResumeMarker::ResumeMarker(const QString &title, const QString &identifier)
    : m_title(title)
    , m_identifier(identifier)
{
}

void ResumeMarker::clear()
{
    m_timeOffset = 0;
    m_spineIndex = 0;
    m_clipIndex = 0;
}
