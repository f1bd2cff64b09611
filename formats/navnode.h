// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FORMATS_NAVNODE_H
#define QUIMBO_FORMATS_NAVNODE_H

#include <QString>

class MediaGroup;

/**
 * A place in the book the reader can jump to: a heading (NavPoint), a page
 * (PageTarget) or a note, sidebar or other target (NavTarget). The node owns
 * its spoken label (media group) and deletes it with its contents. The
 * navigation model owns the nodes.
 */
class NavNode
{
public:
    enum Type { NavTargetType = 0, NavPointType = 1, PageTargetType = 2 };

    NavNode(const NavNode &) = delete;
    NavNode &operator=(const NavNode &) = delete;
    virtual ~NavNode();

    int typeOfNode() const { return m_type; }
    int playOrder() const { return m_playOrder; }
    void setPlayOrder(int playOrder) { m_playOrder = playOrder; }
    QString id() const { return m_id; }
    void setId(const QString &id) { m_id = id; }
    /** SMIL file path, "#", fragment id. */
    QString content() const { return m_content; }
    void setContent(const QString &content) { m_content = content; }
    QString className() const { return m_className; }
    void setClassName(const QString &className) { m_className = className; }
    MediaGroup *media() const { return m_media; }
    /** Takes ownership; the previous group is not deleted (the caller may have taken it). */
    void setMedia(MediaGroup *media) { m_media = media; }

protected:
    explicit NavNode(int type)
        : m_type(type)
    {
    }

private:
    int m_type;
    int m_playOrder = 0;
    QString m_id;
    QString m_content;
    QString m_className;
    MediaGroup *m_media = nullptr;
};

/** A heading. */
class NavPoint : public NavNode
{
public:
    NavPoint()
        : NavNode(NavPointType)
    {
    }

    /** 1 to 6 in DAISY 2.02; the nesting depth in DAISY 3. */
    int level() const { return m_level; }
    void setLevel(int level) { m_level = level; }

private:
    int m_level = 0;
};

/** A note, sidebar, producer's note, group or other target. */
class NavTarget : public NavNode
{
public:
    NavTarget()
        : NavNode(NavTargetType)
    {
    }
};

class PageTarget : public NavNode
{
public:
    enum PageType { Front = 0, Normal = 1, Special = 2 };

    PageTarget()
        : NavNode(PageTargetType)
    {
    }

    PageType type() const { return m_pageType; }
    void setType(PageType type) { m_pageType = type; }

private:
    PageType m_pageType = Normal;
};

#endif
