// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/durablefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

bool s_syncEnabled = true;

constexpr QFile::Permissions kProgramMode = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser | QFile::WriteUser
    | QFile::ExeUser | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;

QString folderOf(const QString &path)
{
    return QFileInfo(path).absolutePath();
}

// Streams @p source (or @p data when source is null) into a synced temporary file renamed over @p path.
bool replace(const QString &path, QIODevice *source, const QByteArray &data)
{
    const QFileInfo info(path);
    QDir().mkpath(info.absolutePath());
    QTemporaryFile temporary(info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".XXXXXX"));
    if (!temporary.open())
        return false;
    if (source) {
        char buffer[65536];
        for (;;) {
            const qint64 n = source->read(buffer, sizeof buffer);
            if (n < 0)
                return false;
            if (n == 0)
                break;
            if (temporary.write(buffer, n) != n)
                return false;
        }
        if (!temporary.setPermissions(kProgramMode))
            return false;
    } else if (temporary.write(data) != data.size()) {
        return false;
    }
    if (!temporary.flush() || !DurableFile::syncFile(temporary.handle()))
        return false;
    temporary.close();
    if (!DurableFile::rename(temporary.fileName(), path))
        return false;
    temporary.setAutoRemove(false);
    return true;
}

} // namespace

bool DurableFile::syncFile(int fd)
{
    return !s_syncEnabled || ::fsync(fd) == 0;
}

void DurableFile::setSyncEnabled(bool enabled)
{
    s_syncEnabled = enabled;
}

bool DurableFile::syncDirectory(const QString &directory)
{
    if (!s_syncEnabled)
        return true;
    const int fd = ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    errno = error;
    return synced;
}

bool DurableFile::rename(const QString &from, const QString &to)
{
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        return false;
    return syncDirectory(folderOf(to));
}

bool DurableFile::remove(const QString &path)
{
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return true;
    if (!QFile::remove(path))
        return false;
    return syncDirectory(folderOf(path));
}

bool DurableFile::write(const QString &path, const QByteArray &data)
{
    return replace(path, nullptr, data);
}

bool DurableFile::copy(const QString &from, const QString &to)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return false;
    return replace(to, &source, QByteArray());
}
