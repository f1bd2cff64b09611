// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/resumemark.h"
#include "library/bookextras.h"
#include "library/logcategory.h"
#include "library/markerfile.h"
#include "logcapture.h"
#include "testroot.h"

#include <QDir>
#include <QDomDocument>
#include <QRegularExpression>
#include <QTest>

#include <memory>

namespace {

const QString storeFile = QStringLiteral("/root/quimbo/resumemark.xml");
const QByteArray emptyStore = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<resumemarks/>\n";

ResumemarkData record(const QString &title, int smil, int nav, int clip, qint64 time)
{
    ResumemarkData data;
    data.title = title;
    data.smilListPos = smil;
    data.navListPos = nav;
    data.clipNodePos = clip;
    data.playerTime = time;
    return data;
}

// Each entry as "child=text" strings in file order.
QList<QStringList> entries(const QByteArray &content)
{
    QList<QStringList> result;
    QDomDocument document;
    if (!document.setContent(content))
        return { { QStringLiteral("not well-formed") } };
    for (QDomElement e = document.documentElement().firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
        QStringList children;
        for (QDomElement c = e.firstChildElement(); !c.isNull(); c = c.nextSiblingElement())
            children << c.tagName() + QLatin1Char('=') + c.text();
        result << children;
    }
    return result;
}

QString func(const char *signature, const char *text)
{
    return QLatin1String(signature) + QLatin1String(": ") + QLatin1String(text);
}

const char *const ctor = "Resumemark::Resumemark()";
const char *const writeSig = "bool Resumemark::write(ResumemarkData&)";
const char *const readSig = "bool Resumemark::read(ResumemarkData&)";
const char *const rootSig = "bool Resumemark::rootElement(MarkerXml::Node&)";

} // namespace

class ResumemarkTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void createsEmptyStore();
    void writeAppendsThenReplacesInPlace();
    void updateKeepsChildPositions();
    void readOneEntry_data();
    void readOneEntry();
    void nonAsciiTitlesRoundTrip_data();
    void nonAsciiTitlesRoundTrip();
    void clear();
    void unwritableStoreIsInvalid();
    void interruptedWriteKeepsOldFile();
    void truncatedFileKeepsCompleteEntries();
    void damagedFileIsKeptAside_data();
    void damagedFileIsKeptAside();
    void unreadableStoreRefusesWrite_data();
    void unreadableStoreRefusesWrite();
    void unstorableCharactersRoundTrip_data();
    void unstorableCharactersRoundTrip();

private:
    std::unique_ptr<TestRoot> m_root;
};

void ResumemarkTest::init()
{
    m_root = std::make_unique<TestRoot>();
    QVERIFY(m_root->isValid());
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    // These cases are about the place alone: with the time unknown none is stored beside it.
    BookClock::setClock([] { return qint64(0); });
}

void ResumemarkTest::cleanup()
{
    MarkerFile::setFaultHook({});
    MarkerFile::setReadFaultHook({});
    m_root.reset();
}

void ResumemarkTest::createsEmptyStore()
{
    QTest::ignoreMessage(QtDebugMsg, qPrintable(func(ctor, "file doesn't exists! Create new one!")));
    QTest::ignoreMessage(QtDebugMsg, qPrintable(func(ctor, "new file created!")));
    Resumemark store;
    QVERIFY(store.isValid());
    QCOMPARE(m_root->readFile(storeFile), emptyStore);

    // An existing store is left as it is.
    QVERIFY(m_root->writeFile(storeFile, "<resumemarks><resumemark/></resumemarks>"));
    Resumemark again;
    QVERIFY(again.isValid());
    QCOMPARE(m_root->readFile(storeFile), QByteArray("<resumemarks><resumemark/></resumemarks>"));
}

