// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/bookmemory.h"

#include "library/logcategory.h"
#include "library/resumemark.h"
#include "library/resumemarkmanager.h"
#include "platform/paths.h"

#include <QDebug>
#include <QFile>
#include <QSettings>

void BookMemory::forgetAll()
{
    Resumemark().clear();
    // A missing store reads as one without entries, so removing the file is
    // the one step that forgets every DAISY and EPUB position at once.
    for (const QString &file : {ResumeMarkManager::resumeMarkerFile(), Platform::path(QStringLiteral("/root/quimbo/lastPlayed.xml"))}) {
        if (QFile::exists(file) && !QFile::remove(file))
            qCWarning(lcLibrary).noquote() << "[BookMemory::forgetAll] could not remove" << file;
        else
            qCDebug(lcLibrary).noquote() << "[BookMemory::forgetAll] forgotten:" << file;
    }
    QSettings().setValue(QStringLiteral("lastPlayedMedia"), 0);
}
