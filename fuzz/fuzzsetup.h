// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FUZZ_FUZZSETUP_H
#define QUIMBO_FUZZ_FUZZSETUP_H

#include "quimboversion.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QLoggingCategory>
#include <QtGlobal>

namespace FuzzBody {

// Run once per process, before the first input: by the fuzzers and by the replay test.
inline void setUp()
{
    // Every malformed input is logged by the parsers; printing it would drown
    // the fuzzer, and switched-off categories do not even format their lines.
    // Qt's own uncategorised warnings about the same input go too.
    QLoggingCategory::setFilterRules(QStringLiteral("quimbo.*=false\ndefault=false"));
    // The update checks compare against the device's name and version.
    QCoreApplication::setApplicationName(QStringLiteral("quimbo-basic"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUIMBO_VERSION_STRING));
    // Nothing may be written, even if a path check were wrong.
    qputenv("QUIMBO_ROOT", "/nonexistent-fuzz-root");
}

} // namespace FuzzBody

#endif
