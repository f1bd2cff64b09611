// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/daisytalkingbook.h"
#include "formats/mediagroup.h"
#include "formats/medianode.h"
#include "formats/navmodel.h"
#include "formats/navnode.h"
#include "formats/smilmediagroup.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

#include <memory>

namespace {

const QString Guide = QStringLiteral(QUIMBO_SOURCE_DIR "/docs/user-guide.md");
const QString Manual = QStringLiteral(QUIMBO_BINARY_DIR "/emanuals/eng/ncc.html");

// The title, the contents, then the chapters: the manual player counts
// headings to find the chapter a clip of the contents names.
constexpr int ContentsSpineIndex = 1;
constexpr int FirstChapter = 2;

QStringList guideHeadings()
{
    QStringList headings;
    QFile file(Guide);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return headings;
    const QRegularExpression heading(QStringLiteral("^(#+)\\s+(.*\\S)\\s*$"));
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch m = heading.match(line);
        if (m.hasMatch())
            headings << m.captured(1) + QLatin1Char(' ') + m.captured(2);
    }
    return headings;
}

QString label(const NavNode *node)
{
    return node->media() && node->media()->textNode() ? node->media()->textNode()->text() : QString();
}

QList<NavPoint *> chapters(const DaisyTalkingBook &book)
{
    QList<NavPoint *> points;
    for (NavNode *node : book.navModel()->playOrderList()) {
        if (node->typeOfNode() == NavNode::NavPointType)
            points << static_cast<NavPoint *>(node);
    }
    return points;
}

/** The audio clip a heading's own SMIL element starts with, as the manual plays it after a jump. */
const AudioNode *headingClip(SmilMediaGroup *group)
{
    const AudioNode *track = group ? group->currentAudioTrack() : nullptr;
    if (!track)
        return nullptr;
    for (int i = 0; i < group->numberOfAudioClips(); ++i) {
        const AudioNode *clip = group->audioClip(i);
        if (clip->source() == track->source() && clip->clipBegin() == track->clipBegin())
            return clip;
    }
    return nullptr;
}

} // namespace

class UserManualTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void chaptersAreTheGuidesHeadings();
    void contentsNameTheChaptersInOrder();

private:
    std::unique_ptr<DaisyTalkingBook> m_book;
};

void UserManualTest::initTestCase()
{
    QVERIFY2(QFileInfo::exists(Manual), "build the target \"manual\" first");
    m_book.reset(DaisyTalkingBook::open(Manual));
    QVERIFY(m_book);
    QCOMPARE(m_book->version(), int(DaisyTalkingBook::Daisy202));
}

void UserManualTest::chaptersAreTheGuidesHeadings()
{
    const QStringList expected = guideHeadings();
    QVERIFY(expected.size() > FirstChapter);

    QStringList found;
    QStringList files;
    for (const NavPoint *point : chapters(*m_book)) {
        found << QString(point->level(), QLatin1Char('#')) + QLatin1Char(' ') + label(point);
        files << point->content().section(QLatin1Char('#'), 0, 0);
    }
    // Every chapter a level-1 heading of its own file, so that "next heading"
    // and the spine both step chapter by chapter.
    QCOMPARE(found, expected);
    QCOMPARE(files, m_book->spine());
    // The first heading is the book's title, which the bookshelf speaks.
    QVERIFY(m_book->title() && m_book->title()->textNode());
    QCOMPARE(m_book->title()->textNode()->text(), expected.first().mid(2));
}

void UserManualTest::contentsNameTheChaptersInOrder()
{
    SmilMediaGroup *contents = m_book->startReading(ContentsSpineIndex);
    QVERIFY(contents);
    QCOMPARE(m_book->currentSpineIndex(), ContentsSpineIndex);

    QList<qint64> spoken;
    for (int i = 0; i < contents->numberOfAudioClips(); ++i)
        spoken << contents->audioClip(i)->duration();
    const QList<NavPoint *> points = chapters(*m_book);
    // Its own heading, one sentence on how to use it, then one clip per chapter.
    QCOMPARE(spoken.size(), points.size());

    // The same words spoken by the same voice last exactly as long: a clip of
    // the contents names a chapter when it lasts as long as that chapter's
    // heading, so a list out of step with the headings shows up here.
    for (int k = FirstChapter; k < points.size(); ++k) {
        const QString title = label(points.at(k));
        const AudioNode *heading = headingClip(m_book->smilMediaGroupFromFile(points.at(k)->content()));
        QVERIFY2(heading, qPrintable(title));
        QVERIFY2(heading->duration() > 0, qPrintable(title));
        QVERIFY2(spoken.at(k) == heading->duration(),
                 qPrintable(QStringLiteral("contents clip %1 lasts %2 ms, the heading \"%3\" %4 ms")
                                .arg(k)
                                .arg(spoken.at(k))
                                .arg(title)
                                .arg(heading->duration())));
    }
}

QTEST_GUILESS_MAIN(UserManualTest)
#include "usermanualtest.moc"
