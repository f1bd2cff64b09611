// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLAYERS_EPUBSMILAUDIOPLAYLIST_H
#define QUIMBO_PLAYERS_EPUBSMILAUDIOPLAYLIST_H

#include <QByteArray>
#include <QString>
#include <QVector>

/** One audio file of a media overlay: its path inside the archive. */
struct SmilAudioFile
{
    QString src;
    bool isEmpty() const { return src.isEmpty(); }
};

/**
 * The audio files one media-overlay SMIL document plays, in order: a run of
 * clips from the same file is one entry, so clips alternating between two
 * files give an entry per change of file. Clip times are not kept: each file
 * plays whole.
 */
class EpubSmilAudioPlaylist
{
public:
    /**
     * Reads @p smil; @p base is the document's path inside the archive (a
     * path, not a URL: "Chapter #1.smil" names a file). False on an XML error
     * or when no audio is referenced.
     */
    bool load(const QByteArray &smil, const QString &base);
    void clear();
    int count() const { return int(m_items.size()); }
    bool isEmpty() const { return m_items.isEmpty(); }
    int currentIndex() const { return m_currentIndex; }
    SmilAudioFile currentItem() const;
    /** Entry @p index, made current; an empty entry (nothing moves) outside the list. */
    SmilAudioFile itemAt(int index);
    SmilAudioFile nextItem(int n);
    SmilAudioFile previousItem(int n);
    /** The new index, or -1 when the move leaves the list. */
    int nextIndex(int n);
    int previousIndex(int n);

    /** A SMIL clock value ("0:01:30.5", "90.5s", "90500ms", "1.5h") in ms; 0 when unreadable. */
    static qint64 parseSmilClockValue(const QString &text);

private:
    int m_currentIndex = -1;
    QVector<SmilAudioFile> m_items;
};

#endif
