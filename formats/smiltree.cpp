// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/smiltree.h"

#include "formats/customtest.h"
#include "formats/logcategory.h"
#include "formats/medianode.h"
#include "formats/metadata.h"
#include "formats/smilmediagroup.h"
#include "formats/smilnode.h"

#include <QDebug>

#include <charconv>
#include <cmath>

namespace {

// QString::toDouble's result for the plain decimals of clock values, without its locale
// machinery: from_chars is locale-independent and correctly rounded, as toDouble is.
double fieldValue(QStringView field)
{
    char buffer[32];
    if (field.isEmpty() || field.size() >= qsizetype(sizeof buffer))
        return field.toDouble();
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char16_t c = field.at(i).unicode();
        if ((c < u'0' || c > u'9') && c != u'.')
            return field.toDouble();
        buffer[i] = char(c);
    }
    double value = 0;
    const char *end = buffer + field.size();
    const auto result = std::from_chars(buffer, end, value);
    if (result.ec != std::errc() || result.ptr != end)
        return field.toDouble();
    return value;
}

bool findIn(const SmilNode *node, const AudioNode *probe, QString &containerId, QStringList &textIds)
{
    if (node->categoryOfNode() == SmilNode::Content) {
        const MediaNode *media = static_cast<const ContentNode *>(node)->mediaNode();
        if (!media)
            return false;
        if (media->typeOfNode() == MediaNode::Text) {
            textIds.append(media->id());
            return false;
        }
        const auto *clip = static_cast<const AudioNode *>(media);
        return clip->source() == probe->source() && clip->clipBegin() < probe->position()
            && probe->position() < clip->clipEnd();
    }
    const auto *container = static_cast<const TimeContainerNode *>(node);
    for (int i = 0; i < container->numberOfChildren(); ++i) {
        if (findIn(container->child(i), probe, containerId, textIds)) {
            if (containerId.isEmpty())
                containerId = container->id();
            return true;
        }
    }
    return false;
}

} // namespace

SmilTree::SmilTree(const QString &smilFilePath, MetaData *metaData)
    : m_metaData(metaData)
    , m_smilFilePath(smilFilePath)
{
}

SmilTree::~SmilTree()
{
    delete m_root;
    delete m_metaData;
}

void SmilTree::setRoot(SeqNode *root)
{
    if (root == m_root)
        return;
    delete m_root;
    m_root = root;
}

void SmilTree::setMetaData(MetaData *metaData)
{
    if (metaData == m_metaData)
        return;
    delete m_metaData;
    m_metaData = metaData;
}

bool SmilTree::nodeIsIdTarget(SmilNode *node)
{
    if (m_idFound || !node || m_targetId.isEmpty())
        return m_idFound;
    m_idFound = node->id() == m_targetId;
    return m_idFound;
}

bool SmilTree::renderContentNode() const
{
    return m_targetId.isEmpty() || m_idFound;
}

bool SmilTree::skipThisNode(SmilNode *node) const
{
    if (!node || node->categoryOfNode() != SmilNode::TimeContainer || !m_customTestSet)
        return false;
    const CustomTest *test = m_customTestSet->customTest(static_cast<TimeContainerNode *>(node)->skipOption());
    return test && test->currenState();
}

SmilMediaGroup *SmilTree::render()
{
    auto *group = new SmilMediaGroup;
    nodeIsIdTarget(m_root);
    m_root->render(group);
    return group;
}

SmilMediaGroup *SmilTree::smilMediaGroup()
{
    if (!m_root) {
        qCWarning(lcFormats) << "[SmilTree::smilMediaGroup] error: invalid root";
        return nullptr;
    }
    m_targetId.clear();
    m_idFound = false;
    SmilMediaGroup *group = render();
    if (group->numberOfAudioTracks() == 0) {
        qCWarning(lcFormats).noquote() << "[SmilTree::smilMediaGroup] error: no valid audiotracks" << m_smilFilePath;
        delete group;
        return nullptr;
    }
    group->firstAudioTrack();
    return group;
}

