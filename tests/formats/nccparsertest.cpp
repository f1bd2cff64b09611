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
#include "formats/nccparser.h"
#include "formats/smilaudioparser.h"
#include "formats/xmlrecovery.h"

#include <QFileInfo>
#include <QTest>

#include <memory>

namespace {

/** Everything one parse hands over, deleted together. */
struct NccResult {
    std::unique_ptr<NavModel> model;
    std::unique_ptr<CustomTestSet> tests;
    std::unique_ptr<MetaData> metaData;
    NavNode *title = nullptr;
};

NccResult take(NccParser &parser)
{
    NccResult result;
    result.model.reset(parser.navModel());
    result.tests.reset(parser.customTestSet());
    result.metaData.reset(parser.metaData());
    result.title = parser.title();
    return result;
}

QString fixtureDir()
{
    return QFileInfo(TestData::path(QStringLiteral("ncc/interleaved.html"))).absolutePath() + QLatin1Char('/');
}

// "kind:id:class:level|type:content:text" per node, contents relative to the fixture folder.
QStringList describe(const NavModel &model)
{
    QStringList list;
    for (const NavNode *node : model.playOrderList()) {
        QString extra;
        if (node->typeOfNode() == NavNode::NavPointType)
            extra = QString::number(static_cast<const NavPoint *>(node)->level());
        else if (node->typeOfNode() == NavNode::PageTargetType)
            extra = QString::number(static_cast<const PageTarget *>(node)->type());
        const TextNode *text = node->media() ? node->media()->textNode() : nullptr;
        list.append(QStringLiteral("%1:%2:%3:%4:%5:%6:%7")
                        .arg(node->playOrder())
                        .arg(node->typeOfNode())
                        .arg(node->id(), node->className(), extra, QString(node->content()).remove(fixtureDir()),
                             text ? text->text() : QStringLiteral("-")));
    }
    return list;
}

} // namespace

class NccParserTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsEveryKindInPlayOrder();
    void onePageTestForTwentyPages();
    void repairsMalformedNcc();
    void labelTextSplitByReferences_data();
    void labelTextSplitByReferences();
    void failedParseDropsTitle();
    void refusesUnreadableFiles_data();
    void refusesUnreadableFiles();
    void recoveryValidates_data();
    void recoveryValidates();
    void findsTitleAudio_data();
    void findsTitleAudio();
    void titleAudioRepairsSmil();
    void hundredThousandHeadings();
};

void NccParserTest::readsEveryKindInPlayOrder()
{
    NccParser parser;
    QVERIFY(parser.parseFromFile(TestData::path(QStringLiteral("ncc/interleaved.html"))));
    NccResult result = take(parser);
    const QStringList expected{
        QStringLiteral("1:1:h1:title:1:a.smil#p1:Book title"),
        QStringLiteral("2:2:pf:front:0:a.smil#p2:i"),
        QStringLiteral("3:1:h2::2:a.smil#p3:First section"),
        QStringLiteral("4:2:pg1:normal:1:b.smil#p1:1"),
        QStringLiteral("5:2:pg2:normal:1:b.smil#p2:2"),
        QStringLiteral("6:1:h3:title:2:b.smil#p3:Second title heading"),
        // The span of an unknown class makes no node: its anchor lands on the current note.
        QStringLiteral("7:0:n1:noteref::b.smil#p5:replaces the note"),
        QStringLiteral("8:2:ps:special:2:c.smil#p1:A"),
        QStringLiteral("9:0:d1:whatever::c.smil#p2:division"),
        QStringLiteral("10:0:sb:sidebar::c.smil#p3:sidebar"),
        QStringLiteral("11:0:pn:optional-prodnote::c.smil#p4:prodnote"),
        QStringLiteral("12:0:g1:group::c.smil#p5:group"),
        QStringLiteral("13:2:pg3:normal:1:c.smil#p6:3"),
        QStringLiteral("14:1:h4::1::-"),
        QStringLiteral("15:1:h5::1:a.smil#p9:Back to a"),
    };
    QCOMPARE(describe(*result.model), expected);
    QVERIFY(result.title);
    QCOMPARE(result.title->id(), QStringLiteral("h1"));

    // Custom tests and metadata of the same file.
    QCOMPARE(result.tests->ids(), (QStringList{QStringLiteral("footnote"), QStringLiteral("pagenumber"),
                                               QStringLiteral("prodnote"), QStringLiteral("sidebar")}));
    const CustomTest *pages = result.tests->customTest(QStringLiteral("pagenumber"));
    QVERIFY(!pages->currenState());
    QVERIFY(!pages->defaultState());

    QStringList items;
    for (const MetaDataItem *item : result.metaData->items())
        items.append(item->name() + QLatin1Char('=') + item->content());
    QCOMPARE(items, (QStringList{QStringLiteral("dc:title=Interleaved Pages"), QStringLiteral("dc:creator=Tester"),
                                 QStringLiteral("ncc:totalTime=0:10:00"),
                                 QStringLiteral("DC:Title=duplicate in other case")}));
    QCOMPARE(result.metaData->metaDataItemContent(QStringLiteral("dc:title")), QStringLiteral("Interleaved Pages"));
}

