// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FORMATS_METADATA_H
#define QUIMBO_FORMATS_METADATA_H

#include <QString>
#include <QVector>

/** One name/content pair of a book's or a SMIL file's metadata. */
class MetaDataItem
{
public:
    MetaDataItem() = default;
    MetaDataItem(const QString &name, const QString &content)
        : m_name(name)
        , m_content(content)
    {
    }

    QString name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    QString content() const { return m_content; }
    void setContent(const QString &content) { m_content = content; }

private:
    QString m_name;
    QString m_content;
};

/** The items in the order added, duplicates kept; owns them. */
class MetaData
{
public:
    MetaData() = default;
    MetaData(const MetaData &) = delete;
    MetaData &operator=(const MetaData &) = delete;
    ~MetaData();

    void addMetaDataItem(MetaDataItem *item);
    /** The first item whose name equals @p name ignoring case; null if none. */
    MetaDataItem *metaDataItem(const QString &name) const;
    /** Its content, or a null string. */
    QString metaDataItemContent(const QString &name) const;
    const QVector<MetaDataItem *> &items() const { return m_items; }

private:
    QVector<MetaDataItem *> m_items;
};

#endif
