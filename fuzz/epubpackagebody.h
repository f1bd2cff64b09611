// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FUZZ_EPUBPACKAGEBODY_H
#define QUIMBO_FUZZ_EPUBPACKAGEBODY_H

#include "fuzzsetup.h"

#include "formats/epubparser.h"
#include "fuzzzip.h"

#include <QBuffer>

namespace FuzzBody {

// A package document inside an otherwise good EPUB, read through the real ZIP reader. False: an invariant broke.
inline bool epubpackage(const QByteArray &input)
{
    QByteArray archive = FuzzZip::store({
        { "mimetype", "application/epub+zip" },
        { "META-INF/container.xml", "<container><rootfiles><rootfile full-path=\"OEBPS/p.opf\"/></rootfiles></container>" },
        { "OEBPS/p.opf", input },
        { "Audio/a.mp3", "ID3" },
    });
    QBuffer buffer(&archive);
    buffer.open(QIODevice::ReadOnly);

    EpubParser parser;
    if (!parser.open(&buffer))
        return !parser.errorString().isEmpty(); // a refusal always says why
    for (const QString &id : parser.spineItems()) {
        const ManifestItem item = parser.manifestItem(id);
        parser.itemData(item.href);
        parser.itemData(parser.manifestItem(item.mediaOverlay).href);
    }
    parser.metadataItems(DCType::Meta, QStringLiteral("media:duration"));
    parser.metadataValue(DCType::Title);
    return true;
}

} // namespace FuzzBody

#endif
