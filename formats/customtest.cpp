// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/customtest.h"

#include <QStringList>

CustomTestSet::~CustomTestSet()
{
    qDeleteAll(m_tests);
}

void CustomTestSet::addCustomTest(CustomTest *test)
{
    if (!test)
        return;
    if (m_tests.contains(test->id())) {
        // The set owns what it is given; a duplicate would otherwise leak.
        delete test;
        return;
    }
    m_tests.insert(test->id(), test);
}

QStringList CustomTestSet::ids() const
{
    QStringList list = m_tests.keys();
    list.sort();
    return list;
}
