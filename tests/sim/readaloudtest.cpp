// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The whole firmware on the board model: an EPUB book without narration on a
// stick is read aloud from the shelf, a key moves it on by a sentence, and after
// the firmware is started again it goes on from the sentence where it stopped.
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
    const QString file = QStringLiteral("/tmp/read-aloud.script");
    if (!root.writeFile(file, script.toUtf8()))
        return {};
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QUIMBO_ROOT"), root.root());
    env.insert(QStringLiteral("QUIMBO_PLATFORM"), QStringLiteral("sim"));
    env.insert(QStringLiteral("PATH"), QStringLiteral(QUIMBO_SOURCE_DIR "/tools/sim-bin:") + env.value(QStringLiteral("PATH")));
    QProcess firmware;
    firmware.setProcessEnvironment(env);
    firmware.setWorkingDirectory(root.root());
    firmware.setStandardErrorFile(QProcess::nullDevice());
    firmware.setStandardInputFile(QProcess::nullDevice());
    TestData::startBuiltProgram(&firmware, kBinary, {QStringLiteral("--sim"), QStringLiteral("--script"), root.path(file)});
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

class ReadAloudTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(QFileInfo(kBinary).isExecutable(), qPrintable(kBinary)); }

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

QTEST_GUILESS_MAIN(ReadAloudTest)
#include "readaloudtest.moc"
