// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_TESTS_ENGINELOG_H
#define QUIMBO_TESTS_ENGINELOG_H

#include "platform/sim/simboard.h"

#include <QRegularExpression>
#include <QStringList>

/** What the audio engine did, read from the simulated board's engine events. */
namespace EngineLog {

/** A start of the engine: what it played and the seek target after it (-1 without one). */
struct Start {
    QString file;
    qint64 at = -1;
};

inline qsizetype count()
{
    return Platform::SimBoard::instance()->engineEventLog().size();
}

/** The last start since event @p from. */
inline Start lastStart(qsizetype from)
{
    const QStringList events = Platform::SimBoard::instance()->engineEventLog();
    static const QRegularExpression play(QStringLiteral("^play (.+) at (\\d+)$"));
    static const QRegularExpression seek(QStringLiteral("^seek (\\d+)$"));
    Start start;
    for (qsizetype i = from; i < events.size(); ++i) {
        if (const auto m = play.match(events.at(i)); m.hasMatch())
            start = {m.captured(1), m.captured(2).toLongLong()};
        else if (const auto s = seek.match(events.at(i)); s.hasMatch() && !start.file.isEmpty())
            start.at = s.captured(1).toLongLong();
    }
    return start;
}

} // namespace EngineLog

#endif
