// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FUZZ_OPFBODY_H
#define QUIMBO_FUZZ_OPFBODY_H

#include "fuzzsetup.h"

#include "formats/metadata.h"
#include "formats/opfparser.h"

#include <memory>

namespace FuzzBody {

// A DAISY 3 package document. False: an invariant broke.
inline bool opf(const QByteArray &input)
{
    OpfParser parser;
    if (!parser.parseFromFileData(QStringLiteral("/book/package.opf"), input))
        return true;
    std::unique_ptr<MetaData> metaData(parser.metaData());
    metaData->metaDataItemContent(QStringLiteral("dc:title"));
    parser.spine();
    parser.navFileName();
    return true;
}

} // namespace FuzzBody

#endif