void NccParserTest::onePageTestForTwentyPages()
{
    NccParser parser;
    QVERIFY(parser.parseFromFile(TestData::path(QStringLiteral("ncc/twenty.html"))));
    NccResult result = take(parser);
    QCOMPARE(result.model->playOrderList().size(), 21);
    QCOMPARE(result.tests->count(), 1);
    QVERIFY(result.tests->contains(QStringLiteral("pagenumber")));
}

void NccParserTest::repairsMalformedNcc()
{
    const QString path = TestData::path(QStringLiteral("ncc/malformed.html"));
    LogCapture log(lcFormats());
    NccParser parser;
    QVERIFY(!parser.parseFromFile(path));
    QVERIFY2(log.contains(QStringLiteral("[NccParser::parseFileData] xml has error:")), qPrintable(log.text()));
    QCOMPARE(parser.navModel(), nullptr);
    QCOMPARE(parser.customTestSet(), nullptr);
    QCOMPARE(parser.metaData(), nullptr);

    const QByteArray repaired = XmlRecovery::recover(path);
    QVERIFY(!repaired.isEmpty());
    QVERIFY(XmlRecovery::validate(repaired));
    QVERIFY(parser.parseFromFileData(path, repaired));
    NccResult result = take(parser);
    const QStringList nodes = describe(*result.model);
    QCOMPARE(nodes.size(), 3);
    // Relative references still resolve against the damaged file's folder.
    QVERIFY2(nodes.at(0).startsWith(QStringLiteral("1:1:t:title:1:s1.smil#p1:Broken")), qPrintable(nodes.at(0)));
    QCOMPARE(nodes.at(1), QStringLiteral("2:2:pg1:normal:1:s1.smil#p2:1"));
    QCOMPARE(nodes.at(2), QStringLiteral("3:1:h2::2:s2.smil#p1:Chapter"));
    QCOMPARE(result.metaData->metaDataItemContent(QStringLiteral("dc:title")), QStringLiteral("Broken NCC"));
}

void NccParserTest::labelTextSplitByReferences_data()
{
    QTest::addColumn<QByteArray>("anchor");
    QTest::addColumn<QString>("text");

    QTest::newRow("nbsp") << QByteArray("Chapter&nbsp;one") << QStringLiteral("Chapter\u00A0one");
    QTest::newRow("leading nbsp") << QByteArray("&nbsp;Preface") << QStringLiteral("\u00A0Preface");
    QTest::newRow("XHTML entities") << QByteArray("Caf&eacute; &auml;&mdash;&Omega;") << QStringLiteral("Caf\u00e9 \u00e4\u2014\u03a9");
    QTest::newRow("unknown entity") << QByteArray("Part&bogus;two") << QStringLiteral("Part two");
    QTest::newRow("cdata") << QByteArray("Tom <![CDATA[& Jerry]]> again") << QStringLiteral("Tom & Jerry again");
    // Text after a nested element is a new run and still replaces the earlier one.
    QTest::newRow("nested element") << QByteArray("First <span>Second</span>") << QStringLiteral("Second");
}

void NccParserTest::labelTextSplitByReferences()
{
    QFETCH(QByteArray, anchor);
    QFETCH(QString, text);

    // The public XHTML DTD is external, so the reader reports &nbsp; as an unresolved reference.
    const QByteArray data = "<?xml version=\"1.0\"?>\n"
                            "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
                            "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">\n"
                            "<html><head><meta name=\"dc:title\" content=\"Caf&eacute; &amp; Bar\"/></head>"
                            "<body><h1 id=\"h\"><a href=\"s.smil#p\">"
        + anchor + "</a></h1></body></html>";
    NccParser parser;
    QVERIFY(parser.parseFromFileData(QStringLiteral("/book/ncc.html"), data));
    NccResult result = take(parser);
    QCOMPARE(result.model->playOrderList().size(), 1);
    const NavNode *node = result.model->firstNavNode();
    QVERIFY(node->media() && node->media()->textNode());
    QCOMPARE(node->media()->textNode()->text(), text);
    QCOMPARE(result.metaData->metaDataItemContent(QStringLiteral("dc:title")), QStringLiteral("Caf\u00e9 & Bar"));
}

void NccParserTest::failedParseDropsTitle()
{
    NccParser parser;
    QVERIFY(!parser.parseFromFileData(QStringLiteral("/book/ncc.html"),
                                      "<html><body><h1 class=\"title\"><a href=\"s.smil#p\">T</a></h1><p></body>"));
    QCOMPARE(parser.navModel(), nullptr);
    // The title was a node of the deleted model: it must not be handed out.
    QCOMPARE(parser.title(), nullptr);
}

void NccParserTest::refusesUnreadableFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("logged");

    QTest::newRow("missing") << "ncc/none.html" << "[NavParser::parseFromFile] failed to open file:";
    QTest::newRow("binary") << "ncc/binary.html" << "[NccParser::parseFileData] xml has error:";
}

