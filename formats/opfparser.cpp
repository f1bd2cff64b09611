// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Parses untrusted input: OPF package files of DAISY 3 books.
#include "formats/opfparser.h"

#include "formats/logcategory.h"
#include "formats/metadata.h"
#include "formats/textrun.h"
#include "formats/referenceresolver.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QXmlStreamReader>


OpfParser::~OpfParser()
{
    if (!m_metaDataTaken)
        delete m_metaData;
}

MetaData *OpfParser::metaData()
{
    m_metaDataTaken = true;
    return m_metaData;
}

bool OpfParser::parseFromFile(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcFormats).noquote() << "[OpfParser::parseFromFile] failed to open file:"
                             << QLatin1Char('"') + file.errorString() + QLatin1Char('"');
        return false;
    }
    const QByteArray data = file.readAll();
    file.close();
    return parseFromFileData(fileName, data);
}

bool OpfParser::parseFromFileData(const QString &fileName, const QByteArray &data)
{
    m_smilManifest.clear();
    m_spineIdRefs.clear();
    m_spine.clear();
    m_navFileName.clear();
    m_navFileByMediaType.clear();
    m_inManifest = m_inSpine = m_inDcElement = false;
    m_currentDcItem = nullptr;
    m_fileName = fileName;
    if (!m_metaDataTaken)
        delete m_metaData;
    m_metaData = new MetaData;
    m_metaDataTaken = false;
    ReferenceResolver resolver(fileName);

    QXmlStreamReader reader(data);
    TextRun run;
    while (!reader.atEnd() && !reader.hasError()) {
        const QXmlStreamReader::TokenType token = run.readNext(reader);
        if (token == QXmlStreamReader::StartElement) {
            const QStringView name = reader.qualifiedName();
            const QXmlStreamAttributes attributes = reader.attributes();
            if (name == QLatin1String("manifest")) {
                m_inManifest = true;
            } else if (name == QLatin1String("spine")) {
                m_inSpine = true;
            } else if (name == QLatin1String("item") && m_inManifest) {
                const QString id = attributes.value(QLatin1String("id")).toString();
                const QString href = resolver.resolve(attributes.value(QLatin1String("href")).toString());
                const QStringView mediaType = attributes.value(QLatin1String("media-type"));
                if (id == QLatin1String("ncx"))
                    m_navFileName = href;
                else if (mediaType == QLatin1String("application/smil"))
                    m_smilManifest.insert(id, href);
                else if (mediaType == QLatin1String("application/x-dtbncx+xml") && m_navFileByMediaType.isEmpty())
                    m_navFileByMediaType = href;
            } else if (name == QLatin1String("itemref") && m_inSpine) {
                m_spineIdRefs.append(attributes.value(QLatin1String("idref")).toString());
            } else if (name == QLatin1String("meta")) {
                m_inDcElement = false;
                m_metaData->addMetaDataItem(new MetaDataItem(attributes.value(QLatin1String("name")).toString(),
                                                             attributes.value(QLatin1String("content")).toString()));
            } else if (name.startsWith(QLatin1String("dc:"))) {
                m_inDcElement = true;
                m_currentDcItem = new MetaDataItem(name.toString().toLower(), QString());
                m_metaData->addMetaDataItem(m_currentDcItem);
            }
        } else if (token == QXmlStreamReader::EndElement) {
            const QStringView name = reader.qualifiedName();
            if (name == QLatin1String("manifest")) {
                m_inManifest = false;
            } else if (name == QLatin1String("spine")) {
                m_inSpine = false;
            } else if (name.startsWith(QLatin1String("dc:"))) {
                m_inDcElement = false;
                m_currentDcItem = nullptr;
            }
        } else if (TextRun::isText(token) && m_inDcElement && m_currentDcItem) {
            m_currentDcItem->setContent(run.joined(m_currentDcItem->content(), reader));
        }
    }

    m_currentDcItem = nullptr;
    if (reader.hasError()) {
        qCWarning(lcFormats).noquote() << "[OpfParser::parseFromFileData] xml has error:"
                             << QLatin1Char('"') + reader.errorString() + QLatin1Char('"') << "at line:"
                             << reader.lineNumber();
        return false;
    }
    sortSpine();
    if (m_navFileName.isEmpty())
        findNavFileElsewhere();
    return true;
}

void OpfParser::findNavFileElsewhere()
{
    // Production tools give the NCX item whatever id they like ("navigation",
    // "toc"); the id "ncx" is only a convention, and the book is whole without it.
    if (!m_navFileByMediaType.isEmpty()) {
        qCWarning(lcFormats).noquote() << "[OpfParser::parseFromFileData] no manifest item with id ncx, using the NCX item:"
                             << m_navFileByMediaType;
        m_navFileName = m_navFileByMediaType;
        return;
    }
    const QFileInfo package(m_fileName);
    const QStringList candidates = package.dir().entryList({QStringLiteral("*.ncx")}, QDir::Files | QDir::Readable);
    if (candidates.size() != 1)
        return;
    m_navFileName = package.dir().filePath(candidates.first());
    qCWarning(lcFormats).noquote() << "[OpfParser::parseFromFileData] no NCX item in the manifest, using the only NCX file beside it:"
                         << m_navFileName;
}

void OpfParser::sortSpine()
{
    m_spine.clear();
    QSet<QString> seen;
    for (const QString &idRef : std::as_const(m_spineIdRefs)) {
        const QString path = m_smilManifest.value(idRef);
        if (path.isEmpty() || seen.contains(path))
            continue;
        seen.insert(path);
        m_spine.append(path);
    }
}
