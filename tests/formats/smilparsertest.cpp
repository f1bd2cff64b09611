// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "logcapture.h"
#include "testroot.h"

#include "formats/customtest.h"
#include "formats/logcategory.h"
#include "formats/medianode.h"
#include "formats/metadata.h"
#include "formats/smilmediagroup.h"
#include "formats/smilnode.h"
#include "formats/smilparser.h"
#include "formats/smiltree.h"

#include <QDir>
#include <QTest>

#include <memory>

namespace {

std::unique_ptr<SmilTree> parse(const QString &fixture)
{
    SmilParser parser;
    if (!parser.parseFromFile(TestData::path(fixture)))
        return nullptr;
    return std::unique_ptr<SmilTree>(parser.smilTree());
}

QString dir(const QString &fixture)
{
    return QFileInfo(TestData::path(fixture)).absolutePath() + QLatin1Char('/');
}

// "file:begin-end" per track, file names relative to the SMIL folder.
QStringList tracks(SmilMediaGroup *group, const QString &base)
{
    QStringList list;
    for (int i = 0; i < group->numberOfAudioTracks(); ++i) {
        const AudioNode *track = group->audioTrack(i);
        list.append(QString(track->source()).remove(base) + QLatin1Char(':') + QString::number(track->clipBegin())
                    + QLatin1Char('-') + QString::number(track->clipEnd()));
    }
    group->firstAudioTrack();
    return list;
}

} // namespace

class SmilParserTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rendersTracks_data();
    void rendersTracks();
    void implicitRootSeq();
    void skipOptionsAndMetaData();
    void skipsContainersByCustomTest();
    void positionsAtId_data();
    void positionsAtId();
    void findsAudioNodeRefs_data();
    void findsAudioNodeRefs();
    void trackNavigation();
    void refusesBadFiles_data();
    void refusesBadFiles();
    void refusesDeepNesting();
    void hugeAttributeValues();
    void fileWithoutAudioIsUnplayable();
    void clockValues_data();
    void clockValues();
};

void SmilParserTest::rendersTracks_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("clips");
    QTest::addColumn<QString>("lastText");

    QTest::newRow("one file, clips merge") << "smil/onefile.smil" << QStringList{QStringLiteral("one.mp3:0-12500")} << 3
                                           << "txt3";
    QTest::newRow("alternating files") << "smil/alternating.smil"
                                       << QStringList{QStringLiteral("first.mp3:0-5000"),
                                                      QStringLiteral("second.mp3:0-3000"),
                                                      QStringLiteral("first.mp3:5000-9000"),
                                                      QStringLiteral("sub/third.mp3:1000-2000")}
                                       << 4 << "t4";
}

void SmilParserTest::rendersTracks()
{
    QFETCH(QString, fixture);

    auto tree = parse(fixture);
    QVERIFY(tree);
    std::unique_ptr<SmilMediaGroup> group(tree->smilMediaGroup());
    QVERIFY(group);
    QTEST(tracks(group.get(), dir(fixture)), "expected");
    QTEST(group->numberOfAudioClips(), "clips");
    QCOMPARE(group->currentAudioTrackIndex(), 0);
    QVERIFY(group->textNode());
    QTEST(group->textNode()->id(), "lastText");
}

void SmilParserTest::implicitRootSeq()
{
    auto tree = parse(QStringLiteral("smil/implicitroot.smil"));
    QVERIFY(tree);
    SeqNode *root = tree->root();
    QVERIFY(root);
    QVERIFY(root->id().isEmpty());
    QCOMPARE(root->numberOfChildren(), 2);
    QCOMPARE(root->child(0)->typeOfNode(), int(SmilNode::Par));
    QCOMPARE(root->child(0)->id(), QStringLiteral("first"));
    // The second par is a sibling, not a child of the first.
    const auto *first = static_cast<TimeContainerNode *>(root->child(0));
    QCOMPARE(first->numberOfChildren(), 2);
    QCOMPARE(first->child(1)->typeOfNode(), int(SmilNode::AudioContent));
    QCOMPARE(first->child(0)->typeOfNode(), int(SmilNode::TextContent));
    QCOMPARE(first->child(2), nullptr);
    QCOMPARE(first->child(-1), nullptr);
}