void ResumemarkTest::writeAppendsThenReplacesInPlace()
{
    Resumemark store;
    ResumemarkData first = record(QStringLiteral("4023413123"), 0, 3, 0, 61000);
    ResumemarkData second = record(QStringLiteral("Epub title"), 5, 0, 17, 4294967296000);
    QTest::ignoreMessage(QtDebugMsg, qPrintable(func(writeSig, "No existing resumemark found, create new for adding!")));
    QTest::ignoreMessage(QtDebugMsg, qPrintable(func(writeSig, "new nodes are added!")));
    QVERIFY(store.write(first));
    QVERIFY(store.write(second));

    first.navListPos = 9;
    first.playerTime = 123;
    QTest::ignoreMessage(QtDebugMsg, qPrintable(func(writeSig, "old nodes are replaced!")));
    QVERIFY(store.write(first));

    QCOMPARE(m_root->readFile(storeFile), QByteArray(R"(<?xml version="1.0" encoding="utf-8"?>
<resumemarks>
 <resumemark>
  <title>4023413123</title>
  <smilListPos>0</smilListPos>
  <navListPos>9</navListPos>
  <clipNodePos>0</clipNodePos>
  <playerTime>123</playerTime>
 </resumemark>
 <resumemark>
  <title>Epub title</title>
  <smilListPos>5</smilListPos>
  <navListPos>0</navListPos>
  <clipNodePos>17</clipNodePos>
  <playerTime>4294967296000</playerTime>
 </resumemark>
</resumemarks>
)"));

    ResumemarkData read;
    read.title = QStringLiteral("Epub title");
    QTest::ignoreMessage(QtDebugMsg,
        qPrintable(func("MarkerXml::Node* Resumemark::findResumemark(MarkerXml::Node&, const QString&, const QString&)", "book title is found.. return resumemark..")));
    QVERIFY(store.read(read));
    QCOMPARE(read.smilListPos, 5);
    QCOMPARE(read.clipNodePos, 17);
    QCOMPARE(read.playerTime, Q_INT64_C(4294967296000));
}

void ResumemarkTest::updateKeepsChildPositions()
{
    // Written by hand: numbers first, title last, one number missing.
    QVERIFY(m_root->writeFile(storeFile,
        "<?xml version=\"1.0\"?><resumemarks><resumemark><playerTime>5</playerTime>"
        "<clipNodePos>1</clipNodePos><smilListPos>2</smilListPos><title>Book</title>"
        "</resumemark></resumemarks>"));
    Resumemark store;
    ResumemarkData data = record(QStringLiteral("Book"), 7, 8, 9, 10);
    QVERIFY(store.write(data));

    const QList<QStringList> expected = { { QStringLiteral("playerTime=10"), QStringLiteral("clipNodePos=9"), QStringLiteral("smilListPos=7"),
        QStringLiteral("title=Book"), QStringLiteral("navListPos=8") } };
    QCOMPARE(entries(m_root->readFile(storeFile)), expected);
    ResumemarkData read;
    read.title = QStringLiteral("Book");
    QVERIFY(store.read(read));
    QCOMPARE(read.navListPos, 8);
    QCOMPARE(read.playerTime, 10);
}

void ResumemarkTest::readOneEntry_data()
{
    QTest::addColumn<QByteArray>("entry");
    QTest::addColumn<QString>("logged");
    QTest::addColumn<int>("smilListPos"); // -1: the entry is refused

    QTest::newRow("four children") << QByteArray("<title>Book</title><smilListPos>1</smilListPos><navListPos>2</navListPos>"
                                                 "<playerTime>4</playerTime>")
                                   << func(readSig, "wrong number of nodes available!") << -1;
    QTest::newRow("six children") << QByteArray("<title>Book</title><smilListPos>1</smilListPos><navListPos>2</navListPos>"
                                                "<clipNodePos>3</clipNodePos><playerTime>4</playerTime><extra/>")
                                  << func(readSig, "wrong number of nodes available!") << -1;
    QTest::newRow("misnamed child") << QByteArray("<title>Book</title><smilListPos>1</smilListPos><navListPos>2</navListPos>"
                                                  "<clipNodePos>3</clipNodePos><playerTim>4</playerTim>")
                                    << func(readSig, "playerTime is not found!") << -1;
    QTest::newRow("other title") << QByteArray("<title>Another</title><smilListPos>1</smilListPos><navListPos>2</navListPos>"
                                               "<clipNodePos>3</clipNodePos><playerTime>4</playerTime>")
                                 << func(readSig, "no resumemark found for Book") << -1;
    // A damaged number reads as zero; the rest of the entry still counts.
    QTest::newRow("not a number") << QByteArray("<title>Book</title><smilListPos>1</smilListPos><navListPos>two</navListPos>"
                                                "<clipNodePos>3</clipNodePos><playerTime>4</playerTime>")
                                  << func(readSig, "navListPos is not a number!") << 1;
    QTest::newRow("number too large") << QByteArray("<title>Book</title><smilListPos>99999999999</smilListPos><navListPos>0</navListPos>"
                                                    "<clipNodePos>3</clipNodePos><playerTime>4</playerTime>")
                                      << func(readSig, "smilListPos is not a number!") << 0;
}

void ResumemarkTest::readOneEntry()
{
    QFETCH(QByteArray, entry);
    QFETCH(QString, logged);
    QFETCH(int, smilListPos);

    QVERIFY(
        m_root->writeFile(storeFile, "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<resumemarks>\n <resumemark>" + entry + "</resumemark>\n</resumemarks>\n"));
    Resumemark store;
    ResumemarkData data;
    data.title = QStringLiteral("Book");
    QTest::ignoreMessage(logged.contains(QLatin1String("no resumemark")) ? QtDebugMsg : QtWarningMsg, qPrintable(logged));
    QCOMPARE(store.read(data), smilListPos >= 0);
    if (smilListPos < 0)
        return;
    QCOMPARE(data.smilListPos, smilListPos);
    QCOMPARE(data.navListPos, 0);
    QCOMPARE(data.clipNodePos, 3);
    QCOMPARE(data.playerTime, qint64(4));
}

void ResumemarkTest::nonAsciiTitlesRoundTrip_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("inFile");

    const auto byteForm = [](const QString &text) { return QString::fromLatin1(text.toUtf8()); };
    QTest::newRow("byte form, French") << byteForm(QStringLiteral("À la recherche du temps perdu")) << QStringLiteral("À la recherche du temps perdu");
    QTest::newRow("proper text, Japanese") << QStringLiteral("源氏物語") << QStringLiteral("源氏物語");
    QTest::newRow("proper text, Latin-1") << QStringLiteral("Grüß") << QStringLiteral("Grüß");
}

