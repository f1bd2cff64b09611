// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/platform.h"
#include "platform/sim/simboard.h"
#include "platform/sim/simmedia.h"
#include "sim/simcommandrunner.h"
#include "sim/simcontrolserver.h"
#include "testroot.h"

#include <QFile>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTest>

using Platform::SimBoard;

class SimControlServerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void answers_data();
    void answers();
    void tapPressesThenReleases();
    void answersKeepTheirOrder();
    void quitIsAnsweredFirst();
    void twoClientsDoNotWaitForEachOther();
    void awaitFollowsTheLog();

private:
    /** Sends lines and collects as many answer lines. */
    QStringList send(QLocalSocket *socket, const QStringList &lines);

    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<SimControlServer> m_server;
    QString m_path;
};

void SimControlServerTest::initTestCase()
{
    Platform::setBackend(Platform::Backend::Simulated);
    // Key times are counted in scan ticks; one tick of 1 ms keeps taps short.
    Platform::setTimeScale(0.1);
}

void SimControlServerTest::init()
{
    m_root = std::make_unique<TestRoot>();
    SimBoard::instance()->reset();
    Platform::SimMedia::instance()->reset();
    m_server = std::make_unique<SimControlServer>();
    m_path = m_root->path(QStringLiteral("/tmp/quimbo-sim.sock"));
    QVERIFY(m_server->listen(m_path));
}

void SimControlServerTest::cleanup()
{
    m_server.reset();
    m_root.reset();
}

QStringList SimControlServerTest::send(QLocalSocket *socket, const QStringList &lines)
{
    for (const QString &line : lines)
        socket->write(line.toUtf8() + '\n');
    socket->flush();
    QStringList answers;
    QElapsedTimer timer;
    timer.start();
    while (answers.size() < lines.size() && timer.elapsed() < 10000) {
        if (!socket->canReadLine() && !socket->waitForReadyRead(50)) {
            QCoreApplication::processEvents();
            continue;
        }
        while (socket->canReadLine())
            answers << QString::fromUtf8(socket->readLine()).trimmed();
    }
    return answers;
}

void SimControlServerTest::answers_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("statusPart");

    QTest::newRow("press shows in status")
        << QStringList{QStringLiteral("press play"), QStringLiteral("press ff"), QStringLiteral("status")}
        << QStringList{QStringLiteral("ok"), QStringLiteral("ok"), QStringLiteral("ok *")} << "keys=ff,play";
    QTest::newRow("release clears")
        << QStringList{QStringLiteral("press 2050"), QStringLiteral("release menu"), QStringLiteral("status")}
        << QStringList{QStringLiteral("ok"), QStringLiteral("ok"), QStringLiteral("ok *")} << "keys=none";
    QTest::newRow("bad line between good ones")
        << QStringList{QStringLiteral("press rew"), QStringLiteral("press nothing"), QStringLiteral("status")}
        << QStringList{QStringLiteral("ok"), QStringLiteral("error: unknown key \"nothing\""), QStringLiteral("ok *")}
        << "keys=rew";
    QTest::newRow("revision refused after start")
        << QStringList{QStringLiteral("revision 6"), QStringLiteral("status")}
        << QStringList{QStringLiteral("error: the revision can only be set before the firmware starts"), QStringLiteral("ok *")}
        << "revision=4";
    QTest::newRow("usb fault drives line 202 low")
        << QStringList{QStringLiteral("usbfault on"), QStringLiteral("status")}
        << QStringList{QStringLiteral("ok"), QStringLiteral("ok *")} << "line202=0";
    QTest::newRow("usb fault off drives it high")
        << QStringList{QStringLiteral("usbfault on"), QStringLiteral("usbfault off"), QStringLiteral("status")}
        << QStringList{QStringLiteral("ok"), QStringLiteral("ok"), QStringLiteral("ok *")} << "line202=1";
    QTest::newRow("headphones")
        << QStringList{QStringLiteral("headphones in"), QStringLiteral("status")}
        << QStringList{QStringLiteral("ok"), QStringLiteral("ok *")} << "headphones=in";
    const QString folder = QStringLiteral(QUIMBO_TEST_DATA);
    QTest::newRow("stick in")
        << QStringList{QStringLiteral("usb insert ") + folder, QStringLiteral("status")}
        << QStringList{QStringLiteral("ok"), QStringLiteral("ok *")} << "usbslot=/dev/sda1";
    QTest::newRow("stick out")
        << QStringList{QStringLiteral("usb insert ") + folder, QStringLiteral("usb remove"), QStringLiteral("status")}
        << QStringList{QStringLiteral("ok"), QStringLiteral("ok"), QStringLiteral("ok *")} << "usbslot=none";
    QTest::newRow("card from a folder that is not there")
        << QStringList{QStringLiteral("sd insert /nonexistent folder"), QStringLiteral("status")}
        << QStringList{QStringLiteral("error: no folder \"/nonexistent folder\""), QStringLiteral("ok *")} << "sdslot=none";
    QTest::newRow("empty slot")
        << QStringList{QStringLiteral("sd remove")} << QStringList{QStringLiteral("error: the sd slot is empty")} << "";
    QTest::newRow("audio disc")
        << QStringList{QStringLiteral("cd audio ") + folder, QStringLiteral("status")}
        << QStringList{QStringLiteral("ok"), QStringLiteral("ok *")} << "cd=audio";
    QTest::newRow("disc taken out leaves the tray open")
        << QStringList{QStringLiteral("cd insert ") + folder, QStringLiteral("cd remove"), QStringLiteral("status")}
        << QStringList{QStringLiteral("ok"), QStringLiteral("ok"), QStringLiteral("ok *")} << "cd=open";
    QTest::newRow("wait then log")
        << QStringList{QStringLiteral("wait 100"), QStringLiteral("log hello")}
        << QStringList{QStringLiteral("ok"), QStringLiteral("ok")} << "";
}

