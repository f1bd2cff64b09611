// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FORMATS_SMILTREE_H
#define QUIMBO_FORMATS_SMILTREE_H

#include <QString>
#include <QStringList>
#include <QtGlobal>

class AudioNode;
class CustomTestSet;
class MetaData;
class SeqNode;
class SmilMediaGroup;
class SmilNode;

/**
 * One SMIL file in memory. Owns its root (and through it every node) and its
 * metadata; the custom test set belongs to the book. Renders itself into
 * SmilMediaGroups, which the caller owns.
 */
class SmilTree
{
public:
    explicit SmilTree(const QString &smilFilePath = QString(), MetaData *metaData = nullptr);
    SmilTree(const SmilTree &) = delete;
    SmilTree &operator=(const SmilTree &) = delete;
    ~SmilTree();

    SeqNode *root() const { return m_root; }
    /** Takes ownership; deletes a previous root. */
    void setRoot(SeqNode *root);
    QString smilFilePath() const { return m_smilFilePath; }
    void setSmilFilePath(const QString &path) { m_smilFilePath = path; }
    CustomTestSet *customTestSet() const { return m_customTestSet; }
    void setCustomTestSet(CustomTestSet *set) { m_customTestSet = set; }
    MetaData *metaData() const { return m_metaData; }
    /** Takes ownership; deletes the previous metadata. */
    void setMetaData(MetaData *metaData);
    bool isEmpty() const { return m_root == nullptr; }

    // Rendering state, used by the nodes while they render.
    bool nodeIsIdTarget(SmilNode *node);
    bool renderContentNode() const;
    bool skipThisNode(SmilNode *node) const;

    /** The whole file, at its first track; null without a root or without audio. */
    SmilMediaGroup *smilMediaGroup();
    /** The whole file, with the current track starting where the element @p id begins. */
    SmilMediaGroup *smilMediaGroupFromId(const QString &id);

    /**
     * Which element a playback point belongs to. @p probe carries an audio
     * file (source) and a position in it. On a match @p containerId holds the
     * innermost enclosing container id and @p textIds the ids of the text
     * nodes met before the clip, in document order.
     */
    bool findAudioNodeRefs(AudioNode *probe, QString &containerId, QStringList &textIds) const;

    /** A SMIL clock value ("npt=5.2s", "1:02:03.5", "300ms", ...) in ms; 0 for nonsense. */
    static qint64 clockValue(const QString &text);

    void print() const;
    void printNode(SmilNode *node, int depth) const;

private:
    SmilMediaGroup *render();

    SeqNode *m_root = nullptr;
    CustomTestSet *m_customTestSet = nullptr;
    MetaData *m_metaData = nullptr;
    bool m_idFound = false;
    QString m_targetId;
    QString m_smilFilePath;
};

#endif
