// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/platform.h"

#include <atomic>
#include <cmath>

namespace Platform {

namespace {
std::atomic<int> s_backend{-1};
std::atomic<double> s_timeScale{-1.0};
} // namespace

Backend backend()
{
    int b = s_backend.load();
    if (b < 0) {
        b = qEnvironmentVariable("QUIMBO_PLATFORM") == QLatin1String("sim") ? int(Backend::Simulated) : int(Backend::Linux);
        s_backend.store(b);
    }
    return Backend(b);
}

void setBackend(Backend backend)
{
    s_backend.store(int(backend));
}

void chooseBackend(const QStringList &arguments)
{
    for (const QString &arg : arguments) {
        if (arg == QLatin1String("--sim") || arg == QLatin1String("--platform=sim")) {
            setBackend(Backend::Simulated);
            return;
        }
        if (arg == QLatin1String("--platform=linux")) {
            setBackend(Backend::Linux);
            return;
        }
    }
    s_backend.store(-1);
    backend();
}

double timeScale()
{
    double s = s_timeScale.load();
    if (s < 0) {
        bool ok = false;
        s = qEnvironmentVariable("QUIMBO_TIME_SCALE").toDouble(&ok);
        if (!ok || s <= 0)
            s = 1.0;
        s_timeScale.store(s);
    }
    return s;
}

void setTimeScale(double scale)
{
    s_timeScale.store(scale > 0 ? scale : 1.0);
}

int scaledMsec(int msec)
{
    if (msec <= 0)
        return msec;
    const double s = timeScale();
    if (s == 1.0)
        return msec;
    return std::max(1, int(std::lround(msec * s)));
}

} // namespace Platform
