// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_INPUT_BOARD_H
#define QUIMBO_INPUT_BOARD_H

#include <QString>
#include <QVector>

/**
 * What the board is (revision) and which GPIO line does what. One per
 * process; getInstance() is safe from any thread, the rest is used from the
 * main thread (the keypad reads the line numbers once when it is built).
 */
class Board
{
public:
    static Board *getInstance();

    /** Reads the revision straps, sets up the lines, the udev rule and the start-up folders. */
    void init();

    void switchLed(int led, bool on);
    void switchUsbDrive(int port, bool on);

    /** "Rev4", "Rev6", or empty for any other revision. */
    QString revisionString() const;
    /** The medium the system boots from, never offered as a book source. */
    QString bootDevice() const;
    QVector<int> gpioColumns() const;
    QVector<int> gpioRows() const;

    /** The strap value: 0 Rev4, 7 Rev6. */
    int revision() const;
    int ledLine(int led) const;
    int usbDriveLine(int port) const;

    /** Back to the values before init() (Rev4 lines); for tests. */
    void resetForTesting();

private:
    Board();
    void setRev4Lines();

    int m_led0;
    int m_led1;
    int m_usbDrive0;
    int m_usbDrive1;
    QVector<int> m_columns;
    QVector<int> m_rows;
    int m_revision;
};

#endif