void ResumemarkTest::nonAsciiTitlesRoundTrip()
{
    QFETCH(QString, title);
    QFETCH(QString, inFile);

    Resumemark store;
    ResumemarkData neighbour = record(QStringLiteral("Gräß"), 1, 1, 1, 1);
    QVERIFY(store.write(neighbour));
    ResumemarkData data = record(title, 4, 5, 6, 7000);
    QVERIFY(store.write(data));

    const QByteArray content = m_root->readFile(storeFile);
    QVERIFY(content.contains(QByteArray("<title>" + inFile.toUtf8() + "</title>")));
    QCOMPARE(entries(content).size(), 2);

    ResumemarkData read;
    read.title = title;
    QVERIFY(store.read(read));
    QCOMPARE(read.navListPos, 5);
    QCOMPARE(read.playerTime, 7000);
    read.title = QStringLiteral("Gräß");
    QVERIFY(store.read(read));
    QCOMPARE(read.playerTime, 1);
}

void ResumemarkTest::clear()
{
    Resumemark store;
    ResumemarkData data = record(QStringLiteral("Book"), 1, 2, 3, 4);
    QVERIFY(store.write(data));
    QVERIFY(store.clear());
    QCOMPARE(m_root->readFile(storeFile), emptyStore);
    QTest::ignoreMessage(
        QtDebugMsg, qPrintable(func("MarkerXml::Node* Resumemark::findResumemark(MarkerXml::Node&, const QString&, const QString&)", "no resumemark items found!")));
    QVERIFY(!store.read(data));

    // A store that is gone has nothing to clear, and clearing does not create it.
    QVERIFY(QFile::remove(m_root->path(storeFile)));
    QTest::ignoreMessage(QtDebugMsg, qPrintable(func("bool Resumemark::clear()", "nothing to clear resumemark file doesn't exists!")));
    QVERIFY(!store.clear());
    QVERIFY(!m_root->exists(storeFile));
}

void ResumemarkTest::unwritableStoreIsInvalid()
{
    // The folder is gone (a damaged file system): the store cannot be created.
    QVERIFY(QDir(m_root->path(QStringLiteral("/root/quimbo"))).removeRecursively());
    QTest::ignoreMessage(QtWarningMsg, qPrintable(func(ctor, "Failed to open file for writing new xml!")));
    Resumemark store;
    QVERIFY(!store.isValid());
    ResumemarkData data = record(QStringLiteral("Book"), 1, 2, 3, 4);
    QVERIFY(!store.write(data));
    QVERIFY(!store.read(data));
    QVERIFY(!m_root->exists(storeFile));
}

