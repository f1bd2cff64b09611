// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_APP_LOGHANDLER_H
#define QUIMBO_APP_LOGHANDLER_H

#include <QtGlobal>

class QMessageLogContext;
class QString;

/**
 * The process-wide message handler, installed with qInstallMessageHandler()
 * right after the command line has been read. Every qDebug/qWarning/
 * qCritical/qFatal of every thread ends here.
 *
 * Only messages of enabled categories arrive here: each folder logs through
 * its own category ("quimbo.formats", ...), all of them enabled by default;
 * LogHandler::loadFilterRules() and QT_LOGGING_RULES switch them off.
 *
 * Each message becomes one line "<julian day> <HH:mm:ss> <Level>: <text>"
 * appended to "/root/quimbo/log" below the platform root; the file is opened
 * and closed per message, and once it is larger than 5,242,880 bytes it is
 * moved to "log1" (replacing the previous one). Debug messages are also
 * echoed to standard error. A fatal message aborts after it is written.
 */
void messageLogHandler(QtMsgType type, const QMessageLogContext &context, const QString &msg);

namespace LogHandler {
/** Size above which the log is rotated, in bytes. */
constexpr qint64 maximumLogSize = 5242880;

/** The device's logging rules, beside the log. */
constexpr const char *rulesFile = "/root/quimbo/logging.rules";
/** Bytes read from the rules file at most. */
constexpr qint64 maximumRulesSize = 64 * 1024;

/**
 * Applies the rules file below the platform root when it exists, through
 * QLoggingCategory::setFilterRules(): lines such as "quimbo.formats=false"
 * or "quimbo.audio.debug=false", optionally under a "[Rules]" header, as in
 * qtlogging.ini. QT_LOGGING_RULES still applies on top of them. Logs the
 * rules it applies; returns whether a file was applied.
 */
bool loadFilterRules();
} // namespace LogHandler

#endif
