// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_SIM_SIMI2CBUS_H
#define QUIMBO_PLATFORM_SIM_SIMI2CBUS_H

#include "platform/i2cbus.h"

namespace Platform {

/** A chip model on the simulated board's I2C buses. */
class SimI2cDevice
{
public:
    virtual ~SimI2cDevice();
    /** One write transaction; bytes accepted, or -1 (the chip did not acknowledge). */
    virtual int i2cWrite(const unsigned char *data, int count) = 0;
    /** One read transaction; bytes delivered, or -1. */
    virtual int i2cRead(unsigned char *data, int count) = 0;
};

/**
 * The simulated buses: chip models attach themselves under a bus path and a
 * 7-bit address; a SimI2cBus then talks to the model at the selected address.
 * Opening a bus with no chip attached fails as a missing device node would.
 */
class SimI2cBus : public I2cBus
{
public:
    /** Process-wide registry; models detach before they die. Main thread only. */
    static void attachDevice(const QString &bus, int address, SimI2cDevice *device);
    static void detachDevice(SimI2cDevice *device);

    bool open(const QString &device) override;
    bool isOpen() const override { return m_open; }
    bool setSlaveAddress(int address, bool force) override;
    int write(const unsigned char *data, int count) override;
    int read(unsigned char *data, int count) override;
    void close() override;

private:
    SimI2cDevice *device() const;

    QString m_bus;
    int m_address = -1;
    bool m_open = false;
};

} // namespace Platform

#endif
