// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/input.h"

#include "input/logcategory.h"
#include "input/matrixkeypad.h"
#include "input/powerbutton.h"
#include "input/volumeknob.h"

#include <QDebug>
#include <QThread>

namespace {
// How long the destructor lets the keypad thread wind down.
constexpr unsigned long KeypadStopWaitMsec = 2000;
} // namespace

class InputPrivate
{
public:
    bool initialised = false;
    bool enabled = false;
    MatrixKeypad *keypad = nullptr;
    PowerButton *powerButton = new PowerButton;
    VolumeKnob *volumeKnob = new VolumeKnob;
    QThread *keypadThread = nullptr;
};

Input::Input(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<InputPrivate>())
{
}

Input::~Input()
{
    delete d->powerButton;
    delete d->volumeKnob;
    if (d->keypad) {
        Q_EMIT keypadStop();
        // The keypad ends its thread itself; waiting here keeps the scan
        // thread from outliving the objects it reports to.
        if (d->keypadThread)
            d->keypadThread->wait(KeypadStopWaitMsec);
    }
    qCDebug(lcInput, "~Input");
}

bool Input::initialize()
{
    if (d->initialised)
        return true;
    if (!d->powerButton->initialize(INPUT_DEVICE_POWER_BUTTON)) {
        qCWarning(lcInput, "%s: failed to initialize the power button", Q_FUNC_INFO);
        return false;
    }
    if (!d->volumeKnob->initialize(INPUT_DEVICE_ROTARY)) {
        qCWarning(lcInput, "%s: failed to initialize the volume knob", Q_FUNC_INFO);
        return false;
    }
    connect(d->powerButton, &InputDevice::keyEvent, this, &Input::keyEvent);
    connect(d->volumeKnob, &InputDevice::keyEvent, this, &Input::keyEvent);

    auto *thread = new QThread;
    auto *keypad = new MatrixKeypad;
    keypad->moveToThread(thread);

    connect(this, &Input::keypadEnable, keypad, &MatrixKeypad::setEnabled);
    connect(this, &Input::keypadAutoRepeat, keypad, &MatrixKeypad::setAutoRepeat);
    // Direct: the new period and release state are in force before the next scan.
    connect(this, &Input::keypadAutoRepeatTime, keypad, &MatrixKeypad::setAutoRepeatTime, Qt::DirectConnection);
    connect(this, &Input::keypadReleaseEnabled, keypad, &MatrixKeypad::setReleaseEnabled, Qt::DirectConnection);
    connect(this, &Input::keypadStop, keypad, &MatrixKeypad::stop, Qt::QueuedConnection);
    connect(thread, &QThread::started, keypad, &MatrixKeypad::initialize);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    // quit() is thread-safe; calling it directly lets the thread end while
    // the main thread waits for it in the destructor.
    connect(keypad, &MatrixKeypad::finished, thread, &QThread::quit, Qt::DirectConnection);
    connect(keypad, &MatrixKeypad::finished, keypad, &QObject::deleteLater);
    connect(keypad, &MatrixKeypad::keyEvent, this, &Input::keyEvent, Qt::QueuedConnection);

    d->keypad = keypad;
    d->keypadThread = thread;
    thread->start(QThread::InheritPriority);
    d->initialised = true;
    return true;
}

int Input::keyPressed() const
{
    if (!d->keypad)
        return BUTTON_NONE;
    return d->keypad->scanKeypad();
}

int Input::lastKeyHolded() const
{
    if (!d->initialised) {
        qCWarning(lcInput, "%s: not initialized yet", Q_FUNC_INFO);
        return BUTTON_NONE;
    }
    return d->keypad->heldKey();
}

bool Input::isEnabled() const
{
    return d->enabled;
}

void Input::setEnabled(bool enable)
{
    if (!d->initialised) {
        qCWarning(lcInput, "%s: can't enabled.. we are not initialized", Q_FUNC_INFO);
        return;
    }
    if (d->powerButton->isEnabled() != enable)
        d->powerButton->setEnabled(enable);
    if (d->volumeKnob->isEnabled() != enable)
        d->volumeKnob->setEnabled(enable);
    Q_EMIT keypadEnable(enable);
    d->enabled = enable;
}

void Input::setAutoRepeat(bool enable)
{
    if (!d->initialised) {
        qCWarning(lcInput, "%s: can't enabled.. we are not initialized", Q_FUNC_INFO);
        return;
    }
    Q_EMIT keypadAutoRepeat(enable);
}

void Input::setAutoRepeatTime(int msec)
{
    if (!d->initialised) {
        qCWarning(lcInput, "%s: can't enabled.. we are not initialized", Q_FUNC_INFO);
        return;
    }
    Q_EMIT keypadAutoRepeatTime(msec);
}

void Input::setReleaseEnabled(bool enabled)
{
    if (!d->initialised) {
        qCWarning(lcInput, "%s: can't enabled.. we are not initialized", Q_FUNC_INFO);
        return;
    }
    Q_EMIT keypadReleaseEnabled(enabled);
}

void Input::keyEvent(int key, int type)
{
    if (!d->enabled)
        return;
    switch (type) {
    case KEY_RELEASED:
        Q_EMIT released(key);
        break;
    case KEY_PRESSED:
        Q_EMIT pressed(key);
        break;
    case KEY_HELD:
        Q_EMIT holded(key);
        break;
    case KEY_REPEATED:
        Q_EMIT repeated(key);
        break;
    default:
        break;
    }
}
