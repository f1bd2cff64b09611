// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/loghandler.h"

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

    if (type == QtDebugMsg)
        std::fprintf(stderr, "Debug: %s\n", msg.toLocal8Bit().constData());

    QString line = QString::number(QDate::currentDate().toJulianDay()) + QLatin1Char(' ')
        + QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
    switch (type) {
    case QtDebugMsg:
        line += QStringLiteral(" Debug: %1").arg(msg);
        break;
    case QtWarningMsg:
        line += QStringLiteral(" Warning: %1").arg(msg);
        break;
    case QtCriticalMsg:
        line += QStringLiteral(" Critical: %1").arg(msg);
        break;
    case QtFatalMsg:
        line += QStringLiteral(" Fatal: %1").arg(msg);
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