SmilMediaGroup *SmilTree::smilMediaGroupFromId(const QString &id)
{
    if (!m_root) {
        qCWarning(lcFormats) << "[SmilTree::goToId] error: invalid root";
        return nullptr;
    }
    SmilMediaGroup *whole = smilMediaGroup();
    if (!whole) {
        qCWarning(lcFormats) << "[SmilTree::goToId] failed to render full smilMediaGroup";
        return nullptr;
    }
    m_targetId = id;
    m_idFound = false;
    SmilMediaGroup *fromId = render();
    if (fromId->numberOfAudioTracks() > 0) {
        AudioNode *first = fromId->firstAudioTrack();
        whole->setCurrentAudioTrack(first);
        if (AudioNode *current = whole->currentAudioTrack())
            current->setPosition(first->clipBegin());
        const AudioNode *current = whole->currentAudioTrack();
        qCDebug(lcFormats).noquote() << "[SmilTree::smilMediaGroupFromId]: id found:" << first->source() << first->clipBegin()
                           << (current ? current->position() : qint64(0));
    } else {
        qCDebug(lcFormats).noquote() << "[SmilTree::smilMediaGroupFromId]: idSmilMedia has no audioTracks" << id;
    }
    delete fromId;
    // Rendering state must not leak into the next smilMediaGroup() call.
    m_targetId.clear();
    m_idFound = false;
    return whole;
}

bool SmilTree::findAudioNodeRefs(AudioNode *probe, QString &containerId, QStringList &textIds) const
{
    if (!probe) {
        qCWarning(lcFormats) << "[Smiltree::findAudioNodeRefs] invalid audio node";
        return false;
    }
    if (!m_root)
        return false;
    return findIn(m_root, probe, containerId, textIds);
}

qint64 SmilTree::clockValue(const QString &text)
{
    static const float multipliers[] = {3600000.0f, 60000.0f, 1000.0f, 1.0f};

    // Called for every clip of every label and SMIL file: views instead of a split
    // list, and the one-field pattern ^(\d+\.?\d*)(h|min|s|ms)?$ matched by hand.
    QString value = text.trimmed();
    if (value.contains(QLatin1String("npt=")))
        value.remove(QLatin1String("npt="));
    const QStringView view(value);
    const qsizetype n = view.count(QLatin1Char(':')) + 1;
    if (n > 3)
        return 0;
    int first = int(3 - n);
    QStringView single = view;
    if (n == 1) {
        qsizetype i = 0;
        while (i < view.size() && view.at(i).isDigit())
            ++i;
        if (i > 0) {
            qsizetype end = i;
            if (end < view.size() && view.at(end) == QLatin1Char('.')) {
                ++end;
                while (end < view.size() && view.at(end).isDigit())
                    ++end;
            }
            const QStringView unit = view.mid(end);
            int index = -1;
            if (unit.isEmpty() || unit == QLatin1String("s"))
                index = 2;
            else if (unit == QLatin1String("h"))
                index = 0;
            else if (unit == QLatin1String("min"))
                index = 1;
            else if (unit == QLatin1String("ms"))
                index = 3;
            if (index >= 0) {
                single = view.left(end);
                first = index;
            }
        }
    }
    qint64 total = 0;
    qsizetype from = 0;
    for (int i = 0; i < n; ++i) {
        QStringView field;
        if (n == 1) {
            field = single;
        } else {
            qsizetype colon = view.indexOf(QLatin1Char(':'), from);
            if (colon < 0)
                colon = view.size();
            field = view.mid(from, colon - from);
            from = colon + 1;
        }
        const float product = multipliers[first + i] * float(fieldValue(field));
        // Huge or non-numeric fields ("1e30", "inf") must not reach the integer conversion.
        if (!std::isfinite(product) || std::fabs(product) >= 1.0e18f)
            return 0;
        total += qint64(product);
    }
    return total;
}

void SmilTree::print() const
{
    qCDebug(lcFormats).noquote() << "TREE for" << m_smilFilePath;
    printNode(m_root, 0);
}

void SmilTree::printNode(SmilNode *node, int depth) const
{
    if (!node)
        return;
    node->print(depth);
    if (node->categoryOfNode() == SmilNode::TimeContainer) {
        const auto *container = static_cast<TimeContainerNode *>(node);
        for (int i = 0; i < container->numberOfChildren(); ++i)
            printNode(container->child(i), depth + 1);
    }
}
