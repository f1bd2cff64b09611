// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FORMATS_NAVPARSER_H
#define QUIMBO_FORMATS_NAVPARSER_H

#include "formats/referenceresolver.h"

#include <QByteArray>
#include <QString>

class CustomTestSet;
class NavModel;
class NavNode;
class NavPoint;
class NavTarget;
class PageTarget;

/**
 * Base of the navigation parsers (NCC, NCX): file reading, per-parse state,
 * the play-order counter and custom tests. After a successful parse the
 * caller takes navModel() and customTestSet() (and the title node when it is
 * not part of the model); the parser deletes none of them. After a failed
 * parse they have been deleted and the accessors return null.
 */
class NavParser
{
public:
    NavParser() = default;
    NavParser(const NavParser &) = delete;
    NavParser &operator=(const NavParser &) = delete;
    virtual ~NavParser();

    bool parseFromFile(const QString &fileName);
    /** @p fileName is the base every href is resolved against (also for repaired data). */
    bool parseFromFileData(const QString &fileName, const QByteArray &data);

    NavModel *navModel() const { return m_navModel; }
    CustomTestSet *customTestSet() const { return m_customTestSet; }
    NavNode *title() const { return m_title; }

protected:
    virtual bool parseFileData(const QByteArray &data) = 0;
    void addCustomTest(const QString &id, const QString &bookStruct, bool state);
    /** @p href resolved against the parsed file, fragment kept. */
    QString resolve(const QString &href);
    NavNode *currentNode() const;

    bool m_inText = false;
    int m_nextPlayOrder = 1;
    QString m_fileName;
    int m_currentKind = 0;
    NavNode *m_title = nullptr;
    NavPoint *m_currentNavPoint = nullptr;
    NavTarget *m_currentNavTarget = nullptr;
    PageTarget *m_currentPageTarget = nullptr;
    CustomTestSet *m_customTestSet = nullptr;
    NavModel *m_navModel = nullptr;

private:
    ReferenceResolver m_resolver;
};

#endif
