// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/resumemarkmanager.h"
#include "library/bookextras.h"
#include "library/logcategory.h"
#include "library/lastplayedmarker.h"
#include "library/markerfile.h"
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

bool wellFormed(const QByteArray &content)
{
    QXmlStreamReader xml(content);
    while (!xml.atEnd())
        xml.readNext();
    return !xml.hasError();
}

} // namespace

Q_DECLARE_METATYPE(MarkerFile::Stage)

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
    void nonAsciiTitlesRoundTrip_data();
    void nonAsciiTitlesRoundTrip();
    void stickFileHoldsOneMarker();
    void cdFileKeepsOneMarkerPerMedium();
    void loadLastPlayedMarker_data();
    void loadLastPlayedMarker();
    void refusesMissingLastPlayedMarker();
    void interruptedSaveKeepsOldFile_data();
    void interruptedSaveKeepsOldFile();
    void truncatedFileKeepsCompleteMarkers();
    void damagedFileIsKeptAside_data();
    void damagedFileIsKeptAside();
    void hostileLastPlayedFileReadsAsAbsent_data();
    void hostileLastPlayedFileReadsAsAbsent();
    void linkOnStickNeverWritesThrough();
    void unreadableStoreRefusesSave_data();
    void unreadableStoreRefusesSave();
    void unstorableCharactersRoundTrip_data();
    void unstorableCharactersRoundTrip();

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
    MarkerFile::setFaultHook({});
    MarkerFile::setReadFaultHook({});
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

void ResumeMarkManagerTest::nonAsciiTitlesRoundTrip_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("inFile"); // the attribute as a UTF-8 reader sees it

    // What the players pass: one character per byte of the UTF-8 title.
    const auto byteForm = [](const QString &text) { return QString::fromLatin1(text.toUtf8()); };
    QTest::newRow("byte form, emoji") << byteForm(QStringLiteral("Book 📚")) << QStringLiteral("Book 📚");
    QTest::newRow("proper text, Greek") << QStringLiteral("Ιλιάδα") << QStringLiteral("Ιλιάδα");
    QTest::newRow("proper text, Latin-1") << QStringLiteral("Märchen") << QStringLiteral("Märchen");
    QTest::newRow("markup characters") << QStringLiteral("A \"<b>\" & 'c'") << QStringLiteral("A \"<b>\" & 'c'");
}

void ResumeMarkManagerTest::nonAsciiTitlesRoundTrip()
{
    QFETCH(QString, title);
    QFETCH(QString, inFile);

    // Neighbours whose Latin-1 bytes are not UTF-8: they must neither merge nor be overwritten.
    QVERIFY(save({ QStringLiteral("Märchen"), 1, 1, 1 }));
    QVERIFY(save({ QStringLiteral("Mürchen"), 2, 2, 2 }));
    QVERIFY(save({ title, 123456, 3, 4 }));

    const QStringList stored = elements(m_root->readFile(markerFile), QStringLiteral("resumemark"));
    QVERIFY(stored.contains(QStringLiteral("title=") + inFile + QStringLiteral(" timeOffset=123456 spineIndex=3 clipIndex=4")));
    const Mark mark = load(title);
    QCOMPARE(mark.title, title);
    QCOMPARE(mark.timeOffset, 123456);
    QCOMPARE(mark.clipIndex, 4);
    QCOMPARE(load(QStringLiteral("Mürchen")).timeOffset, 2);
    QCOMPARE(stored.size(), title == QStringLiteral("Märchen") ? 2 : 3);
}

