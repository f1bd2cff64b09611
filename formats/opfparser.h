// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FORMATS_OPFPARSER_H
#define QUIMBO_FORMATS_OPFPARSER_H

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

class MetaData;
class MetaDataItem;

/**
 * Reads a DAISY 3 package file (OPF): the SMIL files in reading order, the
 * metadata and the path of the NCX. After a successful parse the caller
 * takes metaData(); a metadata object nobody took is freed by the next parse
 * or the destructor.
 */
class OpfParser
{
public:
    OpfParser() = default;
    OpfParser(const OpfParser &) = delete;
    OpfParser &operator=(const OpfParser &) = delete;
    ~OpfParser();

    bool parseFromFile(const QString &fileName);
    bool parseFromFileData(const QString &fileName, const QByteArray &data);

    QStringList spine() const { return m_spine; }
    QString navFileName() const { return m_navFileName; }
    /** Hands the metadata over: the caller owns it from here on. */
    MetaData *metaData();

private:
    void sortSpine();
    void findNavFileElsewhere();

    bool m_inManifest = false;
    bool m_inSpine = false;
    bool m_inDcElement = false;
    MetaData *m_metaData = nullptr;
    MetaDataItem *m_currentDcItem = nullptr;
    QString m_fileName;
    QString m_navFileName;
    QString m_navFileByMediaType;
    QStringList m_spine;
    QStringList m_spineIdRefs;
    QHash<QString, QString> m_smilManifest;
    bool m_metaDataTaken = false;
};

#endif