void ResumemarkTest::interruptedWriteKeepsOldFile()
{
    // The save is shared with the resume markers, whose tests fail each of its stages: a write cut off half-way stands for them.
    Resumemark store;
    ResumemarkData data = record(QStringLiteral("Book"), 0, 3, 0, 1000);
    QVERIFY(store.write(data));
    const QByteArray old = m_root->readFile(storeFile);

    MarkerFile::setFaultHook([](MarkerFile::Stage s) { return s != MarkerFile::Stage::Write; });
    data.playerTime = 2000;
    QTest::ignoreMessage(QtWarningMsg, qPrintable(func(writeSig, "Failed to open file for writing new xml!")));
    QVERIFY(!store.write(data));
    QCOMPARE(m_root->readFile(storeFile), old);
    QCOMPARE(QDir(m_root->path(QStringLiteral("/root/quimbo"))).entryList(QDir::Files), QStringList { QStringLiteral("resumemark.xml") });

    ResumemarkData read;
    read.title = QStringLiteral("Book");
    QVERIFY(store.read(read));
    QCOMPARE(read.playerTime, 1000);

    MarkerFile::setFaultHook({});
    QVERIFY(store.write(data));
    QVERIFY(store.read(read));
    QCOMPARE(read.playerTime, 2000);
}

void ResumemarkTest::truncatedFileKeepsCompleteEntries()
{
    Resumemark store;
    const QStringList titles = { QStringLiteral("One"), QString::fromLatin1(QStringLiteral("Zwölf").toUtf8()), QStringLiteral("Three") };
    for (int i = 0; i < titles.size(); ++i) {
        ResumemarkData data = record(titles[i], i, i + 1, i, (i + 1) * 1000);
        QVERIFY(store.write(data));
    }
    const QByteArray whole = m_root->readFile(storeFile);
    QList<qsizetype> ends;
    for (qsizetype from = 0; (from = whole.indexOf("</resumemark>", from)) >= 0; from += 13)
        ends << from + 13;
    QCOMPARE(ends.size(), titles.size());

    for (qsizetype cut = 0; cut < whole.size(); ++cut) {
        const QByteArray truncated = whole.left(cut);
        QVERIFY(m_root->writeFile(storeFile, truncated));
        QFile::remove(m_root->path(storeFile) + QLatin1String(".broken"));
        LogCapture log(lcLibrary());
        for (int i = 0; i < titles.size(); ++i) {
            ResumemarkData read;
            read.title = titles[i];
            const bool expected = cut >= ends[i];
            if (store.read(read) != expected || (expected && read.playerTime != (i + 1) * 1000))
                QFAIL(qPrintable(QStringLiteral("cut at %1: entry %2 read wrongly").arg(cut).arg(i)));
        }
        QDomDocument parsed;
        const bool damaged = !parsed.setContent(truncated);
        QCOMPARE(m_root->exists(storeFile + QLatin1String(".broken")), damaged);
        if (damaged)
            QCOMPARE(m_root->readFile(storeFile + QLatin1String(".broken")), truncated);
        QCOMPARE(log.contains(QStringLiteral("error setting content dom")), damaged);

        ResumemarkData fresh = record(QStringLiteral("Four"), 4, 4, 4, 4);
        QVERIFY(store.write(fresh));
        int survivors = 0;
        for (qsizetype end : std::as_const(ends))
            survivors += cut >= end ? 1 : 0;
        QCOMPARE(entries(m_root->readFile(storeFile)).size(), survivors + 1);
        QCOMPARE(log.unexpectedWarnings({ QStringLiteral("error setting content dom"), QStringLiteral("damaged file") }), QStringList());
    }
}

void ResumemarkTest::damagedFileIsKeptAside_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("reason");

    QTest::newRow("zero bytes") << QByteArray() << QStringLiteral("error setting content dom");
    QTest::newRow("not xml") << QByteArray("PK\x03\x04 not xml at all") << QStringLiteral("error setting content dom");
    QTest::newRow("wrong root") << QByteArray("<quimbo_resumemarks><resumemark><title>Book</title></resumemark></quimbo_resumemarks>")
                                << QStringLiteral("unexpected root element quimbo_resumemarks");
}

void ResumemarkTest::damagedFileIsKeptAside()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);

    QVERIFY(m_root->writeFile(storeFile, content));
    Resumemark store;
    const QString copy = m_root->path(storeFile) + QLatin1String(".broken");
    const QRegularExpression damaged(QStringLiteral("^") + QRegularExpression::escape(QLatin1String(rootSig)) + QStringLiteral(": damaged file .*")
        + QRegularExpression::escape(reason.startsWith(QLatin1String("error")) ? QString() : reason) + QStringLiteral(".*: 0 entries kept, copy kept as ")
        + QRegularExpression::escape(copy) + QLatin1Char('$'));
    for (int i = 0; i < 2; ++i) { // the read, then the write
        if (reason.startsWith(QLatin1String("error")))
            QTest::ignoreMessage(QtWarningMsg, qPrintable(func(rootSig, "error setting content dom")));
        QTest::ignoreMessage(QtWarningMsg, damaged);
    }

    ResumemarkData data;
    data.title = QStringLiteral("Book");
    QVERIFY(!store.read(data));
    QCOMPARE(m_root->readFile(storeFile + QLatin1String(".broken")), content);

    data = record(QStringLiteral("Book"), 1, 2, 3, 4);
    QVERIFY(store.write(data));
    QCOMPARE(entries(m_root->readFile(storeFile)).size(), 1);
    QVERIFY(store.read(data));
    QCOMPARE(data.playerTime, 4);
}

