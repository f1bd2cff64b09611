// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/cdromworker.h"

#include "logcapture.h"
#include "library/logcategory.h"
#include "platform/platform.h"
#include "platform/sim/simboard.h"
#include "platform/sim/simmedia.h"
#include "simstorageroot.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using Platform::SimMedia;

class CdRomWorkerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void statusOfTheDrive_data();
    void statusOfTheDrive();
    void ejectRetries_data();
    void ejectRetries();
    void ejectOfANodeThatIsNoDrive();
    void emergencyEjectWithoutDrive();
    void diskOk_data();
    void diskOk();

private:
    std::unique_ptr<SimStorageRoot> m_root;
};

void CdRomWorkerTest::init()
{
    m_root = std::make_unique<SimStorageRoot>(0.01);
    QVERIFY(m_root->isValid());
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
}

void CdRomWorkerTest::cleanup()
{
    m_root.reset();
}

void CdRomWorkerTest::statusOfTheDrive_data()
{
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<QList<int>>("reported");

    // Each change of tray or disc is one report; the polls between report nothing.
    QTest::newRow("audio disc") << QStringList{"audio"} << QList<int>{2};
    QTest::newRow("data disc") << QStringList{"data"} << QList<int>{3};
    QTest::newRow("disc taken out") << QStringList{"audio", "remove"} << QList<int>{2, 1};
    QTest::newRow("tray closed empty") << QStringList{"open", "close"} << QList<int>{1, 4};
    // A drive that is not ready is asked again at each poll, whether or not it reports a change.
    QTest::newRow("spinning up, then ready") << QStringList{"notready", "data", "ready"} << QList<int>{0, 0, 3};
}

void CdRomWorkerTest::statusOfTheDrive()
{
    QFETCH(QStringList, actions);
    QFETCH(QList<int>, reported);

    SimMedia *sim = SimMedia::instance();
    CdRomWorker worker;
    QSignalSpy status(&worker, &CdRomWorker::statusChanged);
    worker.start();
    QList<int> seen;
    auto waitForReports = [&](int count) {
        QTRY_COMPARE(status.size(), count);
        for (const QList<QVariant> &report : std::as_const(status))
            seen << report.first().toInt();
        status.clear();
    };
    for (const QString &action : std::as_const(actions)) {
        if (action == QLatin1String("audio") || action == QLatin1String("data"))
            QVERIFY(sim->insertDisc(action == QLatin1String("audio") ? SimMedia::AudioDisc : SimMedia::DataDisc, m_root->medium(action)));
        else if (action == QLatin1String("remove"))
            sim->removeDisc();
        else if (action == QLatin1String("open") || action == QLatin1String("close"))
            sim->setTrayOpen(action == QLatin1String("open"));
        else
            sim->setDriveNotReady(action == QLatin1String("notready"));
        // One report per change; a repeated one would show up with the next.
        waitForReports(1);
    }
    QCOMPARE(seen, reported);
    QCOMPARE(worker.status(), reported.last());
    QSignalSpy finished(&worker, &CdRomWorker::finished);
    worker.stop();
    QCOMPARE(finished.size(), 1);
}

void CdRomWorkerTest::ejectRetries_data()
{
    QTest::addColumn<int>("failures");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("commands");

    QTest::newRow("first try") << 0 << 0 << 1;
    QTest::newRow("last of ten tries") << CdRomWorker::kEjectAttempts - 1 << 0 << CdRomWorker::kEjectAttempts;
    QTest::newRow("gives up after ten") << CdRomWorker::kEjectAttempts << -1 << CdRomWorker::kEjectAttempts;
}

