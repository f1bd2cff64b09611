// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Parses untrusted input: NCX files of DAISY 3 books; nesting only grows a list, play orders are range-checked.
#include "formats/ncxparser.h"
#include "formats/textrun.h"

#include "formats/customtest.h"
#include "formats/logcategory.h"
#include "formats/mediagroup.h"
#include "formats/medianode.h"
#include "formats/navmodel.h"
#include "formats/navnode.h"
#include "formats/smiltree.h"

#include <QDebug>
#include <QXmlStreamReader>

namespace {

NavPoint *makeRootEntry()
{
    auto *root = new NavPoint;
    root->setId(QStringLiteral("dummy"));
    root->setClassName(QStringLiteral("dummy"));
    root->setLevel(0);
    root->setPlayOrder(-1);
    return root;
}

void deleteGroup(MediaGroup *group)
{
    if (group) {
        group->deleteContents();
        delete group;
    }
}

} // namespace

NcxParser::NcxParser()
{
    m_navPointStack.append(makeRootEntry());
}

NcxParser::~NcxParser()
{
    if (!m_navPointStack.isEmpty() && m_navPointStack.first()->id() == QLatin1String("dummy"))
        delete m_navPointStack.first();
    for (MediaGroup *group : std::as_const(m_detachedGroups))
        deleteGroup(group);
}

void NcxParser::clearStack()
{
    // Only the root entry is ours; every other entry belongs to the model.
    if (!m_navPointStack.isEmpty() && m_navPointStack.first()->id() == QLatin1String("dummy")) {
        NavPoint *root = m_navPointStack.first();
        m_navPointStack.clear();
        m_navPointStack.append(root);
    } else {
        m_navPointStack.clear();
        m_navPointStack.append(makeRootEntry());
    }
}

bool NcxParser::parseFileData(const QByteArray &data)
{
    m_title = nullptr;
    m_currentLabelGroup = nullptr;
    clearStack();

    QXmlStreamReader reader(data);
    TextRun run;
    while (!reader.atEnd() && !reader.hasError()) {
        const QXmlStreamReader::TokenType token = run.readNext(reader);
        if (token == QXmlStreamReader::StartElement) {
            const QStringView name = reader.name();
            QXmlStreamAttributes attributes = reader.attributes();
            if (name == QLatin1String("docTitle")) {
                // A second docTitle replaces the first; the first title node was never handed out.
                delete m_title;
                auto *title = new NavPoint;
                m_currentLabelGroup = new MediaGroup;
                title->setMedia(m_currentLabelGroup);
                m_title = title;
            } else if (name == QLatin1String("docAuthor")) {
                m_currentLabelGroup = new MediaGroup;
                m_detachedGroups.append(m_currentLabelGroup);
            } else if (name == QLatin1String("navMap")) {
                m_currentKind = 0;
            } else if (name == QLatin1String("navList")) {
                m_currentKind = 1;
            } else if (name == QLatin1String("pageList")) {
                m_currentKind = 2;
            } else if (name == QLatin1String("navPoint")) {
                processNavPoint(attributes);
            } else if (name == QLatin1String("navTarget")) {
                processNavTarget(attributes);
            } else if (name == QLatin1String("pageTarget")) {
                processPageTarget(attributes);
            } else if (name == QLatin1String("navLabel")) {
                processNavLabel();
            } else if (name == QLatin1String("text")) {
                processText();
            } else if (name == QLatin1String("audio")) {
                processAudio(attributes);
            } else if (name == QLatin1String("content")) {
                processContent(attributes);
            } else if (name == QLatin1String("smilCustomTest")) {
                processCustomTest(attributes);
            }
        } else if (token == QXmlStreamReader::EndElement) {
            const QStringView name = reader.name();
            if (name == QLatin1String("navPoint")) {
                if (m_navPointStack.size() > 1)
                    m_navPointStack.removeLast();
                m_currentNavPoint = nullptr;
            } else if (name == QLatin1String("navTarget")) {
                m_currentNavTarget = nullptr;
            } else if (name == QLatin1String("pageTarget")) {
                m_currentPageTarget = nullptr;
            } else if (name == QLatin1String("text")) {
                m_inText = false;
            }
        } else if (TextRun::isText(token) && m_inText && m_currentLabelGroup && m_currentLabelGroup->textNode()) {
            TextNode *text = m_currentLabelGroup->textNode();
            text->setText(run.joined(text->text(), reader));
        }
    }

    m_currentLabelGroup = nullptr;
    for (MediaGroup *group : std::as_const(m_detachedGroups))
        deleteGroup(group);
    m_detachedGroups.clear();
    clearStack();

    if (reader.hasError()) {
        qCWarning(lcFormats).noquote() << "[NcxParser::parseFileData] xml has error:"
                             << QLatin1Char('"') + reader.errorString() + QLatin1Char('"') << "at line:"
                             << reader.lineNumber();
        // Unlike the model's nodes, the title node is not deleted with the model.
        delete m_title;
        m_title = nullptr;
        return false;
    }
    return true;
}

