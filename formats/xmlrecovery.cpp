// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Parses untrusted input: damaged book files; libxml2 runs with its default depth and size limits.
#include "formats/xmlrecovery.h"

#include <QDebug>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QTemporaryFile>

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlreader.h>
#include <libxml/xmlsave.h>

namespace {

QMutex s_libxmlMutex;

constexpr int kRecoverOptions = XML_PARSE_RECOVER | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
constexpr int kValidateOptions = XML_PARSE_NOERROR | XML_PARSE_NONET;

// Network access and external entities stay off: a book must not reach out of its folder.
constexpr int kSafetyOptions = XML_PARSE_NONET;

bool validateLocked(const QByteArray &data)
{
    xmlTextReaderPtr reader = xmlReaderForMemory(data.constData(), int(data.size()), nullptr, nullptr, kValidateOptions);
    if (!reader)
        return false;
    int result;
    do {
        result = xmlTextReaderRead(reader);
    } while (result == 1);
    xmlFreeTextReader(reader);
    return result == 0;
}

QByteArray saveAndValidate(xmlDocPtr doc)
{
    QByteArray result;
    QTemporaryFile file;
    if (file.open()) {
        // Written as UTF-8 whatever the source declared: Qt's reader knows no legacy code pages.
        if (xmlSaveFormatFileEnc(QFile::encodeName(file.fileName()).constData(), doc, "UTF-8", 1) >= 0) {
            file.seek(0);
            result = file.readAll();
        }
    }
    if (!validateLocked(result))
        result.clear();
    return result;
}

} // namespace

QByteArray XmlRecovery::recover(const QString &fileName)
{
    QMutexLocker locker(&s_libxmlMutex);
    const QByteArray path = QFile::encodeName(fileName);
    xmlDocPtr doc = xmlReadFile(path.constData(), nullptr, kRecoverOptions | kSafetyOptions);
    if (!doc)
        doc = xmlReadFile(path.constData(), nullptr, kRecoverOptions | kSafetyOptions | XML_PARSE_IGNORE_ENC);
    if (!doc) {
        qWarning() << "[XmlRecovery::recover] error: couldn't be read";
        xmlCleanupParser();
        return QByteArray();
    }
    const QByteArray result = saveAndValidate(doc);
    xmlFreeDoc(doc);
    xmlCleanupParser();
    return result;
}

QByteArray XmlRecovery::recoverData(const QByteArray &data)
{
    QMutexLocker locker(&s_libxmlMutex);
    xmlDocPtr doc = xmlReadMemory(data.constData(), int(data.size()), nullptr, nullptr, kRecoverOptions | kSafetyOptions);
    if (!doc)
        doc = xmlReadMemory(data.constData(), int(data.size()), nullptr, nullptr,
                            kRecoverOptions | kSafetyOptions | XML_PARSE_IGNORE_ENC);
    if (!doc) {
        qWarning() << "[XmlRecovery::recover] error: couldn't be read";
        xmlCleanupParser();
        return QByteArray();
    }
    const QByteArray result = saveAndValidate(doc);
    xmlFreeDoc(doc);
    xmlCleanupParser();
    return result;
}

bool XmlRecovery::validate(const QByteArray &data)
{
    QMutexLocker locker(&s_libxmlMutex);
    return validateLocked(data);
}
