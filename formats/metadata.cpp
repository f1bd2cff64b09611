// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/metadata.h"

MetaData::~MetaData()
{
    qDeleteAll(m_items);
}

void MetaData::addMetaDataItem(MetaDataItem *item)
{
    if (item)
        m_items.append(item);
}

MetaDataItem *MetaData::metaDataItem(const QString &name) const
{
    for (MetaDataItem *item : m_items) {
        if (item->name().compare(name, Qt::CaseInsensitive) == 0)
            return item;
    }
    return nullptr;
}

QString MetaData::metaDataItemContent(const QString &name) const
{
    const MetaDataItem *item = metaDataItem(name);
    return item ? item->content() : QString();
}
