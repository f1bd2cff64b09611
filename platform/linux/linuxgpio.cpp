// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/linuxgpio.h"

#include "platform/linux/fdio.h"
#include "platform/paths.h"

#include <fcntl.h>
#include <unistd.h>

namespace Platform {

namespace {

QByteArray classFile(const char *name)
{
    return nativePath(QStringLiteral("/sys/class/gpio/") + QLatin1String(name));
}

QByteArray lineFile(int line, const char *name)
{
    return nativePath(QStringLiteral("/sys/class/gpio/gpio%1/").arg(line) + QLatin1String(name));
}

} // namespace

bool LinuxGpio::exportLine(int line)
{
    return FdIo::writeFile(classFile("export"), QByteArray::number(line));
}

bool LinuxGpio::unexportLine(int line)
{
    return FdIo::writeFile(classFile("unexport"), QByteArray::number(line));
}

bool LinuxGpio::setDirection(int line, bool output)
{
    return FdIo::writeFile(lineFile(line, "direction"), output ? QByteArrayLiteral("out") : QByteArrayLiteral("in"));
}

bool LinuxGpio::setEdge(int line, const QByteArray &edge)
{
    return FdIo::writeFile(lineFile(line, "edge"), edge);
}

bool LinuxGpio::writeValue(int line, int value)
{
    return FdIo::writeFile(lineFile(line, "value"), value ? QByteArrayLiteral("1") : QByteArrayLiteral("0"));
}

int LinuxGpio::readValue(int line, bool *ok)
{
    if (ok)
        *ok = false;
    const int fd = FdIo::open(lineFile(line, "value"), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    char buffer[3];
    const qint64 n = FdIo::read(fd, buffer, sizeof buffer);
    FdIo::close(fd);
    if (n <= 0)
        return 0;
    // A value file holds a decimal number and a newline; anything else is a failed read.
    bool parsed = false;
    const int value = QByteArray(buffer, int(n)).trimmed().toInt(&parsed);
    if (!parsed)
        return 0;
    if (ok)
        *ok = true;
    return value != 0 ? 1 : 0;
}

int LinuxGpio::openValue(int line)
{
    return FdIo::open(lineFile(line, "value"), O_RDONLY | O_CLOEXEC);
}

void LinuxGpio::closeValue(int fd)
{
    FdIo::close(fd);
}

int LinuxGpio::rearm(int fd)
{
    if (fd < 0 || ::lseek(fd, 0, SEEK_SET) < 0)
        return -1;
    char buffer[10];
    return int(FdIo::read(fd, buffer, sizeof buffer));
}

QSocketNotifier::Type LinuxGpio::edgeNotifierType() const
{
    // sysfs signals an edge as POLLPRI, which select() reports as an exception.
    return QSocketNotifier::Exception;
}

} // namespace Platform
