// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Lists a 2,000-entry archive and reads a 50 MB stored and a 50 MB deflated
// entry, against Info-ZIP's "unzip -p" of the same entries in the same run.
#include "formats/zipreader.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <cstdio>

namespace {

const QString kData = QStringLiteral(QUIMBO_BINARY_DIR "/benchdata/zip/");
constexpr int kRuns = 5;

void report(const char *name, double value, const char *unit)
{
    std::printf("%s: %.2f %s\n", name, value, unit);
    std::fflush(stdout);
}

// Best of several runs: the machine is shared, the minimum is the least disturbed figure.
template<typename F> double bestMs(F &&run)
{
    double best = 1e300;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer timer;
        timer.start();
        run();
        best = std::min(best, double(timer.nsecsElapsed()) / 1e6);
    }
    return best;
}

double unzipMs(const QStringList &arguments)
{
    return bestMs([&] {
        QProcess unzip;
        unzip.setStandardOutputFile(QProcess::nullDevice());
        unzip.start(QStringLiteral("unzip"), arguments);
        unzip.waitForFinished(-1);
    });
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // Only the figures: the firmware's category lines would come between them, as the tools keep them out.
    QLoggingCategory::setFilterRules(QStringLiteral("quimbo.*=false"));
    int failures = 0;

    const QString many = kData + QStringLiteral("many.zip");
    int listed = 0;
    const double listMs = bestMs([&] {
        ZipReader zip(many);
        listed = zip.fileInfoList().size();
    });
    if (listed != 2000) {
        std::fprintf(stderr, "many.zip lists %d entries, expected 2000\n", listed);
        ++failures;
    }
    report("zip_list_2000_entries", listMs, "ms");
    const double unzipListMs = unzipMs({ QStringLiteral("-Z1"), many });
    report("unzip_list_2000_entries", unzipListMs, "ms");
    report("zip_list_vs_unzip", unzipListMs / listMs, "ratio");

    const struct
    {
        const char *archive;
        const char *name;
        const char *unzipName;
        const char *ratioName;
    } cases[] = {
        { "big-stored.zip", "zip_read_stored_50MB", "unzip_p_stored_50MB", "zip_read_stored_vs_unzip" },
        { "big-deflated.zip", "zip_read_deflated_50MB", "unzip_p_deflated_50MB", "zip_read_deflated_vs_unzip" },
    };
    for (const auto &c : cases) {
        const QString archive = kData + QLatin1String(c.archive);
        qint64 bytes = 0;
        const double ms = bestMs([&] {
            ZipReader zip(archive);
            bytes = zip.fileData(QStringLiteral("big.txt")).size();
        });
        if (bytes != 50 * 1000 * 1000) {
            std::fprintf(stderr, "%s: read %lld bytes, expected 50000000\n", c.archive, static_cast<long long>(bytes));
            ++failures;
        }
        const double mb = double(bytes) / 1e6;
        const double ours = mb / (ms / 1000.0);
        const double theirs = mb / (unzipMs({ QStringLiteral("-p"), archive, QStringLiteral("big.txt") }) / 1000.0);
        report(c.name, ours, "MB/s");
        report(c.unzipName, theirs, "MB/s");
        report(c.ratioName, ours / theirs, "ratio");
    }
    return failures == 0 ? 0 : 1;
}
