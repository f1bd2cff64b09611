// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/resumemarkmanager.h"
#include "library/bookextras.h"
#include "library/logcategory.h"
#include "library/lastplayedmarker.h"
#include "library/resumemarker.h"
#include "logcapture.h"
#include "testroot.h"

#include <QDir>
#include <QRegularExpression>
#include <QTest>
#include <QXmlStreamReader>

#include <memory>

#include <sys/stat.h>

namespace {

const QString markerFile = QStringLiteral("/root/quimbo/resumemarker.xml");
const QString stickFile = QStringLiteral("/media/usb/lastPlayed.xml");
const QString cdFile = QStringLiteral("/root/quimbo/lastPlayed.xml");

struct Mark
{
    QString title;
    qint64 timeOffset;
    int spineIndex;
    int clipIndex;
};

bool save(const Mark &mark)
{
    ResumeMarker marker(mark.title);
    marker.setTimeOffset(mark.timeOffset);
    marker.setSpineIndex(mark.spineIndex);
    marker.setClipIndex(mark.clipIndex);
    return ResumeMarkManager::saveResumeMarker(&marker);
}

Mark load(const QString &title)
{
    const std::unique_ptr<ResumeMarker> marker(ResumeMarkManager::loadResumeMarker(title));
    if (!marker)
        return { QStringLiteral("<null>"), -1, -1, -1 };
    return { marker->title(), marker->timeOffset(), marker->spineIndex(), marker->clipIndex() };
}

bool saveLastPlayed(const QString &path, const QString &source, quint64 mediaId, bool single)
{
    LastPlayedMarker marker;
    marker.setSource(source);
    marker.setMediaId(mediaId);
    marker.setSingle(single);
    return ResumeMarkManager::saveLastPlayedMarker(path, &marker);
}

// The elements of one kind in a marker file, as "name=value ..." in file order.
QStringList elements(const QByteArray &content, const QString &name)
{
    QStringList result;
    QXmlStreamReader xml(content);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != name)
            continue;
        QStringList attributes;
        for (const QXmlStreamAttribute &a : xml.attributes())
            attributes << a.name() + QLatin1Char('=') + a.value();
        result << attributes.join(QLatin1Char(' '));
    }
    if (xml.hasError())
        result << QStringLiteral("error: ") + xml.errorString();
    return result;
}

} // namespace

class ResumeMarkManagerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void saveAppendsThenUpdatesInPlace();
    void unknownTitleLoadsAtStart_data();
    void unknownTitleLoadsAtStart();
    void attributesReadLeniently_data();
    void attributesReadLeniently();
    void stickFileHoldsOneMarker();
    void cdFileKeepsOneMarkerPerMedium();
    void loadLastPlayedMarker_data();
    void loadLastPlayedMarker();
    void hostileLastPlayedFileReadsAsAbsent_data();
    void hostileLastPlayedFileReadsAsAbsent();
    void linkOnStickNeverWritesThrough();

private:
    std::unique_ptr<TestRoot> m_root;
};

void ResumeMarkManagerTest::init()
{
    m_root = std::make_unique<TestRoot>();
    QVERIFY(m_root->isValid());
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    // These cases are about the place alone: with the time unknown none is stored beside it.
    BookClock::setClock([] { return qint64(0); });
}

void ResumeMarkManagerTest::cleanup()
{
    m_root.reset();
}

void ResumeMarkManagerTest::saveAppendsThenUpdatesInPlace()
{
    QTest::ignoreMessage(QtDebugMsg, "---- RESUMEMARK SAVED ----");
    QTest::ignoreMessage(QtDebugMsg, "Title     : First book");
    QTest::ignoreMessage(QtDebugMsg, "TimeOffset: 1500");
    QTest::ignoreMessage(QtDebugMsg, "SpineIndex: 2");
    QTest::ignoreMessage(QtDebugMsg, "ClipIndex : 3");
    QVERIFY(save({ QStringLiteral("First book"), 1500, 2, 3 }));
    QVERIFY(save({ QStringLiteral("Second book"), 7, 0, 1 }));
    QCOMPARE(elements(m_root->readFile(markerFile), QStringLiteral("resumemark")).size(), 2);

    QVERIFY(save({ QStringLiteral("First book"), 99000, 12, 4 }));
    const QByteArray content = m_root->readFile(markerFile);
    QCOMPARE(elements(content, QStringLiteral("resumemark")),
        QStringList({ QStringLiteral("title=First book timeOffset=99000 spineIndex=12 clipIndex=4"),
            QStringLiteral("title=Second book timeOffset=7 spineIndex=0 clipIndex=1") }));
    QVERIFY(content.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<quimbo_resumemarks>\n    <resumemark title=\"First book\""));

    const Mark first = load(QStringLiteral("First book"));
    QCOMPARE(first.timeOffset, 99000);
    QCOMPARE(first.spineIndex, 12);
    QCOMPARE(first.clipIndex, 4);
}

