// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/textbook.h"

#include "logcapture.h"
#include "testroot.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

class TextBookTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void bookKinds_data();
    void bookKinds();
    void documentText_data();
    void documentText();
    void recordedBooksAreNotText();
    void realBooksText_data();
    void realBooksText();
};

namespace {

QString generated(const char *name)
{
    return QStringLiteral(QUIMBO_GENERATED_DATA "/text/") + QLatin1String(name);
}

QStringList texts(const TextBook &book)
{
    QStringList all;
    for (const TextSentence &s : book.sentences())
        all.append(s.text);
    return all;
}

/** "level:label@sentence text" for each mark. */
QStringList describe(const TextBook &book, const QVector<TextMark> &marks)
{
    QStringList all;
    for (const TextMark &m : marks)
        all.append(QStringLiteral("%1:%2@%3").arg(m.level).arg(m.label, book.sentences().at(m.sentence).text));
    return all;
}

} // namespace

void TextBookTest::bookKinds_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("kind");
    QTest::newRow("EPUB 3 without overlays") << generated("book.epub") << int(TextBook::Epub);
    QTest::newRow("DAISY 2.02 text only") << generated("daisy202/ncc.html") << int(TextBook::Daisy202);
    QTest::newRow("DAISY 3 text only") << generated("daisy3/book.opf") << int(TextBook::Daisy3);
}

void TextBookTest::bookKinds()
{
    QFETCH(QString, path);
    QFETCH(int, kind);
    QVERIFY(TextBook::isTextOnly(path));
    QString error;
    const std::unique_ptr<TextBook> book = TextBook::open(path, &error);
    QVERIFY2(book, qPrintable(error));
    QCOMPARE(int(book->kind()), kind);
    QCOMPARE(book->title(), QStringLiteral("Read Aloud"));
    QCOMPARE(book->language(), QStringLiteral("en"));
    QCOMPARE(texts(*book),
             QStringList({QStringLiteral("Chapter one"), QStringLiteral("The first chapter starts here."), QStringLiteral("It has a second sentence."),
                          QStringLiteral("A new paragraph follows."), QStringLiteral("It ends the section."), QStringLiteral("A section"),
                          QStringLiteral("Guten Tag, meine Damen und Herren."), QStringLiteral("Back in English now."),
                          QStringLiteral("Chapter two"), QStringLiteral("The second chapter is short.")}));
    QCOMPARE(describe(*book, book->headings()),
             QStringList({QStringLiteral("1:Chapter one@Chapter one"), QStringLiteral("2:A section@A section"), QStringLiteral("1:Chapter two@Chapter two")}));
    QCOMPARE(describe(*book, book->pages()),
             QStringList({QStringLiteral("0:1@Chapter one"), QStringLiteral("0:2@A section"), QStringLiteral("0:3@Chapter two")}));
    // The German passage is spoken in German, the sentence after it in the book's language again.
    const TextSentence &german = book->sentences().at(6);
    QCOMPARE(book->languages().value(german.language), QStringLiteral("de"));
    QCOMPARE(book->sentences().at(7).language, 0);
    // Paragraphs: heading, two paragraphs, heading, one, heading, one.
    QCOMPARE(book->paragraphs(), 7);
    // A stored position (document, offset) finds its sentence again, also from inside it.
    const TextSentence &fourth = book->sentences().at(3);
    QCOMPARE(book->sentenceAt(fourth.document, fourth.offset), 3);
    QCOMPARE(book->sentenceAt(fourth.document, fourth.offset + 5), 3);
}

