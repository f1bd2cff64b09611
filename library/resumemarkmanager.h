// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_LIBRARY_RESUMEMARKMANAGER_H
#define QUIMBO_LIBRARY_RESUMEMARKMANAGER_H

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

struct BookExtras;
struct BookPlace;
class LastPlayedMarker;
class ResumeMarker;
namespace MarkerXml {
struct Node;
}

/**
 * Reads and writes the resume markers of the DAISY player
 * ("/root/quimbo/resumemarker.xml") and the last-played files of the
 * bookshelf ("lastPlayed.xml" on a stick or card, "/root/quimbo/lastPlayed.xml"
 * for CDs).
 *
 * Every call reads its file anew and every save rewrites it whole (atomically,
 * see MarkerFile); nothing is cached between calls. Entries are never evicted:
 * a known key is updated in place, a new one is appended.
 *
 * Paths may be given as device paths or as paths already below the platform root.
 */
class ResumeMarkManager : public QObject
{
    Q_OBJECT
public:
    ~ResumeMarkManager() override;

    /** "/root/quimbo/resumemarker.xml" below the platform root. */
    static QString resumeMarkerFile();

    /**
     * The marker stored for the book, or a new one at the start of the book.
     * Never null; the caller owns it. A marker stored with the title alone
     * is the book's too (see ResumeMarker).
     */
    static ResumeMarker *loadResumeMarker(const QString &title, const QString &identifier = QString());
    /** Stores the place (and when it was stored); the extras kept in the file stay. */
    static bool saveResumeMarker(const ResumeMarker *marker);

    /**
     * A book's place (first: spine index, second: clip index, third: 0, time:
     * time offset) and extras; false when the file holds no marker for it.
     */
    static bool readBook(const QString &title, const QString &identifier, BookPlace *place, BookExtras *extras);
    /** Changes a book's place or extras in one atomic write; false when nothing was written. */
    static bool updateBook(const QString &title, const QString &identifier, const std::function<void(BookPlace &, BookExtras &)> &change);

    /**
     * The first marker of the file whose medium identifier is mediaId (decimal
     * text), or simply the first one when mediaId is empty. Null when there is
     * none; otherwise the caller owns it.
     */
    static LastPlayedMarker *loadLastPlayedMarker(const QString &path, const QString &mediaId);
    static bool saveLastPlayedMarker(const QString &path, const LastPlayedMarker *marker);

private:
    explicit ResumeMarkManager(QObject *parent = nullptr);

    /** How a store's file was found; a save goes ahead only into one it could read or that is missing. */
    enum class ReadStatus {
        Read, ///< read whole, or damaged with the complete markers kept
        Missing,
        Refused, ///< exists but cannot be read, or over the limits: treated as empty
    };
    ReadStatus readXml(const QString &path, qint64 maxSize);
    bool writeXml(const QString &path);
    ResumeMarker *find(const QString &title, const QString &identifier) const;
    /** The book's marker; a new one appended when there is none, one stored with the title alone given the identifier. */
    ResumeMarker *findOrAppend(const QString &title, const QString &identifier);
    LastPlayedMarker *findLastPlayed(quint64 mediaId) const;
    void readElements(const MarkerXml::Node &node);
    void processResumeMark(const MarkerXml::Node &element);
    void processLastPlayedMark(const MarkerXml::Node &element);

    std::vector<std::unique_ptr<ResumeMarker>> resumeMarkers;
    std::vector<std::unique_ptr<LastPlayedMarker>> lastPlayedMarkers;
};

#endif
