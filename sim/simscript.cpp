// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/logcategory.h"
#include "simscript.h"

#include <QDebug>
#include <QFile>
#include <QRegularExpression>

// Parses untrusted input: every line is checked on its own; a bad one is skipped.
SimScript SimScript::parse(const QString &text)
{
    static const QRegularExpression timePrefix(QStringLiteral("^@(\\d+)(?:\\s+|$)"));
    SimScript script;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines.at(i).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        Entry entry;
        entry.lineNumber = i + 1;
        if (line.startsWith(QLatin1Char('@'))) {
            const QRegularExpressionMatch m = timePrefix.match(line);
            bool ok = false;
            const int at = m.hasMatch() ? m.captured(1).toInt(&ok) : -1;
            if (!ok || at > SimCommand::kMaxMsec) {
                script.m_errors << QStringLiteral("line %1: bad time prefix: %2").arg(entry.lineNumber).arg(line);
                continue;
            }
            entry.atMsec = at;
            line = line.mid(m.capturedLength()).trimmed();
        }
        QString error;
        entry.command = SimCommand::parse(line, &error);
        if (!entry.command.isValid()) {
            script.m_errors << QStringLiteral("line %1: %2: %3").arg(entry.lineNumber).arg(error, lines.at(i).trimmed());
            continue;
        }
        script.m_entries << entry;
    }
    return script;
}

bool SimScript::load(const QString &fileName, SimScript *script)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qCWarning(lcSim).noquote() << "[SimScript::load] can't read script" << fileName << ":" << file.errorString();
        return false;
    }
    *script = parse(QString::fromUtf8(file.readAll()));
    return true;
}

QList<SimScript::Entry> SimScript::takeLeadingRevisions()
{
    QList<Entry> revisions;
    while (!m_entries.isEmpty() && m_entries.first().command.type == SimCommand::Revision)
        revisions << m_entries.takeFirst();
    return revisions;
}

QList<SimScript::Entry> SimScript::takeLeadingSetup()
{
    QList<Entry> setup;
    while (!m_entries.isEmpty() && m_entries.first().atMsec <= 0) {
        switch (m_entries.first().command.type) {
        case SimCommand::Revision:
        case SimCommand::Adapter:
        case SimCommand::Press:
        case SimCommand::BatteryVoltage:
        case SimCommand::BatteryTemperature:
        case SimCommand::Headphones:
        case SimCommand::MediaInsert:
            setup << m_entries.takeFirst();
            continue;
        default:
            break;
        }
        break;
    }
    return setup;
}
