// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/markerfile.h"

#include "platform/paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace MarkerFile {

namespace {

    FaultHook &faultHook()
    {
        static FaultHook hook;
        return hook;
    }

    ReadFaultHook &readFaultHook()
    {
        static ReadFaultHook hook;
        return hook;
    }

    bool stageAllowed(Stage stage)
    {
        const FaultHook &hook = faultHook();
        return !hook || hook(stage);
    }

    // The rename itself lives in the directory: without syncing it a power loss
    // right after the save may bring back the old name.
    void syncDirectory(const QString &directory)
    {
        const QByteArray native = QFile::encodeName(directory);
        const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return;
        ::fsync(fd);
        ::close(fd);
    }

} // namespace

QString hostPath(const QString &path)
{
    const QString root = Platform::root();
    if (root == QLatin1String("/"))
        return path;
    const QString prefix = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    if (path.startsWith(prefix))
        return path;
    return Platform::path(path);
}

ReadResult read(const QString &path, qint64 maxSize, QByteArray *content, QString *errorString)
{
    content->clear();
    auto fail = [errorString](ReadResult result, const QString &reason) {
        if (errorString)
            *errorString = reason;
        return result;
    };

    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return ReadResult::Missing;
    if (!info.isFile())
        return fail(ReadResult::Unreadable, QStringLiteral("not a regular file"));
    if (info.size() > maxSize)
        return fail(ReadResult::TooLarge, QStringLiteral("%1 bytes, more than %2").arg(info.size()).arg(maxSize));
    const ReadFaultHook &hook = readFaultHook();
    if (hook && !hook(path))
        return fail(ReadResult::Unreadable, QStringLiteral("input/output error"));

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(ReadResult::Unreadable, file.errorString());
    // The size may have changed since it was looked at: never take more than the limit.
    *content = file.read(maxSize + 1);
    if (file.error() != QFileDevice::NoError) {
        content->clear();
        return fail(ReadResult::Unreadable, file.errorString());
    }
    if (content->size() > maxSize) {
        content->clear();
        return fail(ReadResult::TooLarge, QStringLiteral("more than %1 bytes").arg(maxSize));
    }
    return ReadResult::Read;
}

SaveResult save(const QString &path, const QByteArray &content, QString *errorString)
{
    auto fail = [errorString](SaveResult result, const QString &reason) {
        if (errorString)
            *errorString = reason;
        return result;
    };

    // A link under the file's name (a stick is foreign input) would have the
    // save write wherever it points, even over one of the device's own files.
    if (QFileInfo(path).isSymLink() && !QFile::remove(path))
        return fail(SaveResult::OpenFailed, QStringLiteral("cannot remove the link in the file's place"));

    QSaveFile file(path);
    if (!stageAllowed(Stage::Open))
        return fail(SaveResult::OpenFailed, QStringLiteral("interrupted before open"));
    if (!file.open(QIODevice::WriteOnly))
        return fail(SaveResult::OpenFailed, file.errorString());

    if (!stageAllowed(Stage::Write)) {
        // Half the content reaches the temporary file, then the writer dies.
        file.write(content.left(content.size() / 2));
        file.cancelWriting();
        return fail(SaveResult::WriteFailed, QStringLiteral("interrupted while writing"));
    }
    if (file.write(content) != content.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return fail(SaveResult::WriteFailed, reason);
    }

    if (!stageAllowed(Stage::Commit)) {
        file.cancelWriting();
        return fail(SaveResult::CommitFailed, QStringLiteral("interrupted before rename"));
    }
    if (::fsync(file.handle()) != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        file.cancelWriting();
        return fail(SaveResult::WriteFailed, reason);
    }
    if (!file.commit())
        return fail(SaveResult::CommitFailed, file.errorString());

    syncDirectory(QFileInfo(path).absolutePath());
    return SaveResult::Saved;
}

QString keepBroken(const QString &path)
{
    const QString copy = path + QLatin1String(".broken");
    QByteArray content;
    if (read(path, kMaxStoreSize, &content) != ReadResult::Read)
        return QString();
    // Each load of the same damaged file finds it again: one copy is enough.
    QFile existing(copy);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == content)
        return copy;
    // The copy is written like any other file: a power loss now must not
    // leave a half copy that hides the damage it was meant to show.
    if (save(copy, content) != SaveResult::Saved)
        return QString();
    return copy;
}

bool isEmptyDocument(const QByteArray &content)
{
    static const QRegularExpression declarationOnly(QStringLiteral("\\A\\s*(<\\?xml[^>]*\\?>)?\\s*\\z"));
    return !content.isEmpty() && declarationOnly.match(QString::fromUtf8(content)).hasMatch();
}

namespace {

    bool isAscii(const QString &text)
    {
        for (const QChar c : text) {
            if (c.unicode() >= 0x80)
                return false;
        }
        return true;
    }

} // namespace

QString titleToFile(const QString &key)
{
    if (isAscii(key))
        return key;
    for (const QChar c : key) {
        if (c.unicode() > 0xFF)
            return key;
    }
    const QByteArray bytes = key.toLatin1();
    const QString text = QString::fromUtf8(bytes);
    // Bytes that are not UTF-8 would come back as U+FFFD and merge titles.
    if (text.toUtf8() != bytes)
        return key;
    return text;
}

QString titleFromFile(const QString &text)
{
    if (isAscii(text))
        return text;
    return QString::fromLatin1(text.toUtf8());
}

void setFaultHook(FaultHook hook)
{
    faultHook() = std::move(hook);
}

void setReadFaultHook(ReadFaultHook hook)
{
    readFaultHook() = std::move(hook);
}

} // namespace MarkerFile
