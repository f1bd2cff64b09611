// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "daisyfuzzcommon.h"

#include "formats/customtest.h"
#include "formats/medianode.h"
#include "formats/smilmediagroup.h"
#include "formats/smilnode.h"
#include "formats/smilparser.h"
#include "formats/smiltree.h"

#include <QStringList>

#include <memory>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    DaisyFuzz::silence();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    SmilParser parser;
    if (!parser.parseFromFileData(QStringLiteral("/book/a.smil"), DaisyFuzz::bytes(data, size)))
        return 0;
    std::unique_ptr<SmilTree> tree(parser.smilTree());
    CustomTestSet tests;
    auto *pages = new CustomTest;
    pages->setId(QStringLiteral("pagenumber"));
    pages->setCurrentState(true);
    tests.addCustomTest(pages);
    tree->setCustomTestSet(&tests);

    std::unique_ptr<SmilMediaGroup> whole(tree->smilMediaGroup());
    if (!whole)
        return 0;
    // Position at the id of every container and clip, as navigation targets do.
    QStringList ids;
    for (int i = 0; tree->root() && i < tree->root()->numberOfChildren() && i < 16; ++i)
        ids.append(tree->root()->child(i)->id());
    for (const QString &id : std::as_const(ids))
        std::unique_ptr<SmilMediaGroup>(tree->smilMediaGroupFromId(id));
    while (AudioNode *track = whole->nextAudioTrack()) {
        AudioNode probe;
        probe.setSource(track->source());
        probe.setPosition(track->clipBegin() + 1);
        QString container;
        QStringList texts;
        tree->findAudioNodeRefs(&probe, container, texts);
    }
    whole->elapsedTime();
    return 0;
}
