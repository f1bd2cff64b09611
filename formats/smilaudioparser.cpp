// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Parses untrusted input: the SMIL file a book's title points to.
#include "formats/smilaudioparser.h"

#include "formats/logcategory.h"
#include "formats/medianode.h"
#include "formats/navnode.h"
#include "formats/referenceresolver.h"
#include "formats/smiltree.h"
#include "formats/xmlrecovery.h"

#include <QDebug>
#include <QFile>
#include <QXmlStreamReader>

SmilAudioParser::~SmilAudioParser()
{
    delete m_result;
}

AudioNode *SmilAudioParser::takeResult()
{
    AudioNode *result = m_result;
    m_result = nullptr;
    return result;
}

AudioNode *SmilAudioParser::audioAtId(NavNode *node, const QString &basePath)
{
    delete m_result;
    m_result = nullptr;
    if (!node)
        return nullptr;
    const QString content = node->content();
    const qsizetype hash = ReferenceResolver::fragmentStart(content);
    if (hash < 0) {
        qCWarning(lcFormats).noquote() << "[SmilAudioParser::audioAtId] invalid content.. no fragment availabe:" << content;
        return nullptr;
    }
    m_targetId = content.mid(hash + 1);
    const QString file = content.left(hash);
    // The NCC parser hands over contents already resolved to paths: resolving
    // one again would decode a "%" in the book's folder name a second time.
    m_smilFilePath = file.startsWith(QLatin1Char('/')) ? file : ReferenceResolver::resolveFile(basePath, file);
    if (m_smilFilePath.isEmpty() || file.isEmpty()) {
        qCWarning(lcFormats).noquote() << "[SmilAudioParser::audioAtId] empty smilFilePath" << basePath << content;
        m_smilFilePath.clear();
        return nullptr;
    }
    parseFile();
    return takeResult();
}

bool SmilAudioParser::parseFile()
{
    QFile file(m_smilFilePath);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcFormats).noquote() << "[SmilAudioParser::parseFile] failed to open file:" << m_smilFilePath;
        return false;
    }
    const QByteArray data = file.readAll();
    file.close();
    if (parseFileData(data))
        return true;
    qCWarning(lcFormats) << "[SmilAudioParser::parseFile] failed to parse the file..try to recover";
    if (parseFileData(XmlRecovery::recover(m_smilFilePath)))
        return true;
    qCWarning(lcFormats) << "[SmilAudioParser::parseFile] failed to parse the recovered file";
    return false;
}

bool SmilAudioParser::parseFileData(const QByteArray &data)
{
    delete m_result;
    m_result = nullptr;
    QXmlStreamReader reader(data);
    // A par nested in a par is not valid SMIL, but only the innermost open one counts.
    int parDepth = 0;
    bool matching = false;
    while (!reader.atEnd() && !reader.hasError()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const QStringView name = reader.name();
            const QXmlStreamAttributes attributes = reader.attributes();
            if (name == QLatin1String("par")) {
                ++parDepth;
                matching = attributes.value(QLatin1String("id")) == m_targetId;
            } else if (name == QLatin1String("text")) {
                if (parDepth > 0 && attributes.value(QLatin1String("id")) == m_targetId)
                    matching = true;
            } else if (name == QLatin1String("audio") && parDepth > 0 && matching) {
                auto *clip = new AudioNode;
                clip->setId(attributes.value(QLatin1String("id")).toString());
                clip->setSource(
                    ReferenceResolver(m_smilFilePath).resolve(attributes.value(QLatin1String("src")).toString()));
                const auto begin = attributes.hasAttribute(QLatin1String("clip-begin"))
                    ? attributes.value(QLatin1String("clip-begin"))
                    : attributes.value(QLatin1String("clipBegin"));
                const auto end = attributes.hasAttribute(QLatin1String("clip-end"))
                    ? attributes.value(QLatin1String("clip-end"))
                    : attributes.value(QLatin1String("clipEnd"));
                clip->setClipBegin(SmilTree::clockValue(begin.toString()));
                clip->setClipEnd(SmilTree::clockValue(end.toString()));
                m_result = clip;
                return true;
            }
        } else if (token == QXmlStreamReader::EndElement && reader.name() == QLatin1String("par")) {
            if (parDepth > 0)
                --parDepth;
            matching = false;
        }
    }
    return !reader.hasError();
}