void ResumemarkTest::unreadableStoreRefusesWrite_data()
{
    QTest::addColumn<QString>("cause");
    QTest::addColumn<QString>("logged");

    QTest::newRow("read error") << "io" << "file could not be opened!";
    QTest::newRow("beyond the size limit") << "size" << "bytes, more than";
    QTest::newRow("nested too deep") << "depth" << "nested deeper than";
}

void ResumemarkTest::unreadableStoreRefusesWrite()
{
    QFETCH(QString, cause);
    QFETCH(QString, logged);

    Resumemark store;
    ResumemarkData one = record(QStringLiteral("One"), 1, 1, 1, 1000);
    ResumemarkData two = record(QStringLiteral("Two"), 2, 2, 2, 2000);
    QVERIFY(store.write(one));
    QVERIFY(store.write(two));

    const QString path = m_root->path(storeFile);
    if (cause == QLatin1String("io")) {
        MarkerFile::setReadFaultHook([path](const QString &p) { return p != path; });
    } else if (cause == QLatin1String("size")) {
        QFile f(path);
        QVERIFY(f.resize(qint64(1) << 30)); // sparse
    } else {
        QByteArray content = m_root->readFile(storeFile);
        const qsizetype rootEnd = content.indexOf("<resumemarks>") + 13;
        content.insert(rootEnd, QByteArray("<x>").repeated(5000) + QByteArray("</x>").repeated(5000));
        QVERIFY(m_root->writeFile(storeFile, content));
    }
    auto fingerprint = [&path] {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QByteArray::number(f.size()) + f.read(64 * 1024) : QByteArray();
    };
    const QByteArray before = fingerprint();

    ResumemarkData three = record(QStringLiteral("Three"), 3, 3, 3, 3000);
    ResumemarkData back = record(QStringLiteral("One"), 0, 0, 0, 0);
    {
        LogCapture log(lcLibrary());
        QVERIFY(!store.write(three));
        QVERIFY(!store.read(back));
        QVERIFY2(log.contains(logged), qPrintable(log.text()));
        QVERIFY(log.contains(func(writeSig, "no root element available!")));
    }
    QCOMPARE(fingerprint(), before);

    if (cause == QLatin1String("io")) {
        MarkerFile::setReadFaultHook({});
        QVERIFY(store.write(three));
        QVERIFY(store.read(back));
        QCOMPARE(back.playerTime, 1000);
        QCOMPARE(entries(m_root->readFile(storeFile)).size(), 3);
    }
}

void ResumemarkTest::unstorableCharactersRoundTrip_data()
{
    QTest::addColumn<QString>("title");

    QTest::newRow("control characters") << QStringLiteral("Track\x01\x02\x1b[0m");
    QTest::newRow("unpaired surrogates") << QString(QChar(0xDC00) + QStringLiteral("mid") + QChar(0xD800));
    QTest::newRow("the escape character itself") << QString(QChar(0xE000) + QStringLiteral("0001"));
}

void ResumemarkTest::unstorableCharactersRoundTrip()
{
    QFETCH(QString, title);

    Resumemark store;
    ResumemarkData neighbour = record(QStringLiteral("Neighbour"), 1, 1, 1, 1);
    ResumemarkData data = record(title, 4, 5, 6, 7000);
    QVERIFY(store.write(neighbour));
    QVERIFY(store.write(data));
    QCOMPARE(entries(m_root->readFile(storeFile)).size(), 2); // well-formed, two entries

    ResumemarkData back = record(title, 0, 0, 0, 0);
    QVERIFY(store.read(back));
    QCOMPARE(back.navListPos, 5);
    QCOMPARE(back.playerTime, 7000);
    // Written again, the entry is found and updated, not doubled.
    data.playerTime = 8000;
    QVERIFY(store.write(data));
    QCOMPARE(entries(m_root->readFile(storeFile)).size(), 2);
}

QTEST_GUILESS_MAIN(ResumemarkTest)
#include "resumemarktest.moc"
