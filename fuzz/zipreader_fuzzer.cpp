// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/zipreader.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>

namespace {
void quiet(QtMsgType, const QMessageLogContext &, const QString &) { }
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const auto installed = qInstallMessageHandler(quiet);
    Q_UNUSED(installed)
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);

    ZipReader zip(&buffer);
    const auto entries = zip.fileInfoList();
    for (const auto &entry : entries) {
        // Inflate every entry: that is where the length bugs live.
        const QByteArray content = zip.fileData(entry.filePath);
        if (content.size() > ZipReader::kMaxEntrySize)
            __builtin_trap();
    }
    zip.entryInfoAt(int(size % 7) - 1);
    return 0;
}
