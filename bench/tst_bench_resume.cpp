// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Time of one save and one load in each place-keeping store holding 10,000
// books. The stores never evict, so this is what a long-used device pays on
// every stop and every open. Files live on the disk of the temporary folder,
// so each save includes its flushes to disk.

#include "benchutil.h"

#include "library/lastplayedmarker.h"
#include "library/resumemark.h"
#include "library/resumemarker.h"
#include "library/resumemarkmanager.h"
#include "platform/paths.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

constexpr int books = 10000;
constexpr int rounds = 15;

QString title(int i)
{
    return QStringLiteral("Book number %1 of the collection").arg(i);
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

// Files as the stores write them, built directly: 10,000 saves would take long.
QByteArray resumemarkFile()
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<resumemarks>\n";
    for (int i = 0; i < books; ++i) {
        xml += " <resumemark>\n  <title>" + title(i).toUtf8() + "</title>\n  <smilListPos>" + QByteArray::number(i % 40) + "</smilListPos>\n  <navListPos>"
            + QByteArray::number(i % 17) + "</navListPos>\n  <clipNodePos>" + QByteArray::number(i % 9) + "</clipNodePos>\n  <playerTime>"
            + QByteArray::number(qint64(i) * 7919) + "</playerTime>\n </resumemark>\n";
    }
    return xml + "</resumemarks>\n";
}

QByteArray resumeMarkerFile()
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<quimbo_resumemarks>\n";
    for (int i = 0; i < books; ++i) {
        xml += "    <resumemark title=\"" + title(i).toUtf8() + "\" timeOffset=\"" + QByteArray::number(qint64(i) * 7919) + "\" spineIndex=\""
            + QByteArray::number(i % 40) + "\" clipIndex=\"" + QByteArray::number(i % 9) + "\"/>\n";
    }
    return xml + "</quimbo_resumemarks>\n";
}

QByteArray lastPlayedFile()
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<quimbo_lastplayed>\n";
    for (int i = 0; i < books; ++i) {
        xml += "    <lastplayed source=\"cdda:///dev/cd-rom#" + QByteArray::number(i) + "\" mediaId=\"" + QByteArray::number(quint64(i) * 2654435761ULL)
            + "\" single=\"false\"/>\n";
    }
    return xml + "</quimbo_lastplayed>\n";
}

// Medians of the rounds, in milliseconds, the CPU time of this thread only; false from any round fails the run.
Bench::Figures measure(const std::function<bool(int)> &operation, bool *ok)
{
    int round = 0;
    return Bench::median(rounds, [&] { *ok = operation(round++) && *ok; }, {}, CLOCK_THREAD_CPUTIME_ID);
}

void report(const char *name, double value, const char *unit)
{
    Bench::print(name, value, unit, 1);
}

void report(const char *name, const Bench::Figures &figures)
{
    report(name, figures.wall, "ms");
    const QByteArray cpuName = QByteArray(name) + "_cpu";
    report(cpuName.constData(), figures.cpu, "ms");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Bench::quietLog(false);

    const Bench::DeviceRoot root;
    if (!root.isValid())
        return 1;
    const QString cdFile = Platform::path(QStringLiteral("/root/quimbo/lastPlayed.xml"));

    if (!writeFile(Resumemark::fileName(), resumemarkFile()) || !writeFile(ResumeMarkManager::resumeMarkerFile(), resumeMarkerFile())
        || !writeFile(cdFile, lastPlayedFile())) {
        return 1;
    }
    report("resumemark_file_10000", QFileInfo(Resumemark::fileName()).size() / 1024.0, "KiB");
    report("resumemarker_file_10000", QFileInfo(ResumeMarkManager::resumeMarkerFile()).size() / 1024.0, "KiB");
    report("lastplayed_file_10000", QFileInfo(cdFile).size() / 1024.0, "KiB");

    bool ok = true;
    Resumemark store;
    // Loads look up the last book: the whole file is searched.
    report("resumemark_load_10000",
        measure(
            [&store](int) {
                ResumemarkData data;
                data.title = title(books - 1);
                return store.read(data) && data.playerTime == qint64(books - 1) * 7919;
            },
            &ok));
    report("resumemark_save_10000",
        measure(
            [&store](int round) {
                ResumemarkData data;
                data.title = title(books / 2);
                data.playerTime = round;
                return store.write(data);
            },
            &ok));

    report("resumemarker_load_10000",
        measure(
            [](int) {
                const std::unique_ptr<ResumeMarker> marker(ResumeMarkManager::loadResumeMarker(title(books - 1)));
                return marker->timeOffset() == qint64(books - 1) * 7919;
            },
            &ok));
    report("resumemarker_save_10000",
        measure(
            [](int round) {
                ResumeMarker marker(title(books / 2));
                marker.setTimeOffset(round);
                return ResumeMarkManager::saveResumeMarker(&marker);
            },
            &ok));

    const QString lastId = QString::number(quint64(books - 1) * 2654435761ULL);
    report("lastplayed_load_10000",
        measure(
            [&cdFile, &lastId](int) {
                const std::unique_ptr<LastPlayedMarker> marker(ResumeMarkManager::loadLastPlayedMarker(cdFile, lastId));
                return marker && marker->source().endsWith(QString::number(books - 1));
            },
            &ok));
    report("lastplayed_save_10000",
        measure(
            [&cdFile](int round) {
                LastPlayedMarker marker;
                marker.setSingle(false);
                marker.setMediaId(quint64(books / 2) * 2654435761ULL);
                marker.setSource(QStringLiteral("cdda:///dev/cd-rom#") + QString::number(round));
                return ResumeMarkManager::saveLastPlayedMarker(cdFile, &marker);
            },
            &ok));

    if (!ok) {
        std::fprintf(stderr, "tst_bench_resume: a store operation failed\n");
        return 1;
    }
    return 0;
}
