// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FORMATS_REFERENCERESOLVER_H
#define QUIMBO_FORMATS_REFERENCERESOLVER_H

#include <QHash>
#include <QString>

/**
 * Resolves references ("file.smil#id") against the file that holds them, by
 * URL reference resolution. A book names the same few files thousands of
 * times and QUrl resolution is slow, so each distinct file part is resolved
 * once; the fragment is appended as written.
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
     * A reference without fragment resolved against a file path. The base is
     * a path, not a URL: a folder named "Book #1" or "100%" stays whole.
     */
    static QString resolvePath(const QString &base, const QString &file);

    /**
     * Where the fragment of a resolved reference ("/media/usb/Book #1/a.smil#id")
     * starts (its '#'), or -1. A '#' in a folder name is part of the path: the
     * fragment is the part after the last '#' that follows the last '/'.
     */
    static qsizetype fragmentStart(QStringView resolved)
    {
        const qsizetype hash = resolved.lastIndexOf(QLatin1Char('#'));
        return hash > resolved.lastIndexOf(QLatin1Char('/')) ? hash : -1;
    }

private:
    QString m_base;
    QHash<QString, QString> m_files;
};

#endif
