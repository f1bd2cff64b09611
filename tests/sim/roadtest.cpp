// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The typical road on the simulated board, driven by scripts: a stick with a
// book goes in, the shelf speaks its title and the book plays; headings, a
// minute of fast forward across files, stop, power off; power on with the same
// root and the book goes on where it was left; pages. Judged by the engine's
// "[sim] engine" lines, "resumemarker.xml" and the prompts started.
#include "smilclips.h"
#include "testroot.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kBinary = QStringLiteral(QUIMBO_BINARY_DIR "/bin/quimbo-basic");
const QString kBook = QStringLiteral(QUIMBO_GENERATED_DATA "/daisy/road202");
constexpr int kProcessTimeoutMsec = 120000;
// Jumps are judged on the SMIL clip times; the engine's file lengths and the
// moments the keys come differ from them by a little.
constexpr qint64 kToleranceMsec = 400;

const char kStandInPlay[] = "#!/bin/sh\n"
                            "echo \"play $*\" >> \"$PLAY_RECORD\"\n"
                            "exit 0\n";

struct EngineEvent {
    QString verb; ///< play, seek, pause, stop
    QString file; ///< for play
    qint64 msec = -1;
};

QList<EngineEvent> engineEvents(const QByteArray &output)
{
    static const QRegularExpression line(QStringLiteral("^\\[sim\\] engine (play (.+) at|seek|pause at|stop at) (\\d+)$"));
    QList<EngineEvent> events;
    for (const QByteArray &raw : output.split('\n')) {
        const QRegularExpressionMatch m = line.match(QString::fromUtf8(raw));
        if (!m.hasMatch())
            continue;
        EngineEvent event;
        event.verb = m.captured(1).section(QLatin1Char(' '), 0, 0);
        event.file = m.captured(2);
        event.msec = m.captured(3).toLongLong();
        events << event;
    }
    return events;
}

QString describe(const QList<EngineEvent> &events)
{
    QStringList lines;
    for (const EngineEvent &e : events)
        lines << QStringLiteral("%1 %2 %3").arg(e.verb, QFileInfo(e.file).fileName()).arg(e.msec);
    return lines.join(QLatin1String("; "));
}

} // namespace

class RoadTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void typicalRoad();

private:
    /** Runs the firmware on the script until it powers off; its standard output. */
    QByteArray run(const QString &script);
    QString audio(int n) const { return m_stickBook + QStringLiteral("/audio%1.mp3").arg(n, 4, 10, QLatin1Char('0')); }
    /** The marker stored for the book: spine index and time offset. */
    std::pair<int, qint64> storedMarker() const;

    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<QTemporaryDir> m_work;
    QString m_stick;
    QString m_stickBook; ///< the book as the firmware sees it, below the mount point
    QString m_record;
};

void RoadTest::initTestCase()
{
    QVERIFY2(QFileInfo(kBinary).isExecutable(), qPrintable(kBinary));
    QVERIFY2(QFile::exists(kBook + QStringLiteral("/ncc.html")), qPrintable(kBook));
}

