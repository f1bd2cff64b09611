// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/wiringlinux.h"

#include "input/logcategory.h"
#include "platform/gpio.h"

#include <QDebug>

int gpio_unexport(int pin)
{
    return Platform::gpio()->unexportLine(pin) ? 0 : -1;
}

int gpio_set_dir(int pin, bool out)
{
    return Platform::gpio()->setDirection(pin, out) ? 0 : -1;
}

void WiringLinux::pinMode(int pin, int mode)
{
    // A line left exported by an earlier run keeps its old direction and
    // edge; start from scratch. Unexporting a line that is not exported
    // fails, which is the normal case at first use and not worth a line.
    gpio_unexport(pin);
    if (!Platform::gpio()->exportLine(pin))
        qCWarning(lcInput) << "[WiringLinux@pinMode] export gpio" << pin;

    if (gpio_set_dir(pin, mode == ModeOutput) != 0)
        qCWarning(lcInput) << "[WiringLinux@pinMode] setting direction failed. GPIO:" << pin;
    if (mode == ModeInputEdge && !Platform::gpio()->setEdge(pin, QByteArrayLiteral("both")))
        qCWarning(lcInput) << "[WiringLinux@pinMode] setting edge(both) failed. GPIO:" << pin;
}

void WiringLinux::digitalWrite(int pin, int value)
{
    if (!Platform::gpio()->writeValue(pin, value))
        qCWarning(lcInput) << "[WiringLinux@digitalWrite] failed. GPIO:" << pin;
}

int WiringLinux::digitalRead(int pin)
{
    bool ok = false;
    const int value = Platform::gpio()->readValue(pin, &ok);
    if (!ok) {
        qCWarning(lcInput) << "[WiringLinux@digitalRead] failed. GPIO:" << pin;
        return 0;
    }
    return value;
}

int WiringLinux::pinOpen(int pin)
{
    const int fd = Platform::gpio()->openValue(pin);
    if (fd < 0)
        qCWarning(lcInput) << "[WiringLinux@pinOpen] failed. GPIO:" << pin;
    return fd;
}

void WiringLinux::pinReset(int pin)
{
    gpio_unexport(pin);
}

void WiringLinux::pinClose(int fd)
{
    if (fd >= 0)
        Platform::gpio()->closeValue(fd);
}

int WiringLinux::pinRearm(int fd)
{
    return Platform::gpio()->rearm(fd);
}

QSocketNotifier::Type WiringLinux::edgeNotifierType()
{
    return Platform::gpio()->edgeNotifierType();
}
