// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/inputdevice.h"

#include <QDebug>
#include <QSocketNotifier>

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
        qWarning("%s: invalid device", Q_FUNC_INFO);
        return false;
    }
    std::unique_ptr<Platform::InputEventSource> source = Platform::createInputEventSource();
    if (!source->open(QString::fromLatin1(path))) {
        qWarning("%s: failed to open device", Q_FUNC_INFO);
        return false;
    }
    return watch(std::move(source));
}

bool InputDevice::initialize(std::unique_ptr<Platform::InputEventSource> source)
{
    if (!source || !source->isOpen()) {
        qWarning("%s: failed to open device", Q_FUNC_INFO);
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
}

void InputDevice::setEnabled(bool enable)
{
    if (!isOpen()) {
        qWarning("%s: can't enable, device is not open", Q_FUNC_INFO);
        return;
    }
    m_notifier->setEnabled(enable);
}

bool InputDevice::isEnabled() const
{
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
        qWarning("%s: got EOF from the input device", function);
        // A device at end of file stays readable; watching it would spin.
        m_notifier->setEnabled(false);
        events.clear();
        break;
    case Platform::ReadResult::Failed:
        qWarning("%s: could not read from input device", function);
        m_notifier->setEnabled(false);
        events.clear();
        break;
    }
    return events;
}
