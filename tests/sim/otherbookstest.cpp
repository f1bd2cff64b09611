// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The whole firmware on the board model, driven by a script: a folder of MP3
// files on a stick, an audio CD and an EPUB 3 book each start from the shelf,
// stop on the play key and go on from the same place on the next press; an EPUB
// book without narration is read aloud, a key moves it on by a sentence, and
// after the firmware is started again it goes on from the sentence where it stopped.
#include "playerfixture.h"
#include "testroot.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

namespace {
const QString kBinary = QStringLiteral(QUIMBO_BINARY_DIR "/bin/quimbo-basic");

/** Runs the firmware on @p root with @p script; its output, or empty when it did not end well. */
QString runFirmware(TestRoot &root, const QString &script)
{
    const QString file = QStringLiteral("/tmp/book.script");
    if (!root.writeFile(file, script.toUtf8()))
        return {};
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QUIMBO_ROOT"), root.root());
    env.insert(QStringLiteral("QUIMBO_PLATFORM"), QStringLiteral("sim"));
    env.insert(QStringLiteral("PATH"), QStringLiteral(QUIMBO_SOURCE_DIR "/tools/sim-bin:") + env.value(QStringLiteral("PATH")));
    QProcess firmware;
    firmware.setProcessEnvironment(env);
    // Started inside the root: the EPUB player's temporary audio must not land in the working directory.
    firmware.setWorkingDirectory(root.root());
    firmware.setStandardErrorFile(QProcess::nullDevice());
    firmware.setStandardInputFile(QProcess::nullDevice());
    TestData::startBuiltProgram(&firmware, kBinary, {QStringLiteral("--sim"), QStringLiteral("--script"), root.path(file)});
    // A sanitizer's report in the firmware shows only in how it ended.
    if (!firmware.waitForStarted(5000) || !firmware.waitForFinished(120000) || firmware.exitStatus() != QProcess::NormalExit || firmware.exitCode() != 0)
        return {};
    return QString::fromUtf8(firmware.readAllStandardOutput());
}

/** The sentence numbers of the files the engine played, in order. */
QList<int> playedSentences(const QString &out)
{
    QList<int> sentences;
    const QRegularExpression play(QStringLiteral("^\\[sim\\] engine play .*/tmp/ttsAudioFiles/sentence-(\\d+)\\.wav at \\d+$"), QRegularExpression::MultilineOption);
    for (auto it = play.globalMatch(out); it.hasNext();)
        sentences.append(it.next().captured(1).toInt());
    return sentences;
}
} // namespace

class OtherBooksTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(QFileInfo(kBinary).isExecutable(), qPrintable(kBinary)); }

    void playsStopsAndGoesOn_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("firstAudio"); // how the engine names it (a prefix)
        QTest::newRow("folder of MP3 files") << "mp3" << "/media/usb/Talks #2/part 1.mp3";
        QTest::newRow("audio CD") << "cd" << "cdda://cdda-track=1";
        QTest::newRow("EPUB 3") << "epub" << "/tmp/temporaryAudioFiles/tempAudiofile";
    }
    void playsStopsAndGoesOn()
    {
        QFETCH(QString, kind);
        QFETCH(QString, firstAudio);
        TestRoot root;
        const QString medium = root.path(QStringLiteral("/host/medium"));
        QVERIFY(QDir().mkpath(medium + QStringLiteral("/Talks #2")));
        QString insert;
        if (kind == QLatin1String("mp3")) {
            for (int n = 1; n <= 2; ++n)
                QVERIFY(PlayerFixture::makeTone(medium + QStringLiteral("/Talks #2/part %1.mp3").arg(n), 5));
            insert = QStringLiteral("usb insert ") + medium;
        } else if (kind == QLatin1String("cd")) {
            for (int n = 1; n <= 2; ++n)
                QVERIFY(PlayerFixture::makeTone(medium + QStringLiteral("/track0%1.wav").arg(n), 5, true));
            insert = QStringLiteral("cd audio ") + medium;
        } else {
            QVERIFY(QFile::copy(TestData::generated(QStringLiteral("epub/generated-3ch.epub")), medium + QStringLiteral("/book.epub")));
            insert = QStringLiteral("usb insert ") + medium;
        }
        const QString out = runFirmware(root, QStringLiteral("await void MainClass::runMainClass()\n%1\nawait engine play\nwait 1500\ntap play 300\n"
                                                             "await engine stop\nwait 500\ntap play 300\nawait engine seek\nquit\n")
                                                  .arg(insert));
        QVERIFY2(!out.isEmpty(), "the firmware did not end well");

        const QRegularExpression play(QStringLiteral("^\\[sim\\] engine play (.+) at \\d+$"), QRegularExpression::MultilineOption);
        const QRegularExpressionMatch first = play.match(out);
        QVERIFY2(first.hasMatch(), qPrintable(out.right(3000)));
        const QString expected = firstAudio.startsWith(QLatin1Char('/')) ? root.path(firstAudio) : firstAudio;
        QVERIFY2(first.captured(1).startsWith(expected), qPrintable(first.captured(1)));
        const QRegularExpressionMatch stop = QRegularExpression(QStringLiteral("^\\[sim\\] engine stop at (\\d+)$"), QRegularExpression::MultilineOption).match(out);
        QVERIFY2(stop.hasMatch(), qPrintable(out.right(3000)));
        QVERIFY(stop.captured(1).toLongLong() > 0);
        // The second press goes on where the first stopped.
        const QRegularExpressionMatch seek = QRegularExpression(QStringLiteral("^\\[sim\\] engine seek (\\d+)$"), QRegularExpression::MultilineOption).match(out, stop.capturedEnd());
        QVERIFY2(seek.hasMatch(), qPrintable(out.right(3000)));
        QCOMPARE(seek.captured(1), stop.captured(1));
        QVERIFY(QDir(root.path(QStringLiteral("/tmp/temporaryAudioFiles"))).entryList(QDir::Files).isEmpty());
        QVERIFY(!QFileInfo::exists(root.root() + QStringLiteral("/temporaryAudioFiles")));
    }

    void readsFromTheShelfAndResumesAfterRestart()
    {
        TestRoot root;
        const QString medium = root.path(QStringLiteral("/host/stick #1"));
        QVERIFY(QDir().mkpath(medium));
        QVERIFY(QFile::copy(TestData::generated(QStringLiteral("text/book.epub")), medium + QStringLiteral("/Read aloud.epub")));
        const QString insert = QStringLiteral("await void MainClass::runMainClass()\nusb insert ") + medium + QLatin1Char('\n');

        // The only book on the stick starts by itself; stop, one sentence on, stop.
        const QString first = runFirmware(root, insert + QStringLiteral("await engine play\nwait 300\ntap play 300\nawait engine stop\n"
                                                                          "wait 300\ntap ff 300\nawait engine play\nwait 300\ntap play 300\n"
                                                                          "await engine stop\nwait 300\nquit\n"));
        QVERIFY2(!first.isEmpty(), "the firmware did not end well");
        const QList<int> played = playedSentences(first);
        QVERIFY2(played.size() >= 2, qPrintable(first.right(3000)));
        QCOMPARE(played.first(), 0);
        QVERIFY(played.last() > 0);
        QVERIFY(QDir(root.path(QStringLiteral("/tmp/ttsAudioFiles"))).entryList(QDir::Files).isEmpty());

        // Started again: the book goes on at the sentence it stopped at.
        const QString second = runFirmware(root, insert + QStringLiteral("await engine play\nwait 300\ntap play 300\nawait engine stop\nquit\n"));
        QVERIFY2(!second.isEmpty(), "the firmware did not end well");
        const QList<int> resumed = playedSentences(second);
        QVERIFY2(!resumed.isEmpty(), qPrintable(second.right(3000)));
        QCOMPARE(resumed.first(), played.last());
    }
};

QTEST_GUILESS_MAIN(OtherBooksTest)
#include "otherbookstest.moc"
