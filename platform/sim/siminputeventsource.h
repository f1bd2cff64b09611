// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_SIM_SIMINPUTEVENTSOURCE_H
#define QUIMBO_PLATFORM_SIM_SIMINPUTEVENTSOURCE_H

#include "platform/linux/linuxinputeventsource.h"

namespace Platform {

class SimBoard;

/**
 * An input device of the board model. The model writes the kernel's
 * records (LinuxInputEventSource::encode) into a pipe, so reading and decoding are the Linux
 * backend's; only opening and the state query differ.
 */
class SimInputEventSource : public LinuxInputEventSource
{
public:
    explicit SimInputEventSource(SimBoard *board);
    ~SimInputEventSource() override;

    bool open(const QString &devicePath) override;
    void close() override;
    ReadResult read(InputEvent *event) override;
    ReadResult readEvents(QList<InputEvent> *events) override;
    int state(int type, int code) override;

private:
    SimBoard *m_board;
    QString m_devicePath;
};

} // namespace Platform

#endif
