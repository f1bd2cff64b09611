// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/zipreader.h"

#include "testroot.h"

#include <QBuffer>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTest>

#include <zlib.h>

namespace {

QString zipFixture(const QString &name)
{
    return TestData::generated(QStringLiteral("zip/") + name);
}

// The text that make-zip-fixtures.py puts into text.txt and deflated.txt.
QByteArray sameContent()
{
    QByteArray content;
    for (int i = 0; i < 2000; ++i)
        content += QByteArray("line ") + QByteArray::number(i).rightJustified(5, '0') + " of the same text, stored and deflated\n";
    return content;
}

quint32 crcOf(const QByteArray &data)
{
    return quint32(crc32(0, reinterpret_cast<const Bytef *>(data.constData()), uInt(data.size())));
}

QStringList names(const ZipReader &zip)
{
    QStringList result;
    const auto list = zip.fileInfoList();
    for (const auto &info : list)
        result.append(info.filePath);
    return result;
}

} // namespace

Q_DECLARE_METATYPE(ZipReader::EntryError)

class ZipReaderTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void storedAndDeflatedAreEqual_data();
    void storedAndDeflatedAreEqual();
    void findsArchiveComment();
    void leadingStubIsNotAZipFile();
    void decodesNames();
    void mapsMsDosAttributes();
    void refusesMalformedArchive_data();
    void refusesMalformedArchive();
    void streamsEntriesIntoFiles_data();
    void streamsEntriesIntoFiles();
    void tooLargeClaimYieldsRealBytes();
    void missingFileReportsOpenError();
    void readsRealBooks_data();
    void readsRealBooks();
};

void ZipReaderTest::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
}

void ZipReaderTest::storedAndDeflatedAreEqual_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("Info-ZIP stored") << "stored.zip";
    QTest::newRow("Info-ZIP deflated") << "deflated.zip";
}

void ZipReaderTest::storedAndDeflatedAreEqual()
{
    QFETCH(QString, file);
    ZipReader zip(zipFixture(file));
    QCOMPARE(zip.status(), ZipReader::NoError);
    QCOMPARE(zip.fileData(QStringLiteral("text.txt")), sameContent());
    QCOMPARE(zip.fileData(QStringLiteral("Folder/Sub/deep.txt")), QByteArray("deep\n"));
    zip.close();
    QVERIFY(!zip.device()->isOpen());
    // Names are case-sensitive.
    QCOMPARE(zip.fileData(QStringLiteral("Readme.TXT")), QByteArray("mixed case\n"));
    QVERIFY(zip.fileData(QStringLiteral("readme.txt")).isEmpty());

    const auto list = zip.fileInfoList();
    QCOMPARE(list.size(), zip.count());
    QCOMPARE(names(zip).filter(QStringLiteral("Folder/Sub/")), (QStringList{QStringLiteral("Folder/Sub/"), QStringLiteral("Folder/Sub/deep.txt")}));
    for (const auto &info : list) {
        const QByteArray data = zip.fileData(info.filePath);
        QCOMPARE(info.isDir, !info.isFile);
        QVERIFY(info.permissions & (info.isDir ? QFile::ExeOwner : QFile::ReadOwner));
        QCOMPARE(data.size(), info.isDir ? 0 : info.size);
        if (info.isFile)
            QCOMPARE(crcOf(data), info.crc32);
    }
}

void ZipReaderTest::findsArchiveComment()
{
    ZipReader zip(zipFixture(QStringLiteral("comment.zip")));
    QCOMPARE(names(zip), QStringList { QStringLiteral("a.txt") });
    QCOMPARE(zip.comment(), QByteArray(100, 'C'));
    QCOMPARE(zip.fileData(QStringLiteral("a.txt")), QByteArray("commented archive\n"));
}

void ZipReaderTest::leadingStubIsNotAZipFile()
{
    QTest::ignoreMessage(QtWarningMsg, "Zip: not a zip file!");
    ZipReader zip(zipFixture(QStringLiteral("stub.zip")));
    QCOMPARE(zip.status(), ZipReader::NoError);
    QVERIFY(zip.fileInfoList().isEmpty());
    QVERIFY(zip.fileData(QStringLiteral("text.txt")).isEmpty());
}

void ZipReaderTest::decodesNames()
{
    ZipReader zip(zipFixture(QStringLiteral("names.zip")));
    const QString utf8 = QStringLiteral("caf\u00e9-utf8.txt");
    const QString latin1 = QStringLiteral("caf\u00e9-latin1.txt");
    const QString unflagged = QStringLiteral("Kapitel_\u00fc.mp3");
    QCOMPARE(names(zip), (QStringList { utf8, latin1, unflagged }));
    QCOMPARE(zip.fileData(utf8), QByteArray("utf8 name\n"));
    QCOMPARE(zip.fileData(latin1), QByteArray("latin1 name\n"));
    QCOMPARE(zip.fileData(unflagged), QByteArray("unflagged utf8 name\n"));
}

