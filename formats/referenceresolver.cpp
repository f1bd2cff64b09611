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
        it = m_files.insert(file, QUrl(m_base).resolved(QUrl(file)).toString());
    }
    return hash < 0 ? *it : *it + QStringView(reference).mid(hash);
}
