// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "quimboversion.h"
#include "update/kalupdatemanager.h"

#include <QCoreApplication>

#include <cstddef>
#include <cstdint>

namespace {
void quiet(QtMsgType, const QMessageLogContext &, const QString &) { }
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool once = [] {
        qInstallMessageHandler(quiet);
        QCoreApplication::setApplicationName(QStringLiteral("quimbo-basic"));
        QCoreApplication::setApplicationVersion(QStringLiteral(QUIMBO_VERSION_STRING));
        // Nothing may be written while fuzzing, even if a path check were wrong.
        qputenv("QUIMBO_ROOT", "/nonexistent-fuzz-root");
        return true;
    }();
    Q_UNUSED(once)
    KalUpdateManager manager;
    if (manager.parseUpdateXml(QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)))) {
        bool ok = false;
        const auto planned = manager.plannedFiles(&ok);
        const QString root = QStringLiteral("/root/quimbo/");
        for (const auto &file : planned) {
            if (!file.destination.startsWith(root))
                __builtin_trap();
        }
        manager.verifyKalUpdate();
        manager.versionUpdate();
    }
    return 0;
}
