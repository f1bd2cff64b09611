// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_LIBRARY_RESUMEMARK_H
#define QUIMBO_LIBRARY_RESUMEMARK_H

#include <QString>

#include <functional>

struct BookExtras;
struct BookPlace;
namespace MarkerXml {
struct Node;
}

/**
 * One book's position as the CD, digital-book and EPUB players keep it. The
 * meaning of the numbers is each player's own; title and identifier are the key.
 */
struct ResumemarkData
{
    QString title;
    /**
     * The book's own identifier where it has one (an EPUB's dc:identifier), so
     * that two books of one title (the volumes of a work, the issues of a
     * magazine) keep a place each. An entry stored before identifiers were
     * kept has none: it is still found by its title, and takes the
     * identifier at its next write.
     */
    QString identifier;
    int smilListPos = 0;
    int navListPos = 0;
    int clipNodePos = 0;
    qint64 playerTime = 0;
};

/**
 * The resume-mark store "/root/quimbo/resumemark.xml": one <resumemark>
 * element per book with five children (title, smilListPos, navListPos,
 * clipNodePos, playerTime), updated in place or appended; never evicted.
 *
 * Every call reads the file anew and every write replaces it atomically. A
 * damaged file is kept aside as "resumemark.xml.broken"; the complete entries
 * before the damage are still used and the next write leaves a good file.
 */
class Resumemark
{
public:
    /** Creates the file (declaration and empty root) when it does not exist. */
    Resumemark();

    /** False only when the file had to be created and could not be written. */
    bool isValid() const { return m_valid; }

    bool write(ResumemarkData &data);
    bool read(ResumemarkData &data);

    /** Empties the store (the factory-defaults action); false when there is no file. */
    bool clear();

    /**
     * A book's place and extras (see BookExtras); false when the store holds
     * no entry for it (then both are left as they are).
     */
    bool readBook(const QString &title, const QString &identifier, BookPlace *place, BookExtras *extras);
    /**
     * Changes a book's place or extras in one atomic write; a book without an
     * entry gets one at the start of the book. False when nothing was written.
     */
    bool updateBook(const QString &title, const QString &identifier, const std::function<void(BookPlace &, BookExtras &)> &change);

    /** "/root/quimbo/resumemark.xml" below the platform root. */
    static QString fileName();

private:
    bool createFile();
    bool rootElement(MarkerXml::Node &root);
    /** The store's root for a change or a read; a failure is logged in the caller's name. */
    bool loadRoot(MarkerXml::Node &root, const char *function);
    MarkerXml::Node *findResumemark(MarkerXml::Node &root, const QString &title, const QString &identifier);
    bool readNumbers(const MarkerXml::Node &entry, ResumemarkData &data, const char *function);
    bool save(const MarkerXml::Node &root, const char *function);

    bool m_valid = true;
};

#endif
