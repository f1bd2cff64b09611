// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "logcapture.h"
#include "testroot.h"

#include "formats/customtest.h"
#include "formats/logcategory.h"
#include "formats/mediagroup.h"
#include "formats/medianode.h"
#include "formats/metadata.h"
#include "formats/navmodel.h"
#include "formats/navnode.h"
#include "formats/ncxparser.h"
#include "formats/opfparser.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

struct NcxResult {
    std::unique_ptr<NavModel> model;
    std::unique_ptr<CustomTestSet> tests;
    std::unique_ptr<NavNode> title; // outside the model in an NCX
};

NcxResult take(NcxParser &parser)
{
    return NcxResult{std::unique_ptr<NavModel>(parser.navModel()), std::unique_ptr<CustomTestSet>(parser.customTestSet()),
                     std::unique_ptr<NavNode>(parser.title())};
}

QString dataDir(const QString &kind)
{
    return QStringLiteral(QUIMBO_TEST_DATA "/") + kind + QLatin1Char('/');
}

QString label(const NavNode *node)
{
    return node->media() && node->media()->textNode() ? node->media()->textNode()->text() : QStringLiteral("-");
}

} // namespace

class NcxParserTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsNestedNcx();
    void textOutsideLabelsIsIgnored();
    void refusesBrokenNcx();
    void textSplitByReferencesStaysWhole();
    void opfSpineAndMetaData();
    void opfFindsNcxUnderAnyId_data();
    void opfFindsNcxUnderAnyId();
    void opfFailures_data();
    void opfFailures();
};

void NcxParserTest::readsNestedNcx()
{
    NcxParser parser;
    QVERIFY(parser.parseFromFile(dataDir(QStringLiteral("ncx")) + QStringLiteral("nested.ncx")));
    NcxResult result = take(parser);
    QStringList nodes;
    for (const NavNode *node : result.model->playOrderList()) {
        QString level;
        if (node->typeOfNode() == NavNode::NavPointType)
            level = QString::number(static_cast<const NavPoint *>(node)->level());
        nodes.append(QStringLiteral("%1 %2 %3 %4: %5").arg(node->playOrder()).arg(node->id(), node->className(), level, label(node)));
    }
    // Sorted by the playOrder attributes; a missing one counts as 0 and comes first. The list labels
    // ("Contents", "Pages", "Notes") are dropped; a stray text goes to the last label read.
    QCOMPARE(nodes, (QStringList{QStringLiteral("0 np0  1: No play order"), QStringLiteral("1 np1 chapter 1: Chapter 1"),
                                 QStringLiteral("2 np2 section 2: Section 1.1"), QStringLiteral("3 pg1  : 1"),
                                 QStringLiteral("4 np3  3: Subsection 1.1.1"), QStringLiteral("5 nt1 note : stray text outside any label"),
                                 QStringLiteral("6 np4  1: Chapter 2")}));
    const auto *page = static_cast<const PageTarget *>(result.model->playOrderList().at(3));
    QCOMPARE(page->type(), PageTarget::Normal);
    QCOMPARE(page->content(), dataDir(QStringLiteral("ncx")) + QStringLiteral("s1.smil#pg1"));

    QVERIFY(result.title);
    QVERIFY(!result.model->playOrderList().contains(result.title.get()));
    MediaGroup *title = result.title->media();
    QCOMPARE(title->textNode()->text(), QStringLiteral("The Real Title"));
    QCOMPARE(title->numberOfAudioClips(), 1);
    QCOMPARE(title->firstAudioClip()->source(), dataDir(QStringLiteral("ncx")) + QStringLiteral("audio/title.mp3"));
    QCOMPARE(title->firstAudioClip()->clipBegin(), 1500);
    QCOMPARE(title->firstAudioClip()->clipEnd(), 3000);

    const NavNode *chapter = result.model->playOrderList().at(1);
    QCOMPARE(chapter->media()->firstAudioClip()->clipEnd(), 2000);

    QCOMPARE(result.tests->ids(), (QStringList{QStringLiteral("note"), QStringLiteral("pagenum")}));
    const CustomTest *pages = result.tests->customTest(QStringLiteral("pagenum"));
    QCOMPARE(pages->bookStruct(), QStringLiteral("PAGE_NUMBER"));
    // defaultState in the file is not read: every test starts off.
    QVERIFY(!pages->currenState());
    QVERIFY(!pages->defaultState());
}

