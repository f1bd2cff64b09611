// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/epubparser.h"

#include "testroot.h"

#include <QBuffer>
#include <QRegularExpression>
#include <QTest>

namespace {

QString epubFixture(const QString &name)
{
    return TestData::generated(QStringLiteral("epub/") + name + QStringLiteral(".epub"));
}

void expectWarning(const QString &text)
{
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(text)));
}

void expectGoodPackageWarnings()
{
    expectWarning(QStringLiteral("[EpubParser::parseManifestItem]: invalid manifest item at line:"));
    expectWarning(QStringLiteral("[EpubParser::parseSpineItem]: invalid spine item at line:"));
}

} // namespace

class EpubParserTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void readsPackage();
    void refusesBadBooks_data();
    void refusesBadBooks();
    void readsPackageVariants_data();
    void readsPackageVariants();
    void readsGeneratedBook();
};

void EpubParserTest::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
}

void EpubParserTest::readsPackage()
{
    EpubParser parser;
    expectGoodPackageWarnings();
    QVERIFY(parser.open(epubFixture(QStringLiteral("good"))));
    QVERIFY(parser.isOpen());

    // dc:Title is found because tag names are compared in lower case.
    QCOMPARE(parser.metadataValue(DCType::Title), QStringLiteral("Fixture Book"));
    QCOMPARE(parser.metadataItems(DCType::Title).first().property, QStringLiteral("dc:title"));
    QCOMPARE(parser.metadataValue(DCType::Creator), QStringLiteral("Quimbo Tests"));
    QCOMPARE(parser.metadataValue(DCType::Date), QString());

    // linear="no" is skipped, an unknown idref silently, a repeated id is kept.
    QCOMPARE(parser.spineItems(), (QStringList { QStringLiteral("ch1"), QStringLiteral("ch2"), QStringLiteral("ch1") }));

    const ManifestItem audio = parser.manifestItem(QStringLiteral("audio"));
    QCOMPARE(audio.href, QStringLiteral("Audio/a.mp3"));
    QCOMPARE(audio.mediaType, QStringLiteral("audio/mpeg"));
    QCOMPARE(parser.itemData(audio.href), QByteArray("ID3 not really audio, but bytes to compare"));
    QCOMPARE(parser.manifestItem(QStringLiteral("ch2")).href, QStringLiteral("OEBPS/Text/ch2.xhtml"));
    QCOMPARE(parser.manifestItem(QStringLiteral("ch2")).mediaOverlay, QStringLiteral("smil2"));
    QCOMPARE(parser.manifestItem(QStringLiteral("broken")).href, QString());
    QCOMPARE(parser.itemData(parser.manifestItem(QStringLiteral("escaped")).href), QByteArray("<html><body><p>Escaped.</p></body></html>"));
    QVERIFY(parser.itemData(QStringLiteral("oebps/text/ch1.xhtml")).isEmpty());
    QVERIFY(parser.itemData(parser.manifestItem(QStringLiteral("smil1")).href).contains("../../Audio/a.mp3"));

    // Legacy name/content metas and empty values are not stored.
    const auto durations = parser.metadataItems(DCType::Meta, QStringLiteral("media:duration"));
    QCOMPARE(durations.size(), 3);
    QCOMPARE(durations.at(0).refines, QStringLiteral("#smil1"));
    QCOMPARE(durations.at(0).value, QStringLiteral("0:00:05.5"));
    QCOMPARE(durations.at(1).value, QStringLiteral("3.5s"));
    QCOMPARE(durations.at(2).refines, QString());
    QCOMPARE(parser.metadataItems(DCType::Meta).size(), 4);

    parser.close();
    QVERIFY(!parser.isOpen());
    QVERIFY(parser.spineItems().isEmpty());
    QVERIFY(parser.metadataValue(DCType::Title).isEmpty());
    QVERIFY(parser.itemData(audio.href).isEmpty());
}

void EpubParserTest::refusesBadBooks_data()
{
    QTest::addColumn<QString>("book");
    QTest::addColumn<QStringList>("logged");
    QTest::addColumn<QString>("reason");
    const QString container = QStringLiteral("[EpubParser::open]: failed to parse the container of the epub");

    QTest::newRow("mimetype with line break") << "mimetype-newline" << QStringList { QStringLiteral("[EpubParser::open]: not a valid epub! Wrong mimetype:") } << "wrong mimetype";
    QTest::newRow("version 2.0") << "version-2"
                                 << QStringList { QStringLiteral("[EpubParser::parseContentFile]: This is not an epub3.. we don't support this epub"),
                                        container } << "not EPUB 3 (package version \"2.0\")";
    QTest::newRow("no dc:language") << "no-language"
                                    << QStringList { QStringLiteral("[EpubParser::parseContentFile]: failed the required DMCES types are not available"),
                                           container } << "lacks dc:identifier, dc:title or dc:language";
    QTest::newRow("no container") << "no-container"
                                  << QStringList { QStringLiteral("[EpubParser::parseContainer]: invalid epub! No container.xml file available"), container } << "no META-INF/container.xml";
    QTest::newRow("malformed package") << "malformed-opf"
                                       << QStringList { QStringLiteral("[EpubParser::parseContentFile]: XML error at line"),
                                              QStringLiteral("[EpubParser::parseContentFile]: OPF file has wrong root element.. invalid epub3"), container } << "is not an OPF package";
    QTest::newRow("prefixed root") << "wrong-root"
                                   << QStringList { QStringLiteral("[EpubParser::parseContentFile]: OPF file has wrong root element.. invalid epub3"),
                                          container } << "is not an OPF package";
    QTest::newRow("50,000 nested elements") << "deep-container"
                                            << QStringList { QStringLiteral("[EpubParser::parseContainer]: XML nests deeper than 256 levels, refused"),
                                                   container } << "names no package document";
    QTest::newRow("not a zip") << "not-zip" << QStringList { QStringLiteral("Zip: not a zip file!"), QStringLiteral("Wrong mimetype:") } << "not a ZIP archive";
    QTest::newRow("missing file") << "missing" << QStringList { QStringLiteral("[EpubParser::open]: zipReader error: 2") } << "cannot be opened (status 2)";
}

