// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FORMATS_SMILPARSER_H
#define QUIMBO_FORMATS_SMILPARSER_H

#include <QByteArray>
#include <QString>
#include <QVector>

class SmilNode;
class SmilTree;

/**
 * Reads one SMIL file into a SmilTree. Used for one file: parse, then take
 * the tree with smilTree() (the caller owns it; null after a failure).
 */
class SmilParser
{
public:
    SmilParser() = default;
    SmilParser(const SmilParser &) = delete;
    SmilParser &operator=(const SmilParser &) = delete;
    ~SmilParser();

    bool parseFromFile(const QString &path);
    bool parseFromFileData(const QString &path, const QByteArray &data);
    /** Hands the tree of the last successful parse to the caller. */
    SmilTree *smilTree();

    /** Containers nested deeper than this make the file refused rather than overflow the stack. */
    static constexpr int kMaxDepth = 256;

private:
    bool processNode(SmilNode *node);

    SmilTree *m_smilTree = nullptr;
    QString m_smilFilePath;
    QVector<SmilNode *> m_nodeStack;
};

#endif
