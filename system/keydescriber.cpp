// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/keydescriber.h"

#include "speech/messages.h"
#include "input/keys.h"
#include "system/logcategory.h"

#include <QDebug>
#include <QMap>

namespace {
const QMap<int, QString> &descriptions()
{
    static const QMap<int, QString> map{
        {BUTTON_POWER, Message::describe_power},
        {BUTTON_SLEEP_MENU, Message::describe_menu},
        {BUTTON_EJECT, Message::describe_eject},
        {BUTTON_PITCH_UP, Message::describe_pitch_up},
        {BUTTON_PITCH_DOWN, Message::describe_pitch_down},
        {BUTTON_VOLUME_UP, Message::describe_volume},
        {BUTTON_VOLUME_DOWN, Message::describe_volume},
        {BUTTON_SPEED_UP, Message::describe_speed_up},
        {BUTTON_SPEED_DOWN, Message::describe_speed_down},
        {BUTTON_REWIND, Message::describe_rewind},
        {BUTTON_FAST_FORWARD, Message::describe_fast_forward},
        {BUTTON_PLAY_STOP, Message::describe_play},
    };
    return map;
}
} // namespace

KeyDescriber::KeyDescriber(AudioSettings *audioSettings, Input *input, QObject *parent)
    : ModeBase(QStringLiteral("describer"), input, audioSettings, parent)
{
    onKeys(Press, allKeys(), [this](int key) { describe(key); });
    // The knob reports its turns as releases only.
    onKeys(Release, {BUTTON_VOLUME_UP, BUTTON_VOLUME_DOWN}, [this](int key) { describe(key); });
    onKey(Hold, BUTTON_SLEEP_MENU, [this](int) {
        qCDebug(lcSystem) << "[KeyDescriber] back to the menu";
        stopAnswer();
        releaseKeys();
        Q_EMIT quitToMenu();
    });
    onKey(Hold, BUTTON_POWER, [this](int) {
        // The reader must always be able to switch off.
        qCDebug(lcSystem) << "[KeyDescriber] power button held: shutdown";
        stopAnswer();
        releaseKeys();
        Q_EMIT shutdown();
    });
}

KeyDescriber::~KeyDescriber()
{
    releaseKeys();
}

void KeyDescriber::run()
{
    qCDebug(lcSystem) << Q_FUNC_INFO;
    say({Message::key_describer, Message::describer_help});
    takeKeys();
}

void KeyDescriber::describe(int key)
{
    const QString description = descriptions().value(key);
    if (description.isEmpty())
        return;
    qCDebug(lcSystem) << "[KeyDescriber] key" << key;
    // A new key interrupts the description of the one before.
    say({description});
}
