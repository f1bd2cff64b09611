// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// What the firmware prints or stores about a book must not depend on the word
// size it was built for: the board (32-bit ARM) and the simulator (x86-64)
// read each other's resume files, and a stick's medium identifier is looked up
// in files written by either. The same committed expectations are checked by
// the amd64 build and by the armhf build under emulation.
//
// The expectations were written by the amd64 build with
//   QUIMBO_WRITE_EXPECTED=1 build/tests/tools/portableoutputtest
#include "bookdump.h"
#include "formats/daisytalkingbook.h"
#include "formats/smilmediagroup.h"
#include "formats/medianode.h"
#include "library/lastplayedmarker.h"
#include "library/mediasource.h"
#include "library/resumemarker.h"
#include "library/resumemarkmanager.h"
#include "testroot.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QMap>
#include <QTest>

#include <memory>

namespace {

const QString kExpectedFile = QStringLiteral(QUIMBO_TEST_DATA "/portable/expected.txt");

// mediaId hashes the medium's file paths, so the files are shown to it below
// one fixed folder in both builds; the lock keeps two test runs (one per
// build) from rebuilding the folder under each other.
const QString kMediumFolder = QStringLiteral("/tmp/quimbo-portable-medium");

QString sha256(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QString bookPath(const QString &name)
{
    if (name.startsWith(QLatin1String("sample")))
        return TestData::generated(QStringLiteral("daisy/") + name);
    if (name.startsWith(QLatin1String("epub")))
        return TestData::sharedBook(name + QLatin1Char('/') + name + QStringLiteral(".epub"));
    return TestData::sharedBook(name);
}

// The book's files as the medium search lists them, each a link from the fixed folder.
MediaSource mediumOf(const QString &name, QString *error)
{
    QFileInfo book(bookPath(name));
    const QDir source(book.isDir() ? book.filePath() : book.path());
    QDir medium(kMediumFolder + QLatin1Char('/') + name);
    medium.removeRecursively();
    if (!QDir().mkpath(medium.path())) {
        *error = QStringLiteral("cannot make ") + medium.path();
        return {};
    }
    MediaSource result(QStringLiteral("/dev/sda1"));
    const QStringList files = source.entryList(QDir::Files, QDir::Name);
    for (const QString &file : files) {
        const QString link = medium.filePath(file);
        if (!QFile::link(source.filePath(file), link)) {
            *error = QStringLiteral("cannot link ") + link;
            return {};
        }
        result.addFileInfo(QFileInfo(link));
    }
    return result;
}

} // namespace

class PortableOutputTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void sameAsOtherWordSize_data();
    void sameAsOtherWordSize();

private:
    QString actual(const QString &book, const QString &kind, QString *error);

    std::unique_ptr<QLockFile> m_lock;
    QMap<QString, QString> m_expected;
    QMap<QString, QString> m_written;
    bool m_writing = false;
};

void PortableOutputTest::initTestCase()
{
    m_lock = std::make_unique<QLockFile>(kMediumFolder + QStringLiteral(".lock"));
    m_lock->setStaleLockTime(10 * 60 * 1000);
    QVERIFY2(m_lock->tryLock(5 * 60 * 1000), "another run holds the medium folder");
    // A resume file says when it was stored: the same moment on both builds.
    BookClock::setClock([] { return qint64(1'700'000'000'000); });

    m_writing = qEnvironmentVariableIsSet("QUIMBO_WRITE_EXPECTED");
    if (m_writing)
        return;
    QFile file(kExpectedFile);
    QVERIFY2(file.open(QIODevice::ReadOnly | QIODevice::Text), qPrintable(kExpectedFile));
    while (!file.atEnd()) {
        const QList<QByteArray> fields = file.readLine().trimmed().split(' ');
        if (fields.size() == 3)
            m_expected.insert(QString::fromUtf8(fields[0] + ' ' + fields[1]), QString::fromUtf8(fields[2]));
    }
    QVERIFY(!m_expected.isEmpty());
}

void PortableOutputTest::cleanupTestCase()
{
    QDir(kMediumFolder).removeRecursively();
    if (!m_writing)
        return;
    QFile file(kExpectedFile);
    QVERIFY(QDir().mkpath(QFileInfo(file).path()));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text));
    for (auto it = m_written.cbegin(); it != m_written.cend(); ++it)
        file.write(it.key().toUtf8() + ' ' + it.value().toUtf8() + '\n');
}

