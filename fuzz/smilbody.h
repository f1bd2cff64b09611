// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FUZZ_SMILBODY_H
#define QUIMBO_FUZZ_SMILBODY_H

#include "fuzzsetup.h"

#include "formats/customtest.h"
#include "formats/medianode.h"
#include "formats/smilmediagroup.h"
#include "formats/smilnode.h"
#include "formats/smilparser.h"
#include "formats/smiltree.h"

#include <QStringList>

#include <memory>

namespace FuzzBody {

// A SMIL document, rendered and searched as the players do. False: an invariant broke.
inline bool smil(const QByteArray &input)
{
    SmilParser parser;
    if (!parser.parseFromFileData(QStringLiteral("/book/a.smil"), input))
        return true;
    std::unique_ptr<SmilTree> tree(parser.smilTree());
    CustomTestSet tests;
    auto *pages = new CustomTest;
    pages->setId(QStringLiteral("pagenumber"));
    pages->setCurrentState(true);
    tests.addCustomTest(pages);
    tree->setCustomTestSet(&tests);

    std::unique_ptr<SmilMediaGroup> whole(tree->smilMediaGroup());
    if (!whole)
        return true;
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
    return true;
}

} // namespace FuzzBody

#endif
