// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_UPDATE_KALUPDATE_H
#define QUIMBO_UPDATE_KALUPDATE_H

#include "update/kalversionnumber.h"

#include <QString>
#include <QVector>

namespace KalUpdateType {
enum Types {
    Firmware = 0,
    Plugin = 1,
    DataPackageFile = 2,
    DataPackageDir = 3,
};
/** "firmware", "plugin", "datapackage/file", "datapackage/dir"; empty for any other value. */
QString name(Types type);
} // namespace KalUpdateType

/** The product an update is meant for and the lowest device version that may install it. */
struct KalTarget
{
    QString id;
    KalVersionNumber minimumVersion;
    QString minimumVersionText; ///< as written; minimumVersion reads 0.0.0 when this is no version
};

/** One part of an update: where it is in the zip (href) and where it goes on the device (dest). */
struct KalUpdateItem
{
    KalUpdateType::Types type = KalUpdateType::DataPackageFile;
    QString href;
    QString dest;
    QString version; ///< firmware only: what the new program must answer to "--version"
    bool reinstall = false; ///< firmware only: reinstall="true" allows the version already running
};

/** The parsed description of one update package (update.xml). */
class KalUpdate
{
public:
    void clear();
    bool isEmpty() const;
    /** A target id, a non-null minimum version and at least one item. */
    bool isValid() const;

    bool hasKalUpdateItemType(KalUpdateType::Types type) const;
    QVector<KalUpdateItem> kalUpdateItemsType(KalUpdateType::Types type) const;
    void addKalUpdateItem(const KalUpdateItem &item);
    QVector<KalUpdateItem> items() const { return m_items; }

    QString version() const { return m_version; }
    void setVersion(const QString &version) { m_version = version; }
    KalTarget target() const { return m_target; }
    void setTarget(const KalTarget &target) { m_target = target; }

private:
    QString m_version;
    KalTarget m_target;
    QVector<KalUpdateItem> m_items;
};

#endif
