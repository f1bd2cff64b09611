// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FUZZ_ZIPREADERBODY_H
#define QUIMBO_FUZZ_ZIPREADERBODY_H

#include "fuzzsetup.h"

#include "formats/zipreader.h"

#include <QBuffer>

namespace FuzzBody {

// Any archive: list it and extract every entry, in memory and streamed. False: an invariant broke.
inline bool zipreader(const QByteArray &input)
{
    QByteArray bytes = input;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);

    ZipReader zip(&buffer);
    const auto entries = zip.fileInfoList();
    for (const auto &entry : entries) {
        // Inflate every entry: that is where the length bugs live.
        const QByteArray content = zip.fileData(entry.filePath);
        if (content.size() > ZipReader::kMaxEntrySize)
            return false;
        const ZipReader::EntryError error = zip.entryError();
        if (error != ZipReader::NoEntryError && !content.isEmpty())
            return false;
        QBuffer streamed;
        streamed.open(QIODevice::WriteOnly);
        // Streaming reaches the same verdict and, on success, the same bytes.
        if (zip.writeEntry(entry.filePath, &streamed) != (error == ZipReader::NoEntryError) || zip.entryError() != error)
            return false;
        if (error == ZipReader::NoEntryError && streamed.data() != content)
            return false;
    }
    zip.entryInfoAt(int(input.size() % 7) - 1);
    return true;
}

} // namespace FuzzBody

#endif
