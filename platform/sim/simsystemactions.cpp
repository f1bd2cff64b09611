// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sim/simsystemactions.h"

#include "platform/paths.h"
#include "platform/sim/simboard.h"
#include "platform/sim/simmedia.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace Platform {

namespace {

QString joined(const QString &program, const QStringList &arguments)
{
    return arguments.isEmpty() ? program : program + QLatin1Char(' ') + arguments.join(QLatin1Char(' '));
}

bool isBelowRoot(const QString &file)
{
    const QString root = QDir::cleanPath(Platform::root());
    const QString clean = QDir::cleanPath(QDir(QDir::currentPath()).absoluteFilePath(file));
    if (root == QLatin1String("/"))
        return false; // the simulated board never writes to the host's own folders
    return clean.startsWith(root + QLatin1Char('/'));
}

int writeFakeDmesg(const QString &file)
{
    if (!isBelowRoot(file))
        return 1;
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 1;
    out.write("[    0.000000] Booting Linux on physical CPU 0x0\n"
              "[    0.000000] Machine model: quimbo-basic simulated board\n");
    out.write(QStringLiteral("[    1.000000] simulated board: %1\n")
                  .arg(QDateTime::currentDateTimeUtc().toString(Qt::ISODate))
                  .toLatin1());
    return 0;
}

} // namespace

SimSystemActions::SimSystemActions(SimBoard *board)
    : m_board(board)
{
}

int SimSystemActions::runShell(const QString &commandLine)
{
    m_board->recordSystemAction(commandLine);
    static const QRegularExpression dmesg(QStringLiteral("^\\s*dmesg\\s*>\\s*(\\S+)\\s*$"));
    const QRegularExpressionMatch match = dmesg.match(commandLine);
    if (match.hasMatch())
        return writeFakeDmesg(match.captured(1));
    return 0;
}

int SimSystemActions::execute(const QString &program, const QStringList &arguments)
{
    m_board->recordSystemAction(joined(program, arguments));
    return 0;
}

int SimSystemActions::executeBounded(const QString &program, const QStringList &arguments, int timeoutMsec)
{
    Q_UNUSED(timeoutMsec)
    m_board->recordSystemAction(joined(program, arguments));
    if (program == QLatin1String("mount.exfat") && arguments.size() == 2) {
        // The arguments are below the root; the media know device paths.
        auto devicePath = [](const QString &hostPath) {
            const QString root = QDir::cleanPath(Platform::root());
            return root != QLatin1String("/") && hostPath.startsWith(root + QLatin1Char('/')) ? hostPath.mid(root.size()) : hostPath;
        };
        return SimMedia::instance()->mount(devicePath(arguments.at(0)), devicePath(arguments.at(1)), QStringLiteral("exfat"), 0) == 0 ? 0 : 32;
    }
    return 0;
}

bool SimSystemActions::startDetached(const QString &program, const QStringList &arguments)
{
    m_board->recordSystemAction(joined(program, arguments));
    return true;
}

} // namespace Platform
