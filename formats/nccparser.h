// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FORMATS_NCCPARSER_H
#define QUIMBO_FORMATS_NCCPARSER_H

#include "formats/navparser.h"

#include <QXmlStreamAttributes>

class MetaData;

/**
 * Reads a DAISY 2.02 "ncc.html" into a navigation model: one NavPoint per
 * heading, NavTargets for notes, sidebars and divisions, PageTargets for page
 * numbers, all in document order; the book's metadata; the custom tests.
 * The caller takes metaData() as well after a successful parse.
 */
class NccParser : public NavParser
{
public:
    NccParser() = default;
    ~NccParser() override;

    MetaData *metaData() const { return m_metaData; }

    /**
     * @p data as UTF-8. An NCC that is not valid UTF-8 and has no XML
     * declaration naming its encoding is converted from the charset its meta
     * element declares (http-equiv content type or "ncc:charset"); any other
     * data is returned as it is.
     */
    static QByteArray toUtf8(const QByteArray &data);

protected:
    bool parseFileData(const QByteArray &data) override;

private:
    void processHeading(int level, QXmlStreamAttributes &attributes);
    void processSpan(QXmlStreamAttributes &attributes);
    void processDiv(QXmlStreamAttributes &attributes);
    void processMetaData(QXmlStreamAttributes &attributes);
    void processAnchor(QXmlStreamAttributes &attributes);
    void processAnchorText(const QString &text, bool continuesRun);
    void addNode(NavNode *node, const QString &id, const QString &className);

    MetaData *m_metaData = nullptr;
};

#endif
