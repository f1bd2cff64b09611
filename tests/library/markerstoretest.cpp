// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// What every marker store must survive, run over each of them: the resume marks
// of the track players (Resumemark), the resume markers of the DAISY and EPUB
// players and the CD's last-played file (ResumeMarkManager). They share the
// atomic save and the guarded read of MarkerFile, but each parses and writes
// its own XML, so each gets every case.
#include "library/bookextras.h"
#include "library/lastplayedmarker.h"
#include "library/logcategory.h"
#include "library/markerfile.h"
#include "library/resumemark.h"
#include "library/resumemarker.h"
#include "library/resumemarkmanager.h"
#include "logcapture.h"
#include "testroot.h"

#include <QDir>
#include <QRegularExpression>
#include <QTest>
#include <QXmlStreamReader>

#include <functional>
#include <memory>

namespace {

/** One store, reduced to saving and finding a value under a name. */
struct Store
{
    QString file; ///< device path
    QString root; ///< its root element
    QByteArray entryEnd; ///< where an entry's element is complete
    QByteArray wrongRoot; ///< a well-formed file of another store
    QString damage; ///< the line that says the XML does not parse
    QString saveFailed; ///< the line that says a save did not reach the disk
    QString unreadable; ///< the line that says the file cannot be opened
    QString refused; ///< the line that says a save is refused to keep what is stored
    bool emptyDocumentIsFine; ///< a file of the XML declaration alone is no damage
    std::function<bool(const QString &name, qint64 value)> save;
    std::function<bool(const QString &name, qint64 value)> holds; ///< found with that value
};

Store store(const QString &kind)
{
    const QString manager = QStringLiteral("[ResumeMarkManager::");
    if (kind == QLatin1String("resume marks")) {
        return {QStringLiteral("/root/quimbo/resumemark.xml"), QStringLiteral("resumemarks"), "</resumemark>",
                "<quimbo_resumemarks><resumemark title=\"Book\" timeOffset=\"5\"/></quimbo_resumemarks>", QStringLiteral("error setting content dom"),
                QStringLiteral("Failed to open file for writing new xml!"), QStringLiteral("file could not be opened!"),
                QStringLiteral("no root element available!"), false,
                [](const QString &name, qint64 value) {
                    ResumemarkData data;
                    data.title = name;
                    data.smilListPos = data.navListPos = data.clipNodePos = int(value % 1000);
                    data.playerTime = value;
                    return Resumemark().write(data);
                },
                [](const QString &name, qint64 value) {
                    ResumemarkData data;
                    data.title = name;
                    return Resumemark().read(data) && data.playerTime == value && data.navListPos == int(value % 1000);
                }};
    }
    if (kind == QLatin1String("resume markers")) {
        return {QStringLiteral("/root/quimbo/resumemarker.xml"), QStringLiteral("quimbo_resumemarks"), "/>",
                "<resumemarks><resumemark><title>Book</title></resumemark></resumemarks>", manager + QStringLiteral("readXml] XML Reader has error:"),
                manager + QStringLiteral("writeXml] failed to"), QStringLiteral("failed to open:"),
                QStringLiteral("save refused, the stored markers are kept"), true,
                [](const QString &name, qint64 value) {
                    ResumeMarker marker(name);
                    marker.setTimeOffset(value);
                    marker.setSpineIndex(int(value % 1000));
                    marker.setClipIndex(int(value % 7));
                    return ResumeMarkManager::saveResumeMarker(&marker);
                },
                [](const QString &name, qint64 value) {
                    const std::unique_ptr<ResumeMarker> marker(ResumeMarkManager::loadResumeMarker(name));
                    return marker && marker->title() == name && marker->timeOffset() == value && marker->spineIndex() == int(value % 1000)
                        && marker->clipIndex() == int(value % 7);
                }};
    }
    // The CD's file keeps one marker per disc: the name is the disc, the value goes into the source.
    const QString cdFile = QStringLiteral("/root/quimbo/lastPlayed.xml");
    const auto disc = [](const QString &name) { return quint64(qHash(name)) + 1; };
    return {cdFile, QStringLiteral("quimbo_lastplayed"), "/>", "<resumemarks><resumemark><title>Book</title></resumemark></resumemarks>", manager + QStringLiteral("readXml] XML Reader has error:"),
            manager + QStringLiteral("writeXml] failed to"), QStringLiteral("failed to open:"), QStringLiteral("save refused, the stored markers are kept"), true,
            [cdFile, disc](const QString &name, qint64 value) {
                LastPlayedMarker marker;
                marker.setSource(name + QLatin1Char('|') + QString::number(value));
                marker.setMediaId(disc(name));
                marker.setSingle(false);
                return ResumeMarkManager::saveLastPlayedMarker(cdFile, &marker);
            },
            [cdFile, disc](const QString &name, qint64 value) {
                const std::unique_ptr<LastPlayedMarker> marker(ResumeMarkManager::loadLastPlayedMarker(cdFile, QString::number(disc(name))));
                return marker && marker->source() == name + QLatin1Char('|') + QString::number(value) && marker->mediaId() == disc(name);
            }};
}

const QStringList kStores = {QStringLiteral("resume marks"), QStringLiteral("resume markers"), QStringLiteral("CD last-played file")};

// The entries of a store's file; -1 when it is not well-formed.
int entries(const QByteArray &content, const QString &root)
{
    QXmlStreamReader xml(content);
    int depth = 0;
    int count = 0;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::StartElement && ++depth == 2 && xml.name() != root)
            ++count;
        else if (token == QXmlStreamReader::EndElement)
            --depth;
    }
    return xml.hasError() ? -1 : count;
}

} // namespace

