// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "speech/messages.h"

#include "speech/logcategory.h"
#include "platform/paths.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTextStream>

namespace {

// A key press must be answered quickly: never wait longer than this for the player to start.
constexpr int StartLimit = 150;
// Closing kills the player; it has this long to go.
constexpr int StopLimit = 50;

const QString Player = QStringLiteral("play");

const QString English = QStringLiteral("eng");

QString language()
{
    const QSettings settings(QStringLiteral("KAL"), QStringLiteral("quimbo-basic"));
    return settings.value(QStringLiteral("systemLanguage"), English).toString();
}

QString languageDirectory(const QString &language)
{
    return Platform::path(QStringLiteral("/root/quimbo/messages/") + language + QLatin1Char('/'));
}

QString playlistPath()
{
    return Platform::path(QStringLiteral("/root/quimbo/tmpPlaylist.m3u"));
}

} // namespace

Messages::Messages(QObject *parent)
    : QObject(parent)
    , m_process(new QProcess(this))
{
    connect(m_process, &QProcess::finished, this, &Messages::messageReady);
}

Messages::~Messages()
{
    stop();
}

QString Messages::resolve(const QString &name) const
{
    static const QRegularExpression digits(QRegularExpression::anchoredPattern(QStringLiteral("\\d*")));
    QString file = name;
    if (digits.match(name).hasMatch())
        file += QLatin1String(".wav");
    const QString code = language();
    const QString path = languageDirectory(code) + file;
    if (code == English || QFileInfo::exists(path))
        return path;
    // A language whose prompts are missing or only partly there still speaks:
    // each missing prompt comes from the English set, so the user can always
    // find the way back to a language the device speaks whole.
    const QString english = languageDirectory(English) + file;
    if (!QFileInfo::exists(english))
        return path;
    qCDebug(lcSpeech).noquote() << "[Messages::resolve]" << file << "is missing in" << code << "- speaking it in English";
    return english;
}

bool Messages::isPlaying() const
{
    return m_process->state() != QProcess::NotRunning;
}

bool Messages::startPlayer(const QStringList &arguments)
{
    m_process->start(Player, arguments);
    m_process->waitForStarted(StartLimit);
    if (m_process->state() == QProcess::NotRunning) {
        // Treated like a player that failed on its file: the owner's sequence goes on.
        qCWarning(lcSpeech).noquote() << "[Messages::startPlayer] cannot start the sound player:" << m_process->errorString();
        return false;
    }
    return true;
}

void Messages::play(const QString &name, bool wait)
{
    stop();
    const QString path = resolve(name);
    qCDebug(lcSpeech).noquote() << "[Messages::play]:" << path << "waitForFinished:" << (wait ? "true" : "false");

    m_waited = wait;
    const bool started = startPlayer({QStringLiteral("-v"), QStringLiteral("0.5"), QStringLiteral("-q"), path});
    if (!started) {
        if (!wait)
            QMetaObject::invokeMethod(this, &Messages::finished, Qt::QueuedConnection);
        return;
    }
    if (wait) {
        const bool blocked = m_process->blockSignals(true);
        m_process->waitForFinished(m_waitLimit);
        m_process->blockSignals(blocked);
    }
}

void Messages::append(const QString &name, bool clear)
{
    if (name.isEmpty())
        return;
    if (clear)
        m_queue.clear();
    m_queue.append(resolve(name.toLower()));
}

void Messages::playMessages()
{
    if (m_queue.isEmpty()) {
        qCDebug(lcSpeech, "%s: nothing to play for!", Q_FUNC_INFO);
        return;
    }
    stop();

    const QString playlist = playlistPath();
    QFile::remove(playlist);
    QFile file(playlist);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::Truncate)) {
        qCWarning(lcSpeech, "%s: error opening file for playlist!", Q_FUNC_INFO);
        return;
    }
    QTextStream out(&file);
    for (const QString &path : std::as_const(m_queue)) {
        out << path << '\n';
        qCDebug(lcSpeech).noquote() << "[Messages::playMessages]:" << path;
    }
    out.flush();
    file.close();

    m_waited = false;
    if (!startPlayer({QStringLiteral("-v"), QStringLiteral("0.5"), QStringLiteral("-q"), playlist}))
        QMetaObject::invokeMethod(this, &Messages::finished, Qt::QueuedConnection);
}

void Messages::playDaisyTitle(const QString &message, const QString &file, float start, float length, const QString &kind)
{
    stop();
    const QStringList arguments = {
        QStringLiteral("-q"),
        QStringLiteral("-v"),
        QStringLiteral("0.5"),
        resolve(kind.isEmpty() ? Message::daisy : kind),
        QStringLiteral("-v"),
        QStringLiteral("0.5"),
        resolve(message),
        file,
        QStringLiteral("trim"),
        QString::number(start, 'g', 6),
        QString::number(length, 'g', 6),
    };
    // The log shows the command as a shell would read it; the player gets the
    // arguments as they are, since a folder name may hold quotes or blanks.
    const QString quote = QStringLiteral("\"");
    QStringList shown = arguments;
    for (const int i : {3, 6, 7})
        shown[i] = quote + shown.at(i) + quote;
    qCDebug(lcSpeech).noquote() << "[Messages::playDaisyTitle]:" << Player + QLatin1Char(' ') + shown.join(QLatin1Char(' ')) << "from media:" << file;

    m_waited = false;
    if (!startPlayer(arguments))
        QMetaObject::invokeMethod(this, &Messages::finished, Qt::QueuedConnection);
}

void Messages::stop()
{
    if (m_process->state() == QProcess::NotRunning)
        return;
    const bool blocked = m_process->blockSignals(true);
    m_process->close();
    m_process->waitForFinished(StopLimit);
    m_process->blockSignals(blocked);
}

void Messages::messageReady()
{
    if (m_waited) {
        // A waited playback that outlived the wait limit: its caller has moved on already.
        m_waited = false;
        return;
    }
    Q_EMIT finished();
}
