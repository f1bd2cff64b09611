// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/markerxml.h"

#include <QTest>

namespace {

QString dump(const MarkerXml::Node &node)
{
    if (node.isText)
        return QLatin1Char('"') + node.text + QLatin1Char('"');
    QString out = node.name;
    for (const auto &a : node.attributes)
        out += QLatin1Char(' ') + a.first + QLatin1String("='") + a.second + QLatin1Char('\'');
    if (!node.text.isEmpty())
        out += QLatin1String(" \"") + node.text + QLatin1Char('"');
    if (!node.children.empty()) {
        out += QLatin1String(" (");
        for (const MarkerXml::Node &c : node.children)
            out += dump(c) + QLatin1Char(' ');
        out += QLatin1Char(')');
    }
    return out;
}

} // namespace

class MarkerXmlTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void directPathAgreesWithReader_data();
    void directPathAgreesWithReader();
};

void MarkerXmlTest::directPathAgreesWithReader_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("damaged");

    const QByteArray decl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    QTest::newRow("our layout") << decl + "<r>\n    <m title=\"A b\" timeOffset=\"12\"/>\n    <m title='c'/>\n</r>\n" << false;
    QTest::newRow("text children") << QByteArray("<r> <e><t>One</t><n>2</n></e>\n</r>") << false;
    QTest::newRow("predefined entities") << QByteArray("<r a=\"&lt;&amp;&quot;&apos;&gt;\"><t>x &lt; y &amp;&amp; z</t></r>") << false;
    QTest::newRow("character references") << QByteArray("<r a=\"&#233;&#x1F4DA;\"><t>&#65;&#x42;</t></r>") << false;
    QTest::newRow("utf-8") << QByteArray("<r a=\"Grüße\"><t>Οδύσσεια 📚</t></r>") << false;
    QTest::newRow("declaration without encoding") << QByteArray("<?xml version=\"1.0\"?><r/>") << false;
    QTest::newRow("latin-1 declared") << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r a=\"\xe9\"/>") << false;
    QTest::newRow("comment and cdata") << QByteArray("<r><!-- c --><t><![CDATA[<x>]]></t></r>") << false;
    QTest::newRow("mixed content") << QByteArray("<r>before<e/>after</r>") << false;
    QTest::newRow("line break in attribute") << QByteArray("<r a=\"x\ny\"/>") << false;
    QTest::newRow("carriage returns") << QByteArray("<r>\r\n<t>a\r\nb</t>\r\n</r>\r\n") << false;
    QTest::newRow("spaces around =") << QByteArray("<r a = \"1\"  b='2' ></r >") << false;
    QTest::newRow("doctype") << QByteArray("<!DOCTYPE r><r/>") << false;
    QTest::newRow("truncated") << decl + "<r>\n    <m title=\"A\"/>\n    <m title=\"B\" timeOff" << true;
    QTest::newRow("truncated in text") << QByteArray("<r><e><t>One</t></e><e><t>Tw") << true;
    QTest::newRow("mismatched tag") << QByteArray("<r><e></f></r>") << true;
    QTest::newRow("duplicate attribute") << QByteArray("<r a=\"1\" a=\"2\"/>") << true;
    QTest::newRow("unknown entity") << QByteArray("<r>&nbsp;</r>") << true;
    QTest::newRow("invalid utf-8") << QByteArray("<r>\xff\xfe</r>") << true;
    QTest::newRow("control character") << QByteArray("<r>a\x01</r>") << true;
    QTest::newRow("reference to NUL") << QByteArray("<r>&#0;</r>") << true;
    QTest::newRow("lone less-than in value") << QByteArray("<r a=\"<\"/>") << true;
    QTest::newRow("no space between attributes") << QByteArray("<r a=\"1\"b=\"2\"/>") << true;
    QTest::newRow("text after root") << QByteArray("<r/>junk") << true;
    QTest::newRow("empty") << QByteArray() << true;
    // Found by comparing both paths on mutated files.
    QTest::newRow("malformed declaration") << QByteArray("<?xml version=\"1.0\"encoding=\"UTF-8\"?><r/>") << true;
    QTest::newRow("undeclared prefix") << QByteArray("<r><m time:Offset=\"1\"/></r>") << true;
    QTest::newRow("space in reference") << QByteArray("<r a=\"&#x 41;\"/>") << true;
    // Both paths take the same nesting and refuse the same: neither keeps a tree.
    QTest::newRow("16 levels") << QByteArray("<a>").repeated(16) + QByteArray("</a>").repeated(16) << false;
    QTest::newRow("17 levels") << QByteArray("<a>").repeated(17) + QByteArray("</a>").repeated(17) << false;
    QTest::newRow("100000 levels, never closed") << QByteArray("<a>").repeated(100000) << false;
    QTest::newRow("unstorable characters escaped") << QByteArray("<r a=\"x\xee\x80\x80" "0001y\">\xee\x80\x80" "d800</r>") << false;
}

void MarkerXmlTest::directPathAgreesWithReader()
{
    QFETCH(QByteArray, content);

    MarkerXml::Node direct;
    MarkerXml::Node reference;
    const MarkerXml::Result directResult = MarkerXml::parse(content, &direct);
    const MarkerXml::Result referenceResult = MarkerXml::parseWithReader(content, &reference);
    QTEST(referenceResult == MarkerXml::Result::Damaged, "damaged");
    QCOMPARE(directResult, referenceResult);
    QCOMPARE(dump(direct), dump(reference));
}

QTEST_GUILESS_MAIN(MarkerXmlTest)
#include "markerxmltest.moc"