void NccParserTest::refusesUnreadableFiles()
{
    QFETCH(QString, file);
    QFETCH(QString, logged);

    LogCapture log(lcFormats());
    NccParser parser;
    QVERIFY(!parser.parseFromFile(QStringLiteral(QUIMBO_TEST_DATA "/") + file));
    QVERIFY2(log.contains(logged), qPrintable(log.text()));
    QCOMPARE(parser.navModel(), nullptr);
    QCOMPARE(parser.metaData(), nullptr);
    // A missing file never reaches the repair step.
    QVERIFY(!log.contains(QStringLiteral("XmlRecovery")));
}

void NccParserTest::recoveryValidates_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("valid");

    QTest::newRow("well-formed") << QByteArray("<a><b/></a>") << true;
    QTest::newRow("unclosed") << QByteArray("<a><b></a>") << false;
    QTest::newRow("undeclared entity") << QByteArray("<a>&nbsp;</a>") << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void NccParserTest::recoveryValidates()
{
    QFETCH(QByteArray, data);
    QTEST(XmlRecovery::validate(data), "valid");
    const QByteArray repaired = XmlRecovery::recoverData(data);
    QCOMPARE(repaired.isEmpty(), data.isEmpty());
    if (!repaired.isEmpty())
        QVERIFY(XmlRecovery::validate(repaired));
}

void NccParserTest::findsTitleAudio_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("clipId");
    QTest::addColumn<qint64>("begin");
    QTest::addColumn<qint64>("end");
    QTest::addColumn<QString>("logged");

    QTest::newRow("par id") << "titletext.smil#parB" << "clipB" << qint64(4000) << qint64(6000) << "";
    QTest::newRow("text id in a par") << "titletext.smil#wanted" << "clipA" << qint64(1250) << qint64(3500) << "";
    QTest::newRow("text without audio in its par") << "titletext.smil#lonely" << "" << qint64(0) << qint64(0) << "";
    QTest::newRow("no fragment") << "titletext.smil" << "" << qint64(0) << qint64(0)
                                 << "[SmilAudioParser::audioAtId] invalid content.. no fragment availabe:";
    QTest::newRow("empty file part") << "#parB" << "" << qint64(0) << qint64(0)
                                     << "[SmilAudioParser::audioAtId] empty smilFilePath";
    QTest::newRow("missing file") << "gone.smil#x" << "" << qint64(0) << qint64(0)
                                  << "[SmilAudioParser::parseFile] failed to open file:";
}

void NccParserTest::findsTitleAudio()
{
    QFETCH(QString, content);
    QFETCH(QString, clipId);
    QFETCH(QString, logged);

    const QString base = TestData::path(QStringLiteral("smil/onefile.smil"));
    NavPoint node;
    node.setContent(content);
    LogCapture log(lcFormats());
    SmilAudioParser parser;
    std::unique_ptr<AudioNode> clip(parser.audioAtId(&node, base));
    if (clipId.isEmpty()) {
        QCOMPARE(clip.get(), nullptr);
    } else {
        QVERIFY(clip);
        QCOMPARE(clip->id(), clipId);
        QTEST(clip->clipBegin(), "begin");
        QTEST(clip->clipEnd(), "end");
        QCOMPARE(clip->source(), QFileInfo(base).absolutePath() + QStringLiteral("/title.mp3"));
    }
    if (!logged.isEmpty())
        QVERIFY2(log.contains(logged), qPrintable(log.text()));
    QCOMPARE(parser.audioAtId(nullptr, base), nullptr);
}

void NccParserTest::titleAudioRepairsSmil()
{
    NavPoint node;
    node.setContent(QStringLiteral("broken.smil#p2"));
    LogCapture log(lcFormats());
    SmilAudioParser parser;
    std::unique_ptr<AudioNode> clip(parser.audioAtId(&node, TestData::path(QStringLiteral("smil/onefile.smil"))));
    QVERIFY(log.contains(QStringLiteral("[SmilAudioParser::parseFile] failed to parse the file..try to recover")));
    QVERIFY2(clip, qPrintable(log.text()));
    QCOMPARE(clip->clipBegin(), 3000);
}

void NccParserTest::hundredThousandHeadings()
{
    QByteArray data = "<html><body>\n";
    for (int i = 1; i <= 100000; ++i)
        data += "<h" + QByteArray::number(1 + i % 6) + " id=\"h" + QByteArray::number(i) + "\"><a href=\"s"
            + QByteArray::number(i / 100) + ".smil#p" + QByteArray::number(i) + "\">Heading</a></h"
            + QByteArray::number(1 + i % 6) + ">\n";
    data += "</body></html>";
    NccParser parser;
    QVERIFY(parser.parseFromFileData(QStringLiteral("/book/ncc.html"), data));
    NccResult result = take(parser);
    QCOMPARE(result.model->playOrderList().size(), 100000);
    NavNode *last = result.model->lastNavNode();
    QCOMPARE(last->playOrder(), 100000);
    QCOMPARE(last->content(), QStringLiteral("/book/s1000.smil#p100000"));
    QCOMPARE(result.model->previousSection(last, 1)->playOrder(), 99996);
}

QTEST_GUILESS_MAIN(NccParserTest)
#include "nccparsertest.moc"
