// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/kalversionnumber.h"

#include <QStringList>

KalVersionNumber::KalVersionNumber(int major, int minor, int revision) : m_major(major), m_minor(minor), m_revision(revision) { }

namespace {

KalVersionNumber parse(const QString &text, int fewestParts, bool *ok)
{
    if (ok)
        *ok = false;
    // A program answering "--version" ends its line with a newline; nothing else is tolerated.
    const QStringList parts = text.trimmed().split(QLatin1Char('.'));
    if (parts.size() < fewestParts || parts.size() > 3)
        return {};
    int numbers[3] = { 0, 0, 0 };
    for (int i = 0; i < parts.size(); ++i) {
        const QString &part = parts.at(i);
        if (part.isEmpty() || part.size() > 9)
            return {};
        for (const QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return {};
        }
        numbers[i] = part.toInt();
    }
    if (ok)
        *ok = true;
    return KalVersionNumber(numbers[0], numbers[1], numbers[2]);
}

} // namespace

KalVersionNumber KalVersionNumber::fromString(const QString &text, bool *ok)
{
    return parse(text, 3, ok);
}

KalVersionNumber KalVersionNumber::fromShortString(const QString &text, bool *ok)
{
    return parse(text, 1, ok);
}

QString KalVersionNumber::toString() const
{
    return QString::number(m_major) + QLatin1Char('.') + QString::number(m_minor) + QLatin1Char('.') + QString::number(m_revision);
}

int KalVersionNumber::compare(const KalVersionNumber &a, const KalVersionNumber &b)
{
    if (a.m_major != b.m_major)
        return a.m_major - b.m_major;
    if (a.m_minor != b.m_minor)
        return a.m_minor - b.m_minor;
    return a.m_revision - b.m_revision;
}

bool KalVersionNumber::isNull() const
{
    return m_major == 0 && m_minor == 0 && m_revision == 0;
}
