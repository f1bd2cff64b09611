// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_SIM_SIMEAR_H
#define QUIMBO_PLATFORM_SIM_SIMEAR_H

#include "platform/audiooutput.h"

#include <QString>

#include <memory>

namespace Platform {

class SimEarPrivate;

/**
 * The simulated board's ear at the amplifier: hears what the engines write
 * (book and manual audio after pitch, tempo and volume; prompts and sounds
 * never pass the engines), tells whether it is audible, and may record it as
 * a WAV file of 22050 Hz mono 16-bit, written block by block as the engines
 * deliver it, so the file grows in step with playback. Stretches where no
 * engine plays are not in the file.
 *
 * heard() comes on the engines' audio threads; the rest on any thread.
 */
class SimEar : public AudioListener
{
public:
    /** Below this RMS (of 16-bit samples; about -50 dBFS) the ear hears silence. */
    static constexpr double kAudibleRms = 100.0;
    /** The stretch of sound the ear judges: the last 250 ms it heard. */
    static constexpr int kWindowMsec = 250;
    /** Sound older than this (real time) no longer counts: the engine stopped or paused. */
    static constexpr int kFreshMsec = 500;
    static constexpr int kRate = 22050;

    /** The one ear of the process, created on first use and never deleted. */
    static SimEar *instance();

    /** Also writes what is heard from now on into @p hostPath; false (and a log line) when it cannot. */
    bool record(const QString &hostPath);
    /** RMS of the last kWindowMsec heard, 0 when nothing was heard within kFreshMsec. */
    double recentRms() const;
    bool isAudible() const { return recentRms() >= kAudibleRms; }

    void heard(int sampleRate, int channels, const char *data, int bytes) override;

private:
    SimEar();
    ~SimEar() override;
    const std::unique_ptr<SimEarPrivate> d;
};

} // namespace Platform

#endif