void CdRomWorkerTest::ejectRetries()
{
    QFETCH(int, failures);
    QFETCH(int, result);

    SimMedia *sim = SimMedia::instance();
    QVERIFY(sim->insertDisc(SimMedia::DataDisc, m_root->medium(QStringLiteral("data"))));
    sim->setEjectFailures(failures);
    CdRomWorker worker;
    worker.start();
    LogCapture log(lcLibrary());
    QCOMPARE(worker.eject(), result);
    QTEST(sim->ejectCommandCount(), "commands");
    QCOMPARE(log.count(QStringLiteral("[CdRomWorker::eject] error startStop2Blk. Failed:")), qMin(failures, CdRomWorker::kEjectAttempts));
    QCOMPARE(log.contains(QStringLiteral("[CdRomWorker::eject] disc is ejecting..")), result == 0);
    QCOMPARE(sim->disc() == SimMedia::NoDisc, result == 0);
    if (result == 0) {
        // Polling goes on after the eject: the open tray is reported.
        QSignalSpy status(&worker, &CdRomWorker::statusChanged);
        QTRY_COMPARE(worker.status(), 1);
    }
}

void CdRomWorkerTest::ejectOfANodeThatIsNoDrive()
{
    // The device's own backend on a fake tree: the node opens but answers no SCSI request.
    Platform::setBackend(Platform::Backend::Linux);
    QVERIFY(m_root->writeFile(QStringLiteral("/dev/cd-rom"), "not a drive"));
    CdRomWorker worker;
    LogCapture log(lcLibrary());
    const int result = worker.eject();
    const bool refused = CdRomWorker::diskOk();
    Platform::setBackend(Platform::Backend::Simulated);
    QCOMPARE(result, -1);
    QVERIFY(!refused);
    QCOMPARE(log.count(QStringLiteral("[CdRomWorker::eject] not an sg device, or old sg driver! Failed:")), CdRomWorker::kEjectAttempts);
}

void CdRomWorkerTest::emergencyEjectWithoutDrive()
{
    Platform::setTimeScale(0.001);
    SimMedia::instance()->setDrivePresent(false);
    LogCapture log(lcLibrary());
    QVERIFY(!CdRomWorker::emergencyEject());
    // Eleven ejects of ten attempts each, every attempt logged.
    QCOMPARE(log.count(QStringLiteral("[CdRomWorker::eject] could not open device, attempts: 0")), 11);
    QCOMPARE(log.count(QStringLiteral("[CdRomWorker::eject] could not open device, attempts: 9")), 11);
    QCOMPARE(log.count(QStringLiteral("[CdRomWorker::eject] could not open device, attempts:")), 11 * CdRomWorker::kEjectAttempts);

    SimMedia::instance()->setDrivePresent(true);
    QVERIFY(SimMedia::instance()->insertDisc(SimMedia::DataDisc, m_root->medium(QStringLiteral("data"))));
    SimMedia::instance()->setEjectFailures(CdRomWorker::kEjectAttempts + 2);
    QVERIFY(CdRomWorker::emergencyEject());
    QCOMPARE(SimMedia::instance()->ejectCommandCount(), CdRomWorker::kEjectAttempts + 3);
}

void CdRomWorkerTest::diskOk_data()
{
    QTest::addColumn<QString>("drive");
    QTest::addColumn<bool>("ok");

    QTest::newRow("data disc") << "data" << true;
    QTest::newRow("audio disc") << "audio" << true;
    QTest::newRow("tray open") << "open" << false;
    QTest::newRow("empty drive") << "empty" << false;
    QTest::newRow("no drive") << "absent" << false;
}

void CdRomWorkerTest::diskOk()
{
    QFETCH(QString, drive);

    SimMedia *sim = SimMedia::instance();
    if (drive == QLatin1String("data") || drive == QLatin1String("audio"))
        sim->insertDisc(drive == QLatin1String("data") ? SimMedia::DataDisc : SimMedia::AudioDisc, m_root->medium(drive));
    sim->setTrayOpen(drive == QLatin1String("open"));
    sim->setDrivePresent(drive != QLatin1String("absent"));
    QTEST(CdRomWorker::diskOk(), "ok");
}

QTEST_GUILESS_MAIN(CdRomWorkerTest)
#include "cdromworkertest.moc"