void EpubParserTest::refusesBadBooks()
{
    QFETCH(QString, book);
    QFETCH(QStringList, logged);
    QFETCH(QString, reason);
    for (const QString &line : std::as_const(logged))
        expectWarning(line);
    EpubParser parser;
    QVERIFY(!parser.open(epubFixture(book)));
    QVERIFY2(parser.errorString().contains(reason), qPrintable(parser.errorString()));
    QVERIFY(!parser.isOpen());
    QVERIFY(parser.spineItems().isEmpty());
    QVERIFY(parser.itemData(QStringLiteral("mimetype")).isEmpty());
}

void EpubParserTest::readsPackageVariants_data()
{
    QTest::addColumn<QString>("book");
    QTest::addColumn<bool>("fromDevice");
    QTest::addColumn<QString>("logged"); // besides the good package's own lines
    QTest::newRow("from a device") << "good" << true << "";
    QTest::newRow("first rootfile missing, the second used") << "second-rootfile" << false
                                                             << "[EpubParser::parseContentFile]: OPF file not found in epub: \"OEBPS/missing.opf\"";
    // The package reads without namespaces: "dc:" needs no declaration.
    QTest::newRow("undeclared dc prefix") << "undeclared-prefix" << false << "";
    // Editors put a comment or a schema instruction before the metadata.
    QTest::newRow("comment before metadata") << "comment-first" << false << "";
    QTest::newRow("instruction before metadata") << "instruction-first" << false << "";
}

void EpubParserTest::readsPackageVariants()
{
    QFETCH(QString, book);
    QFETCH(bool, fromDevice);
    QFETCH(QString, logged);
    QFile file(epubFixture(book));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QByteArray bytes = file.readAll();
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    if (!logged.isEmpty())
        expectWarning(logged);
    expectGoodPackageWarnings();
    EpubParser parser;
    QVERIFY(fromDevice ? parser.open(&buffer) : parser.open(epubFixture(book)));
    QCOMPARE(parser.metadataValue(DCType::Title), QStringLiteral("Fixture Book"));
    QCOMPARE(parser.metadataValue(DCType::Language), QStringLiteral("en"));
    QCOMPARE(parser.metadataValue(DCType::Identifier), QStringLiteral("urn:quimbo:fixture"));
    QCOMPARE(parser.spineItems().size(), 3);
}

void EpubParserTest::readsGeneratedBook()
{
    const QString book = TestData::generated(QStringLiteral("epub/generated-3ch.epub"));
    EpubParser parser;
    QVERIFY(parser.open(book));
    QCOMPARE(parser.metadataValue(DCType::Title), QStringLiteral("Three Short Chapters"));
    QCOMPARE(parser.metadataValue(DCType::Language), QStringLiteral("en"));
    const QStringList spine = parser.spineItems();
    QCOMPARE(spine.size(), 3);

    const auto durations = parser.metadataItems(DCType::Meta, QStringLiteral("media:duration"));
    QCOMPARE(durations.size(), 4);
    for (int i = 0; i < spine.size(); ++i) {
        const ManifestItem text = parser.manifestItem(spine.at(i));
        QCOMPARE(text.mediaType, QStringLiteral("application/xhtml+xml"));
        QCOMPARE(durations.at(i).refines, QLatin1Char('#') + text.mediaOverlay);
        // The audio lives outside the package folder and is reached with "../".
        const ManifestItem audio = parser.manifestItem(QStringLiteral("audio%1").arg(i + 1));
        QCOMPARE(audio.href, QStringLiteral("Audio/chapter%1.mp3").arg(i + 1));
        const QByteArray mp3 = parser.itemData(audio.href);
        QVERIFY(mp3.size() > 1000);
        QVERIFY(mp3.startsWith("ID3") || (uchar(mp3.at(0)) == 0xFF && (uchar(mp3.at(1)) & 0xE0) == 0xE0));
    }
    QVERIFY(durations.at(3).refines.isEmpty());
}

QTEST_GUILESS_MAIN(EpubParserTest)
#include "epubparsertest.moc"
