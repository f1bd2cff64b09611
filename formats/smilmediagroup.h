// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FORMATS_SMILMEDIAGROUP_H
#define QUIMBO_FORMATS_SMILMEDIAGROUP_H

#include "formats/mediagroup.h"

#include <QVector>
#include <QtGlobal>

/**
 * A SMIL file rendered for playing: its audio tracks in document order, each
 * a run of clips that follow each other in one audio file (a new track
 * begins where the file changes or a clip does not start where the one
 * before it ended), the rendered clips in document order and the last
 * rendered text.
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

    /** Makes the track that holds the node's clip begin current; nothing changes when none does. */
    void setCurrentAudioTrack(AudioNode *node);
    /** Takes ownership of @p clip: extends the last track when the clip follows on in its file, else starts one. */
    void addAudioClipToAudioTrack(AudioNode *clip);

    /** How far apart (ms) the end of a clip and the begin of the next may be for the two to play as one. */
    static constexpr qint64 kFollowOnMsec = 100;
    /** Whether @p clip, in @p track's file, begins where the track ends. */
    static bool followsOn(const AudioNode *track, const AudioNode *clip);

private:
    AudioNode *select(int index);

    AudioNode *m_currentAudioTrack = nullptr;
    QVector<AudioNode *> m_audioTracks;
    int m_currentIndex = -1;
};

#endif