void NcxParserTest::textOutsideLabelsIsIgnored()
{
    NcxParser parser;
    QVERIFY(parser.parseFromFile(dataDir(QStringLiteral("ncx")) + QStringLiteral("noplayorder-text.ncx")));
    NcxResult result = take(parser);
    QCOMPARE(result.title->media()->textNode()->text(), QStringLiteral("T"));
    QCOMPARE(result.model->playOrderList().size(), 1);
    QCOMPARE(result.model->firstNavNode()->playOrder(), 0);
    QCOMPARE(label(result.model->firstNavNode()), QStringLiteral("A"));
}

void NcxParserTest::refusesBrokenNcx()
{
    LogCapture log(lcFormats());
    NcxParser parser;
    QVERIFY(!parser.parseFromFileData(QStringLiteral("/x/book.ncx"),
                                      "<ncx><docTitle><text>T</text></docTitle><navMap><navPoint playOrder=\"1\">"));
    QCOMPARE(parser.navModel(), nullptr);
    QCOMPARE(parser.customTestSet(), nullptr);
    QCOMPARE(parser.title(), nullptr);
    QVERIFY2(log.contains(QStringLiteral("xml has error:")), qPrintable(log.text()));
    QVERIFY(log.contains(QStringLiteral("at line: 1")));
}

void NcxParserTest::textSplitByReferencesStaysWhole()
{
    // An external DTD leaves &nbsp; unresolved; the reader then delivers the text in pieces.
    const QByteArray doctype = "<?xml version=\"1.0\"?>\n<!DOCTYPE x PUBLIC \"-//X//DTD X//EN\" \"x.dtd\">\n";
    NcxParser parser;
    QVERIFY(parser.parseFromFileData(
        QStringLiteral("/x/book.ncx"),
        doctype
            + "<ncx><docTitle><text>Big&nbsp;Book</text></docTitle><navMap><navPoint playOrder=\"1\">"
              "<navLabel><text>Chapter&nbsp;one <![CDATA[& more]]></text></navLabel>"
              "<content src=\"a.smil#p\"/></navPoint></navMap></ncx>"));
    NcxResult result = take(parser);
    QCOMPARE(result.title->media()->textNode()->text(), QStringLiteral("Big\u00A0Book"));
    QCOMPARE(label(result.model->firstNavNode()), QStringLiteral("Chapter\u00A0one & more"));

    OpfParser opf;
    QVERIFY(opf.parseFromFileData(
        QStringLiteral("/x/book.opf"),
        doctype
            + "<package xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><metadata><dc:Title>Big&nbsp;Book</dc:Title></metadata>"
              "<manifest><item id=\"s\" href=\"a.smil\" media-type=\"application/smil\"/></manifest>"
              "<spine><itemref idref=\"s\"/></spine></package>"));
    std::unique_ptr<MetaData> metaData(opf.metaData());
    QCOMPARE(metaData->metaDataItemContent(QStringLiteral("dc:title")), QStringLiteral("Big\u00A0Book"));
}