void PortableOutputTest::sameAsOtherWordSize_data()
{
    QTest::addColumn<QString>("book");
    QTest::addColumn<QString>("kind");

    QStringList books = QDir(TestData::sharedBook(QString())).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    QVERIFY(books.size() >= 9);
    books << QStringLiteral("sample202") << QStringLiteral("sample3");
    for (const QString &book : std::as_const(books)) {
        QStringList kinds{ QStringLiteral("inspect"), QStringLiteral("mediaId") };
        if (!book.startsWith(QLatin1String("epub")))
            kinds << QStringLiteral("resumemarker") << QStringLiteral("lastPlayed");
        for (const QString &kind : std::as_const(kinds))
            QTest::addRow("%s %s", qPrintable(book), qPrintable(kind)) << book << kind;
    }
}

void PortableOutputTest::sameAsOtherWordSize()
{
    QFETCH(QString, book);
    QFETCH(QString, kind);

    QString error;
    const QString value = actual(book, kind, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const QString key = book + QLatin1Char(' ') + kind;
    if (m_writing) {
        m_written.insert(key, value);
        QSKIP("expectation written");
    }
    QVERIFY2(m_expected.contains(key), qPrintable(QStringLiteral("no expectation for ") + key));
    QCOMPARE(value, m_expected.value(key));
}

QString PortableOutputTest::actual(const QString &book, const QString &kind, QString *error)
{
    if (kind == QLatin1String("inspect")) {
        QByteArray json;
        if (!BookDump::dumpBook(bookPath(book), BookDump::Options(), &json, error))
            return {};
        return sha256(json);
    }

    const MediaSource medium = mediumOf(book, error);
    if (!error->isEmpty())
        return {};
    if (kind == QLatin1String("mediaId"))
        return QString::number(medium.mediaId());

    // A mark at the end of the book's last section: the largest offset the
    // book gives, stored as the players store it.
    const std::unique_ptr<DaisyTalkingBook> daisy(DaisyTalkingBook::open(BookDump::findDaisyBookFile(bookPath(book)), error));
    if (!daisy)
        return {};
    const int last = daisy->spine().size() - 1;
    SmilMediaGroup *group = daisy->startReading(last);
    if (!group || group->numberOfAudioClips() == 0) {
        *error = QStringLiteral("no audio in the last section");
        return {};
    }
    const int clip = group->numberOfAudioClips() - 1;

    TestRoot root;
    if (kind == QLatin1String("resumemarker")) {
        QString identifier = daisy->metaData(QStringLiteral("dc:identifier"));
        if (identifier.isEmpty())
            identifier = daisy->metaData(QStringLiteral("dtb:uid"));
        ResumeMarker marker(daisy->metaData(QStringLiteral("dc:title")), identifier.trimmed());
        marker.setSpineIndex(last);
        marker.setClipIndex(clip);
        marker.setTimeOffset(group->audioClip(clip)->clipEnd());
        if (!ResumeMarkManager::saveResumeMarker(&marker)) {
            *error = QStringLiteral("resume marker not saved");
            return {};
        }
        return sha256(root.readFile(QStringLiteral("/root/quimbo/resumemarker.xml")));
    }

    const QString stick = QStringLiteral("/media/usb/lastPlayed.xml");
    if (!QDir().mkpath(root.path(QStringLiteral("/media/usb")))) {
        *error = QStringLiteral("cannot make the stick's folder");
        return {};
    }
    LastPlayedMarker marker;
    marker.setSource(medium.fileInfoList().constLast().fileName());
    marker.setMediaId(medium.mediaId());
    if (!ResumeMarkManager::saveLastPlayedMarker(stick, &marker)) {
        *error = QStringLiteral("last-played marker not saved");
        return {};
    }
    const std::unique_ptr<LastPlayedMarker> loaded(
        ResumeMarkManager::loadLastPlayedMarker(stick, QString::number(medium.mediaId())));
    if (!loaded || loaded->mediaId() != medium.mediaId()) {
        *error = QStringLiteral("the stored identifier does not read back");
        return {};
    }
    return sha256(root.readFile(stick));
}

QTEST_GUILESS_MAIN(PortableOutputTest)
#include "portableoutputtest.moc"
