// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Parses untrusted input: nesting depth is bounded before the DOM is built.
#include "formats/xmldomloader.h"

#include "formats/logcategory.h"

#include <QDebug>
#include <QXmlStreamReader>

bool XmlDomLoader::load(QDomDocument &document, const QByteArray &data, const QString &context)
{
    document = QDomDocument();
    QXmlStreamReader reader(data);
    // The DOM below reads without namespaces, so a prefix nobody declared
    // (a sloppy "dc:title") is fine there and must be fine here too.
    reader.setNamespaceProcessing(false);
    int depth = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (++depth > kMaxDepth) {
                qCWarning(lcFormats).noquote() << context << "XML nests deeper than" << kMaxDepth << "levels, refused";
                return false;
            }
        } else if (token == QXmlStreamReader::EndElement) {
            --depth;
        }
    }
    if (reader.hasError()) {
        qCWarning(lcFormats).noquote() << context << "XML error at line" << reader.lineNumber() << ":" << reader.errorString();
        return false;
    }

    QString error;
    int line = 0;
    int column = 0;
    if (!document.setContent(data, false, &error, &line, &column)) {
        // Qt may keep the part it read before the error; a half document must not look like a whole one.
        document = QDomDocument();
        qCWarning(lcFormats).noquote() << context << "XML error at line" << line << ":" << error;
        return false;
    }
    return true;
}
