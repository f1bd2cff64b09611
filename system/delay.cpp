// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/delay.h"

#include "platform/platform.h"

#include <QEventLoop>
#include <QTimer>

#include <limits>

void Delay::msec(unsigned int ms)
{
    if (ms == 0)
        return;
    const int requested = ms > unsigned(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max() : int(ms);

    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(Platform::scaledMsec(requested));
    loop.exec();
}
