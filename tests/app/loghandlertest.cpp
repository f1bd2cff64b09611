// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/loghandler.h"
#include "app/logcategory.h"
#include "formats/daisytalkingbook.h"

#include "testroot.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QThread>

#include <memory>

#include <sys/resource.h>

class LogHandlerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void lineFormat_data();
    void lineFormat();
    void rulesFileFiltersCategories_data();
    void rulesFileFiltersCategories();
    void rotation_data();
    void rotation();
    void unwritableLogLosesTheLine_data();
    void unwritableLogLosesTheLine();
    void linesFromTwoThreadsStayWhole();
    void fatalAbortsAfterTheLine();

private:
    static void log(QtMsgType type, const QString &text)
    {
        messageLogHandler(type, QMessageLogContext(), text);
    }
    QString logPath() const { return m_root->path(QStringLiteral("/root/quimbo/log")); }
    QString oldLogPath() const { return m_root->path(QStringLiteral("/root/quimbo/log1")); }
    QStringList logLines() const { return m_root->log().split(QLatin1Char('\n'), Qt::SkipEmptyParts); }

    std::unique_ptr<TestRoot> m_root;
};

void LogHandlerTest::init()
{
    m_root = std::make_unique<TestRoot>();
    QVERIFY(m_root->isValid());
}

void LogHandlerTest::cleanup()
{
    m_root.reset();
}

void LogHandlerTest::lineFormat_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("written"); // after the day and time

    QTest::newRow("debug") << int(QtDebugMsg) << "void MainClass::runPowerUp()" << "Debug: void MainClass::runPowerUp()";
    QTest::newRow("warning") << int(QtWarningMsg) << "[AudioSettings::presetVolume] speaker volume exceeds RS1 level..reset to safe value"
                             << "Warning: [AudioSettings::presetVolume] speaker volume exceeds RS1 level..reset to safe value";
    QTest::newRow("critical") << int(QtCriticalMsg) << "disk full" << "Critical: disk full";
    QTest::newRow("text with a percent sign") << int(QtDebugMsg) << "Battery state of charge: 50 %1 %" << "Debug: Battery state of charge: 50 %1 %";
    QTest::newRow("info") << int(QtInfoMsg) << "[InputDevice] /dev/input/event1 is back" << "Info: [InputDevice] /dev/input/event1 is back";
    QTest::newRow("empty info") << int(QtInfoMsg) << QString() << "Info: ";
    // No empty lines: the text's own line ends are dropped, inner ones kept.
    QTest::newRow("own line end") << int(QtDebugMsg) << "firmware output:\n" << "Debug: firmware output:";
    QTest::newRow("own CR LF ends") << int(QtWarningMsg) << "dmesg says\r\n\r\n" << "Warning: dmesg says";
    QTest::newRow("inner line end kept") << int(QtDebugMsg) << "two\nparts" << "Debug: two\nparts";
}

