// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLAYERS_EPUBSMILAUDIOPLAYLIST_H
#define QUIMBO_PLAYERS_EPUBSMILAUDIOPLAYLIST_H

#include <QByteArray>
#include <QString>
#include <QVector>

/** A stretch of one audio file a media overlay plays: its path inside the archive and its clip. */
struct SmilAudioFile
{
    QString src;
    qint64 clipBegin = 0; ///< ms into the file; 0 when the overlay gives none
    qint64 clipEnd = -1; ///< ms into the file; -1 (to the end of the file) when the overlay gives none
    bool isEmpty() const { return src.isEmpty(); }
    bool hasEnd() const { return clipEnd >= 0; }
};

/**
 * The stretches of audio one media-overlay SMIL document plays, in order:
 * clips that follow each other in one file make one entry, so a chapter read
 * from one file is one entry, and a file the overlay comes back to later is
 * a new entry that starts at that clip.
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
