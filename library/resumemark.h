// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_LIBRARY_RESUMEMARK_H
#define QUIMBO_LIBRARY_RESUMEMARK_H

#include <QString>

namespace MarkerXml {
struct Node;
}

/**
 * One book's position as the CD, digital-book and EPUB players keep it. The
 * meaning of the numbers is each player's own; title is the key.
 */
struct ResumemarkData
{
    QString title;
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

    /** "/root/quimbo/resumemark.xml" below the platform root. */
    static QString fileName();

private:
    bool createFile();
    bool rootElement(MarkerXml::Node &root);
    MarkerXml::Node *findResumemark(MarkerXml::Node &root, const QString &title);

    bool m_valid = true;
};

#endif
