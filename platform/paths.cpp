// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/paths.h"

#include <QDir>
#include <QSettings>

namespace Platform {

QString root()
{
    const QString r = qEnvironmentVariable("QUIMBO_ROOT");
    return r.isEmpty() ? QStringLiteral("/") : r;
}

QString path(const QString &absolute)
{
    const QString r = root();
    if (r == QLatin1String("/"))
        return absolute;
    QString result = r;
    if (result.endsWith(QLatin1Char('/')))
        result.chop(1);
    if (!absolute.startsWith(QLatin1Char('/')))
        result += QLatin1Char('/');
    return result + absolute;
}

QByteArray nativePath(const QString &absolute)
{
    return QFile::encodeName(path(absolute));
}

void setupSettingsLocation()
{
    // On the device the store is root's own ~/.config; elsewhere the same path below the root.
    const QString dir = path(QStringLiteral("/root/.config"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir);
}

} // namespace Platform
