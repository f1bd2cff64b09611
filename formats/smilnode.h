// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FORMATS_SMILNODE_H
#define QUIMBO_FORMATS_SMILNODE_H

#include <QString>
#include <QVector>

class MediaNode;
class SmilMediaGroup;
class SmilTree;

/**
 * One element of a SMIL tree: a time container (seq, par) or a content node
 * (text, audio). Containers own their children; the tree owns the root.
 */
class SmilNode
{
public:
    enum Type { Seq = 0, Par = 1, TextContent = 2, AudioContent = 3 };
    enum Category { TimeContainer = 0, Content = 1 };

    SmilNode(const SmilNode &) = delete;
    SmilNode &operator=(const SmilNode &) = delete;
    virtual ~SmilNode();
    virtual void render(SmilMediaGroup *group) = 0;

    int typeOfNode() const { return m_type; }
    int categoryOfNode() const { return m_category; }
    QString id() const { return m_id; }
    void setId(const QString &id) { m_id = id; }
    SmilTree *smilTree() const { return m_smilTree; }
    void setSmilTree(SmilTree *tree) { m_smilTree = tree; }
    /** Debug dump, indented by @p depth. */
    void print(int depth) const;

protected:
    SmilNode(int type, int category)
        : m_type(type)
        , m_category(category)
    {
    }
    void setType(int type) { m_type = type; }

private:
    int m_type;
    int m_category;
    QString m_id;
    SmilTree *m_smilTree = nullptr;
};

class TimeContainerNode : public SmilNode
{
public:
    ~TimeContainerNode() override;

    SmilNode *child(int index) const;
    int numberOfChildren() const { return int(m_children.size()); }
    void addChild(SmilNode *node);
    /** The custom-test id that may make this container skippable. */
    QString skipOption() const { return m_skipOption; }
    void setSkipOption(const QString &option) { m_skipOption = option; }

protected:
    explicit TimeContainerNode(int type)
        : SmilNode(type, TimeContainer)
    {
    }
    void renderChildren(SmilMediaGroup *group);

private:
    QString m_skipOption;
    QVector<SmilNode *> m_children;
};

class SeqNode : public TimeContainerNode
{
public:
    SeqNode()
        : TimeContainerNode(Seq)
    {
    }
    void render(SmilMediaGroup *group) override;
};

class ParNode : public TimeContainerNode
{
public:
    ParNode()
        : TimeContainerNode(Par)
    {
    }
    void render(SmilMediaGroup *group) override;
};

/** A text or audio element; owns its media node. */
class ContentNode : public SmilNode
{
public:
    ContentNode()
        : SmilNode(TextContent, Content)
    {
    }
    ~ContentNode() override;
    void render(SmilMediaGroup *group) override;

    MediaNode *mediaNode() const { return m_mediaNode; }
    /** Takes ownership; null is ignored. The node's type follows the media's. */
    void setMediaNode(MediaNode *node);

private:
    MediaNode *m_mediaNode = nullptr;
};

#endif
