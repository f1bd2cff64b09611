// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/sound.h"

#include "audio/audiosettings.h"
#include "platform/engineevents.h"
#include "platform/paths.h"
#include "system/logcategory.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryFile>

// The sounds are compiled into this static library; nothing else references
// them, so register them explicitly or the linker drops them.
static void initSoundResources()
{
    Q_INIT_RESOURCE(sounds);
}

namespace {

constexpr int StartLimit = 50;
constexpr int WaitLimit = 30000;

std::function<int()> &volumeProvider()
{
    static std::function<int()> provider;
    return provider;
}

// The sound player cannot read Qt resources: give it a file of its own.
QTemporaryFile *copyResource(const QString &resource)
{
    QFile source(resource);
    if (!source.open(QIODevice::ReadOnly)) {
        qCWarning(lcSystem).noquote() << "[Sound::Sound] cannot read the resource" << resource;
        return nullptr;
    }
    const QString directory = Platform::path(QStringLiteral("/tmp"));
    QDir().mkpath(directory);
    auto *copy = new QTemporaryFile(directory + QStringLiteral("/quimbo-sound-XXXXXX"));
    if (!copy->open() || copy->write(source.readAll()) != source.size() || !copy->flush()) {
        qCWarning(lcSystem).noquote() << "[Sound::Sound] cannot copy" << resource << "to a temporary file:" << copy->errorString();
        delete copy;
        return nullptr;
    }
    copy->close();
    return copy;
}

} // namespace

Sound::Sound(const QString &path, QObject *parent)
    : QObject(parent)
    , m_path(path)
    , m_process(new QProcess(this))
{
    static const bool resourcesReady = (initSoundResources(), true);
    Q_UNUSED(resourcesReady)
    if (path.startsWith(QLatin1String(":/")))
        m_copy = copyResource(path);
}

Sound::~Sound()
{
    stop();
    delete m_copy; // removes the temporary copy
}

QString Sound::fileName() const
{
    return m_copy ? m_copy->fileName() : m_path;
}

void Sound::setVolumeProvider(std::function<int()> provider)
{
    volumeProvider() = std::move(provider);
}

int Sound::currentVolume()
{
    if (volumeProvider())
        return volumeProvider()();
    return AudioSettings::volume();
}

QStringList Sound::arguments() const
{
    // Levelled against the master volume: the louder the device, the quieter the sound.
    const int norm = normalize ? (level - currentVolume()) * 3 : 0;
    QStringList arguments = {QStringLiteral("-V1"), QStringLiteral("-q"), QStringLiteral("--norm=") + QString::number(norm)};
    if (m_copy)
        arguments << QStringLiteral("--magic");
    arguments << fileName();
    return arguments;
}

bool Sound::isPlaying() const
{
    return m_process->state() != QProcess::NotRunning;
}

void Sound::play(bool wait)
{
    stop();
    Platform::reportSound(QFileInfo(m_path).completeBaseName());
    m_process->start(QStringLiteral("play"), arguments());
    m_process->waitForStarted(StartLimit);
    if (wait && m_process->state() != QProcess::NotRunning)
        m_process->waitForFinished(WaitLimit);
}

void Sound::stop()
{
    if (m_process->state() == QProcess::NotRunning)
        return;
    m_process->kill();
    m_process->waitForFinished(StartLimit);
}