void TextBookTest::documentText_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("sentences"); // " | " between sentences, " || " between paragraphs
    QTest::addColumn<QString>("pages");
    QTest::addColumn<QString>("logged");

    QTest::newRow("named and numeric entities") << QByteArray("<p>Caf&eacute; &amp; cr&egrave;me, &#233;t&#xE9;&nbsp;chaud.</p>")
                                                << QStringLiteral("Café & crème, été chaud.") << QString() << QString();
    QTest::newRow("CDATA") << QByteArray("<p><![CDATA[1 < 2 & so on.]]> Then more.</p>") << QStringLiteral("1 < 2 & so on. | Then more.") << QString() << QString();
    QTest::newRow("line breaks") << QByteArray("<p>Roses are red<br/>violets are blue</p>") << QStringLiteral("Roses are red | violets are blue") << QString() << QString();
    QTest::newRow("list items") << QByteArray("<ul><li>One</li><li>Two <em>and</em> three</li></ul>") << QStringLiteral("One || Two and three") << QString() << QString();
    QTest::newRow("table rows") << QByteArray("<table><tr><th>Name</th><th>Age</th></tr><tr><td>Ann</td><td>7</td></tr></table>")
                                << QStringLiteral("Name, Age || Ann, 7") << QString() << QString();
    QTest::newRow("image alt text") << QByteArray("<p>See <img src=\"a.png\" alt=\"a red house\"/> here.</p><p><img src=\"b.png\"/>Plain.</p>")
                                    << QStringLiteral("See a red house here. || Plain.") << QString() << QString();
    QTest::newRow("footnotes") << QByteArray("<p>Text<a epub:type=\"noteref\" href=\"#n1\">1</a> goes on.</p>"
                                             "<aside epub:type=\"footnote\" id=\"n1\"><p>The note.</p></aside><p>Last.</p>")
                               << QStringLiteral("Text goes on. || Last.") << QString() << QString();
    QTest::newRow("page markers") << QByteArray("<p>Before.</p><span epub:type=\"pagebreak\" title=\"12\"/><p>After <span role=\"doc-pagebreak\">xiv</span>it.</p>")
                                  << QStringLiteral("Before. || After it.") << QStringLiteral("12@After it.|xiv@After it.") << QString();
    QTest::newRow("scripts and styles") << QByteArray("<style>p { color: red }</style><script>var a = 1;</script><p>Only this.</p>")
                                        << QStringLiteral("Only this.") << QString() << QString();
    QTest::newRow("DTBook notes and page numbers")
        << QByteArray("<dtbook><book><bodymatter><level1><h1>Title</h1><pagenum page=\"normal\">3</pagenum><p>Text<noteref idref=\"x\">1</noteref>.</p>"
                      "<note id=\"x\"><p>A note.</p></note></level1></bodymatter></book></dtbook>")
        << QStringLiteral("Title || Text.") << QStringLiteral("3@Text.") << QString();
    QTest::newRow("run-on text is cut at a blank")
        << QByteArray("<p>") + QByteArray("word ").repeated(100) + QByteArray("</p>")
        << (QStringLiteral("word ").repeated(59) + QStringLiteral("word | ") + QStringLiteral("word ").repeated(39) + QStringLiteral("word")) << QString() << QString();
    QTest::newRow("malformed, repaired") << QByteArray("<p>Unclosed <b>bold</p><p>Next one")
                                         << QStringLiteral("Unclosed bold || Next one") << QString() << QStringLiteral("is not well formed - repaired");
    QTest::newRow("absurdly deep, skipped") << QByteArray("<div>").repeated(400) + QByteArray("Deep.") + QByteArray("</div>").repeated(400)
                                            << QString() << QString() << QStringLiteral("nests too deep - skipped");
}

