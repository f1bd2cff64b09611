// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Parses untrusted input: SMIL files from books of any origin; nesting depth is bounded, times are range-checked.
#include "formats/smilparser.h"

#include "formats/logcategory.h"
#include "formats/medianode.h"
#include "formats/metadata.h"
#include "formats/referenceresolver.h"
#include "formats/smilnode.h"
#include "formats/smiltree.h"

#include <QDebug>
#include <QFile>
#include <QXmlStreamReader>

namespace {

QString clipAttribute(const QXmlStreamAttributes &attributes, QLatin1String dashed, QLatin1String camel)
{
    return attributes.hasAttribute(dashed) ? attributes.value(dashed).toString() : attributes.value(camel).toString();
}

} // namespace

SmilParser::~SmilParser()
{
    // A tree nobody took is still ours.
    delete m_smilTree;
}

SmilTree *SmilParser::smilTree()
{
    SmilTree *tree = m_smilTree;
    m_smilTree = nullptr;
    return tree;
}

bool SmilParser::parseFromFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcFormats).noquote() << "[NavParser::parseFromFile] failed to open file:" << QLatin1Char('"') + path + QLatin1Char('"');
        return false;
    }
    const QByteArray data = file.readAll();
    file.close();
    return parseFromFileData(path, data);
}

bool SmilParser::parseFromFileData(const QString &path, const QByteArray &data)
{
    delete m_smilTree;
    m_smilFilePath = path;
    m_smilTree = new SmilTree(path, new MetaData);
    m_nodeStack.clear();
    ReferenceResolver resolver(path);

    QXmlStreamReader reader(data);
    bool tooDeep = false;
    while (!reader.atEnd() && !reader.hasError()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const QStringView name = reader.name();
            const QXmlStreamAttributes attributes = reader.attributes();
            SmilNode *node = nullptr;
            if (name == QLatin1String("seq")) {
                auto *seq = new SeqNode;
                seq->setId(attributes.value(QLatin1String("id")).toString());
                seq->setSkipOption(attributes.value(QLatin1String("customTest")).toString());
                node = seq;
            } else if (name == QLatin1String("par")) {
                auto *par = new ParNode;
                par->setId(attributes.value(QLatin1String("id")).toString());
                if (attributes.hasAttribute(QLatin1String("system-required"))) {
                    QString option = attributes.value(QLatin1String("system-required")).toString();
                    par->setSkipOption(option.remove(QLatin1String("-on")));
                } else {
                    par->setSkipOption(attributes.value(QLatin1String("customTest")).toString());
                }
                node = par;
            } else if (name == QLatin1String("text")) {
                auto *text = new TextNode;
                text->setId(attributes.value(QLatin1String("id")).toString());
                text->setSource(attributes.value(QLatin1String("src")).toString());
                auto *content = new ContentNode;
                content->setId(text->id());
                content->setMediaNode(text);
                node = content;
            } else if (name == QLatin1String("audio")) {
                auto *audio = new AudioNode;
                audio->setId(attributes.value(QLatin1String("id")).toString());
                audio->setSource(resolver.resolve(attributes.value(QLatin1String("src")).toString()));
                audio->setClipBegin(SmilTree::clockValue(
                    clipAttribute(attributes, QLatin1String("clip-begin"), QLatin1String("clipBegin"))));
                audio->setClipEnd(SmilTree::clockValue(
                    clipAttribute(attributes, QLatin1String("clip-end"), QLatin1String("clipEnd"))));
                auto *content = new ContentNode;
                content->setId(audio->id());
                content->setMediaNode(audio);
                node = content;
            } else if (name == QLatin1String("meta")) {
                const QString metaName = attributes.value(QLatin1String("name")).toString();
                const QString metaContent = attributes.value(QLatin1String("content")).toString();
                if (!metaName.isEmpty() && !metaContent.isEmpty())
                    m_smilTree->metaData()->addMetaDataItem(new MetaDataItem(metaName, metaContent));
            }
            if (node && !processNode(node)) {
                tooDeep = true;
                break;
            }
        } else if (token == QXmlStreamReader::EndElement) {
            const QStringView name = reader.name();
            if ((name == QLatin1String("seq") || name == QLatin1String("par")) && !m_nodeStack.isEmpty())
                m_nodeStack.removeLast();
        }
    }

    if (tooDeep || reader.hasError()) {
        if (tooDeep)
            qCWarning(lcFormats).noquote() << "[SmilParser::parseFromFileData] xml has error:"
                                 << "\"time containers nested too deep\" at line:" << reader.lineNumber();
        else
            qCWarning(lcFormats).noquote() << "[SmilParser::parseFromFileData] xml has error:"
                                 << QLatin1Char('"') + reader.errorString() + QLatin1Char('"') << "at line:"
                                 << reader.lineNumber();
        delete m_smilTree;
        m_smilTree = nullptr;
        m_nodeStack.clear();
        return false;
    }
    m_nodeStack.clear();
    return true;
}

bool SmilParser::processNode(SmilNode *node)
{
    node->setSmilTree(m_smilTree);
    const bool container = node->categoryOfNode() == SmilNode::TimeContainer;
    if (container && m_nodeStack.size() >= kMaxDepth) {
        delete node;
        return false;
    }
    if (m_smilTree->isEmpty()) {
        if (node->typeOfNode() == SmilNode::Seq) {
            m_smilTree->setRoot(static_cast<SeqNode *>(node));
            m_nodeStack.append(node);
            return true;
        }
        auto *root = new SeqNode;
        root->setSmilTree(m_smilTree);
        m_smilTree->setRoot(root);
        m_nodeStack.append(root);
        root->addChild(node);
        if (node->typeOfNode() == SmilNode::Par)
            m_nodeStack.append(node);
        return true;
    }
    if (m_nodeStack.isEmpty()) {
        // Content after the root has closed still belongs to the file: keep it under the root.
        m_smilTree->root()->addChild(node);
        if (container)
            m_nodeStack.append(node);
        return true;
    }
    static_cast<TimeContainerNode *>(m_nodeStack.last())->addChild(node);
    if (container)
        m_nodeStack.append(node);
    return true;
}
