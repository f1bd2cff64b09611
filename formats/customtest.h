// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FORMATS_CUSTOMTEST_H
#define QUIMBO_FORMATS_CUSTOMTEST_H

#include <QHash>
#include <QString>

/**
 * A skippable structure of a book (page numbers, notes, sidebars...). A true
 * current state makes the time containers that carry it skipped when a SMIL
 * file is rendered.
 */
class CustomTest
{
public:
    QString id() const { return m_id; }
    void setId(const QString &id) { m_id = id; }
    QString bookStruct() const { return m_bookStruct; }
    void setBookStruct(const QString &bookStruct) { m_bookStruct = bookStruct; }
    // The misspelling is the name every caller uses.
    bool currenState() const { return m_currentState; }
    void setCurrentState(bool state) { m_currentState = state; }
    bool defaultState() const { return m_defaultState; }
    void setDefaultState(bool state) { m_defaultState = state; }

private:
    bool m_currentState = false;
    bool m_defaultState = false;
    QString m_id;
    QString m_bookStruct;
};

/** The custom tests of a book, keyed by id; owns them. */
class CustomTestSet
{
public:
    CustomTestSet() = default;
    CustomTestSet(const CustomTestSet &) = delete;
    CustomTestSet &operator=(const CustomTestSet &) = delete;
    ~CustomTestSet();

    bool contains(const QString &id) const { return m_tests.contains(id); }
    CustomTest *customTest(const QString &id) const { return m_tests.value(id); }
    /** Takes ownership; a test whose id is already present is deleted, not added. */
    void addCustomTest(CustomTest *test);
    int count() const { return int(m_tests.size()); }
    QStringList ids() const;

private:
    QHash<QString, CustomTest *> m_tests;
};

#endif
