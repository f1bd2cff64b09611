// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FORMATS_SMILMEDIAGROUP_H
#define QUIMBO_FORMATS_SMILMEDIAGROUP_H

#include "formats/mediagroup.h"

#include <QVector>
#include <QtGlobal>

/**
 * A SMIL file rendered for playing: one audio track per audio file (the
 * stretch from the first clip of that file to the latest end of any of its
 * clips), the rendered clips in document order and the last rendered text.
 * Everything in it is its own copy, so the group outlives the SmilTree it was
 * rendered from; the destructor deletes the tracks and the contents.
 */
class SmilMediaGroup : public MediaGroup
{
public:
    SmilMediaGroup() = default;
    ~SmilMediaGroup() override;

    AudioNode *firstAudioTrack();
    AudioNode *lastAudioTrack();
    /** Past the last track the current track becomes null and null is returned. */
    AudioNode *nextAudioTrack();
    AudioNode *previousAudioTrack();
    /** Out of range: null, nothing changes. */
    AudioNode *audioTrack(int index);

    AudioNode *currentAudioTrack() const { return m_currentAudioTrack; }
    int currentAudioTrackIndex() const { return m_currentIndex; }
    int numberOfAudioTracks() const { return int(m_audioTracks.size()); }
    /** Sum of the durations of the tracks before the current one, in ms. */
    qint64 elapsedTime() const;

    /** Makes the track of the node's file current and lets it begin at the node's clip begin. */
    void setCurrentAudioTrack(AudioNode *node);
    /** Takes ownership of @p clip: extends or starts the track of its file and keeps the clip. */
    void addAudioClipToAudioTrack(AudioNode *clip);

private:
    AudioNode *select(int index);

    AudioNode *m_currentAudioTrack = nullptr;
    QVector<AudioNode *> m_audioTracks;
    int m_currentIndex = -1;
};

#endif
