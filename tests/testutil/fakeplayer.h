// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_TESTS_FAKEPLAYER_H
#define QUIMBO_TESTS_FAKEPLAYER_H

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

/**
 * A stand-in for the sound player "play", first on PATH while it lives. Each
 * run appends to a record file:
 *   "argv: [arg] [arg] …"       its arguments
 *   "item: <line>"               each line of a playlist (*.m3u) argument
 *   "end: <status>"              when it exits by itself (not when killed)
 * It sleeps FAKE_PLAY_SECONDS (setSeconds) before exiting, and exits with 2
 * when a named .wav/.mp3 file or a playlist entry does not exist, as sox does.
 */
class FakePlayer
{
public:
    FakePlayer()
    {
        m_previousPath = qgetenv("PATH");
        const QString script = m_dir.filePath(QStringLiteral("play"));
        QFile file(script);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(R"(#!/bin/sh
rec="$FAKE_PLAY_RECORD"
# One write per line: sounds and messages play at once, and pieces of
# two records written in turns would mix.
line='argv:'
for a in "$@"; do line="$line [$a]"; done
printf '%s\n' "$line" >> "$rec"
status=0
for a in "$@"; do
    case "$a" in
        *.m3u) while IFS= read -r line; do
                   printf 'item: %s\n' "$line" >> "$rec"
                   [ -f "$line" ] || status=2
               done < "$a" ;;
        *.wav|*.mp3|*.WAV) [ -f "$a" ] || status=2 ;;
    esac
done
sleep "${FAKE_PLAY_SECONDS:-0}"
echo "end: $status" >> "$rec"
exit $status
)");
            file.close();
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        qputenv("PATH", QFile::encodeName(m_dir.path()) + ':' + m_previousPath);
        qputenv("FAKE_PLAY_RECORD", QFile::encodeName(recordPath()));
        setSeconds(0);
    }

    ~FakePlayer()
    {
        qputenv("PATH", m_previousPath);
        qunsetenv("FAKE_PLAY_RECORD");
        qunsetenv("FAKE_PLAY_SECONDS");
    }

    bool isValid() const { return m_dir.isValid() && QFile::exists(m_dir.filePath(QStringLiteral("play"))); }

    /** How long each following run of the player lasts. */
    void setSeconds(double seconds) { qputenv("FAKE_PLAY_SECONDS", QByteArray::number(seconds)); }

    QString recordPath() const { return m_dir.filePath(QStringLiteral("record")); }

    QStringList lines() const
    {
        QFile file(recordPath());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    void clear() { QFile::remove(recordPath()); }
    /**
     * The voice prompts played from below @p folder, oldest first and relative
     * to it: messages played one at a time ("play -v 0.5 -q FILE") and the
     * items of played playlists.
     */
    QStringList prompts(const QString &folder) const
    {
        QStringList found;
        const QStringList all = lines();
        for (const QString &line : all) {
            QString path;
            if (line.startsWith(QStringLiteral("item: ")))
                path = line.mid(6);
            else if (line.startsWith(QStringLiteral("argv: [-v] [0.5] [-q] [")))
                path = line.section(QLatin1Char('['), 4).chopped(1);
            if (path.startsWith(folder))
                found << path.mid(folder.size());
        }
        return found;
    }

    /** The record line of a run with these arguments. */
    static QString argv(const QStringList &arguments)
    {
        QString line = QStringLiteral("argv:");
        for (const QString &argument : arguments)
            line += QStringLiteral(" [") + argument + QLatin1Char(']');
        return line;
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_previousPath;
};

#endif
