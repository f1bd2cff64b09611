// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/paths.h"
#include "quimboversion.h"
#include "update/firmwaretrial.h"
#include "update/kalupdatemanager.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStringList>

#include <cstdio>

namespace {

void print(const QString &line)
{
    std::fprintf(stdout, "%s\n", qPrintable(line));
}

// The manager's log lines go to stderr (Qt's own handler), so stdout stays
// the listing alone; its debug lines only with QUIMBO_UPDATE_VERBOSE set.
void chooseLogging()
{
    if (!qEnvironmentVariableIsSet("QUIMBO_UPDATE_VERBOSE"))
        QLoggingCategory::setFilterRules(QStringLiteral("quimbo.*.debug=false"));
    qSetMessagePattern(QStringLiteral("%{message}"));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // Verify exactly as the device does.
    QCoreApplication::setOrganizationName(QStringLiteral("KAL"));
    QCoreApplication::setApplicationName(QStringLiteral("quimbo-basic"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUIMBO_VERSION_STRING));
    chooseLogging();

    QStringList args = app.arguments().mid(1);
    // The service runs this before every start of the firmware; whatever happens here,
    // the firmware starts next, so it always succeeds.
    if (args.value(0) == QLatin1String("--at-start") && args.size() <= 2) {
        const QStringList done = FirmwareTrial::atStart(args.value(1, FirmwareTrial::defaultProgram()));
        for (const QString &line : done)
            print(QStringLiteral("quimbo-update: ") + line);
        return 0;
    }
    const bool install = args.removeAll(QStringLiteral("--install")) > 0;
    if (args.size() != 1 || args.first().startsWith(QLatin1String("-"))) {
        std::fprintf(stderr,
            "usage: quimbo-update PACKAGE.zip [--install]\n"
            "       quimbo-update --at-start [PROGRAM]\n"
            "  Verifies an update package as a quimbo-basic " QUIMBO_VERSION_STRING " device would and lists where each file goes.\n"
            "  --install writes it below QUIMBO_ROOT (unset: /, the device). Exit status: the update status, 0 success.\n"
            "  --at-start, before each start of PROGRAM (default /root/quimbo/bin/quimbo-basic), cleans what an interrupted\n"
            "  update left and puts the previous program back after failed starts of a new one.\n");
        return 2;
    }

    KalUpdateManager manager;
    const QString package = args.first();
    print(QStringLiteral("package: ") + QFileInfo(package).absoluteFilePath());
    if (!manager.open(package)) {
        print(QStringLiteral("status: %1 %2")
                  .arg(int(KalUpdateManager::UpdateFileOpenError))
                  .arg(KalUpdateManager::statusToString(KalUpdateManager::UpdateFileOpenError)));
        return KalUpdateManager::UpdateFileOpenError;
    }
    const KalUpdate &update = manager.kalUpdate();
    print(QStringLiteral("version: ") + update.version());
    print(QStringLiteral("target: %1 minimumVersion %2").arg(update.target().id, update.target().minimumVersion.toString()));
    print(QStringLiteral("device: %1 %2").arg(manager.applicationName(), manager.deviceVersion().toString()));

    for (const KalUpdateItem &item : update.items()) {
        QString line = QStringLiteral("item: %1 href=%2 dest=%3").arg(KalUpdateType::name(item.type), item.href, item.dest);
        if (item.type == KalUpdateType::Firmware)
            line += QStringLiteral(" version=") + item.version;
        print(line);
    }

    const bool verified = manager.verifyKalUpdate();
    if (verified) {
        const auto planned = manager.plannedFiles();
        for (const KalUpdateManager::PlannedFile &file : planned)
            print(QStringLiteral("write: %1 %2 -> %3").arg(KalUpdateType::name(file.type), file.source, Platform::path(file.destination)));
    }
    print(QStringLiteral("verified: ") + (verified ? QStringLiteral("yes") : QStringLiteral("no")));
    if (!verified) {
        print(QStringLiteral("status: %1 %2")
                  .arg(int(KalUpdateManager::UpdateVerifyError))
                  .arg(KalUpdateManager::statusToString(KalUpdateManager::UpdateVerifyError)));
        return KalUpdateManager::UpdateVerifyError;
    }
    if (!install)
        return KalUpdateManager::NoError;

    const KalUpdateManager::Status status = manager.runUpdate();
    print(QStringLiteral("status: %1 %2").arg(int(status)).arg(KalUpdateManager::statusToString(status)));
    return status;
}
