// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FUZZ_NCXBODY_H
#define QUIMBO_FUZZ_NCXBODY_H

#include "fuzzsetup.h"

#include "formats/customtest.h"
#include "formats/navmodel.h"
#include "formats/navnode.h"
#include "formats/ncxparser.h"

#include <memory>

namespace FuzzBody {

// A DAISY 3 NCX document and a walk over its navigation. False: an invariant broke.
inline bool ncx(const QByteArray &input)
{
    NcxParser parser;
    if (!parser.parseFromFileData(QStringLiteral("/book/nav.ncx"), input))
        return true;
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
    return true;
}

} // namespace FuzzBody

#endif
