// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_LINUX_LINUXMIXER_H
#define QUIMBO_PLATFORM_LINUX_LINUXMIXER_H

#include "platform/mixer.h"

namespace Platform {

/** The ALSA mixer through the "amixer" tool, run to its end each time. */
class LinuxMixer : public Mixer
{
public:
    QString sget(const QString &control, int timeoutMsec) override;
    void sset(const QString &control, int value) override;
};

} // namespace Platform

#endif
