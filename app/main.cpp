// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/logcategory.h"
#include "app/loghandler.h"
#include "app/mainclass.h"
#include "audio/vlcmediaplayer.h"
#include "input/board.h"
#include "library/audiobook.h"
#include "library/mediasource.h"
#include "platform/paths.h"
#include "quimboversion.h"
#include "platform/platform.h"
#include "sim/simcontroller.h"

#include <QCoreApplication>
#include <QDebug>
#include <QSettings>

#include <cstdio>

namespace {

void logBanner()
{
    const QSettings settings;
    QString lastShutdown;
    if (settings.value(QStringLiteral("batteryEmpty"), true).toBool())
        lastShutdown = QStringLiteral("shutdown by battery empty");
    else if (!settings.value(QStringLiteral("shutdownGood"), true).toBool())
        lastShutdown = QStringLiteral("hard shutdown");
    else
        lastShutdown = QStringLiteral("normal shutdown");

    const char *stars = "*********************************";
    qCDebug(lcApp) << stars;
    qCDebug(lcApp) << "Quimbo basic";
    qCDebug(lcApp) << "PCB revision    :" << Board::getInstance()->revisionString();
    qCDebug(lcApp) << "Software version:" << QCoreApplication::applicationVersion();
    qCDebug(lcApp) << "SVN version     :" << QStringLiteral("362M");
    qCDebug(lcApp) << "VLC             :" << VlcMediaPlayer::libraryVersion();
    qCDebug(lcApp) << "SoundTouch      :" << QStringLiteral("2.3.1");
    qCDebug(lcApp) << "Navigation mode :" << settings.value(QStringLiteral("navigationMode"), 1).toInt();
    qCDebug(lcApp) << "Language        :" << settings.value(QStringLiteral("systemLanguage"), QStringLiteral("eng")).toString();
    qCDebug(lcApp) << "Last shutdown   :" << lastShutdown;
    qCDebug(lcApp) << "Last time active:" << settings.value(QStringLiteral("timeActive"), 0u).toUInt() << "minutes";
    qCDebug(lcApp) << stars;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    qRegisterMetaType<AudioBook>("AudioBook");
    qRegisterMetaType<MediaSource>("MediaSource");
    QCoreApplication::setOrganizationName(QStringLiteral("KAL"));
    QCoreApplication::setApplicationName(QStringLiteral("quimbo-basic"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUIMBO_VERSION_STRING));

    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.contains(QStringLiteral("--version"))) {
        // The updater reads the answer from standard output: never through the
        // logging, which rules may silence or decorate.
        std::fputs(QUIMBO_VERSION_STRING "\n", stdout);
        return 0;
    }

    // Before anything touches hardware: the device, or the board model.
    Platform::chooseBackend(arguments);
    Platform::setupSettingsLocation();

    qInstallMessageHandler(messageLogHandler);
    LogHandler::loadFilterRules();
    // The simulator's terminal, script and control socket (nothing on the
    // device); it sets the board model's revision straps, so it goes first.
    SimController::attach(&app, arguments);
    Board::getInstance()->init();

    logBanner();

    MainClass mainClass;
    mainClass.start(mainClass.bootStatus());

    return app.exec();
}
