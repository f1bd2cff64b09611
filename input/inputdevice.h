// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_INPUT_INPUTDEVICE_H
#define QUIMBO_INPUT_INPUTDEVICE_H

#include "platform/inputeventsource.h"

#include <QList>
#include <QObject>

#include <memory>

class QSocketNotifier;
class QTimer;

constexpr const char *INPUT_DEVICE_ROTARY = "/dev/input/event0";
constexpr const char *INPUT_DEVICE_POWER_BUTTON = "/dev/input/event1";

/**
 * An input-event device watched on the event loop of its thread (the main
 * thread). Starts disabled after initialize(). A device opened by path that
 * goes away (end of file) is watched again when it comes back.
 */
class InputDevice : public QObject
{
    Q_OBJECT
public:
    explicit InputDevice(QObject *parent = nullptr);
    ~InputDevice() override;

    /** Opens the device by its absolute device path through the platform. */
    bool initialize(const char *path);
    /** Takes an already opened source (e.g. one reading a pipe). */
    bool initialize(std::unique_ptr<Platform::InputEventSource> source);
    void deinitialize();
    void setEnabled(bool enable);
    /** True while events are delivered, or will be as soon as a lost device is back. */
    bool isEnabled() const;
    bool isOpen() const;

public Q_SLOTS:
    virtual void readData() = 0;

Q_SIGNALS:
    void keyEvent(int key, int type);

protected:
    /**
     * The events of one notification. Logs EOF and read failures after
     * function (the caller's signature); at EOF the device is gone and is
     * waited for.
     */
    QList<Platform::InputEvent> readEvents(const char *function);

private:
    bool watch(std::unique_ptr<Platform::InputEventSource> source);
    void loseDevice();
    void tryReopen();

    std::unique_ptr<Platform::InputEventSource> m_source;
    QSocketNotifier *m_notifier = nullptr;
    QString m_path; ///< empty for a source handed over: it cannot be reopened
    QTimer *m_reopenTimer = nullptr; ///< runs while a lost device is waited for
    bool m_enableWhenBack = false;
};

#endif