void RoadTest::init()
{
    m_root = std::make_unique<TestRoot>();
    m_work = std::make_unique<QTemporaryDir>();
    QVERIFY(m_work->isValid());
    QFile play(m_work->filePath(QStringLiteral("play")));
    QVERIFY(play.open(QIODevice::WriteOnly));
    play.write(kStandInPlay);
    play.close();
    QVERIFY(play.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    m_record = m_work->filePath(QStringLiteral("play-record"));

    m_stick = m_work->filePath(QStringLiteral("stick"));
    const QString book = m_stick + QStringLiteral("/road202");
    QVERIFY(QDir().mkpath(book));
    for (const QString &file : QDir(kBook).entryList(QDir::Files))
        QVERIFY(QFile::copy(kBook + QLatin1Char('/') + file, book + QLatin1Char('/') + file));
    m_stickBook = m_root->path(QStringLiteral("/media/usb/road202"));
}

void RoadTest::cleanup()
{
    m_work.reset();
    m_root.reset();
}

QByteArray RoadTest::run(const QString &script)
{
    const QString scriptFile = m_work->filePath(QStringLiteral("road.script"));
    QFile file(scriptFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    file.write(script.toUtf8());
    file.close();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QUIMBO_ROOT"), m_root->root());
    env.insert(QStringLiteral("QUIMBO_PLATFORM"), QStringLiteral("sim"));
    env.insert(QStringLiteral("QUIMBO_TIME_SCALE"), QStringLiteral("0.2"));
    env.insert(QStringLiteral("PLAY_RECORD"), m_record);
    env.insert(QStringLiteral("PATH"), m_work->path() + QLatin1Char(':') + env.value(QStringLiteral("PATH")));
    QProcess firmware;
    firmware.setProcessEnvironment(env);
    firmware.setStandardErrorFile(QProcess::nullDevice());
    firmware.setStandardInputFile(QProcess::nullDevice());
    firmware.start(kBinary, {QStringLiteral("--sim"), QStringLiteral("--script"), scriptFile});
    if (!firmware.waitForFinished(kProcessTimeoutMsec))
        firmware.kill();
    firmware.waitForFinished(5000);
    const QByteArray output = firmware.readAllStandardOutput();
    if (!output.contains("[sim] system: poweroff"))
        qWarning().noquote() << "the firmware did not power off:\n" << output;
    return output;
}

std::pair<int, qint64> RoadTest::storedMarker() const
{
    const QString xml = QString::fromUtf8(m_root->readFile(QStringLiteral("/root/quimbo/resumemarker.xml")));
    static const QRegularExpression mark(QStringLiteral("title=\"The Road Book\"[^>]*timeOffset=\"(\\d+)\"[^>]*spineIndex=\"(\\d+)\""));
    const QRegularExpressionMatch m = mark.match(xml);
    if (!m.hasMatch())
        return {-1, -1};
    return {m.captured(2).toInt(), m.captured(1).toLongLong()};
}

void RoadTest::typicalRoad()
{
    const QString insert = QStringLiteral("await void MainClass::runMainClass()\nusb insert %1\n").arg(m_stick);
    // First visit: headings. Navigation by headings is what the menu would set.
    QSettings().setValue(QStringLiteral("navigationMode"), 2);
    QSettings().sync();
    const QByteArray first = run(insert + QStringLiteral(R"(await engine play
tap play 300
await engine stop
log next heading: chapter one
tap ff 300
await engine play
tap play 300
await engine stop
log next heading: the river
tap ff 300
await engine seek
tap play 300
await engine stop
log back one heading, reading on
tap rew 300
await engine play
log a minute forward in six jumps of ten seconds
tap ff 300
tap ff 300
tap ff 300
tap ff 300
tap ff 300
tap ff 300
tap play 300
await engine stop
power hold
)"));
    QList<EngineEvent> events = engineEvents(first);
    const QString trace = describe(events);
    // The shelf spoke the title: "daisy", the medium, and the title's own audio clip.
    QFile playRecord(m_record);
    QVERIFY(playRecord.open(QIODevice::ReadOnly));
    const QString spoken = QString::fromUtf8(playRecord.readAll());
    QVERIFY2(spoken.contains(QStringLiteral("message078.wav")) && spoken.contains(audio(1) + QStringLiteral(" trim")), qPrintable(spoken));

    const SmilClips::Target river = SmilClips::target(kBook, QStringLiteral("text0002.smil#pi11"));
    QVERIFY(river.begin > 0);
    QVERIFY2(events.size() >= 12, qPrintable(trace));
    // Read from the start; stopped; chapter one; stopped; the river; stopped; chapter one again.
    QCOMPARE(events.at(0).verb, QStringLiteral("play"));
    QCOMPARE(events.at(0).file, audio(1));
    QCOMPARE(events.at(0).msec, qint64(0));
    QCOMPARE(events.at(1).verb, QStringLiteral("stop"));
    QCOMPARE(events.at(2).file, audio(2));
    QCOMPARE(events.at(2).msec, qint64(0));
    QCOMPARE(events.at(3).verb, QStringLiteral("stop"));
    QCOMPARE(events.at(4).file, audio(2));
    QCOMPARE(events.at(5).verb, QStringLiteral("seek"));
    QVERIFY2(qAbs(events.at(5).msec - river.begin) <= kToleranceMsec, qPrintable(trace));
    QCOMPARE(events.at(6).verb, QStringLiteral("stop"));
    QCOMPARE(events.at(7).file, audio(2));
    QCOMPARE(events.at(7).msec, qint64(0));
    // Sixty seconds on from chapter one's start, across two file ends.
    const qint64 chapterOne = SmilClips::audioEnd(kBook, QStringLiteral("text0002.smil"));
    const qint64 chapterTwo = SmilClips::audioEnd(kBook, QStringLiteral("text0003.smil"));
    const qint64 expected = 60000 - chapterOne - chapterTwo;
    const EngineEvent stop = events.last();
    QCOMPARE(stop.verb, QStringLiteral("stop"));
    qsizetype lastPlay = events.size() - 1;
    while (lastPlay > 0 && events.at(lastPlay).verb != QLatin1String("play"))
        --lastPlay;
    QCOMPARE(events.at(lastPlay).file, audio(4));
    QVERIFY2(qAbs(stop.msec - expected) <= 2 * kToleranceMsec, qPrintable(trace));
    // The place is stored where the engine stopped.
    QCOMPARE(storedMarker(), std::make_pair(3, stop.msec));

    // Power on again with the same root: the book goes on where it was left. Then pages.
    QSettings().setValue(QStringLiteral("navigationMode"), 3);
    QSettings().sync();
    const QByteArray second = run(insert + QStringLiteral(R"(await engine seek
tap play 300
await engine stop
log back a page: the start of the file before
tap rew 300
await engine play
tap play 300
await engine stop
log on a page: page three
tap ff 300
await engine seek
tap play 300
await engine stop
power hold
)"));
    events = engineEvents(second);
    const QString trace2 = describe(events);
    QVERIFY2(events.size() >= 8, qPrintable(trace2));
    QCOMPARE(events.at(0).file, audio(4));
    QCOMPARE(events.at(0).msec, qint64(0));
    QCOMPARE(events.at(1).verb, QStringLiteral("seek"));
    QCOMPARE(events.at(1).msec, stop.msec);
    QCOMPARE(events.at(3).file, audio(3));
    QCOMPARE(events.at(3).msec, qint64(0));
    const SmilClips::Target page3 = SmilClips::target(kBook, QStringLiteral("text0003.smil#pi19"));
    QCOMPARE(events.at(5).file, audio(3));
    QCOMPARE(events.at(6).verb, QStringLiteral("seek"));
    QVERIFY2(qAbs(events.at(6).msec - page3.begin) <= kToleranceMsec, qPrintable(trace2));
    QCOMPARE(storedMarker().first, 2);
}

QTEST_GUILESS_MAIN(RoadTest)
#include "roadtest.moc"