void ResumeMarkManagerTest::unknownTitleLoadsAtStart_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: no file at all

    QTest::newRow("no file") << QByteArray();
    QTest::newRow("other titles only") << QByteArray("<?xml version=\"1.0\"?><quimbo_resumemarks><resumemark title=\"Other\" timeOffset=\"5\" "
                                                     "spineIndex=\"1\" clipIndex=\"1\"/></quimbo_resumemarks>");
    QTest::newRow("empty document") << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    QTest::newRow("last-played file") << QByteArray("<quimbo_lastplayed><lastplayed source=\"/x\" mediaId=\"1\" single=\"true\"/></quimbo_lastplayed>");
}

void ResumeMarkManagerTest::unknownTitleLoadsAtStart()
{
    QFETCH(QByteArray, content);
    if (content.isEmpty())
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^\\[ResumeMarkManager::readXml\\] failed to open: .*resumemarker.xml$")));
    else
        QVERIFY(m_root->writeFile(markerFile, content));

    const Mark mark = load(QStringLiteral("Unknown book"));
    QCOMPARE(mark.title, QStringLiteral("Unknown book"));
    QCOMPARE(mark.timeOffset, 0);
    QCOMPARE(mark.spineIndex, 0);
    QCOMPARE(mark.clipIndex, 0);
    QVERIFY(!m_root->exists(markerFile + QLatin1String(".broken")));
}

void ResumeMarkManagerTest::attributesReadLeniently_data()
{
    QTest::addColumn<QByteArray>("element");
    QTest::addColumn<qint64>("timeOffset");
    QTest::addColumn<int>("spineIndex");
    QTest::addColumn<int>("clipIndex");

    QTest::newRow("all present") << QByteArray(R"(title="B" timeOffset="4294967296123" spineIndex="7" clipIndex="2")") << Q_INT64_C(4294967296123) << 7 << 2;
    QTest::newRow("no timeOffset") << QByteArray(R"(title="B" spineIndex="7" clipIndex="2")") << Q_INT64_C(0) << 7 << 2;
    QTest::newRow("empty numbers") << QByteArray(R"(title="B" timeOffset="" spineIndex="" clipIndex="")") << Q_INT64_C(0) << 0 << 0;
    QTest::newRow("title only") << QByteArray(R"(title="B")") << Q_INT64_C(0) << 0 << 0;
}

void ResumeMarkManagerTest::attributesReadLeniently()
{
    QFETCH(QByteArray, element);
    QFETCH(qint64, timeOffset);
    QFETCH(int, spineIndex);
    QFETCH(int, clipIndex);

    // A marker without a title is dropped with a line; the rest of the file still counts.
    QVERIFY(m_root->writeFile(
        markerFile, "<?xml version=\"1.0\"?>\n<quimbo_resumemarks>\n<resumemark timeOffset=\"9\"/>\n<resumemark " + element + "/>\n</quimbo_resumemarks>\n"));
    QTest::ignoreMessage(QtWarningMsg, "[ResumeMarkManager::processResumeMark] invalid <resumemark> no title attribute");

    const Mark mark = load(QStringLiteral("B"));
    QCOMPARE(mark.timeOffset, timeOffset);
    QCOMPARE(mark.spineIndex, spineIndex);
    QCOMPARE(mark.clipIndex, clipIndex);
}

