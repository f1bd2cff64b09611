// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_TOOLS_JSONWRITER_H
#define QUIMBO_TOOLS_JSONWRITER_H

#include <QByteArray>
#include <QString>
#include <QtGlobal>

/**
 * Minimal JSON text helpers that keep keys in the order written (QJsonObject
 * sorts them), so that the dump reads like the book and diffs stay small.
 */
namespace Json {

QByteArray string(const QString &value);
QByteArray number(qint64 value);
QByteArray number(double value, int decimals);

} // namespace Json

#endif
