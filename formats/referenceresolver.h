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

private:
    QString m_base;
    QHash<QString, QString> m_files;
};

#endif
