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
        if (track->source() == node->source() && track->clipBegin() <= node->clipBegin()
            && (node->clipBegin() < track->clipEnd() || track->clipBegin() == node->clipBegin())) {
            m_currentIndex = i;
            m_currentAudioTrack = track;
            return;
        }
    }
}

bool SmilMediaGroup::followsOn(const AudioNode *track, const AudioNode *clip)
{
    return track && clip && track->source() == clip->source() && qAbs(clip->clipBegin() - track->clipEnd()) <= kFollowOnMsec;
}

void SmilMediaGroup::addAudioClipToAudioTrack(AudioNode *clip)
{
    if (!clip)
        return;
    // Clips, not files: a file the SMIL returns to later (a chorus, a quotation)
    // is heard there again from that clip, not run on to its end from the first.
    AudioNode *last = m_audioTracks.isEmpty() ? nullptr : m_audioTracks.last();
    if (followsOn(last, clip))
        last->setClipEnd(qMax(last->clipEnd(), clip->clipEnd()));
    else
        m_audioTracks.append(clip->clone());
    addAudioClip(clip);
}
