// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_TESTS_SIMSESSION_H
#define QUIMBO_TESTS_SIMSESSION_H

#include "fakeplayer.h"
#include "testroot.h"

#include "input/board.h"
#include "platform/platform.h"
#include "platform/sim/simboard.h"
#include "system/sound.h"
#include "system/soundmanager.h"

#include <QTest>

#include <algorithm>
#include <memory>

/**
 * Per-test setup shared by the tests that drive the simulated device: a fresh
 * test root and stand-in player; with @p board, time runs 100 times faster and
 * the simulated board and its key state start from scratch.
 * Call from init(); stop there when QTest::currentTestFailed().
 */
inline void startSimulation(std::unique_ptr<TestRoot> &root, std::unique_ptr<FakePlayer> &player, bool board = true)
{
    root = std::make_unique<TestRoot>();
    player = std::make_unique<FakePlayer>();
    QVERIFY(root->isValid());
    QVERIFY(player->isValid());
    if (!board)
        return;
    Platform::setTimeScale(0.01);
    Platform::SimBoard::instance()->reset();
    Board::getInstance()->resetForTesting();
}

/** Undoes startSimulation(), after the objects under test are gone. */
inline void endSimulation(std::unique_ptr<TestRoot> &root, std::unique_ptr<FakePlayer> &player)
{
    SoundManager::destroy();
    player.reset();
    root.reset();
    Platform::setTimeScale(1.0);
}

/** Whether @p player played the sound effect of that name. */
inline bool soundPlayed(const FakePlayer &player, const QString &name)
{
    const Sound *sound = SoundManager::instance()->getSound(name);
    const QString file = sound ? QStringLiteral("[") + sound->fileName() + QStringLiteral("]") : QString();
    const QStringList lines = player.lines();
    return sound && std::any_of(lines.begin(), lines.end(), [&](const QString &line) { return line.startsWith(QLatin1String("argv:")) && line.endsWith(file); });
}

#endif // QUIMBO_TESTS_SIMSESSION_H
