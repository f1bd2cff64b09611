// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FORMATS_XMLDOMLOADER_H
#define QUIMBO_FORMATS_XMLDOMLOADER_H

#include <QByteArray>
#include <QDomDocument>
#include <QString>

/**
 * Loads XML that came from outside (EPUB containers and packages, update.xml)
 * into a DOM without namespace processing. Absurdly deep nesting is refused
 * before the DOM sees it (the DOM needs seconds for tens of thousands of
 * levels), and a parse that fails leaves an empty document, never a partial
 * tree.
 */
class XmlDomLoader
{
public:
    /** Deeper documents are refused; real packages nest fewer than ten levels. */
    static constexpr int kMaxDepth = 256;

    /** Fills @p document; on failure it is empty, one line is logged and false returned. */
    static bool load(QDomDocument &document, const QByteArray &data, const QString &context);
};

#endif
