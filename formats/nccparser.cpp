// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Parses untrusted input: ncc.html files from books of any origin, often not well-formed.
#include "formats/nccparser.h"
#include "formats/textrun.h"

#include "formats/customtest.h"
#include "formats/mediagroup.h"
#include "formats/medianode.h"
#include "formats/metadata.h"
#include "formats/navmodel.h"
#include "formats/navnode.h"

#include <QDebug>
#include <QXmlStreamReader>

NccParser::~NccParser() = default;

bool NccParser::parseFileData(const QByteArray &data)
{
    m_title = nullptr;
    m_metaData = new MetaData;

    QXmlStreamReader reader(data);
    TextRun run;
    while (!reader.atEnd() && !reader.hasError()) {
        const QXmlStreamReader::TokenType token = run.readNext(reader);
        if (token == QXmlStreamReader::StartElement) {
            const QString name = reader.name().toString().toLower();
            QXmlStreamAttributes attributes = reader.attributes();
            if (name.size() == 2 && name.at(0) == QLatin1Char('h') && name.at(1) >= QLatin1Char('1')
                && name.at(1) <= QLatin1Char('6')) {
                processHeading(name.at(1).unicode() - '0', attributes);
            } else if (name == QLatin1String("span")) {
                processSpan(attributes);
            } else if (name == QLatin1String("div")) {
                processDiv(attributes);
            } else if (name == QLatin1String("meta")) {
                processMetaData(attributes);
            } else if (name == QLatin1String("a")) {
                processAnchor(attributes);
            }
        } else if (token == QXmlStreamReader::EndElement) {
            if (reader.name().compare(QLatin1String("a"), Qt::CaseInsensitive) == 0)
                m_inText = false;
        } else if (TextRun::isText(token) && m_inText) {
            processAnchorText(TextRun::piece(reader), run.continues());
        }
    }

    if (reader.hasError()) {
        qWarning().noquote() << "[NccParser::parseFileData] xml has error:"
                             << QLatin1Char('"') + reader.errorString() + QLatin1Char('"') << "at line:"
                             << reader.lineNumber();
        delete m_metaData;
        m_metaData = nullptr;
        return false;
    }
    return true;
}

void NccParser::addNode(NavNode *node, const QString &id, const QString &className)
{
    node->setId(id);
    node->setClassName(className);
    node->setPlayOrder(m_nextPlayOrder++);
    node->setMedia(new MediaGroup);
    m_navModel->addToPlayOrderList(node);
}

void NccParser::processHeading(int level, QXmlStreamAttributes &attributes)
{
    m_currentKind = 0;
    const QString className = attributes.value(QLatin1String("class")).toString().toLower();
    auto *point = new NavPoint;
    point->setLevel(level);
    addNode(point, attributes.value(QLatin1String("id")).toString(), className);
    if (className == QLatin1String("title") && !m_title)
        m_title = point;
    m_currentNavPoint = point;
}

void NccParser::processSpan(QXmlStreamAttributes &attributes)
{
    const QString id = attributes.value(QLatin1String("id")).toString();
    const QString className = attributes.value(QLatin1String("class")).toString().toLower();

    if (className.startsWith(QLatin1String("page-"))) {
        PageTarget::PageType type;
        if (className == QLatin1String("page-front"))
            type = PageTarget::Front;
        else if (className == QLatin1String("page-normal"))
            type = PageTarget::Normal;
        else if (className == QLatin1String("page-special"))
            type = PageTarget::Special;
        else
            return;
        m_currentKind = 2;
        auto *page = new PageTarget;
        page->setType(type);
        addNode(page, id, className.mid(5));
        m_currentPageTarget = page;
        addCustomTest(QStringLiteral("pagenumber"), QString(), false);
        return;
    }

    QString test;
    if (className == QLatin1String("sidebar"))
        test = QStringLiteral("sidebar");
    else if (className == QLatin1String("optional-prodnote"))
        test = QStringLiteral("prodnote");
    else if (className == QLatin1String("noteref"))
        test = QStringLiteral("footnote");
    else if (className != QLatin1String("group"))
        return;
    m_currentKind = 1;
    auto *target = new NavTarget;
    addNode(target, id, className);
    m_currentNavTarget = target;
    if (!test.isEmpty())
        addCustomTest(test, QString(), false);
}

void NccParser::processDiv(QXmlStreamAttributes &attributes)
{
    m_currentKind = 1;
    auto *target = new NavTarget;
    addNode(target, attributes.value(QLatin1String("id")).toString(),
            attributes.value(QLatin1String("class")).toString().toLower());
    m_currentNavTarget = target;
}

void NccParser::processMetaData(QXmlStreamAttributes &attributes)
{
    const QString name = attributes.value(QLatin1String("name")).toString();
    const QString content = attributes.value(QLatin1String("content")).toString();
    if (!name.isEmpty() && !content.isEmpty())
        m_metaData->addMetaDataItem(new MetaDataItem(name, content));
}

void NccParser::processAnchor(QXmlStreamAttributes &attributes)
{
    m_inText = true;
    NavNode *node = currentNode();
    if (node)
        node->setContent(resolve(attributes.value(QLatin1String("href")).toString()));
}

void NccParser::processAnchorText(const QString &text, bool continuesRun)
{
    NavNode *node = currentNode();
    if (!node || !node->media())
        return;
    MediaGroup *media = node->media();
    if (continuesRun && media->textNode()) {
        media->textNode()->setText(media->textNode()->text() + text);
        return;
    }
    auto *textNode = new TextNode;
    textNode->setText(text);
    // The group does not delete a text node it loses; the parser made it, so the parser does.
    delete media->textNode();
    media->setTextNode(textNode);
}
