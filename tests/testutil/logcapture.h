// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_TESTS_LOGCAPTURE_H
#define QUIMBO_TESTS_LOGCAPTURE_H

#include <QList>
#include <QLoggingCategory>
#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <QtGlobal>

/**
 * Collects the log lines of the categories a test watches while it lives,
 * so a test can assert on the exact lines a failure path writes, also in
 * loops that provoke many expected lines. A category is watched when its
 * name is one of the given ones or starts with one of them and a dot: the
 * default "quimbo" watches every folder of the firmware, "quimbo.formats"
 * only the parsers.
 *
 * Lines of other categories (Qt's own warnings among them) go on to the
 * handler that was installed before, the test framework's, so they still
 * show and still fail a test that fails on warnings. With PassOn the
 * watched lines go there too. Restores the previous handler even when a
 * check fails and returns early.
 */
class LogCapture
{
public:
    enum Mode { Keep, PassOn };

    explicit LogCapture(const QStringList &categories = {QStringLiteral("quimbo")}, Mode mode = Keep)
        : m_categories(categories)
        , m_mode(mode)
    {
        m_outer = s_current;
        s_current = this;
        m_previous = qInstallMessageHandler(&LogCapture::handle);
    }
    explicit LogCapture(const QLoggingCategory &category, Mode mode = Keep)
        : LogCapture(QStringList{QString::fromLatin1(category.categoryName())}, mode)
    {
    }
    ~LogCapture()
    {
        qInstallMessageHandler(m_previous);
        s_current = m_outer;
    }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList lines() const
    {
        const QMutexLocker locker(&m_mutex);
        return m_lines;
    }
    QString text() const { return lines().join(QLatin1Char('\n')); }
    bool contains(const QString &text) const { return count(text) > 0; }
    int count(const QString &text) const
    {
        int n = 0;
        const QStringList all = lines();
        for (const QString &line : all)
            n += line.contains(text) ? 1 : 0;
        return n;
    }
    void clear()
    {
        const QMutexLocker locker(&m_mutex);
        m_lines.clear();
        m_types.clear();
        m_lineCategories.clear();
    }
    /** The categories of the collected lines, in order. */
    QStringList categories() const
    {
        const QMutexLocker locker(&m_mutex);
        return m_lineCategories;
    }

    /** Warnings (and worse) that contain none of the expected texts. */
    QStringList unexpectedWarnings(const QStringList &expected) const
    {
        const QMutexLocker locker(&m_mutex);
        QStringList result;
        for (int i = 0; i < m_lines.size(); ++i) {
            if (m_types.at(i) == QtDebugMsg || m_types.at(i) == QtInfoMsg)
                continue;
            bool known = false;
            for (const QString &text : expected)
                known = known || m_lines.at(i).contains(text);
            if (!known)
                result << m_lines.at(i);
        }
        return result;
    }

private:
    bool watches(const char *category) const
    {
        const QLatin1String name(category ? category : "default");
        for (const QString &watched : m_categories) {
            if (name == watched || (name.startsWith(watched) && name.size() > watched.size() && name.at(watched.size()) == QLatin1Char('.')))
                return true;
        }
        return false;
    }

    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &msg)
    {
        if (s_current)
            s_current->dispatch(type, context, msg);
    }

    // An inner capture hands on to the one around it, the outermost to the
    // handler that was there before.
    void dispatch(QtMsgType type, const QMessageLogContext &context, const QString &msg)
    {
        if (watches(context.category)) {
            {
                const QMutexLocker locker(&m_mutex); // worker threads log too
                m_lines.append(msg);
                m_types.append(type);
                m_lineCategories.append(QString::fromLatin1(context.category));
            }
            if (m_mode == Keep)
                return;
        }
        if (m_outer)
            m_outer->dispatch(type, context, msg);
        else if (m_previous)
            m_previous(type, context, msg);
    }

    const QStringList m_categories;
    const Mode m_mode;
    mutable QMutex m_mutex;
    QStringList m_lines;
    QList<QtMsgType> m_types;
    QStringList m_lineCategories;
    QtMessageHandler m_previous = nullptr;
    LogCapture *m_outer = nullptr;
    static inline LogCapture *s_current = nullptr;
};

#endif