void ZipReaderTest::mapsMsDosAttributes()
{
    QTest::ignoreMessage(QtWarningMsg, "Zip: Zip entry format at 3 is not supported.");
    ZipReader zip(zipFixture(QStringLiteral("dos.zip")));
    const auto list = zip.fileInfoList();
    QCOMPARE(list.size(), 4);

    QVERIFY(list.at(0).isDir);
    QVERIFY(list.at(0).permissions & QFile::ExeOther);
    QVERIFY(list.at(0).permissions & QFile::WriteOwner);

    QVERIFY(list.at(1).isFile);
    QVERIFY(list.at(1).permissions & QFile::ReadOther);
    QVERIFY(!(list.at(1).permissions & QFile::WriteOwner));
    QCOMPARE(list.at(1).lastModified, QDateTime(QDate(2020, 3, 6), QTime(11, 11, 52)));

    QVERIFY(list.at(2).isFile);
    QVERIFY(list.at(2).permissions & QFile::WriteOther);
    QVERIFY(!(list.at(2).permissions & QFile::ExeOwner));

    QVERIFY(!list.at(3).isValid());
    QCOMPARE(list.at(3).permissions, QFile::Permissions());
    QCOMPARE(zip.fileData(QStringLiteral("amiga.txt")), QByteArray("other host\n"));
}

void ZipReaderTest::refusesMalformedArchive_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("logged");
    QTest::addColumn<int>("entries");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<ZipReader::EntryError>("error");

    const auto corrupt = ZipReader::CorruptEntry;
    const auto unsupported = ZipReader::UnsupportedEntry;
    QTest::newRow("truncated central directory") << "truncated-cd.zip"
                                                 << "Zip: EndOfDirectory not found" << 0 << "deflated.txt" << ZipReader::NoSuchEntry;
    QTest::newRow("end record points outside") << "eod-outside.zip"
                                               << "Zip: Failed to read complete header" << 0 << "deflated.txt" << ZipReader::NoSuchEntry;
    QTest::newRow("more entries than the directory holds") << "too-many-entries.zip"
                                                           << "Zip: Failed to read complete header" << 2 << "" << ZipReader::NoEntryError;
    QTest::newRow("corrupted deflate stream") << "corrupt-deflate.zip"
                                              << "Zip: Z_DATA_ERROR: Input data is corrupted" << 2 << "deflated.txt" << corrupt;
    QTest::newRow("deflate stream ends early") << "truncated-data.zip"
                                               << "Zip: Z_DATA_ERROR: Input data is corrupted" << 2 << "deflated.txt" << corrupt;
    QTest::newRow("entry larger than the file") << "size-beyond-end.zip"
                                                << "beyond the end of the archive" << 2 << "deflated.txt" << corrupt;
    QTest::newRow("local header outside") << "local-outside.zip"
                                          << "Zip: no local header for entry" << 2 << "deflated.txt" << corrupt;
    QTest::newRow("needs version 4.5") << "version-45.zip"
                                       << "Zip: .ZIP specification version 45 implementationis needed to extract the data." << 2 << "deflated.txt"
                                       << unsupported;
    QTest::newRow("encrypted") << "encrypted.zip"
                               << "Zip: Unsupported encryption method is needed to extract the data." << 2 << "deflated.txt" << unsupported;
    QTest::newRow("unknown method") << "method-12.zip"
                                    << "Zip: Unsupported compression method 12 is needed to extract the data." << 2 << "deflated.txt" << unsupported;
    QTest::newRow("300 MB of zeros") << "bomb.zip"
                                     << "Zip: entry \"zeros.bin\" inflates to more than 268435456 bytes, refused" << 1 << "zeros.bin"
                                     << ZipReader::EntryTooLarge;
    QTest::newRow("deflated bytes differ from their CRC-32") << "crc-deflated.zip"
                                                             << "Zip: entry \"deflated.txt\" fails its CRC-32 check" << 2 << "deflated.txt"
                                                             << ZipReader::CrcMismatch;
}