void ResumeMarkManagerTest::stickFileHoldsOneMarker()
{
    QVERIFY(m_root->writeFile(stickFile,
        "<quimbo_lastplayed><lastplayed source=\"/media/usb/a\" mediaId=\"1\" single=\"false\"/>"
        "<lastplayed source=\"/media/usb/b\" mediaId=\"2\" single=\"false\"/></quimbo_lastplayed>"));
    const QByteArray before = m_root->readFile(stickFile);
    QTest::ignoreMessage(QtWarningMsg, "[ResumeMarkManager::saveLastPlayedMarker] invalid last player marker");
    QVERIFY(!ResumeMarkManager::saveLastPlayedMarker(stickFile, nullptr));
    QCOMPARE(m_root->readFile(stickFile), before);
    QTest::ignoreMessage(QtDebugMsg, "---- LASTPLAYEDMARK SAVED ----");
    QTest::ignoreMessage(QtDebugMsg, "Source : /media/usb/Books/Moby Dick");
    QTest::ignoreMessage(QtDebugMsg, "MediaId: 18446744073709551615");
    QTest::ignoreMessage(QtDebugMsg, "Single : true");
    QVERIFY(saveLastPlayed(stickFile, QStringLiteral("/media/usb/Books/Moby Dick"), Q_UINT64_C(18446744073709551615), true));
    QVERIFY(saveLastPlayed(stickFile, QStringLiteral("/media/usb/Books/Ulysses"), 77, true));

    const QByteArray content = m_root->readFile(stickFile);
    QCOMPARE(elements(content, QStringLiteral("lastplayed")), QStringList { QStringLiteral("source=/media/usb/Books/Ulysses mediaId=77 single=true") });
    QVERIFY(content.contains("<quimbo_lastplayed>\n    <lastplayed "));
}

void ResumeMarkManagerTest::cdFileKeepsOneMarkerPerMedium()
{
    // The device path and the path below the root name the same file.
    QVERIFY(saveLastPlayed(cdFile, QStringLiteral("cdda://disc-a/1"), 1001, false));
    QVERIFY(saveLastPlayed(m_root->path(cdFile), QStringLiteral("cdda://disc-b/1"), 1002, false));
    QVERIFY(saveLastPlayed(cdFile, QStringLiteral("cdda://disc-a/7"), 1001, false));
    QVERIFY(saveLastPlayed(cdFile, QStringLiteral("cdda://disc-c/2"), 1003, false));

    QCOMPARE(elements(m_root->readFile(cdFile), QStringLiteral("lastplayed")),
        QStringList({ QStringLiteral("source=cdda://disc-a/7 mediaId=1001 single=false"), QStringLiteral("source=cdda://disc-b/1 mediaId=1002 single=false"),
            QStringLiteral("source=cdda://disc-c/2 mediaId=1003 single=false") }));
}

void ResumeMarkManagerTest::loadLastPlayedMarker_data()
{
    QTest::addColumn<QString>("mediaId");
    QTest::addColumn<QString>("source"); // empty: no marker

    QTest::newRow("empty id takes the first") << QString() << QStringLiteral("/b/first");
    QTest::newRow("matching id") << QStringLiteral("30") << QStringLiteral("/b/third");
    QTest::newRow("largest id") << QStringLiteral("18446744073709551615") << QStringLiteral("/b/max");
    QTest::newRow("unknown id") << QStringLiteral("31") << QString();
}

