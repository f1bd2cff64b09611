// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FORMATS_XHTMLENTITIES_H
#define QUIMBO_FORMATS_XHTMLENTITIES_H

#include <QXmlStreamEntityResolver>

/**
 * The named character entities of XHTML 1.0 (&eacute;, &auml;, &mdash; ...).
 * An NCC with the XHTML DOCTYPE uses them freely, but the stream reader does
 * not load the external DTD that declares them: without this resolver they
 * stay raw in attribute values and become blanks in labels.
 */
class XhtmlEntityResolver : public QXmlStreamEntityResolver
{
public:
    /** The character of a known entity; a null string for any other name. */
    QString resolveUndeclaredEntity(const QString &name) override;
};

#endif
