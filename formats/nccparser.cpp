// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Parses untrusted input: ncc.html files from books of any origin, often not well-formed.
#include "formats/nccparser.h"
#include "formats/textrun.h"

#include "formats/customtest.h"
#include "formats/logcategory.h"
#include "formats/mediagroup.h"
#include "formats/medianode.h"
#include "formats/metadata.h"
#include "formats/navmodel.h"
#include "formats/navnode.h"
#include "formats/xhtmlentities.h"

#include <QDebug>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QXmlStreamReader>

namespace {

bool isUtf8(const QByteArray &data)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(data);
    return !utf8.hasError();
}

// The charset a meta element of the head declares, or empty. Read from the
// bytes as Latin-1: the markup itself is ASCII in every 8-bit charset.
QString declaredCharset(const QByteArray &data)
{
    static const QRegularExpression meta(QStringLiteral("<meta\\b[^>]*>"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression attribute(QStringLiteral("([\\w:.-]+)\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)')"));
    static const QRegularExpression charset(QStringLiteral("charset\\s*=\\s*([\\w.:-]+)"), QRegularExpression::CaseInsensitiveOption);
    const QString head = QString::fromLatin1(data.left(64 * 1024));
    auto tags = meta.globalMatch(head);
    while (tags.hasNext()) {
        QString httpEquiv;
        QString name;
        QString content;
        auto attributes = attribute.globalMatch(tags.next().captured());
        while (attributes.hasNext()) {
            const QRegularExpressionMatch a = attributes.next();
            const QString key = a.captured(1).toLower();
            const QString value = a.hasCaptured(2) ? a.captured(2) : a.captured(3);
            if (key == QLatin1String("http-equiv"))
                httpEquiv = value.toLower();
            else if (key == QLatin1String("name"))
                name = value.toLower();
            else if (key == QLatin1String("content"))
                content = value.trimmed();
        }
        if (name == QLatin1String("ncc:charset") && !content.isEmpty())
            return content;
        if (httpEquiv == QLatin1String("content-type")) {
            const QRegularExpressionMatch m = charset.match(content);
            if (m.hasMatch())
                return m.captured(1);
        }
    }
    return QString();
}

} // namespace

NccParser::~NccParser() = default;

QByteArray NccParser::toUtf8(const QByteArray &data)
{
    // An XML declaration with an encoding, or a byte order mark, is what the
    // reader honours by itself. Valid UTF-8 is kept even under a meta element
    // that says otherwise: converting tools often leave the old meta behind.
    static const QRegularExpression declaration(QStringLiteral("^<\\?xml[^>]*encoding"));
    if (data.startsWith("\xEF\xBB\xBF") || data.startsWith("\xFF\xFE") || data.startsWith("\xFE\xFF")
        || declaration.match(QString::fromLatin1(data.left(200))).hasMatch() || isUtf8(data))
        return data;
    // Older production tools write the NCC in the producer's 8-bit charset
    // and declare it only in the HTML head.
    const QString name = declaredCharset(data);
    if (name.isEmpty())
        return data;
    QStringDecoder decoder(name.toLatin1().constData(), QStringDecoder::Flag::Stateless);
    if (!decoder.isValid()) {
        qCWarning(lcFormats).noquote() << "[NccParser::toUtf8] unknown charset declared:" << name;
        return data;
    }
    qCDebug(lcFormats).noquote() << "[NccParser::toUtf8] reading the NCC as" << name;
    return QString(decoder.decode(data)).toUtf8();
}

bool NccParser::parseFileData(const QByteArray &rawData)
{
    m_title = nullptr;
    m_metaData = new MetaData;

    const QByteArray data = toUtf8(rawData);
    QXmlStreamReader reader(data);
    XhtmlEntityResolver entities;
    reader.setEntityResolver(&entities);
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
        qCWarning(lcFormats).noquote() << "[NccParser::parseFileData] xml has error:"
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
