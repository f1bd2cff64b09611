// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/mediagroup.h"

#include "formats/medianode.h"

MediaGroup::~MediaGroup() = default;

AudioNode *MediaGroup::audioClip(int index) const
{
    if (index < 0 || index >= m_audioClips.size())
        return nullptr;
    return m_audioClips.at(index);
}

void MediaGroup::addAudioClip(AudioNode *clip)
{
    if (clip)
        m_audioClips.append(clip);
}

AudioNode *MediaGroup::firstAudioClip() const
{
    return m_audioClips.isEmpty() ? nullptr : m_audioClips.first();
}

AudioNode *MediaGroup::lastAudioClip() const
{
    return m_audioClips.isEmpty() ? nullptr : m_audioClips.last();
}

void MediaGroup::deleteContents()
{
    delete m_textNode;
    m_textNode = nullptr;
    qDeleteAll(m_audioClips);
    m_audioClips.clear();
}
