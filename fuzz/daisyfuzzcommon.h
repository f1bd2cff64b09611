// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FUZZ_DAISYFUZZCOMMON_H
#define QUIMBO_FUZZ_DAISYFUZZCOMMON_H

#include <QByteArray>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>

namespace DaisyFuzz {

// Every malformed input is logged by the parsers; printing it would drown the fuzzer.
inline void silence()
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
}

inline QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

} // namespace DaisyFuzz

#endif
