// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/navmodel.h"

#include "formats/navnode.h"
#include "formats/referenceresolver.h"

#include <algorithm>

namespace {

QStringView filePart(const QString &ref)
{
    const qsizetype hash = ReferenceResolver::fragmentStart(ref);
    return hash < 0 ? QStringView(ref) : QStringView(ref).left(hash);
}

bool isSection(const NavNode *node, int level)
{
    return node->typeOfNode() == NavNode::NavPointType && static_cast<const NavPoint *>(node)->level() <= level;
}

} // namespace

NavModel::~NavModel()
{
    qDeleteAll(m_playOrderList);
}

NavNode *NavModel::firstNavNode() const
{
    return m_playOrderList.isEmpty() ? nullptr : m_playOrderList.first();
}

NavNode *NavModel::lastNavNode() const
{
    return m_playOrderList.isEmpty() ? nullptr : m_playOrderList.last();
}

void NavModel::addToPlayOrderList(NavNode *node)
{
    if (!node)
        return;
    if (m_playOrderList.isEmpty() || node->playOrder() >= m_playOrderList.last()->playOrder()) {
        m_playOrderList.append(node);
        return;
    }
    // Binary search keeps books with shuffled play orders (DAISY 3) from going quadratic.
    const auto it = std::upper_bound(m_playOrderList.begin(), m_playOrderList.end(), node->playOrder(),
                                     [](int playOrder, const NavNode *n) { return playOrder < n->playOrder(); });
    m_playOrderList.insert(it, node);
}

int NavModel::playOrderListIndex(int playOrder) const
{
    const auto it = std::lower_bound(m_playOrderList.cbegin(), m_playOrderList.cend(), playOrder,
                                     [](const NavNode *n, int p) { return n->playOrder() < p; });
    if (it == m_playOrderList.cend() || (*it)->playOrder() != playOrder)
        return -1;
    return int(it - m_playOrderList.cbegin());
}

int NavModel::playOrderNavNodeType(NavNode *node, int type) const
{
    if (!node)
        return 0;
    if (node->typeOfNode() == type)
        return node->playOrder();
    const int index = playOrderListIndex(node->playOrder());
    for (int i = index - 1; i >= 0; --i) {
        const NavNode *candidate = m_playOrderList.at(i);
        if (candidate->typeOfNode() == type && candidate->playOrder() < node->playOrder())
            return candidate->playOrder();
    }
    return node->playOrder();
}

NavNode *NavModel::nextSection(NavNode *node, int level) const
{
    const int p = playOrderNavNodeType(node, NavNode::NavPointType);
    const auto it = std::upper_bound(m_playOrderList.cbegin(), m_playOrderList.cend(), p,
                                     [](int playOrder, const NavNode *n) { return playOrder < n->playOrder(); });
    for (auto i = it; i != m_playOrderList.cend(); ++i) {
        if (isSection(*i, level))
            return *i;
    }
    return nullptr;
}

NavNode *NavModel::previousSection(NavNode *node, int level) const
{
    const int p = playOrderNavNodeType(node, NavNode::NavPointType);
    const int index = playOrderListIndex(p);
    for (int i = index - 1; i >= 0; --i) {
        NavNode *candidate = m_playOrderList.at(i);
        if (isSection(candidate, level) && candidate->playOrder() < p)
            return candidate;
    }
    return nullptr;
}

NavNode *NavModel::nextPage(NavNode *node) const
{
    const int p = playOrderNavNodeType(node, NavNode::PageTargetType);
    const auto it = std::upper_bound(m_playOrderList.cbegin(), m_playOrderList.cend(), p,
                                     [](int playOrder, const NavNode *n) { return playOrder < n->playOrder(); });
    for (auto i = it; i != m_playOrderList.cend(); ++i) {
        if ((*i)->typeOfNode() == NavNode::PageTargetType)
            return *i;
    }
    return nullptr;
}

NavNode *NavModel::previousPage(NavNode *node) const
{
    const int p = playOrderNavNodeType(node, NavNode::PageTargetType);
    const int index = playOrderListIndex(p);
    for (int i = index - 1; i >= 0; --i) {
        NavNode *candidate = m_playOrderList.at(i);
        if (candidate->typeOfNode() == NavNode::PageTargetType && candidate->playOrder() < p)
            return candidate;
    }
    return nullptr;
}

NavNode *NavModel::navNodeForSmilId(const QString &ref) const
{
    NavNode *found = nullptr;
    for (NavNode *node : m_playOrderList) {
        if (node->content() == ref && (!found || node->playOrder() > found->playOrder()))
            found = node;
    }
    return found;
}

NavNode *NavModel::navNodeRefersThisSmilFile(const QString &ref) const
{
    const QStringView file = filePart(ref);
    NavNode *found = nullptr;
    for (NavNode *node : m_playOrderList) {
        if (filePart(node->content()) == file && (!found || node->playOrder() > found->playOrder()))
            found = node;
    }
    return found;
}