void NcxParserTest::opfSpineAndMetaData()
{
    const QString dir = dataDir(QStringLiteral("opf"));
    OpfParser parser;
    QVERIFY(parser.parseFromFile(dir + QStringLiteral("package.opf")));
    QCOMPARE(parser.navFileName(), dir + QStringLiteral("nav/book.ncx"));
    // Each SMIL file once, at its first reference; non-SMIL and unknown ids dropped.
    QCOMPARE(parser.spine(), (QStringList{dir + QStringLiteral("two.smil"), dir + QStringLiteral("one.smil"),
                                          dir + QStringLiteral("sub/three.smil")}));
    std::unique_ptr<MetaData> metaData(parser.metaData());
    QStringList items;
    for (const MetaDataItem *item : metaData->items())
        items.append(item->name() + QLatin1Char('=') + item->content());
    QCOMPARE(items, (QStringList{QStringLiteral("dc:title=Package Title"), QStringLiteral("dc:title=Second title"),
                                 QStringLiteral("dc:creator=Somebody"), QStringLiteral("dtb:totalTime=0:01:02.5"),
                                 QStringLiteral("dtb:empty=")}));
}

void NcxParserTest::opfFindsNcxUnderAnyId_data()
{
    QTest::addColumn<QString>("manifestItem");
    QTest::addColumn<QStringList>("filesBeside");
    QTest::addColumn<QString>("expected"); // file name of the NCX, empty: none
    QTest::addColumn<QString>("logged");

    QTest::newRow("NCX item with another id")
        << "<item id=\"navigation\" href=\"book.ncx\" media-type=\"application/x-dtbncx+xml\"/>" << QStringList()
        << "book.ncx" << "no manifest item with id ncx, using the NCX item:";
    QTest::newRow("no NCX item, one NCX file beside") << "" << QStringList{QStringLiteral("talking.ncx")} << "talking.ncx"
                                                     << "no NCX item in the manifest, using the only NCX file beside it:";
    QTest::newRow("no NCX item, two NCX files beside")
        << "" << QStringList{QStringLiteral("a.ncx"), QStringLiteral("b.ncx")} << "" << "";
}

void NcxParserTest::opfFindsNcxUnderAnyId()
{
    QFETCH(QString, manifestItem);
    QFETCH(QStringList, filesBeside);
    QFETCH(QString, expected);
    QFETCH(QString, logged);

    QTemporaryDir dir;
    for (const QString &name : std::as_const(filesBeside)) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const QString opf = QStringLiteral("<package><metadata/><manifest>%1"
                                       "<item id=\"s1\" href=\"one.smil\" media-type=\"application/smil\"/></manifest>"
                                       "<spine><itemref idref=\"s1\"/></spine></package>")
                            .arg(manifestItem);
    LogCapture log(lcFormats());
    OpfParser parser;
    QVERIFY(parser.parseFromFileData(dir.filePath(QStringLiteral("book.opf")), opf.toUtf8()));
    QCOMPARE(parser.navFileName(), expected.isEmpty() ? QString() : dir.filePath(expected));
    QCOMPARE(parser.spine().size(), 1);
    if (!logged.isEmpty())
        QVERIFY2(log.contains(logged), qPrintable(log.text()));
}

void NcxParserTest::opfFailures_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("logged");

    QTest::newRow("missing file") << "opf/none.opf" << QByteArray() << "[OpfParser::parseFromFile] failed to open file:";
    QTest::newRow("truncated") << "" << QByteArray("<package><manifest><item id=\"ncx\" href=\"a.ncx\"/>")
                               << "[OpfParser::parseFromFileData] xml has error:";
    QTest::newRow("empty") << "" << QByteArray() << "xml has error:";
}

void NcxParserTest::opfFailures()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, data);
    QFETCH(QString, logged);

    LogCapture log(lcFormats());
    OpfParser parser;
    if (!file.isEmpty())
        QVERIFY(!parser.parseFromFile(QStringLiteral(QUIMBO_TEST_DATA "/") + file));
    else
        QVERIFY(!parser.parseFromFileData(QStringLiteral("/x/p.opf"), data));
    QVERIFY(parser.spine().isEmpty());
    QVERIFY2(log.contains(logged), qPrintable(log.text()));
}

QTEST_GUILESS_MAIN(NcxParserTest)
#include "ncxparsertest.moc"
