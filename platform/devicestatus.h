// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_DEVICESTATUS_H
#define QUIMBO_PLATFORM_DEVICESTATUS_H

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

namespace Platform {

/**
 * Read-only answers about the firmware's own state for an observer outside
 * it: the simulator's "status" line (mode, book, standby and sleep timers,
 * ...). The object that knows an answer registers it under a field name; the
 * answer goes away with the object. On the device nobody asks, and nothing
 * is registered. Main thread only: answers are asked for from the event loop.
 */
void provideStatus(QObject *owner, const QString &field, std::function<QString()> answer);

/** The answers of every live owner of field, oldest registration first; empty answers left out. */
QStringList statusAnswers(const QString &field);

} // namespace Platform

#endif
