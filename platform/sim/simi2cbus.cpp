// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sim/simi2cbus.h"

#include "platform/logcategory.h"

#include <QHash>
#include <QPair>

namespace Platform {

namespace {
using DeviceKey = QPair<QString, int>;
QHash<DeviceKey, SimI2cDevice *> &registry()
{
    // Never destroyed: chip models that are static objects detach during exit.
    static auto *devices = new QHash<DeviceKey, SimI2cDevice *>;
    return *devices;
}
} // namespace

SimI2cDevice::~SimI2cDevice()
{
    SimI2cBus::detachDevice(this);
}

void SimI2cBus::attachDevice(const QString &bus, int address, SimI2cDevice *device)
{
    registry().insert(DeviceKey(bus, address), device);
}

void SimI2cBus::detachDevice(SimI2cDevice *device)
{
    auto &devices = registry();
    for (auto it = devices.begin(); it != devices.end();) {
        if (it.value() == device)
            it = devices.erase(it);
        else
            ++it;
    }
}

bool SimI2cBus::open(const QString &device)
{
    const auto &devices = registry();
    for (auto it = devices.cbegin(); it != devices.cend(); ++it) {
        if (it.key().first == device) {
            m_bus = device;
            m_open = true;
            return true;
        }
    }
    qCWarning(lcPlatform, "[SimI2cBus::open] no simulated bus %s", qPrintable(device));
    return false;
}

bool SimI2cBus::setSlaveAddress(int address, bool force)
{
    Q_UNUSED(force)
    if (!m_open)
        return false;
    m_address = address;
    return true;
}

SimI2cDevice *SimI2cBus::device() const
{
    return m_open ? registry().value(DeviceKey(m_bus, m_address)) : nullptr;
}

int SimI2cBus::write(const unsigned char *data, int count)
{
    SimI2cDevice *chip = device();
    return chip ? chip->i2cWrite(data, count) : -1;
}

int SimI2cBus::read(unsigned char *data, int count)
{
    SimI2cDevice *chip = device();
    return chip ? chip->i2cRead(data, count) : -1;
}

void SimI2cBus::close()
{
    m_open = false;
    m_address = -1;
    m_bus.clear();
}

} // namespace Platform
