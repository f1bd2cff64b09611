// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/navnode.h"

#include "formats/mediagroup.h"

NavNode::~NavNode()
{
    if (m_media) {
        m_media->deleteContents();
        delete m_media;
    }
}
