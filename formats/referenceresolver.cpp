// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/referenceresolver.h"

#include <QUrl>

void ReferenceResolver::setBase(const QString &base)
{
    if (base != m_base) {
        m_base = base;
        m_files.clear();
    }
}

QString ReferenceResolver::resolve(const QString &reference)
{
    const qsizetype hash = reference.indexOf(QLatin1Char('#'));
    const QString file = hash < 0 ? reference : reference.left(hash);
    auto it = m_files.constFind(file);
    if (it == m_files.constEnd()) {
        // Bound the cache: a hostile file could name millions of distinct files.
        if (m_files.size() > 4096)
            m_files.clear();
        it = m_files.insert(file, resolvePath(m_base, file));
    }
    return hash < 0 ? *it : *it + QStringView(reference).mid(hash);
}

QString ReferenceResolver::resolvePath(const QString &base, const QString &file)
{
    const QUrl baseUrl = base.startsWith(QLatin1Char('/')) ? QUrl::fromLocalFile(base) : QUrl(base);
    const QUrl resolved = baseUrl.resolved(QUrl(file));
    return resolved.isLocalFile() ? resolved.toLocalFile() : resolved.toString();
}