void ResumeMarkManagerTest::stickFileHoldsOneMarker()
{
    QVERIFY(m_root->writeFile(stickFile,
        "<quimbo_lastplayed><lastplayed source=\"/media/usb/a\" mediaId=\"1\" single=\"false\"/>"
        "<lastplayed source=\"/media/usb/b\" mediaId=\"2\" single=\"false\"/></quimbo_lastplayed>"));
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

void ResumeMarkManagerTest::refusesMissingLastPlayedMarker()
{
    QTest::ignoreMessage(QtWarningMsg, "[ResumeMarkManager::saveLastPlayedMarker] invalid last player marker");
    QVERIFY(!ResumeMarkManager::saveLastPlayedMarker(stickFile, nullptr));
    QVERIFY(!m_root->exists(stickFile));
}

void ResumeMarkManagerTest::interruptedSaveKeepsOldFile_data()
{
    QTest::addColumn<MarkerFile::Stage>("stage");
    QTest::addColumn<QString>("logged");

    QTest::newRow("creating the new file") << MarkerFile::Stage::Open << QStringLiteral("failed to open:");
    QTest::newRow("half written") << MarkerFile::Stage::Write << QStringLiteral("failed to save:");
    QTest::newRow("before the rename") << MarkerFile::Stage::Commit << QStringLiteral("failed to save:");
}

void ResumeMarkManagerTest::interruptedSaveKeepsOldFile()
{
    QFETCH(MarkerFile::Stage, stage);
    QFETCH(QString, logged);

    QVERIFY(save({ QStringLiteral("Book"), 1000, 1, 1 }));
    QVERIFY(saveLastPlayed(cdFile, QStringLiteral("cdda://old"), 5, false));
    const QByteArray oldMarkers = m_root->readFile(markerFile);
    const QByteArray oldLastPlayed = m_root->readFile(cdFile);

    int reached = 0;
    MarkerFile::setFaultHook([stage, &reached](MarkerFile::Stage s) {
        if (s == stage)
            ++reached;
        return s != stage;
    });
    const QString pattern = QStringLiteral("^\\[ResumeMarkManager::writeXml\\] ") + QRegularExpression::escape(logged);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(pattern));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(pattern));
    QVERIFY(!save({ QStringLiteral("Book"), 2000, 2, 2 }));
    QVERIFY(!saveLastPlayed(cdFile, QStringLiteral("cdda://new"), 5, false));
    QCOMPARE(reached, 2);

    QCOMPARE(m_root->readFile(markerFile), oldMarkers);
    QCOMPARE(m_root->readFile(cdFile), oldLastPlayed);
    QCOMPARE(load(QStringLiteral("Book")).timeOffset, 1000);
    // No temporary file is left behind to be mistaken for anything.
    QCOMPARE(QDir(m_root->path(QStringLiteral("/root/quimbo"))).entryList(QDir::Files),
        (QStringList { QStringLiteral("lastPlayed.xml"), QStringLiteral("resumemarker.xml") }));

    MarkerFile::setFaultHook({});
    QVERIFY(save({ QStringLiteral("Book"), 2000, 2, 2 }));
    QCOMPARE(load(QStringLiteral("Book")).timeOffset, 2000);
}

void ResumeMarkManagerTest::truncatedFileKeepsCompleteMarkers()
{
    const QList<Mark> marks = {
        { QStringLiteral("Alpha"), 11, 1, 1 },
        { QString::fromLatin1(QStringLiteral("Bêta").toUtf8()), 22, 2, 2 },
        { QStringLiteral("Gamma"), 33, 3, 3 },
    };
    for (const Mark &mark : marks)
        QVERIFY(save(mark));
    const QByteArray whole = m_root->readFile(markerFile);
    QList<qsizetype> ends; // where each marker's element is complete
    for (qsizetype from = 0; (from = whole.indexOf("/>", from)) >= 0; from += 2)
        ends << from + 2;
    QCOMPARE(ends.size(), marks.size());

    for (qsizetype cut = 0; cut < whole.size(); ++cut) {
        const QByteArray truncated = whole.left(cut);
        QVERIFY(m_root->writeFile(markerFile, truncated));
        QFile::remove(m_root->path(markerFile + QLatin1String(".broken")));
        LogCapture log(lcLibrary());

        for (int i = 0; i < marks.size(); ++i) {
            const Mark mark = load(marks[i].title);
            const qint64 expected = cut >= ends[i] ? marks[i].timeOffset : 0;
            if (mark.timeOffset != expected)
                QFAIL(qPrintable(QStringLiteral("cut at %1: %2 has %3, expected %4").arg(cut).arg(marks[i].title).arg(mark.timeOffset).arg(expected)));
        }
        const bool damaged = !MarkerFile::isEmptyDocument(truncated) && !wellFormed(truncated);
        QCOMPARE(m_root->exists(markerFile + QLatin1String(".broken")), damaged);
        if (damaged) {
            QCOMPARE(m_root->readFile(markerFile + QLatin1String(".broken")), truncated);
            QVERIFY(log.contains(QStringLiteral("[ResumeMarkManager::readXml] XML Reader has error:")));
        }
        QCOMPARE(log.unexpectedWarnings({ QStringLiteral("XML Reader has error:"), QStringLiteral("damaged file") }), QStringList());

        // The next save leaves a good file with the surviving marks and the new one.
        QVERIFY(save({ QStringLiteral("Delta"), 44, 4, 4 }));
        const QByteArray repaired = m_root->readFile(markerFile);
        QVERIFY(wellFormed(repaired));
        int survivors = 0;
        for (qsizetype end : std::as_const(ends))
            survivors += cut >= end ? 1 : 0;
        QCOMPARE(elements(repaired, QStringLiteral("resumemark")).size(), survivors + 1);
    }
}