void LogHandlerTest::lineFormat()
{
    QFETCH(int, type);
    QFETCH(QString, text);
    QFETCH(QString, written);

    // Appended to what the log holds, one line per message.
    QVERIFY(m_root->writeFile(QStringLiteral("/root/quimbo/log"), "earlier line\n"));
    const qint64 dayBefore = QDate::currentDate().toJulianDay();
    log(QtMsgType(type), text);
    const qint64 dayAfter = QDate::currentDate().toJulianDay();
    log(QtDebugMsg, QStringLiteral("next"));

    const QString content = m_root->log();
    const QRegularExpression format(QStringLiteral("^earlier line\n(\\d+) (\\d\\d):(\\d\\d):(\\d\\d) (.*)\n\\d+ \\d\\d:\\d\\d:\\d\\d Debug: next\n$"),
                                    QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = format.match(content);
    QVERIFY2(match.hasMatch(), qPrintable(content));
    const qint64 day = match.captured(1).toLongLong();
    QVERIFY(day == dayBefore || day == dayAfter);
    QVERIFY(match.captured(2).toInt() < 24);
    QVERIFY(match.captured(3).toInt() < 60);
    QCOMPARE(match.captured(5), written);
}

void LogHandlerTest::rulesFileFiltersCategories_data()
{
    QTest::addColumn<QByteArray>("rules"); // null: no rules file
    QTest::addColumn<bool>("formatsDebug");
    QTest::addColumn<bool>("formatsWarnings");

    QTest::newRow("no rules file") << QByteArray() << true << true;
    QTest::newRow("empty rules file") << QByteArray("") << true << true;
    QTest::newRow("formats off") << QByteArray("quimbo.formats=false\n") << false << false;
    QTest::newRow("formats debug off") << QByteArray("quimbo.formats.debug=false\n") << false << true;
    QTest::newRow("qtlogging.ini form") << QByteArray("[Rules]\n# parsers are noisy\nquimbo.formats=false\n") << false << false;
    QTest::newRow("other category off") << QByteArray("quimbo.audio=false\n") << true << true;
    QTest::newRow("garbage") << QByteArray("\x01\xff=maybe\nnot a rule\n") << true << true;
}

void LogHandlerTest::rulesFileFiltersCategories()
{
    QFETCH(QByteArray, rules);
    QFETCH(bool, formatsDebug);
    QFETCH(bool, formatsWarnings);

    if (!rules.isNull())
        QVERIFY(m_root->writeFile(QString::fromLatin1(LogHandler::rulesFile), rules));
    const QtMessageHandler previous = qInstallMessageHandler(messageLogHandler);
    const bool applied = LogHandler::loadFilterRules();
    // A book the parsers refuse: a debug line naming the format, then warnings.
    std::unique_ptr<DaisyTalkingBook> book(DaisyTalkingBook::open(m_root->path(QStringLiteral("/media/usb/book/ncc.html"))));
    qCWarning(lcApp) << "controller line";
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules(QString());

    QCOMPARE(applied, !rules.isNull());
    QVERIFY(!book);
    const QString content = m_root->log();
    QCOMPARE(content.contains(QStringLiteral(" Debug: [DaisyTalkingBook::open] this is a Daisy 2.02 book")), formatsDebug);
    QCOMPARE(content.contains(QStringLiteral(" Warning: [DaisyTalkingBook::")), formatsWarnings);
    QVERIFY2(content.contains(QStringLiteral(" Warning: controller line")), qPrintable(content));
    // The log tells which rules were in force.
    QCOMPARE(content.contains(QStringLiteral(" Info: [LogHandler::loadFilterRules] logging rules from")), applied);
}

void LogHandlerTest::rotation_data()
{
    QTest::addColumn<qint64>("sizeAfterWrite"); // size the log reaches with the new line
    QTest::addColumn<bool>("rotated");

    QTest::newRow("exactly at the limit stays") << LogHandler::maximumLogSize << false;
    QTest::newRow("one byte above rotates") << LogHandler::maximumLogSize + 1 << true;
}

void LogHandlerTest::rotation()
{
    QFETCH(qint64, sizeAfterWrite);
    QFETCH(bool, rotated);

    // The length of one line: the day and time fields have a fixed width.
    const QString text = QStringLiteral("the line that crosses");
    log(QtDebugMsg, text);
    const qint64 lineLength = QFileInfo(logPath()).size();
    QVERIFY(lineLength > text.size());

    const QByteArray filler = QByteArray(sizeAfterWrite - lineLength - 1, 'x') + '\n';
    QVERIFY(m_root->writeFile(QStringLiteral("/root/quimbo/log"), filler));
    QVERIFY(m_root->writeFile(QStringLiteral("/root/quimbo/log1"), "previous rotation\n"));

    log(QtDebugMsg, text);

    if (!rotated) {
        QCOMPARE(QFileInfo(logPath()).size(), sizeAfterWrite);
        QCOMPARE(m_root->readFile(QStringLiteral("/root/quimbo/log1")), QByteArray("previous rotation\n"));
        return;
    }

    // The crossing line was written before the file moved; the older log1 is gone.
    QVERIFY(!QFileInfo::exists(logPath()));
    const QByteArray old = m_root->readFile(QStringLiteral("/root/quimbo/log1"));
    QCOMPARE(qint64(old.size()), sizeAfterWrite);
    QVERIFY(old.startsWith(filler));
    QVERIFY(old.endsWith(QByteArray(QByteArray(" Debug: ") + text.toUtf8() + '\n')));
    QVERIFY(!old.contains("previous rotation"));

    log(QtDebugMsg, QStringLiteral("next"));
    const QStringList lines = logLines();
    QCOMPARE(lines.size(), 1);
    QVERIFY(lines.first().endsWith(QStringLiteral(" Debug: next")));
}

void LogHandlerTest::unwritableLogLosesTheLine_data()
{
    QTest::addColumn<QString>("obstacle");

    QTest::newRow("log is a directory") << "directory";
    QTest::newRow("log folder missing") << "no folder";
}

void LogHandlerTest::unwritableLogLosesTheLine()
{
    QFETCH(QString, obstacle);

    const QString folder = m_root->path(QStringLiteral("/root/quimbo"));
    if (obstacle == QLatin1String("directory"))
        QVERIFY(QDir().mkpath(logPath()));
    else
        QVERIFY(QDir(folder).removeRecursively());

    log(QtDebugMsg, QStringLiteral("lost"));
    log(QtWarningMsg, QStringLiteral("lost too"));

    if (obstacle == QLatin1String("directory")) {
        QVERIFY(QFileInfo(logPath()).isDir());
        QVERIFY(QDir(logPath()).isEmpty());
    } else {
        QVERIFY(!QFileInfo::exists(folder));
    }
    QVERIFY(!QFileInfo::exists(oldLogPath()));
}

void LogHandlerTest::linesFromTwoThreadsStayWhole()
{
    constexpr int perThread = 400;
    auto writer = [](const QString &name) {
        return QThread::create([name] {
            for (int i = 0; i < perThread; ++i)
                log(QtDebugMsg, name + QLatin1Char(' ') + QString::number(i) + QStringLiteral(" ----------------------------------------"));
        });
    };
    std::unique_ptr<QThread> a(writer(QStringLiteral("keypad")));
    std::unique_ptr<QThread> b(writer(QStringLiteral("search")));
    a->start();
    b->start();
    QVERIFY(a->wait(30000));
    QVERIFY(b->wait(30000));

    const QStringList lines = logLines();
    QCOMPARE(lines.size(), 2 * perThread);
    const QRegularExpression whole(QStringLiteral("^\\d+ \\d\\d:\\d\\d:\\d\\d Debug: (keypad|search) \\d+ -{40}$"));
    int keypad = 0;
    for (const QString &line : lines) {
        const QRegularExpressionMatch match = whole.match(line);
        QVERIFY2(match.hasMatch(), qPrintable(line));
        if (match.captured(1) == QLatin1String("keypad"))
            ++keypad;
    }
    QCOMPARE(keypad, perThread);
}

void LogHandlerTest::fatalAbortsAfterTheLine()
{
    // The fatal message is sent by a copy of this program (see main()), since it must not survive it.
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QUIMBO_ROOT"), m_root->root());
    env.insert(QStringLiteral("LOGHANDLERTEST_FATAL"), QStringLiteral("battery controller on fire"));
    child.setProcessEnvironment(env);
    child.setChildProcessModifier([] {
        const rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore); // an expected abort leaves no core file behind
    });
    TestData::startBuiltProgram(&child, QCoreApplication::applicationFilePath(), QStringList());
    QVERIFY(child.waitForFinished(10000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);

    const QStringList lines = logLines();
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().endsWith(QStringLiteral(" Fatal: battery controller on fire")), qPrintable(lines.first()));
}

int main(int argc, char *argv[])
{
    const QString fatal = qEnvironmentVariable("LOGHANDLERTEST_FATAL");
    if (!fatal.isEmpty()) {
        messageLogHandler(QtFatalMsg, QMessageLogContext(), fatal);
        return 0; // not reached
    }
    QCoreApplication app(argc, argv);
    LogHandlerTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "loghandlertest.moc"
