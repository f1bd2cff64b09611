// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/referenceresolver.h"

#include <QDir>
#include <QUrl>

namespace {

bool isHexDigit(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
        || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

// "scheme:" as a URL starts; a one-letter scheme would be a drive letter, which no book here has.
qsizetype schemeLength(const QString &reference)
{
    qsizetype i = 0;
    while (i < reference.size()) {
        const QChar c = reference.at(i);
        if (c == QLatin1Char(':'))
            return i >= 2 ? i : -1;
        const bool letter = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
        if (!letter && (i == 0 || !(c.isDigit() || c == QLatin1Char('+') || c == QLatin1Char('-') || c == QLatin1Char('.'))))
            return -1;
        ++i;
    }
    return -1;
}

} // namespace

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
        it = m_files.insert(file, resolveFile(m_base, file));
    }
    return hash < 0 ? *it : *it + QStringView(reference).mid(hash);
}

qsizetype ReferenceResolver::fragmentStart(const QString &path)
{
    const qsizetype hash = path.lastIndexOf(QLatin1Char('#'));
    if (hash < 0 || path.indexOf(QLatin1Char('/'), hash) >= 0)
        return -1;
    return hash;
}

QString ReferenceResolver::decoded(const QString &reference)
{
    const qsizetype percent = reference.indexOf(QLatin1Char('%'));
    if (percent < 0)
        return reference;
    // Books made by hand write names raw ("100% sure.mp3"); only a reference
    // whose every "%" starts an escape was written as a URL.
    for (qsizetype i = percent; i < reference.size(); ++i) {
        if (reference.at(i) != QLatin1Char('%'))
            continue;
        if (i + 2 >= reference.size() || !isHexDigit(reference.at(i + 1)) || !isHexDigit(reference.at(i + 2)))
            return reference;
    }
    return QUrl::fromPercentEncoding(reference.toUtf8());
}

QString ReferenceResolver::resolveFile(const QString &base, const QString &reference)
{
    const qsizetype scheme = schemeLength(reference);
    if (scheme > 0) {
        if (QStringView(reference).left(scheme).compare(QLatin1String("file"), Qt::CaseInsensitive) == 0)
            return QUrl(reference).toLocalFile();
        return reference;
    }
    if (reference.isEmpty())
        return base;
    const QString file = decoded(reference);
    if (file.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(file);
    const qsizetype slash = base.lastIndexOf(QLatin1Char('/'));
    return QDir::cleanPath(base.left(slash + 1) + file);
}
