// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/medianode.h"
#include "formats/metadata.h"
#include "formats/navmodel.h"
#include "formats/navnode.h"

#include <QTest>

namespace {

// Builds a model from a compact description: "P3" heading level 3, "G" page, "T" nav target.
NavModel *buildModel(const QStringList &kinds)
{
    auto *model = new NavModel;
    int playOrder = 1;
    for (const QString &kind : kinds) {
        NavNode *node = nullptr;
        if (kind.startsWith(QLatin1Char('P'))) {
            auto *point = new NavPoint;
            point->setLevel(kind.mid(1).toInt());
            node = point;
        } else if (kind == QLatin1String("G")) {
            node = new PageTarget;
        } else {
            node = new NavTarget;
        }
        node->setPlayOrder(playOrder);
        node->setId(QStringLiteral("n%1").arg(playOrder));
        ++playOrder;
        model->addToPlayOrderList(node);
    }
    return model;
}

QList<int> playOrders(const NavModel &model)
{
    QList<int> list;
    for (const NavNode *node : model.playOrderList())
        list.append(node->playOrder());
    return list;
}

} // namespace

class NavModelTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void keepsPlayOrderSorted_data();
    void keepsPlayOrderSorted();
    void sameplayOrderIsAppendedAfterTheFirst();
    void jumps_data();
    void jumps();
    void contentLookups();
    void metaDataIgnoresCase();
    void emptyTextIsInvalid();
};

void NavModelTest::keepsPlayOrderSorted_data()
{
    QTest::addColumn<QList<int>>("added");
    QTest::addColumn<QList<int>>("expected");

    QTest::newRow("reverse") << QList<int>{5, 4, 3, 2, 1} << QList<int>{1, 2, 3, 4, 5};
    QTest::newRow("zero first") << QList<int>{2, 3, 0} << QList<int>{0, 2, 3};
    QTest::newRow("duplicates") << QList<int>{3, 1, 3, 2} << QList<int>{1, 2, 3, 3};
}

void NavModelTest::keepsPlayOrderSorted()
{
    QFETCH(QList<int>, added);

    NavModel model;
    model.addToPlayOrderList(nullptr);
    for (int playOrder : added) {
        auto *node = new NavTarget;
        node->setPlayOrder(playOrder);
        model.addToPlayOrderList(node);
    }
    QTEST(playOrders(model), "expected");
}

void NavModelTest::sameplayOrderIsAppendedAfterTheFirst()
{
    NavModel model;
    auto *first = new NavPoint;
    first->setPlayOrder(3);
    auto *second = new NavPoint;
    second->setPlayOrder(3);
    auto *low = new NavPoint;
    low->setPlayOrder(1);
    model.addToPlayOrderList(first);
    model.addToPlayOrderList(low);
    model.addToPlayOrderList(second);
    QCOMPARE(model.playOrderList().at(1), first);
    QCOMPARE(model.playOrderList().at(2), second);
    QCOMPARE(model.playOrderListIndex(3), 1);
    QCOMPARE(model.playOrderListIndex(2), -1);
}

void NavModelTest::jumps_data()
{
    QTest::addColumn<QStringList>("kinds");
    QTest::addColumn<int>("from");     // play order of the current node, 0 for none
    QTest::addColumn<QString>("jump"); // next/previous Section/Page
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("expected"); // play order of the target, 0 for none

    const QStringList book{QStringLiteral("P1"), QStringLiteral("G"), QStringLiteral("P2"), QStringLiteral("P3"),
                           QStringLiteral("G"),  QStringLiteral("P3"), QStringLiteral("T"), QStringLiteral("P2"),
                           QStringLiteral("G"),  QStringLiteral("P1")};
    // play orders:       1 P1, 2 G, 3 P2, 4 P3, 5 G, 6 P3, 7 T, 8 P2, 9 G, 10 P1
    QTest::newRow("next level 2 skips level 3") << book << 4 << "nextSection" << 2 << 8;
    QTest::newRow("next level 6 takes level 3") << book << 3 << "nextSection" << 6 << 4;
    QTest::newRow("next level 1 from a page") << book << 5 << "nextSection" << 1 << 10;
    QTest::newRow("next section after the last") << book << 10 << "nextSection" << 6 << 0;
    QTest::newRow("previous level 2 from a target") << book << 7 << "previousSection" << 2 << 3;
    QTest::newRow("previous from the first") << book << 1 << "previousSection" << 6 << 0;
    QTest::newRow("next page from a heading between pages") << book << 6 << "nextPage" << 0 << 9;
    QTest::newRow("next page from a page") << book << 2 << "nextPage" << 0 << 5;
    QTest::newRow("next page after the last") << book << 10 << "nextPage" << 0 << 0;
    QTest::newRow("previous page from a heading between pages") << book << 8 << "previousPage" << 0 << 2;
    QTest::newRow("previous page from a page") << book << 9 << "previousPage" << 0 << 5;
    QTest::newRow("previous page before the first") << book << 1 << "previousPage" << 0 << 0;
    // From no node at all: from the beginning.
    const QStringList pageFirst{QStringLiteral("G"), QStringLiteral("P2"), QStringLiteral("P1"), QStringLiteral("G")};
    QTest::newRow("next level 1 from nothing") << pageFirst << 0 << "nextSection" << 1 << 3;
    QTest::newRow("next level 2 from nothing") << pageFirst << 0 << "nextSection" << 2 << 2;
    QTest::newRow("next page from nothing") << pageFirst << 0 << "nextPage" << 0 << 1;
}