void ResumeMarkManagerTest::damagedFileIsKeptAside_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("logged");

    QTest::newRow("zero bytes") << QByteArray() << QStringLiteral("XML Reader has error:");
    QTest::newRow("not xml") << QByteArray("\x00\x01\xff garbage\n", 13) << QStringLiteral("XML Reader has error:");
    QTest::newRow("wrong root") << QByteArray("<resumemarks><resumemark title=\"Book\" timeOffset=\"5\"/></resumemarks>")
                                << QStringLiteral("unexpected root element resumemarks");
}

void ResumeMarkManagerTest::damagedFileIsKeptAside()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, logged);

    QVERIFY(m_root->writeFile(markerFile, content));
    // Both the load and the save that follows it find the damage.
    const QRegularExpression line(QStringLiteral("^\\[ResumeMarkManager::readXml\\] .*") + QRegularExpression::escape(logged));
    const QRegularExpression kept(QStringLiteral("damaged file .*copy kept as .*resumemarker.xml.broken$"));
    for (int i = 0; i < 2; ++i) {
        QTest::ignoreMessage(QtWarningMsg, line);
        if (logged.startsWith(QLatin1String("XML")))
            QTest::ignoreMessage(QtWarningMsg, kept);
    }
    QCOMPARE(load(QStringLiteral("Book")).timeOffset, 0);
    QCOMPARE(m_root->readFile(markerFile + QLatin1String(".broken")), content);

    QVERIFY(save({ QStringLiteral("Book"), 8, 0, 0 }));
    QCOMPARE(elements(m_root->readFile(markerFile), QStringLiteral("resumemark")),
        QStringList { QStringLiteral("title=Book timeOffset=8 spineIndex=0 clipIndex=0") });
    QCOMPARE(load(QStringLiteral("Book")).timeOffset, 8);
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

void ResumeMarkManagerTest::unreadableStoreRefusesSave_data()
{
    QTest::addColumn<bool>("lastPlayed"); // the CD file, else the resume markers
    QTest::addColumn<QString>("cause");
    QTest::addColumn<QString>("logged");

    for (const bool lastPlayed : {false, true}) {
        const char *store = lastPlayed ? "CD last-played file" : "resume markers";
        QTest::addRow("%s, read error", store) << lastPlayed << "io" << "failed to open:";
        QTest::addRow("%s, beyond the size limit", store) << lastPlayed << "size" << "bytes, more than";
        QTest::addRow("%s, nested too deep", store) << lastPlayed << "depth" << "nested deeper than";
    }
}