void SmilParserTest::skipOptionsAndMetaData()
{
    auto one = parse(QStringLiteral("smil/onefile.smil"));
    QVERIFY(one);
    const auto *par2 = static_cast<TimeContainerNode *>(one->root()->child(1));
    QCOMPARE(par2->skipOption(), QStringLiteral("pagenumber"));
    QVERIFY(static_cast<TimeContainerNode *>(one->root()->child(0))->skipOption().isEmpty());

    auto implicit = parse(QStringLiteral("smil/implicitroot.smil"));
    QVERIFY(implicit);
    QCOMPARE(static_cast<TimeContainerNode *>(implicit->root()->child(1))->skipOption(), QStringLiteral("note"));

    QCOMPARE(one->metaData()->items().size(), 2);
    QCOMPARE(one->metaData()->metaDataItemContent(QStringLiteral("NCC:totalElapsedTime")), QStringLiteral("0:01:00"));
    QVERIFY(one->metaData()->metaDataItemContent(QStringLiteral("empty")).isNull());
}

void SmilParserTest::skipsContainersByCustomTest()
{
    auto tree = parse(QStringLiteral("smil/alternating.smil"));
    QVERIFY(tree);
    auto one = parse(QStringLiteral("smil/onefile.smil"));
    QVERIFY(one);
    CustomTestSet tests;
    auto *pages = new CustomTest;
    pages->setId(QStringLiteral("pagenumber"));
    tests.addCustomTest(pages);
    one->setCustomTestSet(&tests);

    std::unique_ptr<SmilMediaGroup> all(one->smilMediaGroup());
    QCOMPARE(all->numberOfAudioClips(), 3);

    pages->setCurrentState(true);
    std::unique_ptr<SmilMediaGroup> skipped(one->smilMediaGroup());
    QCOMPARE(skipped->numberOfAudioClips(), 2);
    QCOMPARE(skipped->audioClip(1)->id(), QStringLiteral("aud3"));
    // The skipped clip leaves a gap in the file: the clips on either side are tracks of their own.
    QCOMPARE(tracks(skipped.get(), dir(QStringLiteral("smil/onefile.smil"))),
             (QStringList{QStringLiteral("one.mp3:0-5000"), QStringLiteral("one.mp3:9000-12500")}));
}

void SmilParserTest::positionsAtId_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QString>("id");
    QTest::addColumn<int>("trackIndex");
    QTest::addColumn<qint64>("begin");
    QTest::addColumn<QString>("logged");

    QTest::newRow("par id") << "smil/onefile.smil" << "par2" << 0 << qint64(5000) << "id found:";
    QTest::newRow("text id") << "smil/onefile.smil" << "txt3" << 0 << qint64(9000) << "id found:";
    QTest::newRow("audio id") << "smil/onefile.smil" << "aud2" << 0 << qint64(5000) << "id found:";
    QTest::newRow("second file") << "smil/alternating.smil" << "a2" << 1 << qint64(0) << "id found:";
    QTest::newRow("first file again") << "smil/alternating.smil" << "a3" << 2 << qint64(5000) << "id found:";
    QTest::newRow("unknown id") << "smil/onefile.smil" << "nothere" << 0 << qint64(0) << "idSmilMedia has no audioTracks";
}

void SmilParserTest::positionsAtId()
{
    QFETCH(QString, fixture);
    QFETCH(QString, id);
    QFETCH(qint64, begin);
    QFETCH(QString, logged);

    auto tree = parse(fixture);
    QVERIFY(tree);
    LogCapture log(lcFormats());
    std::unique_ptr<SmilMediaGroup> group(tree->smilMediaGroupFromId(id));
    QVERIFY(group);
    QTEST(group->currentAudioTrackIndex(), "trackIndex");
    QCOMPARE(group->currentAudioTrack()->position(), begin);
    QVERIFY2(log.contains(logged), qPrintable(log.text()));
    // A later whole-file render is not affected by the positioned one.
    std::unique_ptr<SmilMediaGroup> whole(tree->smilMediaGroup());
    QCOMPARE(whole->audioTrack(0)->clipBegin(), 0);
}

