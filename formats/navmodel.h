// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FORMATS_NAVMODEL_H
#define QUIMBO_FORMATS_NAVMODEL_H

#include <QString>
#include <QVector>

class NavNode;

/**
 * Every navigation node of a book in one list sorted by play order, and the
 * section and page lookups the player's navigation rests on. Owns the nodes.
 */
class NavModel
{
public:
    NavModel() = default;
    NavModel(const NavModel &) = delete;
    NavModel &operator=(const NavModel &) = delete;
    ~NavModel();

    const QVector<NavNode *> &playOrderList() const { return m_playOrderList; }
    NavNode *firstNavNode() const;
    NavNode *lastNavNode() const;

    /** Takes ownership; keeps the list sorted, equal play orders in arrival order. */
    void addToPlayOrderList(NavNode *node);
    /** Index of the first node with that play order, -1 if none. */
    int playOrderListIndex(int playOrder) const;
    /**
     * The play order of @p node when it is of @p type, else of the nearest
     * preceding node of that type, else the node's own; 0 for null.
     */
    int playOrderNavNodeType(NavNode *node, int type) const;

    NavNode *nextSection(NavNode *node, int level) const;
    NavNode *previousSection(NavNode *node, int level) const;
    NavNode *nextPage(NavNode *node) const;
    NavNode *previousPage(NavNode *node) const;

    /** Among the nodes whose content is exactly @p ref, the one with the highest play order. */
    NavNode *navNodeForSmilId(const QString &ref) const;
    /** The same, comparing only the file parts before "#". */
    NavNode *navNodeRefersThisSmilFile(const QString &ref) const;

private:
    QVector<NavNode *> m_playOrderList;
};

#endif
