// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/board.h"

#include "input/logcategory.h"
#include "input/wiringlinux.h"
#include "platform/paths.h"
#include "platform/systemactions.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>

#include <atomic>

namespace {

constexpr int Rev4 = 0;
constexpr int Rev6 = 7;
constexpr int StrapLines[3] = {76, 77, 78};
constexpr int EfuseLine = 36;
constexpr int UsbFaultLine = 202;

const char UdevRuleFile[] = "/etc/udev/rules.d/69-cdrom.rules";
// Gives a USB CD drive the stable name "/dev/cd-rom".
const char UdevRule[] = "KERNEL==\"sr*\", SUBSYSTEM==\"block\", SUBSYSTEMS==\"usb\", SYMLINK+=\"cd-rom\"\n";

std::atomic<Board *> s_instance{nullptr};
QBasicMutex s_instanceMutex;

} // namespace

Board *Board::getInstance()
{
    Board *board = s_instance.load(std::memory_order_acquire);
    if (!board) {
        QMutexLocker lock(&s_instanceMutex);
        board = s_instance.load(std::memory_order_relaxed);
        if (!board) {
            board = new Board;
            s_instance.store(board, std::memory_order_release);
        }
    }
    return board;
}

Board::Board()
{
    setRev4Lines();
}

void Board::setRev4Lines()
{
    m_led0 = 79;
    m_led1 = 139;
    m_usbDrive0 = 204;
    m_usbDrive1 = 0;
    m_columns = {64, 65, 66};
    m_rows = {70, 71, 72};
    m_revision = Rev4;
}

void Board::resetForTesting()
{
    setRev4Lines();
}

void Board::init()
{
    setRev4Lines();
    int revision = 0;
    for (int bit = 0; bit < 3; ++bit) {
        WiringLinux::pinMode(StrapLines[bit], WiringLinux::ModeInput);
        revision |= WiringLinux::digitalRead(StrapLines[bit]) << bit;
    }
    m_revision = revision;

    if (m_revision == Rev6) {
        m_led0 = 138;
        m_usbDrive1 = 203;
        m_rows = {67, 68, 69};
    }
    if (m_revision == Rev4 || m_revision == Rev6) {
        for (const int line : {m_led0, m_led1, m_usbDrive0}) {
            WiringLinux::pinMode(line, WiringLinux::ModeOutput);
            WiringLinux::digitalWrite(line, 0);
        }
    }
    if (m_revision == Rev6) {
        WiringLinux::pinMode(EfuseLine, WiringLinux::ModeInputEdge);
        WiringLinux::pinMode(UsbFaultLine, WiringLinux::ModeInputEdge);
    }

    const QString rule = Platform::path(QLatin1String(UdevRuleFile));
    if (!QFileInfo::exists(rule)) {
        qCDebug(lcInput, "UDEV rule: '69-cdrom.rules' doesn't exists");
        QDir().mkpath(QFileInfo(rule).absolutePath());
        QFile file(rule);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(UdevRule) == qint64(sizeof UdevRule - 1)) {
            file.close();
            Platform::systemActions()->runShell(QStringLiteral("udevadm control --reload-rules"));
            qCDebug(lcInput, "UDEV rule: '69-cdrom.rules' created");
        } else {
            qCWarning(lcInput, "[Board::init] cannot write the udev rule %s", qPrintable(rule));
        }
    }

    for (const char *dir : {"/root/quimbo/temp", "/media/cd", "/media/usb", "/media/mmc"})
        QDir().mkpath(Platform::path(QLatin1String(dir)));
}

void Board::switchLed(int led, bool on)
{
    if (led == 0)
        WiringLinux::digitalWrite(m_led0, on);
    else if (led == 1)
        WiringLinux::digitalWrite(m_led1, on);
}

void Board::switchUsbDrive(int port, bool on)
{
    if (port == 0)
        WiringLinux::digitalWrite(m_usbDrive0, on);
    else if (port == 1 && m_usbDrive1 != 0)
        WiringLinux::digitalWrite(m_usbDrive1, on);
}

QString Board::revisionString() const
{
    if (m_revision == Rev4)
        return QStringLiteral("Rev4");
    if (m_revision == Rev6)
        return QStringLiteral("Rev6");
    return QString();
}

QString Board::bootDevice() const
{
    return m_revision != 0 ? QStringLiteral("/dev/mmcblk1") : QStringLiteral("/dev/mmcblk0");
}

QVector<int> Board::gpioColumns() const
{
    return m_columns;
}

QVector<int> Board::gpioRows() const
{
    return m_rows;
}

int Board::revision() const
{
    return m_revision;
}

int Board::ledLine(int led) const
{
    return led == 0 ? m_led0 : led == 1 ? m_led1 : -1;
}

int Board::usbDriveLine(int port) const
{
    return port == 0 ? m_usbDrive0 : port == 1 ? m_usbDrive1 : -1;
}
