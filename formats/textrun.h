// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FORMATS_TEXTRUN_H
#define QUIMBO_FORMATS_TEXTRUN_H

#include <QString>
#include <QXmlStreamReader>

/**
 * Reads tokens for the navigation and package parsers and tells which text
 * tokens belong together. The stream reader delivers one stretch of character
 * data in pieces when an entity reference the DTD leaves unresolved (&nbsp; in
 * XHTML) or a CDATA section splits it; those pieces are one label and must be
 * joined, while text after a nested element starts a new run.
 */
class TextRun
{
public:
    QXmlStreamReader::TokenType readNext(QXmlStreamReader &reader)
    {
        m_continues = m_lastWasText;
        const QXmlStreamReader::TokenType token = reader.readNext();
        m_lastWasText = isText(token);
        return token;
    }

    static bool isText(QXmlStreamReader::TokenType token)
    {
        return token == QXmlStreamReader::Characters || token == QXmlStreamReader::EntityReference;
    }

    /** True when the current text token directly follows another text token. */
    bool continues() const { return m_continues; }

    /** The current text token's text; an unresolved entity stands for its character. */
    static QString piece(const QXmlStreamReader &reader)
    {
        if (reader.tokenType() == QXmlStreamReader::Characters)
            return reader.text().toString();
        // A label is spoken and shown: an unknown entity must at least keep the words apart.
        if (reader.name() == QLatin1String("nbsp"))
            return QString(QChar(QChar::Nbsp));
        return QStringLiteral(" ");
    }

    /** @p current with the current token's piece added to the run, or the piece alone when it starts one. */
    QString joined(const QString &current, const QXmlStreamReader &reader) const
    {
        return m_continues ? current + piece(reader) : piece(reader);
    }

private:
    bool m_lastWasText = false;
    bool m_continues = false;
};

#endif
