// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FORMATS_NCXPARSER_H
#define QUIMBO_FORMATS_NCXPARSER_H

#include "formats/navparser.h"

#include <QVector>
#include <QXmlStreamAttributes>

class MediaGroup;

/**
 * Reads a DAISY 3 navigation control file (NCX) into the same navigation
 * model as the NCC parser: nav map headings with levels by nesting, page
 * list and nav lists, play order from the files' attributes. title() is a
 * node outside the model (the docTitle label); after a successful parse the
 * caller takes it and deletes it.
 */
class NcxParser : public NavParser
{
public:
    NcxParser();
    ~NcxParser() override;

protected:
    bool parseFileData(const QByteArray &data) override;

private:
    void processNavPoint(QXmlStreamAttributes &attributes);
    void processNavTarget(QXmlStreamAttributes &attributes);
    void processPageTarget(QXmlStreamAttributes &attributes);
    void processContent(QXmlStreamAttributes &attributes);
    void processAudio(QXmlStreamAttributes &attributes);
    void processCustomTest(QXmlStreamAttributes &attributes);
    void processNavLabel();
    void processText();
    void setCommon(NavNode *node, QXmlStreamAttributes &attributes);
    void clearStack();

    MediaGroup *m_currentLabelGroup = nullptr;
    QVector<NavPoint *> m_navPointStack;
    /** Label groups attached to nothing (docAuthor); freed after the parse. */
    QVector<MediaGroup *> m_detachedGroups;
};

#endif
