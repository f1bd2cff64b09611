// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FUZZ_NCCBODY_H
#define QUIMBO_FUZZ_NCCBODY_H

#include "fuzzsetup.h"

#include "formats/customtest.h"
#include "formats/metadata.h"
#include "formats/navmodel.h"
#include "formats/navnode.h"
#include "formats/nccparser.h"

#include <memory>

namespace FuzzBody {

// An NCC document, and the lookups the player runs on every key press. False: an invariant broke.
inline bool ncc(const QByteArray &input)
{
    NccParser parser;
    if (!parser.parseFromFileData(QStringLiteral("/book/ncc.html"), input))
        return true;
    std::unique_ptr<NavModel> model(parser.navModel());
    std::unique_ptr<CustomTestSet> tests(parser.customTestSet());
    std::unique_ptr<MetaData> metaData(parser.metaData());
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
    return true;
}

} // namespace FuzzBody

#endif
