// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_TESTS_TESTMEDIUM_H
#define QUIMBO_TESTS_TESTMEDIUM_H

#include "library/mediasource.h"
#include "testroot.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QStringList>

#include <algorithm>

/**
 * Builds a medium's tree below a TestRoot from real books and generated MP3s,
 * and the MediaSource that the media class reports for it: the files it lists
 * (ncc.html, *.opf, *.mp3, *.epub) in path order.
 *
 * An entry is "<kind>:<path on the medium>":
 *   d202:Folder    the DAISY 2.02 sample book copied into Folder
 *   d3:Folder      the DAISY 3 sample book copied into Folder
 *   mp3:Dir/x.mp3  a generated MP3 clip
 *   epub:x.epub    a real EPUB book
 *   text:x.epub    a generated EPUB book without narration; d3text:Folder the same text as a DAISY 3 book
 *   junk:Dir/ncc.html  a file that is not what its name says
 */
class TestMedium
{
public:
    TestMedium(const TestRoot &root, const QString &mountPath, MediaSource::MediaType type)
        : m_root(root)
        , m_mountPath(mountPath)
        , m_type(type)
    {
        QDir().mkpath(m_root.path(mountPath));
    }

    bool add(const QString &entry)
    {
        const QString kind = entry.section(QLatin1Char(':'), 0, 0);
        const QString target = m_root.path(m_mountPath + QLatin1Char('/') + entry.section(QLatin1Char(':'), 1));
        if (kind == QLatin1String("d202"))
            return copyFolder(TestData::sharedBook(QStringLiteral("d202-dontworrybehappy")), target);
        if (kind == QLatin1String("d202nt")) // the same book, its title without audio
            return copyFolder(TestData::sharedBook(QStringLiteral("d202-dontworrybehappy")), target) && dropTitleAudio(target + QStringLiteral("/ncc.html"));
        if (kind == QLatin1String("d3"))
            return copyFolder(TestData::sharedBook(QStringLiteral("d3-dontworrybehappy")), target);
        if (kind == QLatin1String("mp3"))
            return copyFile(TestData::generated(QStringLiteral("audio/tone440-stereo44k.mp3")), target);
        if (kind == QLatin1String("text")) // an EPUB book without narration
            return copyFile(TestData::generated(QStringLiteral("text/book.epub")), target);
        if (kind == QLatin1String("d3text")) // a DAISY 3 book without audio
            return copyFolder(TestData::generated(QStringLiteral("text/daisy3")), target);
        if (kind == QLatin1String("epub"))
            return copyFile(TestData::sharedBook(QStringLiteral("epub3mo-w3c-mol-navigation/epub3mo-w3c-mol-navigation.epub")), target);
        if (kind == QLatin1String("junk"))
            return QDir().mkpath(QFileInfo(target).absolutePath()) && writeFile(target, "<html><body>not a book");
        return false;
    }

    bool addAll(const QStringList &entries)
    {
        for (const QString &entry : entries) {
            if (!add(entry))
                return false;
        }
        return true;
    }

    QString hostPath(const QString &relative = QString()) const
    {
        return relative.isEmpty() ? m_root.path(m_mountPath) : m_root.path(m_mountPath + QLatin1Char('/') + relative);
    }

    MediaSource source(const QString &device) const
    {
        MediaSource medium;
        medium.setDevice(device);
        medium.setMediaType(m_type);
        medium.setMimeType(MediaSource::MimeTypeFileSystem);
        medium.setMountPath(m_root.path(m_mountPath));
        medium.setMounted(true);
        QStringList paths;
        QDirIterator it(m_root.path(m_mountPath), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo info(it.next());
            const QString suffix = info.suffix().toLower();
            if (info.fileName().compare(QLatin1String("ncc.html"), Qt::CaseInsensitive) == 0 || suffix == QLatin1String("opf")
                || suffix == QLatin1String("mp3") || suffix == QLatin1String("epub"))
                paths << info.absoluteFilePath();
        }
        std::sort(paths.begin(), paths.end());
        for (const QString &path : std::as_const(paths))
            medium.addFileInfo(QFileInfo(path));
        return medium;
    }

    static MediaSource audioCd()
    {
        MediaSource cd(QStringLiteral("/dev/sr0"));
        cd.setMimeType(MediaSource::MimeTypeCdda);
        cd.setMountPath(QStringLiteral("cdda://"));
        return cd;
    }

private:
    static bool writeFile(const QString &path, const QByteArray &content)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    }

    static bool copyFile(const QString &from, const QString &to)
    {
        QDir().mkpath(QFileInfo(to).absolutePath());
        QFile::remove(to);
        if (!QFile::copy(from, to))
            return false;
        // Copies of read-only books must stay removable by the temporary directory.
        return QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner);
    }

    static bool copyFolder(const QString &from, const QString &to)
    {
        const QStringList names = QDir(from).entryList(QDir::Files);
        if (names.isEmpty())
            return false;
        for (const QString &name : names) {
            if (!copyFile(from + QLatin1Char('/') + name, to + QLatin1Char('/') + name))
                return false;
        }
        return true;
    }

    // The NCC's first heading keeps its text but loses the link to its audio.
    static bool dropTitleAudio(const QString &ncc)
    {
        QFile file(ncc);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        QByteArray content = file.readAll();
        file.close();
        const qsizetype h1 = content.indexOf("<h1");
        const qsizetype open = content.indexOf("<a href=", h1);
        const qsizetype close = content.indexOf('>', open);
        if (h1 < 0 || open < 0 || close < 0)
            return false;
        content.replace(open, close - open + 1, "<span>");
        content.replace(content.indexOf("</a>", open), 4, "</span>");
        return writeFile(ncc, content);
    }

    const TestRoot &m_root;
    QString m_mountPath;
    MediaSource::MediaType m_type;
};

#endif
