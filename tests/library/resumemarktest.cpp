// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/resumemark.h"
#include "library/bookextras.h"
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
    void clear();
    void unwritableStoreIsInvalid();

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

QTEST_GUILESS_MAIN(ResumemarkTest)
#include "resumemarktest.moc"
