// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/navparser.h"

#include "formats/customtest.h"
#include "formats/logcategory.h"
#include "formats/navmodel.h"
#include "formats/navnode.h"

#include <QDebug>
#include <QFile>

NavParser::~NavParser() = default;

bool NavParser::parseFromFile(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcFormats).noquote() << "[NavParser::parseFromFile] failed to open file:"
                             << QLatin1Char('"') + fileName + QLatin1Char('"');
        return false;
    }
    const QByteArray data = file.readAll();
    file.close();
    return parseFromFileData(fileName, data);
}

bool NavParser::parseFromFileData(const QString &fileName, const QByteArray &data)
{
    m_inText = false;
    m_nextPlayOrder = 1;
    m_currentKind = 0;
    m_currentNavPoint = nullptr;
    m_currentNavTarget = nullptr;
    m_currentPageTarget = nullptr;
    m_fileName = fileName;
    m_resolver.setBase(fileName);
    m_title = nullptr;
    m_navModel = new NavModel;
    m_customTestSet = new CustomTestSet;
    const bool ok = parseFileData(data);
    if (!ok) {
        delete m_navModel;
        m_navModel = nullptr;
        delete m_customTestSet;
        m_customTestSet = nullptr;
        m_currentNavPoint = nullptr;
        m_currentNavTarget = nullptr;
        m_currentPageTarget = nullptr;
        // The title was one of the deleted nodes (or deleted by the NCX parser itself).
        m_title = nullptr;
    }
    return ok;
}

void NavParser::addCustomTest(const QString &id, const QString &bookStruct, bool state)
{
    if (!m_customTestSet || m_customTestSet->contains(id))
        return;
    auto *test = new CustomTest;
    test->setId(id);
    test->setBookStruct(bookStruct);
    test->setCurrentState(state);
    test->setDefaultState(state);
    m_customTestSet->addCustomTest(test);
}

QString NavParser::resolve(const QString &href)
{
    return m_resolver.resolve(href);
}

NavNode *NavParser::currentNode() const
{
    switch (m_currentKind) {
    case 0:
        return m_currentNavPoint;
    case 1:
        return m_currentNavTarget;
    case 2:
        return m_currentPageTarget;
    }
    return nullptr;
}

