// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// A medium with 2,000 folders of 20 MP3 files each (40,000 files, 2,000
// books): how long the search takes, and how late the main thread's events
// run while it does (what a key pressed during the search would wait).

#include "library/bookfinder.h"
#include "library/bookshelf.h"
#include "library/mediasource.h"
#include "platform/paths.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int folders = 2000;
constexpr int filesPerFolder = 20;

// The search reads names only, so empty files stand in for the MP3s.
MediaSource makeMedium(const QString &root)
{
    MediaSource medium;
    medium.setDevice(QStringLiteral("/dev/sda1"));
    medium.setMediaType(MediaSource::MediaTypeUsb);
    medium.setMimeType(MediaSource::MimeTypeFileSystem);
    medium.setMountPath(root);
    medium.setMounted(true);
    for (int f = 0; f < folders; ++f) {
        const QString folder = root + QStringLiteral("/Author %1/Book %2").arg(f % 97).arg(f, 4, 10, QLatin1Char('0'));
        QDir().mkpath(folder);
        for (int i = 0; i < filesPerFolder; ++i) {
            const QString path = folder + QStringLiteral("/track %1.mp3").arg(i, 2, 10, QLatin1Char('0'));
            QFile file(path);
            file.open(QIODevice::WriteOnly);
            medium.addFileInfo(QFileInfo(path));
        }
    }
    return medium;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // Only the figures: the firmware's category lines would come between them, as the tools keep them out.
    QLoggingCategory::setFilterRules(QStringLiteral("quimbo.*=false"));
    QTemporaryDir dir;
    qputenv("QUIMBO_ROOT", QFile::encodeName(dir.path()));
    QDir().mkpath(dir.path() + QStringLiteral("/root/quimbo"));
    Platform::setupSettingsLocation();
    const MediaSource medium = makeMedium(dir.path() + QStringLiteral("/media/usb"));

    QElapsedTimer timer;
    timer.start();
    const int found = int(BookFinder::findAudioBooks(medium).size());
    std::printf("bookshelf_search_2000_books_40000_mp3: %lld ms\n", static_cast<long long>(timer.elapsed()));
    if (found != folders) {
        std::fprintf(stderr, "found %d books, expected %d\n", found, folders);
        return 1;
    }

    // The same search through the shelf, with a 10 ms tick on the main thread:
    // the worst lateness of a tick is what a key would wait.
    BookShelf shelf(nullptr, nullptr);
    qint64 worst = 0;
    QElapsedTimer tick;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        worst = std::max(worst, tick.restart() - 10);
    });
    QObject::connect(&shelf, &BookShelf::audioBooksAdded, &app, &QCoreApplication::quit);
    tick.start();
    ticker.start();
    shelf.addMediaSource(medium);
    app.exec();
    std::printf("bookshelf_main_thread_worst_delay_during_search: %lld ms\n", static_cast<long long>(worst));
    return shelf.count() == folders ? 0 : 1;
}
