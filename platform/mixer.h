// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_MIXER_H
#define QUIMBO_PLATFORM_MIXER_H

#include <QString>

#include <memory>

namespace Platform {

/**
 * An ALSA simple mixer control, the way "amixer" reaches it. Only the system
 * call is replaced: the text that "amixer sget" prints is handed back as is
 * and the caller parses it.
 */
class Mixer
{
public:
    virtual ~Mixer();

    /** Output of `amixer sget "<control>"`, waiting at most @p timeoutMsec; empty on failure. */
    virtual QString sget(const QString &control, int timeoutMsec) = 0;
    /**
     * `amixer sset "<control>" <value>`, finished before it returns: a read
     * right after it must see the new value.
     */
    virtual void sset(const QString &control, int value) = 0;
};

std::unique_ptr<Mixer> createMixer();

} // namespace Platform

#endif
