// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What the benchmarks share: printing a figure, the process's memory and CPU
// time, the median of repeated runs, quiet logging and a device root of their own.
#ifndef QUIMBO_BENCH_BENCHUTIL_H
#define QUIMBO_BENCH_BENCHUTIL_H

#include "platform/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace Bench {

/** One figure, "name: value unit", on a line of its own; flushed so a crash later keeps it. */
inline void print(const char *name, double value, const char *unit, int decimals = 2)
{
    std::printf("%s: %.*f %s\n", name, decimals, value, unit);
    std::fflush(stdout);
}

/** A field of /proc/self/status in MiB: "VmRSS:" now, "VmHWM:" the peak; -1 when unknown. */
inline double statusMiB(const char *field = "VmRSS:")
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toDouble() / 1024;
    }
    return -1;
}

/** CPU time of @p clock (the whole process by default, or CLOCK_THREAD_CPUTIME_ID) in ms. */
inline double cpuMs(clockid_t clock = CLOCK_PROCESS_CPUTIME_ID)
{
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

struct Figures
{
    double wall = 0; ///< what the reader waits
    double cpu = 0; ///< the processor's share: on a shared machine wall time also counts other processes
};

/** Medians in ms of @p runs runs of @p step, each after an unmeasured @p prepare. */
inline Figures median(int runs, const std::function<void()> &step, const std::function<void()> &prepare = {},
                      clockid_t clock = CLOCK_PROCESS_CPUTIME_ID)
{
    std::vector<double> wall;
    std::vector<double> cpu;
    for (int i = 0; i < runs; ++i) {
        if (prepare)
            prepare();
        QElapsedTimer timer;
        const double cpuStart = cpuMs(clock);
        timer.start();
        step();
        wall.push_back(double(timer.nsecsElapsed()) / 1e6);
        cpu.push_back(cpuMs(clock) - cpuStart);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    return {wall.at(wall.size() / 2), cpu.at(cpu.size() / 2)};
}

/** Keeps the firmware's log lines from coming between the figures; errors still go to stderr unless @p errors is false. */
inline void quietLog(bool errors = true)
{
    if (errors) {
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
            if (type == QtCriticalMsg || type == QtFatalMsg)
                std::fprintf(stderr, "%s\n", qPrintable(message));
        });
    } else {
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    }
}

/**
 * A device root in a temporary folder (QUIMBO_ROOT, with "/root/quimbo") and the
 * firmware's settings in test locations, so a benchmark never touches the
 * machine's own. Lives as long as the benchmark.
 */
class DeviceRoot
{
public:
    DeviceRoot()
    {
        QCoreApplication::setOrganizationName(QStringLiteral("KAL"));
        QCoreApplication::setApplicationName(QStringLiteral("quimbo-basic"));
        QStandardPaths::setTestModeEnabled(true);
        qputenv("QUIMBO_ROOT", QFile::encodeName(m_dir.path()));
        QDir().mkpath(m_dir.filePath(QStringLiteral("root/quimbo")));
        Platform::setupSettingsLocation();
    }
    bool isValid() const { return m_dir.isValid(); }

private:
    QTemporaryDir m_dir;
};

} // namespace Bench

#endif
