// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/firmwaretrial.h"

#include "update/durablefile.h"
#include "update/logcategory.h"

#include "platform/paths.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

const QString kRunning = QStringLiteral("/root/quimbo/update.running");
const QString kTrial = QStringLiteral("/root/quimbo/update.trial");
const QString kRolledBack = QStringLiteral("/root/quimbo/update.rolledback");

QStringList readLines(const QString &device)
{
    QFile file(Platform::path(device));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // Empty lines count: a data-only installation records an empty program line.
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

bool exists(const QString &device)
{
    const QFileInfo info(Platform::path(device));
    return info.exists() || info.isSymLink();
}

struct Trial
{
    QString program; // empty: no trial
    int starts = 0;
};

Trial readTrial()
{
    const QStringList lines = readLines(kTrial);
    Trial trial;
    if (!lines.isEmpty())
        trial.program = lines.first();
    // A count that does not read is taken as used up: a torn state file must not keep a broken program.
    bool ok = false;
    trial.starts = lines.size() > 1 ? lines.at(1).toInt(&ok) : 0;
    if (!ok)
        trial.starts = FirmwareTrial::kStartsAllowed;
    return trial;
}

bool writeTrial(const QString &program, int starts)
{
    return DurableFile::write(Platform::path(kTrial), (program + QLatin1Char('\n') + QString::number(starts) + QLatin1Char('\n')).toUtf8());
}

// The temporary files an installation writes beside each destination: ".NAME.XXXXXX";
// beside the product's own files only those of the update state are ours to remove.
int removeTemporaryFiles(const QString &folder, const QString &pattern = QStringLiteral(".+"))
{
    const QRegularExpression temporaryName(QStringLiteral("^\\.(%1)\\.[A-Za-z0-9]{6}$").arg(pattern));
    QDir dir(Platform::path(folder));
    int removed = 0;
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        if (temporaryName.match(name).hasMatch() && dir.remove(name))
            ++removed;
    }
    if (removed)
        DurableFile::syncDirectory(dir.path());
    return removed;
}

} // namespace

QStringList FirmwareTrial::atStart(const QString &program)
{
    QStringList done;
    QStringList programs { program };
    // A state file being written when the power went: the file itself is whole (or absent), its temporary goes.
    removeTemporaryFiles(QFileInfo(kRunning).path(), QStringLiteral("update\\.(running|trial|rolledback)"));
    if (exists(kRunning)) {
        const QStringList lines = readLines(kRunning);
        int removed = 0;
        for (int i = 1; i < lines.size(); ++i)
            removed += removeTemporaryFiles(lines.at(i));
        if (!lines.isEmpty() && !lines.first().isEmpty() && lines.first() != program)
            programs.append(lines.first());
        DurableFile::remove(Platform::path(kRunning));
        done << QStringLiteral("an update was interrupted: %1 temporary files removed").arg(removed);
    }

    const Trial trial = readTrial();
    for (const QString &p : std::as_const(programs)) {
        // Written, but never put in place.
        if (exists(p + QStringLiteral("_new")) && DurableFile::remove(Platform::path(p + QStringLiteral("_new"))))
            done << QStringLiteral("unfinished new program removed: ") + p + QStringLiteral("_new");
        // A backup outside a trial is left from an update cut off before it began one.
        if (p != trial.program && exists(p + QStringLiteral(".bak")) && DurableFile::remove(Platform::path(p + QStringLiteral(".bak"))))
            done << QStringLiteral("stale backup removed: ") + p + QStringLiteral(".bak");
    }

    if (trial.program.isEmpty())
        return done;
    if (trial.starts < kStartsAllowed) {
        writeTrial(trial.program, trial.starts + 1);
        done << QStringLiteral("start %1 of the new program %2").arg(trial.starts + 1).arg(trial.program);
        return done;
    }
    const QString backup = trial.program + QStringLiteral(".bak");
    QString what;
    // The note first, the program next, the trial last: a power cut in between repeats no more than the note.
    if (exists(backup)) {
        what = QStringLiteral("the new program %1 did not come to the welcome in %2 starts: the previous program is back")
                   .arg(trial.program)
                   .arg(kStartsAllowed);
        DurableFile::write(Platform::path(kRolledBack), what.toUtf8());
        if (!DurableFile::rename(Platform::path(backup), Platform::path(trial.program)))
            what = QStringLiteral("the previous program could not be put back: ") + QString::fromLocal8Bit(strerror(errno));
    } else {
        what = QStringLiteral("the new program %1 did not come to the welcome in %2 starts, and there is no previous program to go back to")
                   .arg(trial.program)
                   .arg(kStartsAllowed);
        if (!exists(kRolledBack))
            DurableFile::write(Platform::path(kRolledBack), what.toUtf8());
    }
    DurableFile::remove(Platform::path(kTrial));
    done << what;
    return done;
}

bool FirmwareTrial::confirmGoodStart()
{
    const Trial trial = readTrial();
    if (!trial.program.isEmpty()) {
        DurableFile::remove(Platform::path(trial.program + QStringLiteral(".bak")));
        DurableFile::remove(Platform::path(kTrial));
        qCDebug(lcUpdate).noquote() << "[FirmwareTrial::confirmGoodStart]: the new program started well, its backup is removed:" << trial.program;
    }
    if (!exists(kRolledBack))
        return false;
    const QStringList note = readLines(kRolledBack);
    qCWarning(lcUpdate).noquote() << "[FirmwareTrial::confirmGoodStart]: update failed:" << note.join(QLatin1Char(' '));
    DurableFile::remove(Platform::path(kRolledBack));
    return true;
}

void FirmwareTrial::countThisStart(bool counts)
{
    static bool counted = true; // by atStart, before the program ran
    if (counts == counted)
        return;
    counted = counts;
    const Trial trial = readTrial();
    if (trial.program.isEmpty())
        return;
    const int starts = std::max(0, trial.starts + (counts ? 1 : -1));
    writeTrial(trial.program, starts);
    qCDebug(lcUpdate).noquote() << "[FirmwareTrial::countThisStart]:" << (counts ? "switched on:" : "idle mode:") << starts
                                << "starts of the new program" << trial.program << "count so far";
}

bool FirmwareTrial::beginInstall(const QString &program, const QStringList &folders)
{
    return DurableFile::write(Platform::path(kRunning), (QStringList { program } + folders).join(QLatin1Char('\n')).toUtf8() + '\n');
}

void FirmwareTrial::endInstall()
{
    DurableFile::remove(Platform::path(kRunning));
}

bool FirmwareTrial::begin(const QString &program)
{
    return writeTrial(program, 0);
}

void FirmwareTrial::cancel()
{
    DurableFile::remove(Platform::path(kTrial));
}

bool FirmwareTrial::isOnTrial(const QString &program)
{
    return readTrial().program == program;
}