void SimControlServerTest::answers()
{
    QFETCH(QStringList, lines);
    QFETCH(QStringList, expected);
    QFETCH(QString, statusPart);

    QLocalSocket socket;
    socket.connectToServer(m_path);
    QVERIFY(socket.waitForConnected(2000));
    const QStringList answers = send(&socket, lines);
    QCOMPARE(answers.size(), expected.size());
    for (int i = 0; i < answers.size(); ++i) {
        if (expected.at(i).endsWith(QLatin1Char('*'))) {
            QVERIFY2(answers.at(i).startsWith(expected.at(i).chopped(1)), qPrintable(answers.at(i)));
            QVERIFY2(answers.at(i).split(QLatin1Char(' ')).contains(statusPart), qPrintable(answers.at(i)));
        } else {
            QCOMPARE(answers.at(i), expected.at(i));
        }
    }
}

void SimControlServerTest::tapPressesThenReleases()
{
    QSignalSpy keys(SimBoard::instance(), &SimBoard::keyChanged);
    QLocalSocket socket;
    socket.connectToServer(m_path);
    QVERIFY(socket.waitForConnected(2000));
    QCOMPARE(send(&socket, {QStringLiteral("tap speedup 300")}), QStringList{QStringLiteral("ok")});
    QTRY_COMPARE(keys.size(), 2);
    QCOMPARE(keys.at(0), (QVariantList{2056, true}));
    QCOMPARE(keys.at(1), (QVariantList{2056, false}));
    QVERIFY(!SimBoard::instance()->isKeyDown(2056));
}

void SimControlServerTest::answersKeepTheirOrder()
{
    // A hold answers when the key is up again; the status after it must see
    // the key released, and the bad line in between answers in its place.
    QLocalSocket socket;
    socket.connectToServer(m_path);
    QVERIFY(socket.waitForConnected(2000));
    const QStringList answers = send(&socket, {QStringLiteral("hold eject 500"), QStringLiteral("knob 7"), QStringLiteral("status")});
    QCOMPARE(answers.size(), 3);
    QCOMPARE(answers.at(0), QStringLiteral("ok"));
    QVERIFY(answers.at(1).startsWith(QLatin1String("error: ")));
    QVERIFY2(answers.at(2).contains(QLatin1String("keys=none")), qPrintable(answers.at(2)));
}

void SimControlServerTest::quitIsAnsweredFirst()
{
    QSignalSpy quit(m_server.get(), &SimControlServer::quitRequested);
    QLocalSocket socket;
    socket.connectToServer(m_path);
    QVERIFY(socket.waitForConnected(2000));
    QCOMPARE(send(&socket, {QStringLiteral("quit")}), QStringList{QStringLiteral("ok")});
    QTRY_COMPARE(quit.size(), 1);
}

void SimControlServerTest::twoClientsDoNotWaitForEachOther()
{
    QLocalSocket slow;
    QLocalSocket quick;
    slow.connectToServer(m_path);
    quick.connectToServer(m_path);
    QVERIFY(slow.waitForConnected(2000));
    QVERIFY(quick.waitForConnected(2000));
    slow.write("hold play 60000\n");
    slow.flush();
    const QStringList answers = send(&quick, {QStringLiteral("status")});
    QCOMPARE(answers.size(), 1);
    QVERIFY2(answers.at(0).contains(QLatin1String("keys=play")), qPrintable(answers.at(0)));
    QVERIFY(!slow.canReadLine());

    // Hanging up in the middle of the hold lets the key go.
    slow.disconnectFromServer();
    QTRY_VERIFY(!SimBoard::instance()->isKeyDown(2060));
}

void SimControlServerTest::awaitFollowsTheLog()
{
    const QString log = QStringLiteral("/root/quimbo/log");
    QVERIFY(m_root->writeFile(log, "2461000 10:00:00 Debug: old run\n"));
    // Lines of earlier runs do not count.
    SimCommandRunner::setLogStart(m_root->readFile(log).size());
    QFile file(m_root->path(log));
    QVERIFY(file.open(QIODevice::Append));
    file.write("2461000 10:00:01 Debug: void MainClass::runPowerUp()\n2461000 10:00:02 Debug: void MainClass::runMainClass()\n");
    file.flush();

    QLocalSocket socket;
    socket.connectToServer(m_path);
    QVERIFY(socket.waitForConnected(2000));
    QCOMPARE(send(&socket, {QStringLiteral("await runMainClass()")}), QStringList{QStringLiteral("ok")});

    // runPowerUp was logged before the line matched last: only a new one counts.
    socket.write("await runPowerUp\nstatus\n");
    socket.flush();
    QTest::qWait(200);
    QVERIFY(!socket.canReadLine());
    file.write("2461000 10:00:03 Debug: void MainClass::runPowerUp()\n");
    file.flush();
    QTRY_VERIFY(socket.canReadLine());
    QCOMPARE(socket.readLine().trimmed(), QByteArray("ok"));
    QTRY_VERIFY(socket.canReadLine());
    QVERIFY(socket.readLine().startsWith("ok led0="));
}

QTEST_GUILESS_MAIN(SimControlServerTest)
#include "simcontrolservertest.moc"
