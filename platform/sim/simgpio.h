// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_SIM_SIMGPIO_H
#define QUIMBO_PLATFORM_SIM_SIMGPIO_H

#include "platform/gpio.h"

namespace Platform {

class SimBoard;

/**
 * GPIO lines of the board model. Behaves like sysfs where the firmware can
 * tell: a line must be exported before it is used, exporting twice fails.
 * Edges are reported through a pipe (QSocketNotifier::Read).
 */
class SimGpio : public Gpio
{
public:
    explicit SimGpio(SimBoard *board);

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

private:
    SimBoard *m_board;
};

} // namespace Platform

#endif
