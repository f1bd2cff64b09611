// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/smilmediagroup.h"

#include "formats/medianode.h"

SmilMediaGroup::~SmilMediaGroup()
{
    qDeleteAll(m_audioTracks);
    deleteContents();
}

AudioNode *SmilMediaGroup::select(int index)
{
    m_currentIndex = index;
    m_currentAudioTrack = (index >= 0 && index < m_audioTracks.size()) ? m_audioTracks.at(index) : nullptr;
    return m_currentAudioTrack;
}

AudioNode *SmilMediaGroup::firstAudioTrack()
{
    return select(m_audioTracks.isEmpty() ? -1 : 0);
}

AudioNode *SmilMediaGroup::lastAudioTrack()
{
    return select(int(m_audioTracks.size()) - 1);
}

AudioNode *SmilMediaGroup::nextAudioTrack()
{
    if (m_currentIndex >= m_audioTracks.size())
        return nullptr;
    return select(m_currentIndex + 1);
}

AudioNode *SmilMediaGroup::previousAudioTrack()
{
    if (m_currentIndex < 1)
        return nullptr;
    return select(m_currentIndex - 1);
}

AudioNode *SmilMediaGroup::audioTrack(int index)
{
    if (index < 0 || index >= m_audioTracks.size())
        return nullptr;
    return select(index);
}

qint64 SmilMediaGroup::elapsedTime() const
{
    qint64 elapsed = 0;
    for (int i = 0; i < m_currentIndex && i < m_audioTracks.size(); ++i)
        elapsed += m_audioTracks.at(i)->duration();
    return elapsed;
}

void SmilMediaGroup::setCurrentAudioTrack(AudioNode *node)
{
    if (!node)
        return;
    for (int i = 0; i < m_audioTracks.size(); ++i) {
        AudioNode *track = m_audioTracks.at(i);
        if (track->source() == node->source()) {
            m_currentIndex = i;
            m_currentAudioTrack = track;
            track->setClipBegin(node->clipBegin());
            return;
        }
    }
}

void SmilMediaGroup::addAudioClipToAudioTrack(AudioNode *clip)
{
    if (!clip)
        return;
    AudioNode *track = nullptr;
    for (AudioNode *candidate : std::as_const(m_audioTracks)) {
        if (candidate->source() == clip->source()) {
            track = candidate;
            break;
        }
    }
    if (track) {
        if (track->clipEnd() < clip->clipEnd())
            track->setClipEnd(clip->clipEnd());
    } else {
        m_audioTracks.append(clip->clone());
    }
    addAudioClip(clip);
}
