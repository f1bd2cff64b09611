// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FUZZ_XMLRECOVERYBODY_H
#define QUIMBO_FUZZ_XMLRECOVERYBODY_H

#include "fuzzsetup.h"

#include "formats/customtest.h"
#include "formats/metadata.h"
#include "formats/navmodel.h"
#include "formats/nccparser.h"
#include "formats/xmlrecovery.h"

#include <memory>

namespace FuzzBody {

// Whatever the repair hands out must be well-formed and acceptable to the NCC parser's reader.
inline bool xmlrecovery(const QByteArray &input)
{
    const QByteArray repaired = XmlRecovery::recoverData(input);
    if (repaired.isEmpty())
        return true;
    if (!XmlRecovery::validate(repaired))
        return false;
    NccParser parser;
    if (parser.parseFromFileData(QStringLiteral("/book/ncc.html"), repaired)) {
        std::unique_ptr<NavModel> model(parser.navModel());
        std::unique_ptr<CustomTestSet> tests(parser.customTestSet());
        std::unique_ptr<MetaData> metaData(parser.metaData());
    }
    return true;
}

} // namespace FuzzBody

#endif
