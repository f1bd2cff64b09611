// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/loghandler.h"

#include "app/logcategory.h"
#include "platform/paths.h"

#include <QDate>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QTime>

#include <cstdio>
#include <cstdlib>

namespace {
// Threads that log (keypad scanner, media searches) must not interleave
// inside a line or race on the rotation.
QMutex s_logMutex;
} // namespace

void messageLogHandler(QtMsgType type, const QMessageLogContext &context, const QString &msg)
{
    Q_UNUSED(context)

    // The handler ends every line itself: a message's own trailing line ends
    // would leave empty lines in the log.
    QStringView text(msg);
    while (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r')))
        text.chop(1);

    if (type == QtDebugMsg)
        std::fprintf(stderr, "Debug: %s\n", text.toLocal8Bit().constData());

    QString line = QString::number(QDate::currentDate().toJulianDay()) + QLatin1Char(' ')
        + QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
    switch (type) {
    case QtDebugMsg:
        line += QStringLiteral(" Debug: %1").arg(text);
        break;
    case QtWarningMsg:
        line += QStringLiteral(" Warning: %1").arg(text);
        break;
    case QtInfoMsg:
        // An info message once left an empty line in the log; it gets its
        // own level word like the others.
        line += QStringLiteral(" Info: %1").arg(text);
        break;
    case QtCriticalMsg:
        line += QStringLiteral(" Critical: %1").arg(text);
        break;
    case QtFatalMsg:
        line += QStringLiteral(" Fatal: %1").arg(text);
        break;
    default:
        line.clear();
        break;
    }
    std::fflush(stderr);

    {
        QMutexLocker locker(&s_logMutex);
        const QString logPath = Platform::path(QStringLiteral("/root/quimbo/log"));
        QFile log(logPath);
        if (log.open(QIODevice::WriteOnly | QIODevice::Append)) {
            log.write(line.toUtf8());
            log.write("\n", 1);
            const qint64 size = log.size();
            log.close();
            if (size > LogHandler::maximumLogSize) {
                const QString oldPath = Platform::path(QStringLiteral("/root/quimbo/log1"));
                QFile::remove(oldPath);
                QFile::rename(logPath, oldPath);
            }
        }
        // An unwritable log loses the line; standard error still had debug output.
    }

    if (type == QtFatalMsg)
        std::abort();
}

bool LogHandler::loadFilterRules()
{
    QFile file(Platform::path(QString::fromLatin1(rulesFile)));
    if (!file.exists())
        return false;
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcApp).noquote() << "[LogHandler::loadFilterRules] cannot read" << file.fileName() << file.errorString();
        return false;
    }
    // Bounded: a runaway file must not eat the memory at start-up.
    const QString rules = QString::fromUtf8(file.read(maximumRulesSize));
    // Written before the rules apply, so the log says why lines are missing.
    qCInfo(lcApp).noquote() << "[LogHandler::loadFilterRules] logging rules from" << file.fileName() << ":"
                            << QString(rules).replace(QLatin1Char('\n'), QLatin1Char(' ')).simplified();
    QLoggingCategory::setFilterRules(rules);
    return true;
}
