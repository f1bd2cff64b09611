// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/matrixkeypad.h"

#include "input/board.h"
#include "input/keys.h"
#include "input/logcategory.h"
#include "input/wiringlinux.h"
#include "platform/platform.h"

#include <QDebug>
#include <QTimer>

namespace {

constexpr int ScanPeriodMsec = 10;
constexpr int DebounceScans = 5;
constexpr int HoldTicks = 200;

enum FilterState {
    Initial,
    Idle,
    Debounce,
    Pressed,
    Holding,
};

// The filter remembers across scans; there is one keypad per process.
struct Filter {
    FilterState state = Initial;
    int lastKey = BUTTON_NONE;
    int pressedKey = BUTTON_NONE;
};
Filter s_filter;

} // namespace

MatrixKeypad::MatrixKeypad(QObject *parent)
    : QObject(parent)
    , m_keyMap({BUTTON_FAST_FORWARD, BUTTON_REWIND, BUTTON_SLEEP_MENU, BUTTON_SPEED_DOWN, BUTTON_EJECT, BUTTON_PLAY_STOP, BUTTON_PITCH_UP,
                BUTTON_PITCH_DOWN, BUTTON_SPEED_UP})
    , m_columns(Board::getInstance()->gpioColumns())
    , m_rows(Board::getInstance()->gpioRows())
{
    for (const int line : std::as_const(m_columns)) {
        WiringLinux::pinMode(line, WiringLinux::ModeOutput);
        WiringLinux::digitalWrite(line, 0);
    }
    for (const int line : std::as_const(m_rows))
        WiringLinux::pinMode(line, WiringLinux::ModeInput);
    resetFilter();
}

MatrixKeypad::~MatrixKeypad()
{
    for (const int line : std::as_const(m_columns))
        WiringLinux::pinReset(line);
    for (const int line : std::as_const(m_rows))
        WiringLinux::pinReset(line);
}

void MatrixKeypad::resetFilter()
{
    s_filter = Filter();
}

void MatrixKeypad::initialize()
{
    m_scanTimer = new QTimer(this);
    m_scanTimer->setSingleShot(true);
    m_scanTimer->setInterval(Platform::scaledMsec(ScanPeriodMsec));
    connect(m_scanTimer, &QTimer::timeout, this, &MatrixKeypad::slotScanKeypad);
    m_autoRepeat = true;
    m_enabled = false;
}

void MatrixKeypad::stop()
{
    m_enabled = false;
    if (m_scanTimer)
        m_scanTimer->stop();
    Q_EMIT finished();
}

void MatrixKeypad::setEnabled(bool enable)
{
    if (m_enabled == enable)
        return;
    m_enabled = enable;
    if (!m_scanTimer)
        return;
    if (enable)
        m_scanTimer->start();
    else
        m_scanTimer->stop();
}

void MatrixKeypad::setAutoRepeat(bool enable)
{
    m_autoRepeat = enable;
}

void MatrixKeypad::setAutoRepeatTime(int msec)
{
    const int ticks = msec / ScanPeriodMsec;
    if (ticks < 1) {
        qCWarning(lcInput) << "[MatrixKeypad::setAutoRepeatTime] repeat time too short, ignored:" << msec;
        return;
    }
    m_autoRepeatTicks = ticks;
    m_tickCounter = ticks;
}

void MatrixKeypad::setReleaseEnabled(bool enable)
{
    m_releaseEnabled = enable;
}

int MatrixKeypad::scanKeypad()
{
    const int columns = int(m_columns.size());
    for (int column = 0; column < columns; ++column) {
        for (int other = 0; other < columns; ++other)
            WiringLinux::digitalWrite(m_columns.at(other), other == column ? 1 : 0);
        for (int row = 0; row < int(m_rows.size()); ++row) {
            if (WiringLinux::digitalRead(m_rows.at(row)) == 1)
                return m_keyMap.value(row + 3 * column, BUTTON_NONE);
        }
    }
    return BUTTON_NONE;
}

void MatrixKeypad::slotScanKeypad()
{
    m_scanTimer->stop();
    if (!m_enabled)
        return;
    filterKeypad(scanKeypad());
    // Restarted after the scan: the period is the interval plus one scan.
    m_scanTimer->start();
}

void MatrixKeypad::filterKeypad(int key)
{
    Filter &f = s_filter;
    const auto report = [this](int reported, int type) {
        if (reported != BUTTON_NONE && m_enabled)
            Q_EMIT keyEvent(reported, type);
    };

    switch (f.state) {
    case Initial:
        f.state = Idle;
        break;
    case Idle:
        if (key != BUTTON_NONE && f.lastKey == BUTTON_NONE) {
            m_tickCounter = DebounceScans;
            f.state = Debounce;
        }
        break;
    case Debounce:
        if (key != f.lastKey) {
            f.state = Idle;
        } else if (--m_tickCounter <= 0) {
            f.pressedKey = key;
            m_releaseEnabled = true;
            m_tickCounter = HoldTicks;
            m_heldKey = BUTTON_NONE;
            report(key, KEY_PRESSED);
            f.state = Pressed;
        }
        break;
    case Pressed:
        if (key == f.lastKey) {
            if (--m_tickCounter <= 0) {
                m_releaseEnabled = false;
                m_heldKey = key;
                m_tickCounter = int(m_autoRepeatTicks);
                report(key, KEY_HELD);
                f.state = Holding;
            }
        } else {
            if (f.lastKey == f.pressedKey)
                report(f.pressedKey, KEY_RELEASED);
            f.state = Idle;
        }
        break;
    case Holding:
        if (key == f.lastKey) {
            if (!m_autoRepeat) {
                m_tickCounter = int(m_autoRepeatTicks);
            } else if (--m_tickCounter <= 0) {
                m_releaseEnabled = true;
                m_tickCounter = int(m_autoRepeatTicks);
                report(key, KEY_REPEATED);
            }
        } else {
            if (f.lastKey == f.pressedKey && m_releaseEnabled)
                report(f.lastKey, KEY_RELEASED);
            f.state = Idle;
        }
        break;
    }
    f.lastKey = key;
}
