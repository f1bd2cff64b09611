// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/bookcollection.h"
#include "library/bookfinder.h"
#include "testmedium.h"
#include "testroot.h"

#include <QTest>

#include <memory>

namespace {

// "daisy:<file>", "mp3:<folder>", "epub:<file>", each path relative to the medium,
// followed by "#<number>" for the books the collection numbers.
QStringList describe(const QList<AudioBook> &books, const TestMedium &medium)
{
    const QString prefix = medium.hostPath() + QLatin1Char('/');
    QStringList result;
    BookCollection collection;
    for (AudioBook book : books) {
        collection.addAudioBook(book);
        QString kind;
        switch (book.mimeType()) {
        case AudioBook::Daisy:
            kind = QStringLiteral("daisy");
            break;
        case AudioBook::DigitalAudio:
            kind = QStringLiteral("mp3");
            break;
        case AudioBook::Epub:
            kind = QStringLiteral("epub");
            break;
        case AudioBook::Text:
            // Its title is spoken, ready for the shelf, by the voice that reads it.
            kind = book.titleFilename().endsWith(QLatin1String(".wav")) && QFileInfo(book.titleFilename()).size() > 44 ? QStringLiteral("text")
                                                                                                                       : QStringLiteral("text without title");
            break;
        default:
            kind = QStringLiteral("other");
            break;
        }
        QString url = book.url();
        if (url.startsWith(prefix))
            url = url.mid(prefix.size());
        QString line = kind + QLatin1Char(':') + url;
        if (book.mimeType() != AudioBook::Daisy)
            line += QLatin1Char('#') + QString::number(book.number());
        result << line;
    }
    return result;
}

} // namespace

class BookFinderTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void findsBooksOnTree_data();
    void findsBooksOnTree();

private:
    std::unique_ptr<TestRoot> m_root;
};

void BookFinderTest::init()
{
    m_root = std::make_unique<TestRoot>();
    QVERIFY(m_root->isValid());
}

void BookFinderTest::cleanup()
{
    m_root.reset();
}

void BookFinderTest::findsBooksOnTree_data()
{
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QStringList>("books");

    QStringList forty;
    for (int i = 1; i <= 40; ++i)
        forty << QStringLiteral("mp3:Album/track%1.mp3").arg(i, 2, 10, QLatin1Char('0'));

    QTest::newRow("DAISY book whose folder holds MP3 files") << QStringList{"d202:Book"} << QStringList{"daisy:Book/ncc.html"};
    QTest::newRow("DAISY 3 book") << QStringList{"d3:Daisy three"} << QStringList{"daisy:Daisy three/06-speechgen.opf"};
    QTest::newRow("Book claims Book 2") << QStringList{"d202:Book", "mp3:Book 2/01.mp3"} << QStringList{"daisy:Book/ncc.html"};
    QTest::newRow("Book 2 does not claim Book") << QStringList{"d202:Book 2", "mp3:Book/01.mp3"} << QStringList{"daisy:Book 2/ncc.html", "mp3:Book#1"};
    QTest::newRow("40 MP3 files in one folder") << forty << QStringList{"mp3:Album#1"};
    QTest::newRow("two MP3 folders") << QStringList{"mp3:A/01.mp3", "mp3:A/02.mp3", "mp3:B/01.mp3"} << QStringList{"mp3:A#1", "mp3:B#2"};
    QTest::newRow("folder below an MP3 folder") << QStringList{"mp3:Album/01.mp3", "mp3:Album/CD2/01.mp3"} << QStringList{"mp3:Album#1"};
    QTest::newRow("EPUB files") << QStringList{"epub:one.epub", "epub:two/two.EPUB"} << QStringList{"epub:one.epub#1", "epub:two/two.EPUB#2"};
    QTest::newRow("EPUB beside MP3 files is claimed with them") << QStringList{"mp3:Mixed/01.mp3", "epub:Mixed/z.epub"} << QStringList{"mp3:Mixed#1"};
    QTest::newRow("DAISY first, then the others in file order")
        << QStringList{"mp3:A music/01.mp3", "epub:B.epub", "d202:C daisy"} << QStringList{"daisy:C daisy/ncc.html", "mp3:A music#1", "epub:B.epub#2"};
    QTest::newRow("books without recorded audio are read aloud")
        << QStringList{"d3text:Plain three", "text:plain.epub", "epub:narrated.epub"}
        << QStringList{"text:Plain three/book.opf#1", "epub:narrated.epub#2", "text:plain.epub#3"};
    QTest::newRow("a false ncc.html leaves its MP3 folder to the others")
        << QStringList{"junk:Fake/ncc.html", "mp3:Fake/01.mp3"} << QStringList{"mp3:Fake#1"};
    QTest::newRow("names with blanks, quotes, #, %, ?, accents, leading dash")
        << QStringList{"d202:-Bücher #1 \"Don't\" 100% ?", "mp3:-Hörbuch #2 'x' 50%?/01.mp3"}
        << QStringList{"daisy:-Bücher #1 \"Don't\" 100% ?/ncc.html", "mp3:-Hörbuch #2 'x' 50%?#1"};
}

void BookFinderTest::findsBooksOnTree()
{
    QFETCH(QStringList, tree);

    TestMedium medium(*m_root, QStringLiteral("/media/usb"), MediaSource::MediaTypeUsb);
    QVERIFY(medium.addAll(tree));
    const MediaSource source = medium.source(QStringLiteral("/dev/sda1"));

    const QList<AudioBook> found = BookFinder::findAudioBooks(source);
    QTEST(describe(found, medium), "books");
    for (const AudioBook &book : found) {
        QCOMPARE(book.mediaType(), int(MediaSource::MediaTypeUsb));
        QVERIFY(QFileInfo::exists(book.url()));
    }
}

QTEST_GUILESS_MAIN(BookFinderTest)
#include "bookfindertest.moc"
