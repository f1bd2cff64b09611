// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_TESTS_LOGCAPTURE_H
#define QUIMBO_TESTS_LOGCAPTURE_H

#include <QList>
#include <QStringList>
#include <QtGlobal>

/**
 * Collects every log message while it lives, in place of the test's own
 * handler, so a test can assert on the exact lines a failure path writes,
 * also in loops that provoke many expected lines. Restores the previous
 * handler even when a check fails and returns early.
 */
class LogCapture
{
public:
    LogCapture()
    {
        s_current = this;
        m_previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &msg) {
            if (s_current) {
                s_current->m_lines.append(msg);
                s_current->m_types.append(type);
            }
        });
    }
    ~LogCapture()
    {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList lines() const { return m_lines; }
    QString text() const { return m_lines.join(QLatin1Char('\n')); }
    bool contains(const QString &text) const { return count(text) > 0; }
    int count(const QString &text) const
    {
        int n = 0;
        for (const QString &line : m_lines)
            n += line.contains(text) ? 1 : 0;
        return n;
    }

    /** Warnings (and worse) that contain none of the expected texts. */
    QStringList unexpectedWarnings(const QStringList &expected) const
    {
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
    QStringList m_lines;
    QList<QtMsgType> m_types;
    QtMessageHandler m_previous = nullptr;
    static inline LogCapture *s_current = nullptr;
};

#endif