void ResumeMarkManagerTest::loadLastPlayedMarker()
{
    QFETCH(QString, mediaId);
    QFETCH(QString, source);

    QVERIFY(m_root->writeFile(cdFile, R"(<?xml version="1.0" encoding="UTF-8"?>
<quimbo_lastplayed>
    <lastplayed source="/b/broken" mediaId="30"/>
    <lastplayed source="/b/first" mediaId="10" single="true"/>
    <lastplayed source="/b/second" mediaId="20" single="false"/>
    <lastplayed source="/b/third" mediaId="30" single="false"/>
    <lastplayed source="/b/max" mediaId="18446744073709551615" single="yes"/>
</quimbo_lastplayed>
)"));
    QTest::ignoreMessage(QtWarningMsg, "[ResumeMarkManager::processLastPlayedMark] invalud <lastplayed> no source or media attributes");

    const std::unique_ptr<LastPlayedMarker> marker(ResumeMarkManager::loadLastPlayedMarker(cdFile, mediaId));
    if (source.isEmpty()) {
        QVERIFY(!marker);
        return;
    }
    QVERIFY(marker);
    QCOMPARE(marker->source(), source);
    if (source == QLatin1String("/b/max")) {
        QCOMPARE(marker->mediaId(), Q_UINT64_C(18446744073709551615));
        QCOMPARE(marker->single(), false); // only the exact text "true" counts
    }
    if (source == QLatin1String("/b/first"))
        QCOMPARE(marker->single(), true);
}

namespace {

QByteArray nested(int depth, const QByteArray &inner)
{
    return "<quimbo_lastplayed>" + QByteArray("<x>").repeated(depth) + inner + QByteArray("</x>").repeated(depth) + "</quimbo_lastplayed>";
}

const QByteArray goodMarker = "<lastplayed source=\"/media/usb/Book\" mediaId=\"7\" single=\"true\"/>";

// Makes the file at path hostile in one of the ways a stick's file can be.
bool makeHostile(const TestRoot &root, const QString &file, const QString &kind)
{
    const QString path = root.path(file);
    QFile::remove(path);
    if (kind == QLatin1String("directory"))
        return QDir().mkpath(path);
    if (kind == QLatin1String("fifo"))
        return QDir().mkpath(QFileInfo(path).absolutePath()) && ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    if (kind == QLatin1String("zero"))
        return QDir().mkpath(QFileInfo(path).absolutePath()) && QFile::link(QStringLiteral("/dev/zero"), path);
    if (kind == QLatin1String("gigabytes")) {
        // Sparse: the size is there, the disk blocks are not.
        if (!root.writeFile(file, "<quimbo_lastplayed>" + goodMarker))
            return false;
        QFile f(path);
        return f.resize(qint64(3) << 30);
    }
    if (kind == QLatin1String("deep"))
        return root.writeFile(file, nested(100000, goodMarker));
    if (kind == QLatin1String("control characters"))
        return root.writeFile(file, "<quimbo_lastplayed><lastplayed source=\"/media/usb/B\x01\x02ook\" mediaId=\"7\" single=\"true\"/></quimbo_lastplayed>");
    return false;
}

} // namespace

void ResumeMarkManagerTest::hostileLastPlayedFileReadsAsAbsent_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("logged");

    QTest::newRow("deeply nested") << "deep" << "nested deeper than";
    QTest::newRow("gigabytes long") << "gigabytes" << "bytes, more than";
    QTest::newRow("control characters") << "control characters" << "XML Reader has error:";
    QTest::newRow("a directory") << "directory" << "failed to open:";
    QTest::newRow("a named pipe") << "fifo" << "failed to open:";
    QTest::newRow("a link to a device that never ends") << "zero" << "failed to open:";
}

void ResumeMarkManagerTest::hostileLastPlayedFileReadsAsAbsent()
{
    QFETCH(QString, kind);
    QFETCH(QString, logged);

    QVERIFY(makeHostile(*m_root, stickFile, kind));
    {
        LogCapture log(lcLibrary());
        const std::unique_ptr<LastPlayedMarker> marker(ResumeMarkManager::loadLastPlayedMarker(stickFile, QString()));
        QVERIFY(!marker);
        QVERIFY2(log.contains(QStringLiteral("[ResumeMarkManager::readXml] ")) && log.contains(logged), qPrintable(log.text()));
    }
    // A pipe or a directory cannot be replaced; any file or link can, since a stick keeps one marker.
    if (kind == QLatin1String("fifo") || kind == QLatin1String("directory"))
        return;
    QVERIFY(saveLastPlayed(stickFile, QStringLiteral("/media/usb/Other"), 9, true));
    const std::unique_ptr<LastPlayedMarker> marker(ResumeMarkManager::loadLastPlayedMarker(stickFile, QString()));
    QVERIFY(marker);
    QCOMPARE(marker->source(), QStringLiteral("/media/usb/Other"));
}

void ResumeMarkManagerTest::linkOnStickNeverWritesThrough()
{
    // A stick whose "lastPlayed.xml" points at the device's own resume store.
    QVERIFY(save({ QStringLiteral("Book"), 1234, 1, 1 }));
    const QByteArray store = m_root->readFile(markerFile);
    QVERIFY(QDir().mkpath(m_root->path(QStringLiteral("/media/usb"))));
    QVERIFY(QFile::link(m_root->path(markerFile), m_root->path(stickFile)));

    QVERIFY(saveLastPlayed(stickFile, QStringLiteral("/media/usb/Other"), 9, true));
    QCOMPARE(m_root->readFile(markerFile), store);
    QVERIFY(!QFileInfo(m_root->path(stickFile)).isSymLink());
    QCOMPARE(load(QStringLiteral("Book")).timeOffset, 1234);
}

QTEST_GUILESS_MAIN(ResumeMarkManagerTest)
#include "resumemarkmanagertest.moc"