void NcxParser::setCommon(NavNode *node, QXmlStreamAttributes &attributes)
{
    node->setId(attributes.value(QLatin1String("id")).toString());
    node->setClassName(attributes.value(QLatin1String("class")).toString());
    bool ok = false;
    const int playOrder = attributes.value(QLatin1String("playOrder")).toInt(&ok);
    node->setPlayOrder(ok ? playOrder : 0);
}

void NcxParser::processNavPoint(QXmlStreamAttributes &attributes)
{
    auto *point = new NavPoint;
    point->setLevel(int(m_navPointStack.size()));
    setCommon(point, attributes);
    m_currentNavPoint = point;
    m_navPointStack.append(point);
    m_navModel->addToPlayOrderList(point);
}

void NcxParser::processNavTarget(QXmlStreamAttributes &attributes)
{
    auto *target = new NavTarget;
    setCommon(target, attributes);
    m_currentNavTarget = target;
    m_navModel->addToPlayOrderList(target);
}

void NcxParser::processPageTarget(QXmlStreamAttributes &attributes)
{
    auto *page = new PageTarget;
    setCommon(page, attributes);
    m_currentPageTarget = page;
    m_navModel->addToPlayOrderList(page);
}

void NcxParser::processNavLabel()
{
    NavNode *owner = m_currentNavPoint;
    if (!owner)
        owner = m_currentNavTarget;
    if (!owner)
        owner = m_currentPageTarget;
    if (!owner) {
        // The labels of navMap, navList and pageList themselves are not spoken.
        m_currentLabelGroup = nullptr;
        return;
    }
    auto *group = new MediaGroup;
    // A second label replaces the first; nobody else holds the first.
    deleteGroup(owner->media());
    owner->setMedia(group);
    m_currentLabelGroup = group;
}

void NcxParser::processText()
{
    if (!m_currentLabelGroup)
        return;
    delete m_currentLabelGroup->textNode();
    m_currentLabelGroup->setTextNode(new TextNode);
    m_inText = true;
}

void NcxParser::processAudio(QXmlStreamAttributes &attributes)
{
    if (!m_currentLabelGroup)
        return;
    auto *clip = new AudioNode;
    clip->setSource(resolve(attributes.value(QLatin1String("src")).toString()));
    clip->setClipBegin(SmilTree::clockValue(attributes.value(QLatin1String("clipBegin")).toString()));
    clip->setClipEnd(SmilTree::clockValue(attributes.value(QLatin1String("clipEnd")).toString()));
    m_currentLabelGroup->addAudioClip(clip);
}

void NcxParser::processContent(QXmlStreamAttributes &attributes)
{
    if (NavNode *node = currentNode())
        node->setContent(resolve(attributes.value(QLatin1String("src")).toString()));
}

void NcxParser::processCustomTest(QXmlStreamAttributes &attributes)
{
    addCustomTest(attributes.value(QLatin1String("id")).toString(), attributes.value(QLatin1String("bookStruct")).toString(),
                  false);
}
