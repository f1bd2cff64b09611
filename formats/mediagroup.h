// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FORMATS_MEDIAGROUP_H
#define QUIMBO_FORMATS_MEDIAGROUP_H

#include <QString>
#include <QVector>

class AudioNode;
class TextNode;

/**
 * The spoken label of a navigation node: a text and the audio clip(s) that say
 * it. The group does not delete its contents by itself: the owner calls
 * deleteContents() before deleting the group (NavNode does).
 */
class MediaGroup
{
public:
    MediaGroup() = default;
    MediaGroup(const MediaGroup &) = delete;
    MediaGroup &operator=(const MediaGroup &) = delete;
    virtual ~MediaGroup();

    QString id() const { return m_id; }
    void setId(const QString &id) { m_id = id; }

    TextNode *textNode() const { return m_textNode; }
    /** Replaces the text node without deleting the previous one. */
    void setTextNode(TextNode *node) { m_textNode = node; }
    bool hasText() const { return m_textNode != nullptr; }

    AudioNode *audioClip(int index) const;
    int numberOfAudioClips() const { return int(m_audioClips.size()); }
    bool hasAudio() const { return !m_audioClips.isEmpty(); }
    void addAudioClip(AudioNode *clip);
    AudioNode *firstAudioClip() const;
    AudioNode *lastAudioClip() const;

    /** Deletes the text node and every clip, and empties the list. */
    void deleteContents();

private:
    QString m_id;
    TextNode *m_textNode = nullptr;
    QVector<AudioNode *> m_audioClips;
};

#endif