void NavModelTest::jumps()
{
    QFETCH(QStringList, kinds);
    QFETCH(int, from);
    QFETCH(QString, jump);
    QFETCH(int, level);

    std::unique_ptr<NavModel> model(buildModel(kinds));
    NavNode *current = from > 0 ? model->playOrderList().at(model->playOrderListIndex(from)) : nullptr;
    QCOMPARE(model->playOrderNavNodeType(nullptr, NavNode::NavPointType), 0);
    NavNode *target = nullptr;
    if (jump == QLatin1String("nextSection"))
        target = model->nextSection(current, level);
    else if (jump == QLatin1String("previousSection"))
        target = model->previousSection(current, level);
    else if (jump == QLatin1String("nextPage"))
        target = model->nextPage(current);
    else
        target = model->previousPage(current);
    QTEST(target ? target->playOrder() : 0, "expected");
}

void NavModelTest::contentLookups()
{
    NavModel model;
    const QStringList contents{QStringLiteral("/b/a.smil#x"), QStringLiteral("/b/a.smil#y"),
                               QStringLiteral("/b/a.smil#x"), QStringLiteral("/b/c.smil#z")};
    for (int i = 0; i < contents.size(); ++i) {
        auto *node = new NavTarget;
        node->setPlayOrder(i + 1);
        node->setContent(contents.at(i));
        model.addToPlayOrderList(node);
    }
    QCOMPARE(model.navNodeForSmilId(QStringLiteral("/b/a.smil#x"))->playOrder(), 3);
    QCOMPARE(model.navNodeForSmilId(QStringLiteral("/b/a.smil")), nullptr);
    QCOMPARE(model.navNodeRefersThisSmilFile(QStringLiteral("/b/a.smil#q"))->playOrder(), 3);
    QCOMPARE(model.navNodeRefersThisSmilFile(QStringLiteral("/b/c.smil"))->playOrder(), 4);
    QCOMPARE(model.navNodeRefersThisSmilFile(QStringLiteral("/b/d.smil")), nullptr);
}

void NavModelTest::metaDataIgnoresCase()
{
    MetaData metaData;
    metaData.addMetaDataItem(nullptr);
    metaData.addMetaDataItem(new MetaDataItem(QStringLiteral("dc:Title"), QStringLiteral("first")));
    metaData.addMetaDataItem(new MetaDataItem(QStringLiteral("DC:TITLE"), QStringLiteral("second")));
    QCOMPARE(metaData.items().size(), 2);
    QCOMPARE(metaData.metaDataItemContent(QStringLiteral("dc:title")), QStringLiteral("first"));
    QVERIFY(metaData.metaDataItemContent(QStringLiteral("dc:creator")).isNull());
}

void NavModelTest::emptyTextIsInvalid()
{
    TextNode node;
    node.setText(QString());
    QCOMPARE(node.text(), QStringLiteral("INVALID"));
    node.setText(QStringLiteral("label"));
    QCOMPARE(node.text(), QStringLiteral("label"));
}

QTEST_GUILESS_MAIN(NavModelTest)
#include "navmodeltest.moc"
