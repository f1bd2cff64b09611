// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FORMATS_DAISYTALKINGBOOK_H
#define QUIMBO_FORMATS_DAISYTALKINGBOOK_H

#include <QString>
#include <QStringList>

class AudioNode;
class CustomTestSet;
class MediaGroup;
class MetaData;
class NavModel;
class NavNode;
class SmilMediaGroup;
class SmilTree;

/**
 * One opened DAISY book (2.02 through "ncc.html", 3 through OPF + NCX): the
 * navigation model, the spine of SMIL files, the metadata and the spoken
 * title, and exactly one loaded SMIL file rendered into the group the player
 * plays. Owned by its opener (the DAISY player, the bookshelf); no event
 * loop, not thread-safe.
 */
class DaisyTalkingBook
{
public:
    enum Version { Unsupported = 0, Daisy202 = 1, Daisy3 = 2 };

    ~DaisyTalkingBook();
    DaisyTalkingBook(const DaisyTalkingBook &) = delete;
    DaisyTalkingBook &operator=(const DaisyTalkingBook &) = delete;

    /** The book whose "ncc.html" or OPF file is @p path, or null (the reason is logged). */
    static DaisyTalkingBook *open(const QString &path);
    /** The same; on failure *@p errorString (if given) says why, for a person. */
    static DaisyTalkingBook *open(const QString &path, QString *errorString);

    /** Why the last SMIL file could not be loaded while reading; empty after a success. */
    QString errorString() const { return m_errorString; }

    SmilMediaGroup *startReading(int spineIndex);
    SmilMediaGroup *next();
    SmilMediaGroup *previous();
    /** Loads the file and position of a navigation node's content ("file#id"). */
    SmilMediaGroup *smilMediaGroupFromFile(const QString &content);

    SmilMediaGroup *nextSection(int level);
    SmilMediaGroup *previousSection(int level);
    SmilMediaGroup *nextPage();
    SmilMediaGroup *previousPage();

    /** The navigation node a playback point (source + position of @p probe) belongs to. */
    NavNode *navNodeRefersThisAudioNode(AudioNode *probe, int type);

    /** The book's item of that name (case ignored), else the loaded SMIL file's. */
    QString metaData(const QString &name) const;

    NavModel *navModel() const { return m_navModel; }
    MediaGroup *title() const { return m_titleMedia; }
    SmilMediaGroup *currentSmilMediaGroup() const { return m_currentSmilMediaGroup; }
    SmilTree *currentSmilTree() const { return m_currentSmilTree; }
    CustomTestSet *customTestSet() const { return m_customTestSet; }
    const MetaData *bookMetaData() const { return m_metaData; }
    int currentSpineIndex() const { return m_currentSpineIndex; }
    int version() const { return m_version; }
    QString versionString() const;
    QString path() const { return m_path; }
    QStringList spine() const { return m_spine; }

private:
    DaisyTalkingBook() = default;

    bool processNcc();
    bool processOpf(QString *ncxPath);
    bool processNcx(const QString &ncxPath);
    void buildSpine();
    bool processSmil(const QString &path);
    SmilMediaGroup *loadSpineEntry();
    SmilMediaGroup *processSmilContent(const QString &content);
    NavNode *labelAudioMatch(AudioNode *probe, int type) const;
    void discardCurrent();
    bool fail(const QString &reason);

    enum class Jump { NextSection, PreviousSection, NextPage, PreviousPage };
    SmilMediaGroup *jump(Jump kind, int level);

    int m_version = Unsupported;
    MetaData *m_metaData = nullptr;
    NavModel *m_navModel = nullptr;
    CustomTestSet *m_customTestSet = nullptr;
    SmilTree *m_currentSmilTree = nullptr;
    MediaGroup *m_titleMedia = nullptr;
    SmilMediaGroup *m_currentSmilMediaGroup = nullptr;
    QString m_path;
    QStringList m_spine;
    int m_currentSpineIndex = -1;
    QString m_errorString;
};

#endif
