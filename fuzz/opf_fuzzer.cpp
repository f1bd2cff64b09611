// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "daisyfuzzcommon.h"

#include "formats/metadata.h"
#include "formats/opfparser.h"

#include <memory>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    DaisyFuzz::silence();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    OpfParser parser;
    if (!parser.parseFromFileData(QStringLiteral("/book/package.opf"), DaisyFuzz::bytes(data, size)))
        return 0;
    std::unique_ptr<MetaData> metaData(parser.metaData());
    metaData->metaDataItemContent(QStringLiteral("dc:title"));
    parser.spine();
    parser.navFileName();
    return 0;
}
