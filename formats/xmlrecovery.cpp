// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Parses untrusted input: damaged book files; libxml2 runs with its default depth and size limits.
#include "formats/xmlrecovery.h"

#include "formats/logcategory.h"

#include <QDebug>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QTemporaryFile>

#include <functional>

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

// Reads with libxml2's recovery, once more ignoring a declared encoding that
// libxml2 cannot handle, and writes the repaired tree back out.
QByteArray recoverDocument(const std::function<xmlDocPtr(int)> &read)
{
    QMutexLocker locker(&s_libxmlMutex);
    xmlDocPtr doc = read(kRecoverOptions | kSafetyOptions);
    if (!doc)
        doc = read(kRecoverOptions | kSafetyOptions | XML_PARSE_IGNORE_ENC);
    if (!doc) {
        qCWarning(lcFormats) << "[XmlRecovery::recover] error: couldn't be read";
        return QByteArray();
    }
    const QByteArray result = saveAndValidate(doc);
    // No xmlCleanupParser() here: it frees libxml2's global state, which the
    // library allows only once no thread uses libxml2 any more, and books are
    // opened on worker threads while others are read. The state is small and
    // lives as long as the process.
    xmlFreeDoc(doc);
    return result;
}

} // namespace

QByteArray XmlRecovery::recover(const QString &fileName)
{
    const QByteArray path = QFile::encodeName(fileName);
    return recoverDocument([&path](int options) { return xmlReadFile(path.constData(), nullptr, options); });
}

QByteArray XmlRecovery::recoverData(const QByteArray &data)
{
    return recoverDocument(
        [&data](int options) { return xmlReadMemory(data.constData(), int(data.size()), nullptr, nullptr, options); });
}

bool XmlRecovery::validate(const QByteArray &data)
{
    QMutexLocker locker(&s_libxmlMutex);
    return validateLocked(data);
}