Q_DECLARE_METATYPE(MarkerFile::Stage)

class MarkerStoreTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestRoot> m_root;

    static void addStores()
    {
        QTest::addColumn<QString>("kind");
        for (const QString &kind : kStores)
            QTest::newRow(qPrintable(kind)) << kind;
    }

private Q_SLOTS:
    void init()
    {
        m_root = std::make_unique<TestRoot>();
        QVERIFY(m_root->isValid());
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
        // These cases are about the place alone: with the time unknown none is stored beside it.
        BookClock::setClock([] { return qint64(0); });
    }

    void cleanup()
    {
        MarkerFile::setFaultHook({});
        MarkerFile::setReadFaultHook({});
        m_root.reset();
    }

    void interruptedSaveKeepsOldFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<MarkerFile::Stage>("stage");
        for (const QString &kind : kStores) {
            QTest::addRow("%s, creating the new file", qPrintable(kind)) << kind << MarkerFile::Stage::Open;
            QTest::addRow("%s, half written", qPrintable(kind)) << kind << MarkerFile::Stage::Write;
            QTest::addRow("%s, before the rename", qPrintable(kind)) << kind << MarkerFile::Stage::Commit;
        }
    }
    void interruptedSaveKeepsOldFile()
    {
        QFETCH(QString, kind);
        QFETCH(MarkerFile::Stage, stage);
        const Store s = store(kind);
        QVERIFY(s.save(QStringLiteral("Book"), 1000));
        const QByteArray old = m_root->readFile(s.file);

        int reached = 0;
        MarkerFile::setFaultHook([stage, &reached](MarkerFile::Stage at) {
            reached += at == stage ? 1 : 0;
            return at != stage;
        });
        {
            LogCapture log(lcLibrary());
            QVERIFY(!s.save(QStringLiteral("Book"), 2000));
            QVERIFY2(log.contains(s.saveFailed), qPrintable(log.text()));
            QCOMPARE(log.unexpectedWarnings({s.saveFailed}), QStringList());
        }
        QCOMPARE(reached, 1);
        QCOMPARE(m_root->readFile(s.file), old);
        QVERIFY(s.holds(QStringLiteral("Book"), 1000));
        // No temporary file is left behind to be mistaken for anything.
        QCOMPARE(QDir(m_root->path(QStringLiteral("/root/quimbo"))).entryList(QDir::Files), QStringList{QFileInfo(s.file).fileName()});

        MarkerFile::setFaultHook({});
        QVERIFY(s.save(QStringLiteral("Book"), 2000));
        QVERIFY(s.holds(QStringLiteral("Book"), 2000));
    }

    void truncatedFileKeepsCompleteEntries_data() { addStores(); }
    void truncatedFileKeepsCompleteEntries()
    {
        QFETCH(QString, kind);
        const Store s = store(kind);
        const QStringList names = {QStringLiteral("Alpha"), QString::fromLatin1(QStringLiteral("Bêta").toUtf8()), QStringLiteral("Gamma")};
        for (int i = 0; i < names.size(); ++i)
            QVERIFY(s.save(names[i], (i + 1) * 1000 + i));
        const QByteArray whole = m_root->readFile(s.file);
        QList<qsizetype> ends; // where each entry's element is complete
        for (qsizetype from = 0; (from = whole.indexOf(s.entryEnd, from)) >= 0; from += s.entryEnd.size())
            ends << from + s.entryEnd.size();
        QCOMPARE(ends.size(), names.size());

        for (qsizetype cut = 0; cut < whole.size(); ++cut) {
            const QByteArray truncated = whole.left(cut);
            QVERIFY(m_root->writeFile(s.file, truncated));
            QFile::remove(m_root->path(s.file + QLatin1String(".broken")));
            LogCapture log(lcLibrary());
            for (int i = 0; i < names.size(); ++i) {
                if (s.holds(names[i], (i + 1) * 1000 + i) != (cut >= ends[i]))
                    QFAIL(qPrintable(QStringLiteral("cut at %1: entry %2 read wrongly").arg(cut).arg(i)));
            }
            const bool damaged = entries(truncated, s.root) < 0 && !(s.emptyDocumentIsFine && MarkerFile::isEmptyDocument(truncated));
            QCOMPARE(m_root->exists(s.file + QLatin1String(".broken")), damaged);
            if (damaged)
                QCOMPARE(m_root->readFile(s.file + QLatin1String(".broken")), truncated);
            QCOMPARE(log.contains(s.damage), damaged);
            QCOMPARE(log.unexpectedWarnings({s.damage, QStringLiteral("copy kept as")}), QStringList());

            // The next save leaves a good file with the surviving entries and the new one.
            QVERIFY(s.save(QStringLiteral("Delta"), 4004));
            int survivors = 0;
            for (qsizetype end : std::as_const(ends))
                survivors += cut >= end ? 1 : 0;
            QCOMPARE(entries(m_root->readFile(s.file), s.root), survivors + 1);
        }
    }

    void damagedFileIsKeptAside_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("content"); // "wrong root": the file of another store
        for (const QString &kind : kStores) {
            QTest::addRow("%s, zero bytes", qPrintable(kind)) << kind << "";
            QTest::addRow("%s, not xml", qPrintable(kind)) << kind << "not xml";
            QTest::addRow("%s, wrong root", qPrintable(kind)) << kind << "wrong root";
        }
    }
    void damagedFileIsKeptAside()
    {
        QFETCH(QString, kind);
        QFETCH(QString, content);
        const Store s = store(kind);
        const QByteArray bytes = content.isEmpty()       ? QByteArray("")
            : content == QLatin1String("not xml") ? QByteArray("PK\x03\x04\x00\x01\xff garbage\n", 16)
                                                  : s.wrongRoot;
        QVERIFY(m_root->writeFile(s.file, bytes));
        {
            LogCapture log(lcLibrary());
            QVERIFY(!s.holds(QStringLiteral("Book"), 5));
            QCOMPARE(m_root->readFile(s.file + QLatin1String(".broken")), bytes);
            // The save that follows finds the damage too, and replaces the file.
            QVERIFY(s.save(QStringLiteral("Book"), 8));
            const QString reason = content == QLatin1String("wrong root") ? QStringLiteral("unexpected root element") : s.damage;
            QCOMPARE(log.count(reason), 2);
            QVERIFY2(log.contains(QStringLiteral("copy kept as ") + m_root->path(s.file) + QStringLiteral(".broken")), qPrintable(log.text()));
            QCOMPARE(log.unexpectedWarnings({reason, QStringLiteral("copy kept as")}), QStringList());
        }
        QCOMPARE(entries(m_root->readFile(s.file), s.root), 1);
        QVERIFY(s.holds(QStringLiteral("Book"), 8));
    }

    void unreadableStoreRefusesSave_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("cause");
        for (const QString &kind : kStores) {
            QTest::addRow("%s, read error", qPrintable(kind)) << kind << "io";
            QTest::addRow("%s, beyond the size limit", qPrintable(kind)) << kind << "size";
            QTest::addRow("%s, nested too deep", qPrintable(kind)) << kind << "depth";
        }
    }
    void unreadableStoreRefusesSave()
    {
        QFETCH(QString, kind);
        QFETCH(QString, cause);
        const Store s = store(kind);
        QVERIFY(s.save(QStringLiteral("Book 1"), 1001));
        QVERIFY(s.save(QStringLiteral("Book 2"), 2002));

        const QString path = m_root->path(s.file);
        QString logged;
        if (cause == QLatin1String("io")) {
            MarkerFile::setReadFaultHook([path](const QString &p) { return p != path; });
            logged = s.unreadable;
        } else if (cause == QLatin1String("size")) {
            QFile f(path);
            QVERIFY(f.resize(qint64(1) << 30)); // sparse
            logged = QStringLiteral("bytes, more than");
        } else {
            QByteArray content = m_root->readFile(s.file);
            const qsizetype rootEnd = content.indexOf('>', content.indexOf(QByteArray("<" + s.root.toUtf8()))) + 1;
            content.insert(rootEnd, QByteArray("<x>").repeated(5000) + QByteArray("</x>").repeated(5000));
            QVERIFY(m_root->writeFile(s.file, content));
            logged = QStringLiteral("nested deeper than");
        }
        // The size and the head tell the file apart without reading a gigabyte.
        auto fingerprint = [&path] {
            QFile f(path);
            return f.open(QIODevice::ReadOnly) ? QByteArray::number(f.size()) + f.read(64 * 1024) : QByteArray();
        };
        const QByteArray before = fingerprint();
        QVERIFY(!before.isEmpty());
        {
            LogCapture log(lcLibrary());
            QVERIFY(!s.save(QStringLiteral("Book 3"), 3003));
            QVERIFY(!s.holds(QStringLiteral("Book 1"), 1001));
            QVERIFY2(log.contains(logged) && log.contains(s.refused), qPrintable(log.text()));
        }
        QCOMPARE(fingerprint(), before);

        if (cause == QLatin1String("io")) {
            // Once the store reads again, every position is still there.
            MarkerFile::setReadFaultHook({});
            QVERIFY(s.save(QStringLiteral("Book 3"), 3003));
            QVERIFY(s.holds(QStringLiteral("Book 1"), 1001));
            QVERIFY(s.holds(QStringLiteral("Book 2"), 2002));
            QVERIFY(s.holds(QStringLiteral("Book 3"), 3003));
        }
    }

    void namesRoundTrip_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("inFile"); // as a UTF-8 reader sees it; empty: escaped in a form of its own
        // What the players pass: one character per byte of the UTF-8 title.
        const auto byteForm = [](const QString &text) { return QString::fromLatin1(text.toUtf8()); };
        const QList<std::pair<const char *, QStringList>> names = {
            {"byte form, emoji", {byteForm(QStringLiteral("Book 📚")), QStringLiteral("Book 📚")}},
            {"byte form, French", {byteForm(QStringLiteral("À la recherche")), QStringLiteral("À la recherche")}},
            {"proper text, Greek", {QStringLiteral("Ιλιάδα"), QStringLiteral("Ιλιάδα")}},
            {"proper text, Japanese", {QStringLiteral("源氏物語"), QStringLiteral("源氏物語")}},
            {"proper text, Latin-1", {QStringLiteral("Märchen"), QStringLiteral("Märchen")}},
            {"markup characters", {QStringLiteral("A \"<b>\" & 'c'"), QString()}},
            {"control characters", {QStringLiteral("Chapter\x01\x02 one\x1f\x7f\x1b[0m"), QString()}},
            {"NUL", {QString(QStringLiteral("a%1b")).arg(QChar(0)), QString()}},
            {"unpaired surrogates", {QString(QChar(0xDC00) + QStringLiteral("mid") + QChar(0xD800)), QString()}},
            {"unpaired low surrogate at the end", {QString(QStringLiteral("Book ") + QChar(0xDCDA)), QString()}},
            {"the escape character itself", {QString(QChar(0xE000) + QStringLiteral("0041 and ") + QChar(0xE000)), QString()}},
            {"noncharacter", {QString(QStringLiteral("Book") + QChar(0xFFFF)), QString()}},
            {"tab, line feed, carriage return", {QStringLiteral("a\tb\nc\rd"), QString()}},
        };
        for (const QString &kind : kStores) {
            for (const auto &[row, name] : names)
                QTest::addRow("%s, %s", qPrintable(kind), row) << kind << name.at(0) << name.at(1);
        }
    }
    void namesRoundTrip()
    {
        QFETCH(QString, kind);
        QFETCH(QString, name);
        QFETCH(QString, inFile);
        const Store s = store(kind);
        // Neighbours whose Latin-1 bytes are not UTF-8: they must neither merge nor be overwritten.
        QVERIFY(s.save(QStringLiteral("Märchen"), 1));
        QVERIFY(s.save(QStringLiteral("Mürchen"), 2));
        QVERIFY(s.save(name, 123456));
        const int count = name == QStringLiteral("Märchen") ? 2 : 3;
        QCOMPARE(entries(m_root->readFile(s.file), s.root), count);
        // Titles in byte form are decoded; the CD file's sources are paths and stay as given.
        if (!inFile.isEmpty() && (s.file.endsWith(QLatin1String("resumemark.xml")) || s.file.endsWith(QLatin1String("resumemarker.xml")) || name == inFile))
            QCOMPARE(QString::fromUtf8(m_root->readFile(s.file)).count(inFile), 1);
        QVERIFY(s.holds(name, 123456));
        QVERIFY(s.holds(QStringLiteral("Mürchen"), 2));
        // Saved again, the entry is found and updated, not doubled.
        QVERIFY(s.save(name, 7000));
        QCOMPARE(entries(m_root->readFile(s.file), s.root), count);
        QVERIFY(s.holds(name, 7000));
    }
};

QTEST_GUILESS_MAIN(MarkerStoreTest)
#include "markerstoretest.moc"
