// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/kalupdate.h"

QString KalUpdateType::name(Types type)
{
    switch (type) {
    case Firmware:
        return QStringLiteral("firmware");
    case Plugin:
        return QStringLiteral("plugin");
    case DataPackageFile:
        return QStringLiteral("datapackage/file");
    case DataPackageDir:
        return QStringLiteral("datapackage/dir");
    }
    return {};
}

void KalUpdate::clear()
{
    m_version.clear();
    m_target = KalTarget();
    m_items.clear();
}

bool KalUpdate::isEmpty() const
{
    return m_items.isEmpty();
}

bool KalUpdate::isValid() const
{
    return !m_target.id.isEmpty() && !m_target.minimumVersion.isNull() && !m_items.isEmpty();
}

bool KalUpdate::hasKalUpdateItemType(KalUpdateType::Types type) const
{
    for (const KalUpdateItem &item : m_items) {
        if (item.type == type)
            return true;
    }
    return false;
}

QVector<KalUpdateItem> KalUpdate::kalUpdateItemsType(KalUpdateType::Types type) const
{
    QVector<KalUpdateItem> result;
    for (const KalUpdateItem &item : m_items) {
        if (item.type == type)
            result.append(item);
    }
    return result;
}

void KalUpdate::addKalUpdateItem(const KalUpdateItem &item)
{
    m_items.append(item);
}
