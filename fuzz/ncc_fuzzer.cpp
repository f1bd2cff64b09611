// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "daisyfuzzcommon.h"

#include "formats/customtest.h"
#include "formats/metadata.h"
#include "formats/navmodel.h"
#include "formats/navnode.h"
#include "formats/nccparser.h"

#include <memory>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    DaisyFuzz::silence();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    NccParser parser;
    if (!parser.parseFromFileData(QStringLiteral("/book/ncc.html"), DaisyFuzz::bytes(data, size)))
        return 0;
    std::unique_ptr<NavModel> model(parser.navModel());
    std::unique_ptr<CustomTestSet> tests(parser.customTestSet());
    std::unique_ptr<MetaData> metaData(parser.metaData());
    // The lookups the player runs on every key press.
    for (NavNode *node : model->playOrderList()) {
        model->nextSection(node, 2);
        model->previousSection(node, 6);
        model->nextPage(node);
        model->previousPage(node);
        model->navNodeForSmilId(node->content());
        model->navNodeRefersThisSmilFile(node->content());
        if (model->playOrderList().size() > 64)
            break;
    }
    metaData->metaDataItemContent(QStringLiteral("dc:title"));
    return 0;
}
