// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FORMATS_XMLRECOVERY_H
#define QUIMBO_FORMATS_XMLRECOVERY_H

#include <QByteArray>
#include <QString>

/**
 * Second chance for book files that are not well-formed XML (undeclared
 * HTML entities, unclosed elements, mismatched case): libxml2 reads them
 * leniently and writes them back as well-formed UTF-8. Safe to call from any
 * thread; calls are serialised because libxml2's global state is reset after
 * each one.
 */
class XmlRecovery
{
public:
    /** A well-formed rewrite of the file, or an empty array. */
    static QByteArray recover(const QString &fileName);
    /** The same for bytes in memory (for callers without a file, and the fuzzer). */
    static QByteArray recoverData(const QByteArray &data);
    /** True when libxml2's reader gets through @p data without an error. */
    static bool validate(const QByteArray &data);
};

#endif
