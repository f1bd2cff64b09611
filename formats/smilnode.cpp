// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/smilnode.h"

#include "formats/logcategory.h"
#include "formats/medianode.h"
#include "formats/smilmediagroup.h"
#include "formats/smiltree.h"

#include <QDebug>

SmilNode::~SmilNode() = default;

void SmilNode::print(int depth) const
{
    static const char *const names[] = {"seq", "par", "text", "audio"};
    const char *name = (m_type >= 0 && m_type <= 3) ? names[m_type] : "?";
    qCDebug(lcFormats).noquote() << QString(depth * 2, QLatin1Char(' ')) + QLatin1String(name) << m_id;
}

TimeContainerNode::~TimeContainerNode()
{
    qDeleteAll(m_children);
}

SmilNode *TimeContainerNode::child(int index) const
{
    if (index < 0 || index >= m_children.size())
        return nullptr;
    return m_children.at(index);
}

void TimeContainerNode::addChild(SmilNode *node)
{
    if (node)
        m_children.append(node);
}

void TimeContainerNode::renderChildren(SmilMediaGroup *group)
{
    SmilTree *tree = smilTree();
    for (SmilNode *node : std::as_const(m_children)) {
        if (tree)
            tree->nodeIsIdTarget(node);
        node->render(group);
    }
}

void SeqNode::render(SmilMediaGroup *group)
{
    renderChildren(group);
}

void ParNode::render(SmilMediaGroup *group)
{
    if (smilTree() && smilTree()->skipThisNode(this))
        return;
    renderChildren(group);
}

ContentNode::~ContentNode()
{
    delete m_mediaNode;
}

void ContentNode::setMediaNode(MediaNode *node)
{
    if (!node)
        return;
    delete m_mediaNode;
    m_mediaNode = node;
    setType(node->typeOfNode() == MediaNode::Audio ? AudioContent : TextContent);
}

void ContentNode::render(SmilMediaGroup *group)
{
    if (!group || !m_mediaNode)
        return;
    if (smilTree() && !smilTree()->renderContentNode())
        return;
    // The group gets copies: it is handed to the player and may outlive this tree.
    if (m_mediaNode->typeOfNode() == MediaNode::Audio) {
        group->addAudioClipToAudioTrack(static_cast<AudioNode *>(m_mediaNode)->clone());
    } else {
        const auto *text = static_cast<TextNode *>(m_mediaNode);
        auto *copy = new TextNode;
        copy->setId(text->id());
        copy->setSource(text->source());
        copy->setText(text->text());
        delete group->textNode();
        group->setTextNode(copy);
    }
}
