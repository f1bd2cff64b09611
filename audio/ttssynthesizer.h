// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_AUDIO_TTSSYNTHESIZER_H
#define QUIMBO_AUDIO_TTSSYNTHESIZER_H

#include <QString>

/**
 * Speaks text into WAV files with espeak-ng's library (16-bit mono at the
 * voice's rate). The library keeps one voice and one output for the whole
 * process, so every call holds one process-wide lock: the shelf's search
 * thread (book titles) and a player's synthesis thread take turns. Any thread.
 *
 * Speed, pitch and volume are not the synthesizer's business: the files are
 * played by the audio engine, which applies the reader's settings to them
 * like to any recorded book.
 */
class TtsSynthesizer
{
public:
    /**
     * Writes @p text spoken in @p language ("en", "de-CH"; a language
     * espeak-ng lacks falls back to its base language, then to the
     * device's, then to English) to @p wavFile. The length in ms, or -1 with a log line.
     */
    static qint64 synthesize(const QString &text, const QString &language, const QString &wavFile);

    /** The espeak-ng language of the device's prompt language code ("eng", "ged", ...). */
    static QString deviceLanguage();

    /** Whether the library could be started (its data files found). */
    static bool isAvailable();
};

#endif
