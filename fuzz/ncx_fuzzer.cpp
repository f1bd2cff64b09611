// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "daisyfuzzcommon.h"

#include "formats/customtest.h"
#include "formats/navmodel.h"
#include "formats/navnode.h"
#include "formats/ncxparser.h"

#include <memory>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    DaisyFuzz::silence();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    NcxParser parser;
    if (!parser.parseFromFileData(QStringLiteral("/book/nav.ncx"), DaisyFuzz::bytes(data, size)))
        return 0;
    std::unique_ptr<NavModel> model(parser.navModel());
    std::unique_ptr<CustomTestSet> tests(parser.customTestSet());
    std::unique_ptr<NavNode> title(parser.title()); // an NCX title is never part of the model
    int steps = 0;
    for (NavNode *node : model->playOrderList()) {
        model->nextSection(node, 1);
        model->previousPage(node);
        if (++steps > 64)
            break;
    }
    return 0;
}
