// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FORMATS_REFERENCERESOLVER_H
#define QUIMBO_FORMATS_REFERENCERESOLVER_H

#include <QHash>
#include <QString>

/**
 * Resolves references ("file.smil#id") against the file that holds them. A
 * book names the same few files thousands of times, so each distinct file
 * part is resolved once; the fragment is appended as written.
 *
 * The base is a local path (or a path inside an archive), never a URL: a
 * folder called "Book #1" or "100% sure" is an ordinary folder, and reading
 * its path as a URL would cut it at the "#" or escape its "%".
 */
class ReferenceResolver
{
public:
    explicit ReferenceResolver(const QString &base = QString())
        : m_base(base)
    {
    }

    void setBase(const QString &base);
    QString resolve(const QString &reference);

    /**
     * The file part of @p reference (no fragment) as a path: relative to the
     * folder of @p base, cleaned; an absolute path or a file: URL as that
     * path; any other URL as written.
     */
    static QString resolveFile(const QString &base, const QString &reference);
    /**
     * Where the fragment of a resolved reference ("/books/Book #1/a.smil#p3")
     * starts: the index of its "#", or -1. A "#" followed by a "/" belongs to a
     * folder name, and ids hold no "/", so the fragment's "#" is the last one.
     */
    static qsizetype fragmentStart(const QString &path);
    /** @p reference with its percent escapes decoded; a "%" that starts no escape is kept as written. */
    static QString decoded(const QString &reference);

private:
    QString m_base;
    QHash<QString, QString> m_files;
};

#endif