void ZipReaderTest::refusesMalformedArchive()
{
    QFETCH(QString, file);
    QFETCH(QString, logged);
    QFETCH(int, entries);
    QFETCH(QString, entry);
    QFETCH(ZipReader::EntryError, error);

    const QRegularExpression warning(QRegularExpression::escape(logged));
    QTest::ignoreMessage(QtWarningMsg, warning);
    ZipReader zip(zipFixture(file));
    QCOMPARE(zip.status(), ZipReader::NoError);
    QCOMPARE(zip.count(), entries);
    if (entries == 0)
        QVERIFY(!zip.errorString().isEmpty());
    if (!entry.isEmpty()) {
        QVERIFY(zip.fileData(entry).isEmpty());
        QCOMPARE(zip.entryError(), error);
        QVERIFY(zip.errorString().contains(entry) || entries == 0);

        // Streaming refuses the same entry for the same reason.
        if (entries > 0)
            QTest::ignoreMessage(QtWarningMsg, warning);
        QFile sink(QStringLiteral("/dev/null"));
        QVERIFY(sink.open(QIODevice::WriteOnly));
        QVERIFY(!zip.writeEntry(entry, &sink));
        QCOMPARE(zip.entryError(), error);
    }
    // What was readable stays readable.
    if (entries == 2) {
        QCOMPARE(zip.fileData(QStringLiteral("stored.txt")), QByteArray("stored entry\n"));
        QCOMPARE(zip.entryError(), ZipReader::NoEntryError);
        QCOMPARE(zip.errorString(), QString());
    }
}

void ZipReaderTest::streamsEntriesIntoFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<ZipReader::EntryError>("error");

    QTest::newRow("stored") << "stored.zip" << "text.txt" << sameContent() << ZipReader::NoEntryError;
    QTest::newRow("deflated") << "deflated.zip" << "text.txt" << sameContent() << ZipReader::NoEntryError;
    QTest::newRow("claims 4 GB") << "claims-4gb.zip" << "deflated.txt" << sameContent() << ZipReader::NoEntryError;
    QTest::newRow("no such entry") << "deflated.zip" << "TEXT.TXT" << QByteArray() << ZipReader::NoSuchEntry;
    QTest::newRow("stored bytes differ from their CRC-32") << "crc-stored.zip" << "stored.txt" << QByteArray("stored entry\n") << ZipReader::CrcMismatch;
}

void ZipReaderTest::streamsEntriesIntoFiles()
{
    QFETCH(QString, file);
    QFETCH(QString, entry);
    QFETCH(QByteArray, expected);
    QFETCH(ZipReader::EntryError, error);

    const bool ok = error == ZipReader::NoEntryError;
    ZipReader zip(zipFixture(file));
    QTemporaryFile out;
    QVERIFY(out.open());
    if (error == ZipReader::CrcMismatch)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("fails its CRC-32 check")));
    QCOMPARE(zip.writeEntry(entry, &out), ok);
    QCOMPARE(zip.entryError(), error);
    QCOMPARE(zip.errorString().isEmpty(), ok);
    out.close();
    QVERIFY(out.open());
    // A refused entry may leave a part behind: the caller throws that file away.
    if (ok)
        QCOMPARE(out.readAll(), expected);
    else
        QVERIFY(expected.startsWith(out.readAll()));
}

void ZipReaderTest::tooLargeClaimYieldsRealBytes()
{
    ZipReader zip(zipFixture(QStringLiteral("claims-4gb.zip")));
    QCOMPARE(zip.entryInfoAt(1).size, qint64(0xFFFFFFFFLL));
    QCOMPARE(zip.fileData(QStringLiteral("deflated.txt")), sameContent());
}

void ZipReaderTest::missingFileReportsOpenError()
{
    ZipReader zip(QStringLiteral("/nonexistent/book.epub"));
    QCOMPARE(zip.status(), ZipReader::FileOpenError);
    QVERIFY(!zip.exists());
    QVERIFY(zip.fileInfoList().isEmpty());
}

void ZipReaderTest::readsRealBooks_data()
{
    QTest::addColumn<QString>("book");
    QTest::addColumn<int>("entries");
    QTest::newRow("w3c mol-navigation") << "epub3mo-w3c-mol-navigation/epub3mo-w3c-mol-navigation.epub" << 11;
    QTest::newRow("minimal mock audio") << "epub3mo-minimal-mockaudio/epub3mo-minimal-mockaudio.epub" << 12;
}

void ZipReaderTest::readsRealBooks()
{
    QFETCH(QString, book);
    ZipReader zip(TestData::sharedBook(book));
    QCOMPARE(zip.status(), ZipReader::NoError);
    const auto list = zip.fileInfoList();
    QTEST(int(list.size()), "entries");
    QCOMPARE(list.first().filePath, QStringLiteral("mimetype"));
    for (const auto &info : list) {
        const QByteArray data = zip.fileData(info.filePath);
        QCOMPARE(data.size(), info.size);
        QCOMPARE(crcOf(data), info.crc32);
        QBuffer streamed;
        QVERIFY(streamed.open(QIODevice::WriteOnly));
        QVERIFY(zip.writeEntry(info.filePath, &streamed));
        QCOMPARE(streamed.data(), data);
    }
}

QTEST_GUILESS_MAIN(ZipReaderTest)
#include "zipreadertest.moc"