void TextBookTest::documentText()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, sentences);
    QFETCH(QString, pages);
    QFETCH(QString, logged);
    const QByteArray document = body.startsWith("<dtbook")
        ? body
        : "<html xmlns=\"http://www.w3.org/1999/xhtml\" xmlns:epub=\"http://www.idpf.org/2007/ops\"><head><title>Not read</title></head><body>" + body + "</body></html>";
    LogCapture log;
    const std::unique_ptr<TextBook> book = TextBook::fromDocument(document, QStringLiteral("chapter.xhtml"));
    QString read;
    int paragraph = -1;
    for (const TextSentence &s : book->sentences()) {
        if (paragraph >= 0)
            read += s.paragraph == paragraph ? QStringLiteral(" | ") : QStringLiteral(" || ");
        read += s.text;
        paragraph = s.paragraph;
    }
    QCOMPARE(read, sentences);
    QStringList marks;
    for (const TextMark &m : book->pages())
        marks.append(m.label + QLatin1Char('@') + book->sentences().at(m.sentence).text);
    QCOMPARE(marks.join(QLatin1Char('|')), pages);
    if (!logged.isEmpty())
        QVERIFY2(log.contains(logged), qPrintable(log.text()));
}

void TextBookTest::recordedBooksAreNotText()
{
    // A narrated EPUB and the recorded DAISY books stay with their own players.
    QVERIFY(!TextBook::isTextOnly(QStringLiteral(QUIMBO_GENERATED_DATA "/epub/generated-3ch.epub")));
    QVERIFY(!TextBook::isTextOnly(QStringLiteral(QUIMBO_TEST_DATA "/daisy/broken202/ncc.html")));
    // Books with a recorded chapter among text-only ones: the recording stays, in
    // place of the text it narrates and under its heading.
    for (const char *mixed : {"mixed.epub", "mixed202/ncc.html", "mixed3/book.opf"}) {
        const std::unique_ptr<TextBook> book = TextBook::open(generated(mixed));
        QVERIFY(book);
        QCOMPARE(describe(*book, book->headings()).join(QLatin1Char('|')),
                 QStringLiteral("1:Read aloud@Read aloud|1:Narrated@Narrated|1:Read again@Read again|2:Its section@Its section"));
        QCOMPARE(texts(*book).join(QLatin1Char('|')), QStringLiteral("Read aloud|This chapter is read aloud.|Narrated|Read again|"
                                                                     "The last chapter is read aloud.|It has two sentences.|Its section|The section starts here."));
        QVERIFY(book->sentences().at(2).audio.endsWith(QLatin1String("ch2.mp3")));
    }
}

void TextBookTest::realBooksText_data()
{
    // Real books made by others, recorded but with their full text: the text
    // model reads their content as it would read a text-only copy. Every
    // heading element of the navigation (NCC) or the DTBook becomes a heading.
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("headingsIn");
    const QString painters = TestData::sharedBook(QStringLiteral("d202-great-painters/ncc.html"));
    const QString health = TestData::sharedBook(QStringLiteral("d202-mental-health/ncc.html"));
    const QString nccOnly = TestData::sharedBook(QStringLiteral("d202-dontworrybehappy-ncconly/ncc.html"));
    QTest::newRow("DAISY 2.02, pages and notes") << painters << painters;
    QTest::newRow("DAISY 2.02") << health << health;
    QTest::newRow("DAISY 2.02, the text in the NCC") << nccOnly << nccOnly;
    QTest::newRow("DAISY 3") << TestData::sharedBook(QStringLiteral("d3-dontworrybehappy/06-speechgen.opf"))
                             << TestData::sharedBook(QStringLiteral("d3-dontworrybehappy/07-dtbook.xml"));
}

void TextBookTest::realBooksText()
{
    QFETCH(QString, path);
    QFETCH(QString, headingsIn);
    QFile source(headingsIn);
    QVERIFY(source.open(QIODevice::ReadOnly));
    const qsizetype headingElements = QString::fromUtf8(source.readAll()).count(QRegularExpression(QStringLiteral("<h[1-6][ >]")));
    QString error;
    const std::unique_ptr<TextBook> book = TextBook::open(path, &error);
    QVERIFY2(book, qPrintable(error));
    QVERIFY(book->sentences().size() >= headingElements);
    QCOMPARE(book->headings().size(), headingElements);
}

QTEST_GUILESS_MAIN(TextBookTest)
#include "textbooktest.moc"
