// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_LINUX_LINUXGPIO_H
#define QUIMBO_PLATFORM_LINUX_LINUXGPIO_H

#include "platform/gpio.h"

namespace Platform {

/**
 * sysfs GPIO below Platform::root(): "/sys/class/gpio/export",
 * "/sys/class/gpio/gpioN/{direction,edge,value}". The root is taken at each
 * call, so the same object works against a fake tree in a test directory.
 * Stateless, hence thread-safe.
 */
class LinuxGpio : public Gpio
{
public:
    bool exportLine(int line) override;
    bool unexportLine(int line) override;
    bool setDirection(int line, bool output) override;
    bool setEdge(int line, const QByteArray &edge) override;
    bool writeValue(int line, int value) override;
    int readValue(int line, bool *ok = nullptr) override;
    int openValue(int line) override;
    void closeValue(int fd) override;
    int rearm(int fd) override;
    QSocketNotifier::Type edgeNotifierType() const override;
};

} // namespace Platform

#endif
