// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_ENGINEEVENTS_H
#define QUIMBO_PLATFORM_ENGINEEVENTS_H

#include <QString>

namespace Platform {

/**
 * Tells the outside world what the audio engine does: "play FILE at MS",
 * "seek MS", "pause at MS", "stop at MS". On the device nobody listens; on the
 * simulated board each event becomes a "[sim] engine …" line that scripts
 * can await. Called on the engine's owner thread.
 */
void reportEngineEvent(const QString &event);

/**
 * Tells the outside world that a sound effect starts, by the name of its
 * file ("charger_connect" for charger_connect.wav). On the simulated board it
 * becomes a "[sim] sound NAME" line; on the device nobody listens.
 */
void reportSound(const QString &name);

} // namespace Platform

#endif
