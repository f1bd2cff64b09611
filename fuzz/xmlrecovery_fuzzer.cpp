// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "daisyfuzzcommon.h"

#include "formats/customtest.h"
#include "formats/metadata.h"
#include "formats/navmodel.h"
#include "formats/nccparser.h"
#include "formats/xmlrecovery.h"

#include <cstdlib>
#include <memory>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    DaisyFuzz::silence();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray repaired = XmlRecovery::recoverData(DaisyFuzz::bytes(data, size));
    if (repaired.isEmpty())
        return 0;
    // Whatever the repair hands out must be well-formed and acceptable to the NCC parser's reader.
    if (!XmlRecovery::validate(repaired))
        std::abort();
    NccParser parser;
    if (parser.parseFromFileData(QStringLiteral("/book/ncc.html"), repaired)) {
        std::unique_ptr<NavModel> model(parser.navModel());
        std::unique_ptr<CustomTestSet> tests(parser.customTestSet());
        std::unique_ptr<MetaData> metaData(parser.metaData());
    }
    return 0;
}
