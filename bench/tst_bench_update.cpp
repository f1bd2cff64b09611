// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Installs an update package whose one entry is 32 MiB of incompressible data
// and reports the process's peak resident memory before and after: the entry
// is streamed to the disk, so the peak must not grow by anything near its size.
// Then a package of 1,100 voice prompts from the simulated SD card, with and
// without the syncs that make each file survive a power cut, for their cost.
#include "quimboversion.h"
#include "update/durablefile.h"
#include "update/kalupdatemanager.h"

#include <QCoreApplication>
#include <QDir>
#include <QLoggingCategory>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

namespace {

const QString kPackage = QStringLiteral(QUIMBO_BINARY_DIR "/benchdata/update/big32.zip");
const QString kPromptCard = QStringLiteral(QUIMBO_BINARY_DIR "/benchdata/update/card");
constexpr int kPromptFiles = 1100;

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

// Milliseconds to find and install the prompt package from the card in a fresh root; -1 on failure.
double installPrompts(bool sync)
{
    QTemporaryDir root;
    // The simulated board mounts a card by linking its folder at /media/mmc.
    if (!root.isValid() || !QDir().mkpath(root.filePath(QStringLiteral("media")))
        || !QFile::link(kPromptCard, root.filePath(QStringLiteral("media/mmc"))))
        return -1;
    qputenv("QUIMBO_ROOT", QFile::encodeName(root.path()));
    DurableFile::setSyncEnabled(sync);
    QElapsedTimer timer;
    timer.start();
    KalUpdateManager manager;
    if (manager.checkForUpdates(root.filePath(QStringLiteral("media/mmc"))) != KalUpdateManager::KalUpdateFound
        || manager.runUpdate() != KalUpdateManager::NoError)
        return -1;
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    DurableFile::setSyncEnabled(true);
    if (QDir(root.filePath(QStringLiteral("root/quimbo/messages/eng"))).entryList(QDir::Files).size() != kPromptFiles)
        return -1;
    return ms;
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

    // The first run only brings the package into the page cache.
    const double warm = installPrompts(false);
    const double synced = installPrompts(true);
    const double unsynced = installPrompts(false);
    if (warm < 0 || synced < 0 || unsynced < 0) {
        std::fprintf(stderr, "the prompt package did not install\n");
        return 1;
    }
    report("update_1100_prompts_ms", synced, "ms");
    report("update_1100_prompts_without_sync_ms", unsynced, "ms");
    report("update_sync_per_file", (synced - unsynced) * 1000 / kPromptFiles, "us");
    return 0;
}
