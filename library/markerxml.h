// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_LIBRARY_MARKERXML_H
#define QUIMBO_LIBRARY_MARKERXML_H

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>
#include <vector>

/**
 * A small element tree for the marker files, with a parser fast enough for
 * stores that hold thousands of books (they are never pruned) and a writer
 * that produces the layout the files have always had.
 */
namespace MarkerXml {

struct Node
{
    bool isText = false;
    QString name; // element name; empty for text
    // A text node's text; for an element that holds nothing but text (the
    // common case) that text, with no child nodes.
    QString text;
    QList<std::pair<QString, QString>> attributes;
    std::vector<Node> children;

    /** The text of all descendants, in order. */
    QString allText() const;
    /** The first child element with that name, or null. */
    Node *child(const QString &name);
    const Node *child(const QString &name) const;
    QString attribute(const QString &name) const;
};

enum class Result {
    Ok,
    /** Not well-formed: the tree holds what was complete before the fault. */
    Damaged,
    /** Elements nested deeper than kMaxDepth: refused, the tree is empty. */
    TooDeep,
};

/** Our files nest three levels deep; anything far deeper is not one of them. */
constexpr int kMaxDepth = 16;

/**
 * XML 1.0 cannot hold control characters (other than tab, line feed and
 * carriage return), unpaired surrogates or U+FFFE/U+FFFF, not even as
 * references; yet a title or a folder name may contain them. The writer
 * stores each such code unit as U+E000 followed by its four hex digits, and
 * U+E000 itself the same way, so that every text survives a save and a load
 * unchanged and the file stays well-formed. Text without these characters
 * is stored as it is.
 */
QString encodeText(const QString &text);
QString decodeText(const QString &text);

/**
 * Reads a file into root (the document element), decoding what
 * encodeText() wrote. White space between
 * elements is dropped; comments and processing instructions are skipped.
 * The common case, a file as our writers leave it, takes a direct path over
 * the bytes; anything unusual goes through the full XML reader.
 * errorString gets the reader's message when the file is damaged.
 */
Result parse(const QByteArray &content, Node *root, QString *errorString = nullptr);

/** The same through the full XML reader alone: what the direct path must agree with. */
Result parseWithReader(const QByteArray &content, Node *root, QString *errorString = nullptr);

/**
 * The whole document: the declaration line, then the elements, each on its
 * own line indented by indent spaces per level; an element holding only text
 * keeps it on its line; an element without content is written "<name/>".
 */
QByteArray write(const Node &root, const QByteArray &declaration, int indent);

} // namespace MarkerXml

#endif
