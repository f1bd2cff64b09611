// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/linuxi2cbus.h"

#include "platform/logcategory.h"
#include "platform/paths.h"

#include <QtGlobal>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace Platform {

LinuxI2cBus::~LinuxI2cBus()
{
    close();
}

bool LinuxI2cBus::open(const QString &device)
{
    close();
    const QByteArray node = nativePath(device);
    do {
        m_fd = ::open(node.constData(), O_RDWR | O_CLOEXEC);
    } while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0) {
        qCWarning(lcPlatform, "[LinuxI2cBus::open] %s: %s", node.constData(), std::strerror(errno));
        return false;
    }
    return true;
}

bool LinuxI2cBus::setSlaveAddress(int address, bool force)
{
    if (m_fd < 0)
        return false;
    if (::ioctl(m_fd, force ? I2C_SLAVE_FORCE : I2C_SLAVE, long(address)) < 0) {
        qCWarning(lcPlatform, "[LinuxI2cBus::setSlaveAddress] 0x%x: %s", address, std::strerror(errno));
        return false;
    }
    return true;
}

int LinuxI2cBus::write(const unsigned char *data, int count)
{
    if (m_fd < 0)
        return -1;
    ssize_t n;
    do {
        n = ::write(m_fd, data, size_t(count));
    } while (n < 0 && errno == EINTR);
    return int(n);
}

int LinuxI2cBus::read(unsigned char *data, int count)
{
    if (m_fd < 0)
        return -1;
    ssize_t n;
    do {
        n = ::read(m_fd, data, size_t(count));
    } while (n < 0 && errno == EINTR);
    return int(n);
}

void LinuxI2cBus::close()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

} // namespace Platform
