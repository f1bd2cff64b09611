// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_LINUX_LINUXI2CBUS_H
#define QUIMBO_PLATFORM_LINUX_LINUXI2CBUS_H

#include "platform/i2cbus.h"

namespace Platform {

/** i2c-dev: a character device below the path root, one slave selected by ioctl. */
class LinuxI2cBus : public I2cBus
{
public:
    ~LinuxI2cBus() override;

    bool open(const QString &device) override;
    bool isOpen() const override { return m_fd >= 0; }
    bool setSlaveAddress(int address, bool force) override;
    int write(const unsigned char *data, int count) override;
    int read(unsigned char *data, int count) override;
    void close() override;

private:
    int m_fd = -1;
};

} // namespace Platform

#endif