void SmilParserTest::findsAudioNodeRefs_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<qint64>("position");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QStringList>("texts");

    QTest::newRow("inside first clip") << "one.mp3" << qint64(2500) << true << "par1" << QStringList{QStringLiteral("txt1")};
    QTest::newRow("inside second clip") << "one.mp3" << qint64(5001) << true << "par2"
                                        << QStringList{QStringLiteral("txt1"), QStringLiteral("txt2")};
    QTest::newRow("exactly at a clip begin") << "one.mp3" << qint64(5000) << false << "" << QStringList();
    QTest::newRow("exactly at the first begin") << "one.mp3" << qint64(0) << false << "" << QStringList();
    QTest::newRow("past the end") << "one.mp3" << qint64(12500) << false << "" << QStringList();
    QTest::newRow("other file") << "two.mp3" << qint64(100) << false << "" << QStringList();
}

void SmilParserTest::findsAudioNodeRefs()
{
    QFETCH(QString, file);
    QFETCH(qint64, position);
    QFETCH(bool, found);

    auto tree = parse(QStringLiteral("smil/onefile.smil"));
    QVERIFY(tree);
    AudioNode probe;
    probe.setSource(dir(QStringLiteral("smil/onefile.smil")) + file);
    probe.setPosition(position);
    QString containerId;
    QStringList textIds;
    QCOMPARE(tree->findAudioNodeRefs(&probe, containerId, textIds), found);
    if (found) {
        QTEST(containerId, "container");
        QTEST(textIds, "texts");
    }

    LogCapture log(lcFormats());
    QVERIFY(!tree->findAudioNodeRefs(nullptr, containerId, textIds));
    QVERIFY(log.contains(QStringLiteral("[Smiltree::findAudioNodeRefs] invalid audio node")));
}

void SmilParserTest::trackNavigation()
{
    auto tree = parse(QStringLiteral("smil/alternating.smil"));
    QVERIFY(tree);
    std::unique_ptr<SmilMediaGroup> group(tree->smilMediaGroup());
    QCOMPARE(group->numberOfAudioTracks(), 4);
    QCOMPARE(group->previousAudioTrack(), nullptr);
    QCOMPARE(group->currentAudioTrackIndex(), 0);
    QCOMPARE(group->elapsedTime(), 0);
    for (qint64 elapsed : {5000, 8000, 12000}) {
        QVERIFY(group->nextAudioTrack());
        QCOMPARE(group->elapsedTime(), elapsed);
    }
    QCOMPARE(group->nextAudioTrack(), nullptr);
    QCOMPARE(group->currentAudioTrack(), nullptr);
    QCOMPARE(group->currentAudioTrackIndex(), 4);
    QCOMPARE(group->audioTrack(7), nullptr);
    QCOMPARE(group->currentAudioTrackIndex(), 4);
    AudioNode *last = group->lastAudioTrack();
    QCOMPARE(group->currentAudioTrackIndex(), 3);
    QVERIFY(group->previousAudioTrack() && group->currentAudioTrack() != last);
    QCOMPARE(group->currentAudioTrackIndex(), 2);
}

void SmilParserTest::refusesBadFiles_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QString>("logged");

    QTest::newRow("premature end") << "smil/truncated.smil" << "[SmilParser::parseFromFileData] xml has error:";
    QTest::newRow("mismatched tag") << "smil/broken.smil" << "at line: 5";
}

void SmilParserTest::refusesBadFiles()
{
    QFETCH(QString, fixture);
    QFETCH(QString, logged);

    LogCapture log(lcFormats());
    SmilParser parser;
    QVERIFY(!parser.parseFromFile(QStringLiteral(QUIMBO_TEST_DATA "/") + fixture));
    QCOMPARE(parser.smilTree(), nullptr);
    QVERIFY2(log.contains(logged), qPrintable(log.text()));
}

