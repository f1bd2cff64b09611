// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The typical road on the simulated board, driven by scripts: a stick with a
// book goes in, the shelf speaks its title and the book plays; headings, a
// minute of fast forward across files, stop, power off with the place stored.
// And a battery run empty while reading: the two prompts, the place kept, off;
// the adapter start with the same root charges looking off until the power
// button, then the book goes on where it was left. Judged by the engine's
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

/** The index of the last "play" event (0 when there is none). */
qsizetype lastPlay(const QList<EngineEvent> &events)
{
    qsizetype i = events.size() - 1;
    while (i > 0 && events.at(i).verb != QLatin1String("play"))
        --i;
    return qMax<qsizetype>(i, 0);
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
    void batteryRunsEmptyWhileReading();

private:
    /** Runs the firmware on the script until it powers off or quits; its standard output. */
    QByteArray run(const QString &script);
    QString audio(int n) const { return m_stickBook + QStringLiteral("/audio%1.mp3").arg(n, 4, 10, QLatin1Char('0')); }
    /** The prompts played so far, from the stand-in's record. */
    QString spoken() const;
    /** The marker stored for the book: spine index and time offset. */
    std::pair<int, qint64> storedMarker() const;

    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<QTemporaryDir> m_work;
    QString m_stick;
    QString m_stickBook; ///< the book as the firmware sees it, below the mount point
    /** How the last run ended: a sanitizer's report in the firmware shows only here. */
    QString m_exit;
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
    TestData::startBuiltProgram(&firmware, kBinary, {QStringLiteral("--sim"), QStringLiteral("--script"), scriptFile});
    const bool finished = firmware.waitForFinished(kProcessTimeoutMsec);
    if (!finished)
        firmware.kill();
    firmware.waitForFinished(5000);
    const QByteArray output = firmware.readAllStandardOutput();
    if (!finished)
        qWarning().noquote() << "the firmware did not finish:\n" << output;
    m_exit = QStringLiteral("%1 %2").arg(firmware.exitStatus() == QProcess::NormalExit ? QStringLiteral("exit") : QStringLiteral("crash")).arg(firmware.exitCode());
    return output;
}

QString RoadTest::spoken() const
{
    QFile record(m_record);
    return record.open(QIODevice::ReadOnly) ? QString::fromUtf8(record.readAll()) : QString();
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
    QCOMPARE(m_exit, QStringLiteral("exit 0"));
    const QList<EngineEvent> events = engineEvents(first);
    const QString trace = describe(events);
    // The shelf spoke the title: "daisy", the medium, and the title's own audio clip.
    const QString title = spoken();
    QVERIFY2(title.contains(QStringLiteral("message078.wav")) && title.contains(audio(1) + QStringLiteral(" trim")), qPrintable(title));

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
    QCOMPARE(events.at(lastPlay(events)).file, audio(4));
    QVERIFY2(qAbs(stop.msec - expected) <= 2 * kToleranceMsec, qPrintable(trace));
    // The place is stored where the engine stopped.
    QCOMPARE(storedMarker(), std::make_pair(3, stop.msec));
}

void RoadTest::batteryRunsEmptyWhileReading()
{
    // Reading on battery until the cell sags below the empty mark.
    const QByteArray first = run(QStringLiteral(R"(await void MainClass::runMainClass()
usb insert %1
await engine play
wait 4000
battery 3300
)").arg(m_stick));
    QCOMPARE(m_exit, QStringLiteral("exit 0"));
    const QList<EngineEvent> events = engineEvents(first);
    const QString trace = describe(events);
    QVERIFY2(!events.isEmpty() && events.first().verb == QLatin1String("play"), qPrintable(trace));
    QCOMPARE(events.first().file, audio(1));
    const EngineEvent stop = events.last();
    QCOMPARE(stop.verb, QStringLiteral("stop"));
    // Some of the book was heard, so a lost position would show.
    QVERIFY2(stop.msec > 0, qPrintable(trace));
    QVERIFY(first.contains("[sim] system: poweroff"));
    QCOMPARE(QSettings().value(QStringLiteral("batteryEmpty")).toBool(), true);
    // "Battery empty", "the device will power off", and the place kept where the engine stopped.
    const QString prompts = spoken();
    const qsizetype empty = prompts.indexOf(QLatin1String("message001.wav"));
    QVERIFY2(empty >= 0 && prompts.indexOf(QLatin1String("message006.wav"), empty) > empty, qPrintable(prompts));
    // The title's short file is over by now; the place is in a later one.
    const QString reading = events.at(lastPlay(events)).file;
    int spine = 0;
    while (spine < 4 && reading != audio(spine + 1))
        ++spine;
    QVERIFY2(spine > 0 && spine < 4, qPrintable(trace));
    QCOMPARE(storedMarker(), std::make_pair(spine, stop.msec));

    // The reader plugs the adapter in, which switches the device on: it charges,
    // looking off, until the power button is held; then the book goes on.
    QFile::remove(m_record);
    const QByteArray second = run(QStringLiteral(R"(adapter in
battery 3400
usb insert %1
await void MainClass::runIdleMode()
status
power hold
await engine seek
wait 1000
power hold
await engine stop
quit
)").arg(m_stick));
    QCOMPARE(m_exit, QStringLiteral("exit 0"));
    const QString charging = QString::fromUtf8(second);
    QVERIFY2(charging.contains(QLatin1String("adapter=in")) && charging.contains(QLatin1String("charging=yes")), qPrintable(charging));
    const QList<EngineEvent> resumed = engineEvents(second);
    const QString trace2 = describe(resumed);
    QVERIFY2(resumed.size() >= 2, qPrintable(trace2));
    QCOMPARE(resumed.at(0).verb, QStringLiteral("play"));
    QCOMPARE(resumed.at(0).file, reading);
    QCOMPARE(resumed.at(1).verb, QStringLiteral("seek"));
    QCOMPARE(resumed.at(1).msec, stop.msec);
    // Charging looked switched off: the book waited for the power button.
    const qsizetype button = second.indexOf("> hold power");
    QVERIFY(button > 0);
    QVERIFY2(!second.left(button).contains("[sim] engine"), second.constData());
    QCOMPARE(QSettings().value(QStringLiteral("batteryEmpty")).toBool(), false);
}

QTEST_GUILESS_MAIN(RoadTest)
#include "roadtest.moc"
