// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FUZZ_FUZZZIP_H
#define QUIMBO_FUZZ_FUZZZIP_H

#include <QByteArray>
#include <QList>
#include <QPair>

namespace FuzzZip {

// A stored-only archive around the fuzzed document, so that the XML parsers are reached through the real ZIP reader.
inline QByteArray store(const QList<QPair<QByteArray, QByteArray>> &files)
{
    const auto u16 = [](QByteArray &out, quint16 v) { out.append(char(v & 0xff)).append(char(v >> 8)); };
    const auto u32 = [&](QByteArray &out, quint32 v) {
        u16(out, quint16(v & 0xffff));
        u16(out, quint16(v >> 16));
    };
    QByteArray archive;
    QByteArray directory;
    for (const auto &file : files) {
        const quint32 offset = quint32(archive.size());
        u32(archive, 0x04034b50);
        u16(archive, 10);
        u16(archive, 0);
        u16(archive, 0);
        u16(archive, 0);
        u16(archive, 0);
        u32(archive, 0);
        u32(archive, quint32(file.second.size()));
        u32(archive, quint32(file.second.size()));
        u16(archive, quint16(file.first.size()));
        u16(archive, 0);
        archive += file.first + file.second;

        u32(directory, 0x02014b50);
        u16(directory, 0x0314);
        u16(directory, 10);
        u16(directory, 0);
        u16(directory, 0);
        u16(directory, 0);
        u16(directory, 0);
        u32(directory, 0);
        u32(directory, quint32(file.second.size()));
        u32(directory, quint32(file.second.size()));
        u16(directory, quint16(file.first.size()));
        u16(directory, 0);
        u16(directory, 0);
        u16(directory, 0);
        u16(directory, 0);
        u32(directory, 0100644u << 16);
        u32(directory, offset);
        directory += file.first;
    }
    const quint32 start = quint32(archive.size());
    archive += directory;
    u32(archive, 0x06054b50);
    u16(archive, 0);
    u16(archive, 0);
    u16(archive, quint16(files.size()));
    u16(archive, quint16(files.size()));
    u32(archive, quint32(directory.size()));
    u32(archive, start);
    u16(archive, 0);
    return archive;
}

} // namespace FuzzZip

#endif
