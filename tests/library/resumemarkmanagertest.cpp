// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/resumemarkmanager.h"
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

private:
    std::unique_ptr<TestRoot> m_root;
};

void ResumeMarkManagerTest::init()
{
    m_root = std::make_unique<TestRoot>();
    QVERIFY(m_root->isValid());
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
}

void ResumeMarkManagerTest::cleanup()
{
    MarkerFile::setFaultHook({});
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
    QTest::newRow("ascii") << QStringLiteral("Plain title") << QStringLiteral("Plain title");
    QTest::newRow("byte form, German") << byteForm(QStringLiteral("Grüße aus Köln")) << QStringLiteral("Grüße aus Köln");
    QTest::newRow("byte form, Greek") << byteForm(QStringLiteral("Οδύσσεια")) << QStringLiteral("Οδύσσεια");
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
        LogCapture log;

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
    QTest::newRow("two roots") << QByteArray("<quimbo_resumemarks/><quimbo_resumemarks/>") << QStringLiteral("XML Reader has error:");
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

QTEST_GUILESS_MAIN(ResumeMarkManagerTest)
#include "resumemarkmanagertest.moc"