void SmilParserTest::refusesDeepNesting()
{
    QByteArray deep = "<smil><body>";
    for (int i = 0; i < 100000; ++i)
        deep += "<seq>";
    deep += "<par><audio src=\"a.mp3\" clip-end=\"1s\"/></par>";
    for (int i = 0; i < 100000; ++i)
        deep += "</seq>";
    deep += "</body></smil>";

    LogCapture log(lcFormats());
    SmilParser parser;
    QVERIFY(!parser.parseFromFileData(QStringLiteral("/books/deep.smil"), deep));
    QVERIFY(log.contains(QStringLiteral("nested too deep")));

    // Nesting within the limit still renders.
    QByteArray fine = "<smil><body>";
    for (int i = 0; i < 200; ++i)
        fine += "<seq>";
    fine += "<par id=\"x\"><audio src=\"a.mp3\" clip-end=\"1s\"/></par>";
    for (int i = 0; i < 200; ++i)
        fine += "</seq>";
    fine += "</body></smil>";
    QVERIFY(parser.parseFromFileData(QStringLiteral("/books/fine.smil"), fine));
    std::unique_ptr<SmilTree> tree(parser.smilTree());
    std::unique_ptr<SmilMediaGroup> group(tree->smilMediaGroupFromId(QStringLiteral("x")));
    QVERIFY(group);
    QCOMPARE(group->currentAudioTrack()->source(), QStringLiteral("/books/a.mp3"));
}

void SmilParserTest::hugeAttributeValues()
{
    const QByteArray id(8 * 1024 * 1024, 'x');
    const QByteArray data = "<smil><body><seq><par id=\"a\"><audio src=\"a.mp3\" clip-end=\"1s\"/></par><par id=\"" + id
        + "\"><audio src=\"b.mp3\" clip-begin=\"" + QByteArray(100000, '9') + "\" clip-end=\"2s\"/></par></seq></body></smil>";
    SmilParser parser;
    QVERIFY(parser.parseFromFileData(QStringLiteral("/books/huge.smil"), data));
    std::unique_ptr<SmilTree> tree(parser.smilTree());
    std::unique_ptr<SmilMediaGroup> group(tree->smilMediaGroupFromId(QString::fromLatin1(id)));
    QVERIFY(group);
    QCOMPARE(group->currentAudioTrackIndex(), 1);
    // A clock value too large for any clip is taken as 0.
    QCOMPARE(group->currentAudioTrack()->clipBegin(), qint64(0));
}

void SmilParserTest::fileWithoutAudioIsUnplayable()
{
    auto tree = parse(QStringLiteral("smil/noaudio.smil"));
    QVERIFY(tree);
    QVERIFY(!tree->isEmpty());
    LogCapture log(lcFormats());
    QCOMPARE(tree->smilMediaGroup(), nullptr);
    QCOMPARE(tree->smilMediaGroupFromId(QStringLiteral("p1")), nullptr);
    QVERIFY(log.contains(QStringLiteral("[SmilTree::smilMediaGroup] error: no valid audiotracks")));
    QVERIFY(log.contains(QStringLiteral("[SmilTree::goToId] failed to render full smilMediaGroup")));

    SmilTree empty;
    QCOMPARE(empty.smilMediaGroup(), nullptr);
    QVERIFY(log.contains(QStringLiteral("[SmilTree::smilMediaGroup] error: invalid root")));
}

void SmilParserTest::clockValues_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("ms");

    QTest::newRow("npt seconds") << "npt=5.2s" << qint64(5200);
    QTest::newRow("h:mm:ss.f") << "1:02:03.5" << qint64(3723500);
    QTest::newRow("ms") << "300ms" << qint64(300);
    QTest::newRow("hours") << "1.5h" << qint64(5400000);
    QTest::newRow("bare number") << "12" << qint64(12000);
    QTest::newRow("blanks and npt") << "  npt=0:00:01.25 " << qint64(1250);
    QTest::newRow("not a number") << "abc" << qint64(0);
    QTest::newRow("four fields") << "1:2:3:4" << qint64(0);
    QTest::newRow("huge field") << "1e30:00:00" << qint64(0);
    QTest::newRow("two dots") << "1.2.3" << qint64(0);
    QTest::newRow("leading dot with unit") << ".5s" << qint64(0);
    QTest::newRow("fraction of a second in mm:ss") << "1:30.25" << qint64(90250);
    QTest::newRow("exponent in a field") << "0:1e1" << qint64(10000);
}

void SmilParserTest::clockValues()
{
    QFETCH(QString, text);
    QTEST(SmilTree::clockValue(text), "ms");
}

QTEST_GUILESS_MAIN(SmilParserTest)
#include "smilparsertest.moc"
