// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/vlcmediaplayer.h"
#include "quimboversion.h"

#include "testroot.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <memory>

// Runs the built quimbo-basic program the way the device starts it.
class StartTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void versionPrintsAndExits_data();
    void versionPrintsAndExits();
    void bannerIsLoggedOnTheSimulatedBoard();
    void loggingRulesFile_data();
    void loggingRulesFile();

private:
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QUIMBO_ROOT"), m_root->root());
        env.insert(QStringLiteral("QUIMBO_PLATFORM"), QStringLiteral("sim"));
        env.insert(QStringLiteral("QUIMBO_TIME_SCALE"), QStringLiteral("0.01"));
        return env;
    }
    static QString program() { return QStringLiteral(QUIMBO_BINARY_DIR "/bin/quimbo-basic"); }

    std::unique_ptr<TestRoot> m_root;
};

void StartTest::init()
{
    m_root = std::make_unique<TestRoot>();
    QVERIFY(m_root->isValid());
    QVERIFY2(QFileInfo(program()).isExecutable(), qPrintable(program()));
}

void StartTest::cleanup()
{
    m_root.reset();
}

void StartTest::versionPrintsAndExits_data()
{
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("alone") << QStringList{QStringLiteral("--version")};
    QTest::newRow("among other arguments") << QStringList{QStringLiteral("--sim"), QStringLiteral("--version"), QStringLiteral("extra")};
}

void StartTest::versionPrintsAndExits()
{
    QFETCH(QStringList, arguments);

    QProcess process;
    QProcessEnvironment env = environment();
    // The updater reads the answer: rules that silence the log must not silence it.
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*=false"));
    process.setProcessEnvironment(env);
    TestData::startBuiltProgram(&process, program(), arguments);
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(process.readAllStandardOutput(), QByteArrayLiteral(QUIMBO_VERSION_STRING "\n"));

    // Nothing else ran: no log, no kernel messages, no settings.
    const QString folder = m_root->path(QStringLiteral("/root/quimbo"));
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    QVERIFY(!m_root->exists(QStringLiteral("/root/.config/KAL/quimbo-basic.conf")));
}

void StartTest::bannerIsLoggedOnTheSimulatedBoard()
{
    // No "batteryEmpty" stored: the banner reports a battery-empty shutdown.
    QVERIFY(m_root->writeFile(QStringLiteral("/root/.config/KAL/quimbo-basic.conf"), "[General]\ntimeActive=125\nsystemLanguage=deu\n"));

    QProcess process;
    process.setProcessEnvironment(environment());
    TestData::startBuiltProgram(&process, program(), {});
    QVERIFY(process.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(m_root->log().count(QStringLiteral("*********************************")) >= 2, 20000);
    process.kill();
    process.waitForFinished(5000);

    const QStringList expected{
        QStringLiteral("*********************************"),
        QStringLiteral("Quimbo basic"),
        QStringLiteral("PCB revision    : \"Rev4\""),
        QStringLiteral("Software version: \"" QUIMBO_VERSION_STRING "\""),
        QStringLiteral("SVN version     : \"362M\""),
        QStringLiteral("VLC             : \"") + VlcMediaPlayer::libraryVersion() + QLatin1Char('"'),
        QStringLiteral("SoundTouch      : \"2.3.1\""),
        QStringLiteral("Navigation mode : 1"),
        QStringLiteral("Language        : \"deu\""),
        QStringLiteral("Last shutdown   : \"shutdown by battery empty\""),
        QStringLiteral("Last time active: 125 minutes"),
        QStringLiteral("*********************************"),
    };
    const QRegularExpression debugLine(QStringLiteral("^\\d+ \\d\\d:\\d\\d:\\d\\d Debug: (.*)$"));
    QStringList banner;
    const QStringList lines = m_root->log().split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QRegularExpressionMatch match = debugLine.match(line);
        if (!match.hasMatch())
            continue;
        if (banner.isEmpty() && match.captured(1) != expected.first())
            continue;
        banner << match.captured(1);
        if (banner.size() == expected.size())
            break;
    }
    QCOMPARE(banner, expected);
}

void StartTest::loggingRulesFile_data()
{
    QTest::addColumn<QByteArray>("environmentRules"); // QT_LOGGING_RULES; empty: unset
    QTest::addColumn<bool>("controllerLines");

    QTest::newRow("the file silences the controller") << QByteArray() << false;
    QTest::newRow("the environment overrides the file") << QByteArray("quimbo.app=true") << true;
}

void StartTest::loggingRulesFile()
{
    QFETCH(QByteArray, environmentRules);
    QFETCH(bool, controllerLines);

    QVERIFY(m_root->writeFile(QStringLiteral("/root/quimbo/logging.rules"), "[Rules]\nquimbo.app=false\n"));
    QProcessEnvironment env = environment();
    env.remove(QStringLiteral("QT_LOGGING_RULES"));
    if (!environmentRules.isEmpty())
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QString::fromLatin1(environmentRules));

    QProcess process;
    process.setProcessEnvironment(env);
    TestData::startBuiltProgram(&process, program(), {});
    QVERIFY(process.waitForStarted());
    // The media watch starts after the banner and the power-up.
    QTRY_VERIFY_WITH_TIMEOUT(m_root->log().contains(QStringLiteral(" Debug: [UDevMonitor::start]")), 20000);
    process.kill();
    process.waitForFinished(5000);

    const QString log = m_root->log();
    QCOMPARE(log.contains(QStringLiteral(" Debug: Quimbo basic\n")), controllerLines);
    QCOMPARE(log.contains(QStringLiteral(" Debug: void MainClass::runPowerUp()\n")), controllerLines);
    // The other folders still log, and the log says which rules it read.
    QVERIFY2(log.contains(QStringLiteral(" Debug: [AudioSettings::setVolume] volume set to:")), qPrintable(log));
    QVERIFY2(log.contains(QStringLiteral(" Info: [LogHandler::loadFilterRules] logging rules from ")), qPrintable(log));
}

QTEST_GUILESS_MAIN(StartTest)
#include "starttest.moc"
