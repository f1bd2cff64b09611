// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FORMATS_MEDIANODE_H
#define QUIMBO_FORMATS_MEDIANODE_H

#include <QString>
#include <QtGlobal>

/**
 * One piece of media a book refers to: a text reference or an audio clip.
 * Whoever holds the pointer owns it unless the holder says otherwise. The
 * small family (MediaNode, TextNode, AudioNode) lives in one header because
 * each is a handful of fields.
 */
class MediaNode
{
public:
    enum Type { Audio = 0, Text = 1 };

    explicit MediaNode(int type)
        : m_type(type)
    {
    }
    // Content nodes own their media through this base: without a virtual
    // destructor a text node's text would never be freed, and a device that
    // reads for days loads thousands of SMIL files.
    virtual ~MediaNode() = default;
    MediaNode(const MediaNode &) = default;
    MediaNode &operator=(const MediaNode &) = default;

    int typeOfNode() const { return m_type; }
    QString id() const { return m_id; }
    void setId(const QString &id) { m_id = id; }
    /** A file path; for audio resolved against the file that named it. */
    QString source() const { return m_source; }
    void setSource(const QString &source) { m_source = source; }

private:
    int m_type;
    QString m_id;
    QString m_source;
};

class TextNode : public MediaNode
{
public:
    TextNode()
        : MediaNode(Text)
    {
    }

    QString text() const { return m_text; }
    /** An empty text is stored as "INVALID" so that a label is never silently blank. */
    void setText(const QString &text);

private:
    QString m_text;
};

/** An audio clip; all times are milliseconds within the clip's file. */
class AudioNode : public MediaNode
{
public:
    AudioNode()
        : MediaNode(Audio)
    {
    }

    qint64 clipBegin() const { return m_clipBegin; }
    void setClipBegin(qint64 ms) { m_clipBegin = ms; }
    qint64 clipEnd() const { return m_clipEnd; }
    void setClipEnd(qint64 ms) { m_clipEnd = ms; }
    /** A point inside the clip's file, used as a probe or as a play cursor. */
    qint64 position() const { return m_position; }
    void setPosition(qint64 ms) { m_position = ms; }
    qint64 duration() const { return m_clipEnd - m_clipBegin; }

    /** A new node with the same id, source, clip times and position. */
    AudioNode *clone() const;

private:
    qint64 m_clipBegin = 0;
    qint64 m_clipEnd = 0;
    qint64 m_position = 0;
};

#endif
