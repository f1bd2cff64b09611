// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/keydescriber.h"

#include "speech/messages.h"
#include "input/input.h"
#include "input/keys.h"
#include "system/logcategory.h"
#include "system/sound.h"
#include "system/soundmanager.h"
#include "system/timerclass.h"

#include <QDebug>
#include <QList>
#include <QMap>

namespace {
constexpr int kStandbySeconds = 1800;

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

class KeyDescriberPrivate
{
public:
    KeyDescriberPrivate(KeyDescriber *q, Input *input)
        : input(input)
        , messages(new Messages(q))
        , standbyTimer(new TimerClass(q))
    {
    }

    void describe(int key)
    {
        standbyTimer->start();
        const QString description = descriptions().value(key);
        if (description.isEmpty())
            return;
        qCDebug(lcSystem) << "[KeyDescriber] key" << key;
        // A new key interrupts the description of the one before.
        messages->stop();
        messages->play(description, false);
    }

    void leave()
    {
        standbyTimer->stop();
        for (const QMetaObject::Connection &connection : std::as_const(connections))
            QObject::disconnect(connection);
        connections.clear();
        messages->stop();
    }

    Input *input;
    Messages *messages;
    TimerClass *standbyTimer;
    QList<QMetaObject::Connection> connections;
};

KeyDescriber::KeyDescriber(Input *input, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<KeyDescriberPrivate>(this, input))
{
    d->standbyTimer->setTime(kStandbySeconds);
    d->standbyTimer->stop();
    connect(d->standbyTimer, &TimerClass::timeout, this, &KeyDescriber::standbyTimerTimeout);
}

KeyDescriber::~KeyDescriber()
{
    d->leave();
}

void KeyDescriber::run()
{
    qCDebug(lcSystem) << Q_FUNC_INFO;
    d->messages->append(Message::key_describer, true);
    d->messages->append(Message::describer_help, false);
    d->messages->playMessages();
    d->connections << connect(d->input, &Input::pressed, this, &KeyDescriber::keyPressEvent)
                   << connect(d->input, &Input::released, this, &KeyDescriber::keyReleaseEvent)
                   << connect(d->input, &Input::holded, this, &KeyDescriber::keyHoldEvent);
    d->input->setEnabled(true);
    d->input->setAutoRepeat(false);
    d->standbyTimer->start();
}

void KeyDescriber::keyPressEvent(int key)
{
    d->describe(key);
}

void KeyDescriber::keyReleaseEvent(int key)
{
    // The knob reports its turns as releases only.
    if (key == BUTTON_VOLUME_UP || key == BUTTON_VOLUME_DOWN)
        d->describe(key);
}

void KeyDescriber::keyHoldEvent(int key)
{
    if (key == BUTTON_SLEEP_MENU) {
        qCDebug(lcSystem) << "[KeyDescriber] back to the menu";
        d->leave();
        Q_EMIT quitToMenu();
    } else if (key == BUTTON_POWER) {
        // The reader must always be able to switch off.
        qCDebug(lcSystem) << "[KeyDescriber] power button held: shutdown";
        d->leave();
        d->input->setEnabled(false);
        Q_EMIT shutdown();
    }
}

void KeyDescriber::standbyTimerTimeout()
{
    qCDebug(lcSystem) << Q_FUNC_INFO;
    d->leave();
    SoundManager::instance()->effect(QStringLiteral("doubleBeep"))->play();
    d->input->setEnabled(false);
    Q_EMIT shutdown();
}
