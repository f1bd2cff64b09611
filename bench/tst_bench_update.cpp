// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Installs an update package whose one entry is 32 MiB of incompressible data
// and reports the process's peak resident memory before and after: the entry
// is streamed to the disk, so the peak must not grow by anything near its size.
#include "quimboversion.h"
#include "update/kalupdatemanager.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

namespace {

const QString kPackage = QStringLiteral(QUIMBO_BINARY_DIR "/benchdata/update/big32.zip");

void report(const char *name, double value, const char *unit)
{
    std::printf("%s: %.0f %s\n", name, value, unit);
    std::fflush(stdout);
}

// The process's peak resident set (VmHWM) in KiB; -1 when /proc cannot tell.
qint64 peakResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // Only the figures: the firmware's category lines would come between them, as the tools keep them out.
    QLoggingCategory::setFilterRules(QStringLiteral("quimbo.*=false"));
    QCoreApplication::setApplicationName(QStringLiteral("quimbo-basic"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUIMBO_VERSION_STRING));
    QTemporaryDir root;
    if (!root.isValid() || !QFileInfo::exists(kPackage)) {
        std::fprintf(stderr, "no temporary root or no package %s\n", qPrintable(kPackage));
        return 1;
    }
    qputenv("QUIMBO_ROOT", QFile::encodeName(root.path()));

    const qint64 before = peakResidentKiB();
    QElapsedTimer timer;
    timer.start();
    KalUpdateManager manager;
    if (!manager.open(kPackage) || manager.runUpdate() != KalUpdateManager::NoError) {
        std::fprintf(stderr, "the package did not install\n");
        return 1;
    }
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    const qint64 after = peakResidentKiB();
    const qint64 installed = QFileInfo(root.filePath(QStringLiteral("root/quimbo/data/big32.bin"))).size();
    report("update_install_32mb_entry", double(installed) / 1024, "KiB");
    report("update_install_32mb_ms", ms, "ms");
    report("update_install_32mb_peak_rss", double(after), "KiB");
    report("update_install_32mb_peak_rss_growth", double(after - before), "KiB");
    return 0;
}
