// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/epubparser.h"
#include "fuzzzip.h"

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
    const QByteArray opf(reinterpret_cast<const char *>(data), qsizetype(size));
    QByteArray archive = FuzzZip::store({
        { "mimetype", "application/epub+zip" },
        { "META-INF/container.xml", "<container><rootfiles><rootfile full-path=\"OEBPS/p.opf\"/></rootfiles></container>" },
        { "OEBPS/p.opf", opf },
        { "Audio/a.mp3", "ID3" },
    });
    QBuffer buffer(&archive);
    buffer.open(QIODevice::ReadOnly);

    EpubParser parser;
    if (parser.open(&buffer)) {
        for (const QString &id : parser.spineItems()) {
            const ManifestItem item = parser.manifestItem(id);
            parser.itemData(item.href);
            parser.itemData(parser.manifestItem(item.mediaOverlay).href);
        }
        parser.metadataItems(DCType::Meta, QStringLiteral("media:duration"));
        parser.metadataValue(DCType::Title);
    }
    return 0;
}
