// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/medianode.h"

void TextNode::setText(const QString &text)
{
    m_text = text.isEmpty() ? QStringLiteral("INVALID") : text;
}

AudioNode *AudioNode::clone() const
{
    auto *copy = new AudioNode;
    copy->setId(id());
    copy->setSource(source());
    copy->m_clipBegin = m_clipBegin;
    copy->m_clipEnd = m_clipEnd;
    copy->m_position = m_position;
    return copy;
}
