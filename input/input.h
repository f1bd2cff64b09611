// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_INPUT_INPUT_H
#define QUIMBO_INPUT_INPUT_H

#include "input/keys.h"

#include <QObject>

#include <memory>

class InputPrivate;

/**
 * The device's one key source: keypad, volume knob and power button merged
 * into pressed/released/holded/repeated. Lives on the main thread; the keypad
 * scans on its own thread.
 */
class Input : public QObject
{
    Q_OBJECT
public:
    explicit Input(QObject *parent = nullptr);
    ~Input() override;

    /** Opens the power button and knob and starts the keypad thread; all disabled. */
    bool initialize();
    /** The keypad key down right now (one direct scan), 2048 when none or no keypad yet. */
    int keyPressed() const;
    /** The key the keypad last reported as held, 2048 when none. */
    int lastKeyHolded() const;
    bool isEnabled() const;

public Q_SLOTS:
    void setEnabled(bool enable);
    void setAutoRepeat(bool enable);
    void setAutoRepeatTime(int msec);
    void setReleaseEnabled(bool enabled);

Q_SIGNALS:
    void pressed(int key);
    void released(int key);
    void holded(int key);
    void repeated(int key);

    void keypadEnable(bool enable);
    void keypadStop();
    void keypadAutoRepeat(bool enable);
    void keypadAutoRepeatTime(int msec);
    void keypadReleaseEnabled(bool enable);

private Q_SLOTS:
    void keyEvent(int key, int type);

private:
    const std::unique_ptr<InputPrivate> d;
};

#endif
