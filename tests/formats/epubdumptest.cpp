// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "bookdump.h"

#include "testroot.h"

#include <QRegularExpression>
#include <QTest>

class EpubDumpTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void matchesGoldenFile_data();
    void matchesGoldenFile();
    void refusesNonEpub();
};

void EpubDumpTest::matchesGoldenFile_data()
{
    QTest::addColumn<QString>("book");
    QTest::newRow("w3c mol-navigation") << "epub3mo-w3c-mol-navigation";
    QTest::newRow("minimal mock audio") << "epub3mo-minimal-mockaudio";
}

void EpubDumpTest::matchesGoldenFile()
{
    QFETCH(QString, book);
    BookDump::Options options;
    options.walk = true;
    QByteArray json;
    QString error;
    QVERIFY2(BookDump::dumpBook(TestData::sharedBook(book + QLatin1Char('/') + book + QStringLiteral(".epub")), options, &json, &error), qPrintable(error));

    QFile golden(TestData::path(QStringLiteral("epub/") + book + QStringLiteral(".walk.expected")));
    QVERIFY2(golden.open(QIODevice::ReadOnly), QByteArray("golden file missing; the dump is:\n" + json).constData());
    QCOMPARE(QString::fromUtf8(json), QString::fromUtf8(golden.readAll()));
}

void EpubDumpTest::refusesNonEpub()
{
    QByteArray json;
    QString error;
    QTest::ignoreMessage(QtWarningMsg, "Zip: not a zip file!");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Wrong mimetype")));
    QVERIFY(!BookDump::dumpBook(TestData::generated(QStringLiteral("epub/not-zip.epub")), {}, &json, &error));
    QVERIFY(json.isEmpty());
    // The tool says why, not only that it failed.
    QVERIFY2(error.endsWith(QLatin1String("cannot open EPUB 3 book ") + TestData::generated(QStringLiteral("epub/not-zip.epub")) + QLatin1String(": not a ZIP archive")),
             qPrintable(error));
}

QTEST_GUILESS_MAIN(EpubDumpTest)
#include "epubdumptest.moc"
