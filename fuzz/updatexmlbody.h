// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FUZZ_UPDATEXMLBODY_H
#define QUIMBO_FUZZ_UPDATEXMLBODY_H

#include "fuzzsetup.h"

#include "update/kalupdatemanager.h"

namespace FuzzBody {

// An update.xml: every planned file must land below the product root. False: one does not.
inline bool updatexml(const QByteArray &input)
{
    KalUpdateManager manager;
    if (!manager.parseUpdateXml(input))
        return true;
    bool ok = false;
    const auto planned = manager.plannedFiles(&ok);
    const QString root = QStringLiteral("/root/quimbo/");
    for (const auto &file : planned) {
        if (!file.destination.startsWith(root))
            return false;
    }
    manager.verifyKalUpdate();
    manager.versionUpdate();
    return true;
}

} // namespace FuzzBody

#endif
