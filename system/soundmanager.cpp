// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/soundmanager.h"

#include "system/sound.h"

#include <QMutex>
#include <QMutexLocker>

#include <atomic>

namespace {
std::atomic<SoundManager *> s_instance{nullptr};
QMutex s_instanceMutex;
} // namespace

SoundManager *SoundManager::instance()
{
    SoundManager *manager = s_instance.load();
    if (!manager) {
        const QMutexLocker locker(&s_instanceMutex);
        manager = s_instance.load();
        if (!manager) {
            manager = new SoundManager;
            s_instance.store(manager);
        }
    }
    return manager;
}

SoundManager::~SoundManager()
{
    qDeleteAll(m_sounds);
}

Sound *SoundManager::create(const QString &path, const QString &name)
{
    Sound *&sound = m_sounds[name];
    if (sound)
        return sound;
    sound = new Sound(path);
    // The warning beeps are levelled against the master volume, whoever makes them first.
    if (name == QLatin1String("alarmBeep")) {
        sound->normalize = true;
        sound->level = 13;
    } else if (name == QLatin1String("doubleBeep")) {
        sound->normalize = true;
    }
    return sound;
}

Sound *SoundManager::effect(const QString &name)
{
    QString file;
    for (const QChar c : name) {
        if (c.isUpper())
            file += QLatin1Char('_') + c.toLower();
        else
            file += c;
    }
    return create(QStringLiteral(":/sounds/") + file + QStringLiteral(".wav"), name);
}

Sound *SoundManager::getSound(const QString &name) const
{
    return m_sounds.value(name, nullptr);
}

bool SoundManager::play(const QString &name)
{
    Sound *sound = getSound(name);
    if (!sound)
        return false;
    sound->play();
    return true;
}

QString SoundManager::volumeAnswer(int step, int rs1Level)
{
    if (step < 0)
        return QStringLiteral("alarmBeep");
    if (step == 7 || step == 21)
        return QStringLiteral("doubleBeep");
    if (step >= rs1Level)
        return QStringLiteral("beep");
    return QStringLiteral("tickBeep");
}

void SoundManager::destroy()
{
    const QMutexLocker locker(&s_instanceMutex);
    delete s_instance.exchange(nullptr);
}
