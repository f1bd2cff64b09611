// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FORMATS_SMILAUDIOPARSER_H
#define QUIMBO_FORMATS_SMILAUDIOPARSER_H

#include <QByteArray>
#include <QString>

class AudioNode;
class NavNode;

/**
 * Finds the audio clip a navigation node's SMIL reference points to, without
 * building a SMIL tree: how a book's title is spoken before any SMIL file is
 * loaded.
 */
class SmilAudioParser
{
public:
    SmilAudioParser() = default;
    SmilAudioParser(const SmilAudioParser &) = delete;
    SmilAudioParser &operator=(const SmilAudioParser &) = delete;
    ~SmilAudioParser();

    /** The clip, or null; the caller owns it. @p basePath resolves a relative content. */
    AudioNode *audioAtId(NavNode *node, const QString &basePath);

    /** Scans SMIL bytes for the clip of the target id; false on an XML error. */
    bool parseFileData(const QByteArray &data);

private:
    bool parseFile();
    AudioNode *takeResult();

    AudioNode *m_result = nullptr;
    QString m_targetId;
    QString m_smilFilePath;
};

#endif
