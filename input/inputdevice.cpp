// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/inputdevice.h"

#include "input/logcategory.h"
#include "platform/platform.h"

#include <QDebug>
#include <QSocketNotifier>
#include <QTimer>

namespace {
// How often a device that went away is looked for again.
constexpr int ReopenIntervalMsec = 1000;
} // namespace

InputDevice::InputDevice(QObject *parent)
    : QObject(parent)
{
}

InputDevice::~InputDevice()
{
    deinitialize();
}

bool InputDevice::initialize(const char *path)
{
    if (!path) {
        qCWarning(lcInput, "%s: invalid device", Q_FUNC_INFO);
        return false;
    }
    std::unique_ptr<Platform::InputEventSource> source = Platform::createInputEventSource();
    if (!source->open(QString::fromLatin1(path))) {
        qCWarning(lcInput, "%s: failed to open device", Q_FUNC_INFO);
        return false;
    }
    watch(std::move(source));
    m_path = QString::fromLatin1(path);
    return true;
}

bool InputDevice::initialize(std::unique_ptr<Platform::InputEventSource> source)
{
    if (!source || !source->isOpen()) {
        qCWarning(lcInput, "%s: failed to open device", Q_FUNC_INFO);
        return false;
    }
    return watch(std::move(source));
}

bool InputDevice::watch(std::unique_ptr<Platform::InputEventSource> source)
{
    deinitialize();
    m_source = std::move(source);
    m_notifier = new QSocketNotifier(m_source->fd(), QSocketNotifier::Read, this);
    m_notifier->setEnabled(false);
    connect(m_notifier, &QSocketNotifier::activated, this, &InputDevice::readData);
    return true;
}

void InputDevice::deinitialize()
{
    delete m_notifier;
    m_notifier = nullptr;
    if (m_source)
        m_source->close();
    m_source.reset();
    m_path.clear();
    if (m_reopenTimer) {
        // May run inside the timer's own timeout (a device that came back).
        m_reopenTimer->stop();
        m_reopenTimer->deleteLater();
        m_reopenTimer = nullptr;
    }
}

void InputDevice::setEnabled(bool enable)
{
    if (m_reopenTimer) {
        m_enableWhenBack = enable;
        return;
    }
    if (!isOpen()) {
        qCWarning(lcInput, "%s: can't enable, device is not open", Q_FUNC_INFO);
        return;
    }
    m_notifier->setEnabled(enable);
}

bool InputDevice::isEnabled() const
{
    if (m_reopenTimer)
        return m_enableWhenBack;
    return isOpen() && m_notifier->isEnabled();
}

bool InputDevice::isOpen() const
{
    return m_source && m_source->isOpen() && m_notifier;
}

QList<Platform::InputEvent> InputDevice::readEvents(const char *function)
{
    QList<Platform::InputEvent> events;
    if (!isOpen())
        return events;
    switch (m_source->readEvents(&events)) {
    case Platform::ReadResult::Event:
    case Platform::ReadResult::WouldBlock:
        break;
    case Platform::ReadResult::EndOfFile:
        qCWarning(lcInput, "%s: got EOF from the input device", function);
        // A device at end of file stays readable; watching it would spin.
        events.clear();
        loseDevice();
        break;
    case Platform::ReadResult::Failed:
        // A failed read says nothing about the device (an interrupted
        // transfer, a record cut short): giving up on it here would leave the
        // power button or the knob dead until the next mode change.
        qCWarning(lcInput, "%s: could not read from input device", function);
        events.clear();
        break;
    }
    return events;
}

void InputDevice::loseDevice()
{
    const bool enabled = m_notifier->isEnabled();
    // Called from the notifier's own signal: it goes once that has returned.
    m_notifier->setEnabled(false);
    m_notifier->deleteLater();
    m_notifier = nullptr;
    m_source->close();
    m_source.reset();
    if (m_path.isEmpty())
        return;
    qCInfo(lcInput, "[InputDevice] %s is gone, waiting for it to come back", qPrintable(m_path));
    m_enableWhenBack = enabled;
    m_reopenTimer = new QTimer(this);
    connect(m_reopenTimer, &QTimer::timeout, this, &InputDevice::tryReopen);
    m_reopenTimer->start(Platform::scaledMsec(ReopenIntervalMsec));
}

void InputDevice::tryReopen()
{
    std::unique_ptr<Platform::InputEventSource> source = Platform::createInputEventSource();
    if (!source->open(m_path))
        return;
    const QString path = m_path;
    const bool enable = m_enableWhenBack;
    watch(std::move(source)); // ends the waiting
    m_path = path;
    m_notifier->setEnabled(enable);
    qCInfo(lcInput, "[InputDevice] %s is back", qPrintable(m_path));
}
