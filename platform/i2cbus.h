// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_I2CBUS_H
#define QUIMBO_PLATFORM_I2CBUS_H

#include <QString>

#include <memory>

namespace Platform {

/**
 * One I2C character device with one selected slave, as the firmware sees
 * it: replaces open(2), the I2C_SLAVE(_FORCE) ioctl, write(2) and read(2)
 * only. Backends log system-call failures; callers log what a failure means.
 */
class I2cBus
{
public:
    virtual ~I2cBus();

    /** Opens the bus read-write; @p device is the device path ("/dev/i2c-1"), rooted by the backend. */
    virtual bool open(const QString &device) = 0;
    virtual bool isOpen() const = 0;
    /** Selects the 7-bit slave address; @p force claims it even if a kernel driver holds it. */
    virtual bool setSlaveAddress(int address, bool force) = 0;
    /** Bytes written, or -1. */
    virtual int write(const unsigned char *data, int count) = 0;
    /** Bytes read, or -1. */
    virtual int read(unsigned char *data, int count) = 0;
    virtual void close() = 0;
};

/** The backend of the chosen platform (Linux i2c-dev, or the simulated board's chips). */
std::unique_ptr<I2cBus> createI2cBus();

} // namespace Platform

#endif