void ResumeMarkManagerTest::unreadableStoreRefusesSave()
{
    QFETCH(bool, lastPlayed);
    QFETCH(QString, cause);
    QFETCH(QString, logged);

    const QString file = lastPlayed ? cdFile : markerFile;
    auto saveOne = [lastPlayed](int n) {
        return lastPlayed ? saveLastPlayed(cdFile, QStringLiteral("cdda://%1").arg(n), quint64(n), false)
                          : save({ QStringLiteral("Book %1").arg(n), n * 1000, n, n });
    };
    QVERIFY(saveOne(1));
    QVERIFY(saveOne(2));

    if (cause == QLatin1String("io")) {
        const QString path = m_root->path(file);
        MarkerFile::setReadFaultHook([path](const QString &p) { return p != path; });
    } else if (cause == QLatin1String("size")) {
        QFile f(m_root->path(file));
        QVERIFY(f.resize(qint64(1) << 30));
    } else {
        QByteArray content = m_root->readFile(file);
        const qsizetype rootEnd = content.indexOf('>', content.indexOf("<quimbo_")) + 1;
        content.insert(rootEnd, QByteArray("<x>").repeated(5000) + QByteArray("</x>").repeated(5000));
        QVERIFY(m_root->writeFile(file, content));
    }
    // The size and the head tell the file apart without reading a gigabyte.
    auto fingerprint = [this, &file] {
        QFile f(m_root->path(file));
        return f.open(QIODevice::ReadOnly) ? QByteArray::number(f.size()) + f.read(64 * 1024) : QByteArray();
    };
    const QByteArray before = fingerprint();
    QVERIFY(!before.isEmpty());

    {
        LogCapture log(lcLibrary());
        QVERIFY(!saveOne(3));
        QVERIFY2(log.contains(logged), qPrintable(log.text()));
        QVERIFY2(log.contains(QStringLiteral("save refused, the stored markers are kept")), qPrintable(log.text()));
    }
    QCOMPARE(fingerprint(), before);

    if (cause == QLatin1String("io")) {
        // Once the store reads again, every position is still there.
        MarkerFile::setReadFaultHook({});
        QVERIFY(saveOne(3));
        if (lastPlayed) {
            QCOMPARE(elements(m_root->readFile(file), QStringLiteral("lastplayed")).size(), 3);
        } else {
            QCOMPARE(load(QStringLiteral("Book 1")).timeOffset, 1000);
            QCOMPARE(load(QStringLiteral("Book 2")).timeOffset, 2000);
            QCOMPARE(load(QStringLiteral("Book 3")).timeOffset, 3000);
        }
    }
}

void ResumeMarkManagerTest::unstorableCharactersRoundTrip_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("control characters") << QStringLiteral("Chapter\x01\x02 one\x1f\x7f");
    QTest::newRow("NUL") << QString(QStringLiteral("a%1b")).arg(QChar(0));
    QTest::newRow("unpaired high surrogate") << QString(QStringLiteral("Book ") + QChar(0xD83D) + QStringLiteral(" end"));
    QTest::newRow("unpaired low surrogate at the end") << QString(QStringLiteral("Book ") + QChar(0xDCDA));
    QTest::newRow("the escape character itself") << QString(QChar(0xE000) + QStringLiteral("0041 and ") + QChar(0xE000));
    QTest::newRow("noncharacter") << QString(QStringLiteral("Book") + QChar(0xFFFF));
    QTest::newRow("tab, line feed, carriage return") << QStringLiteral("a\tb\nc\rd");
}

void ResumeMarkManagerTest::unstorableCharactersRoundTrip()
{
    QFETCH(QString, text);

    QVERIFY(save({ QStringLiteral("Neighbour"), 5, 5, 5 }));
    QVERIFY(save({ text, 4242, 3, 2 }));
    QVERIFY(wellFormed(m_root->readFile(markerFile)));
    const Mark mark = load(text);
    QCOMPARE(mark.timeOffset, 4242);
    QCOMPARE(mark.clipIndex, 2);
    QCOMPARE(load(QStringLiteral("Neighbour")).timeOffset, 5);
    QCOMPARE(elements(m_root->readFile(markerFile), QStringLiteral("resumemark")).size(), 2);

    // A folder name holding them: the CD file keeps its markers apart.
    QVERIFY(saveLastPlayed(cdFile, text, 1, false));
    QVERIFY(saveLastPlayed(cdFile, QStringLiteral("cdda://other"), 2, false));
    QVERIFY(wellFormed(m_root->readFile(cdFile)));
    const std::unique_ptr<LastPlayedMarker> marker(ResumeMarkManager::loadLastPlayedMarker(cdFile, QStringLiteral("1")));
    QVERIFY(marker);
    QCOMPARE(marker->source(), text);
}

QTEST_GUILESS_MAIN(ResumeMarkManagerTest)
#include "resumemarkmanagertest.moc"
