// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sim/simmixer.h"

#include <QHash>
#include <QMutex>

namespace Platform {

namespace {
struct MixerModel {
    QMutex mutex;
    QHash<QString, int> values;
    QList<QPair<QString, int>> history;
};

MixerModel &model()
{
    static MixerModel m;
    return m;
}

constexpr int PowerAmplifierStart = 27;
const int MixerMaximum = 63;
} // namespace

QString SimMixer::sget(const QString &control, int timeoutMsec)
{
    Q_UNUSED(timeoutMsec)
    const int v = value(control);
    const int percent = v * 100 / MixerMaximum;
    return QStringLiteral("Simple mixer control '%1',0\n"
                          "  Capabilities: volume volume-joined\n"
                          "  Playback channels: Mono\n"
                          "  Capture channels: Mono\n"
                          "  Limits: 0 - %2\n"
                          "  Mono: %3 [%4%]\n")
        .arg(control)
        .arg(MixerMaximum)
        .arg(v)
        .arg(percent);
}

void SimMixer::sset(const QString &control, int value)
{
    setValue(control, value);
    QMutexLocker lock(&model().mutex);
    model().history.append({control, value});
}

int SimMixer::value(const QString &control)
{
    QMutexLocker lock(&model().mutex);
    return model().values.value(control, control == QLatin1String("Power Amplifier") ? PowerAmplifierStart : 0);
}

void SimMixer::setValue(const QString &control, int value)
{
    QMutexLocker lock(&model().mutex);
    model().values.insert(control, qBound(0, value, MixerMaximum));
}

QList<QPair<QString, int>> SimMixer::history()
{
    QMutexLocker lock(&model().mutex);
    return model().history;
}

void SimMixer::reset()
{
    QMutexLocker lock(&model().mutex);
    model().values.clear();
    model().history.clear();
}

} // namespace Platform
