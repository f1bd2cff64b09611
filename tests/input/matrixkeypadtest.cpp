// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/board.h"
#include "input/keys.h"
#include "input/matrixkeypad.h"
#include "platform/platform.h"
#include "platform/sim/simboard.h"
#include "testroot.h"

#include <QSignalSpy>
#include <QTest>

class MatrixKeypadTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void filter_data();
    void filter();
    void disabledKeypadStaysSilent();

    void scanSimulatedBoard_data();
    void scanSimulatedBoard();

    void scanThreadReportsPressAndRelease();

private:
    std::unique_ptr<TestRoot> m_root;
};

namespace {

// "2048x1 2060x10" -> 2048 once, then 2060 ten times.
QList<int> expandScans(const QString &runs)
{
    QList<int> scans;
    const QStringList parts = runs.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        const QStringList keyAndCount = part.split(QLatin1Char('x'));
        for (int i = 0; i < keyAndCount.at(1).toInt(); ++i)
            scans.append(keyAndCount.at(0).toInt());
    }
    return scans;
}

} // namespace

void MatrixKeypadTest::initTestCase()
{
    Platform::setBackend(Platform::Backend::Simulated);
}

void MatrixKeypadTest::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    m_root = std::make_unique<TestRoot>();
    Platform::SimBoard::instance()->reset();
    Board::getInstance()->resetForTesting();
}

void MatrixKeypadTest::cleanup()
{
    Platform::setTimeScale(1.0);
    m_root.reset();
}

void MatrixKeypadTest::filter_data()
{
    QTest::addColumn<QString>("scans");
    QTest::addColumn<bool>("autoRepeat");
    QTest::addColumn<int>("repeatMsec"); // 0: keep the keypad's default
    QTest::addColumn<int>("releaseEnableAfter"); // scan after which setReleaseEnabled(true) is called, 0: never
    QTest::addColumn<QStringList>("expected"); // "scan:key:type", scans counted from 1

    // Scan 1 leaves the initial state; a press is reported after five more equal scans.
    QTest::newRow("short press") << "2048x1 2060x10 2048x1" << true << 0 << 0 << QStringList{"7:2060:1", "12:2060:0"};
    QTest::newRow("key down from the start is not a press") << "2060x20 2048x1" << true << 0 << 0 << QStringList();
    QTest::newRow("bounce within five scans") << "2048x1 2060x3 2048x1 2060x4 2048x1 2060x2 2048x2" << true << 0 << 0 << QStringList();
    QTest::newRow("bounce to another key") << "2048x1 2060x2 2059x20 2048x2" << true << 0 << 0 << QStringList();
    QTest::newRow("pressed exactly at the fifth equal scan") << "2048x1 2051x6 2048x1" << true << 0 << 0 << QStringList{"7:2051:1", "8:2051:0"};
    QTest::newRow("one scan short of a press") << "2048x1 2051x5 2048x1" << true << 0 << 0 << QStringList();
    QTest::newRow("hold after 200 ticks, release suppressed")
        << "2048x1 2058x300 2048x1" << true << 0 << 0 << QStringList{"7:2058:1", "207:2058:2"};
    QTest::newRow("one tick short of a hold") << "2048x1 2058x200 2048x1" << true << 0 << 0 << QStringList{"7:2058:1", "202:2058:0"};
    QTest::newRow("hold, auto-repeat off, no release")
        << "2048x1 2058x800 2048x1" << false << 0 << 0 << QStringList{"7:2058:1", "207:2058:2"};
    QTest::newRow("hold, release re-armed by the listener")
        << "2048x1 2058x250 2048x1" << false << 0 << 210 << QStringList{"7:2058:1", "207:2058:2", "252:2058:0"};
    QTest::newRow("default repeat period 2 s, repeat re-arms release")
        << "2048x1 2059x450 2048x1" << true << 0 << 0 << QStringList{"7:2059:1", "207:2059:2", "407:2059:3", "452:2059:0"};
    QTest::newRow("repeat period 290 ms is 29 ticks")
        << "2048x1 2056x270 2048x1" << true << 290 << 0
        << QStringList{"7:2056:1", "207:2056:2", "236:2056:3", "265:2056:3", "272:2056:0"};
    QTest::newRow("repeat period rounds down to ticks")
        << "2048x1 2056x230 2048x1" << true << 109 << 0
        << QStringList{"7:2056:1", "207:2056:2", "217:2056:3", "227:2056:3", "232:2056:0"};
    QTest::newRow("roll-over to another key releases the first only")
        << "2048x1 2052x10 2053x10 2048x1 2053x7 2048x1" << true << 0 << 0
        << QStringList{"7:2052:1", "12:2052:0", "28:2053:1", "30:2053:0"};
}

void MatrixKeypadTest::filter()
{
    QFETCH(QString, scans);
    QFETCH(bool, autoRepeat);
    QFETCH(int, repeatMsec);
    QFETCH(int, releaseEnableAfter);

    MatrixKeypad keypad;
    keypad.setEnabled(true);
    keypad.setAutoRepeat(autoRepeat);
    if (repeatMsec > 0)
        keypad.setAutoRepeatTime(repeatMsec);

    QStringList events;
    int scan = 0;
    connect(&keypad, &MatrixKeypad::keyEvent, this, [&](int key, int type) {
        events.append(QStringLiteral("%1:%2:%3").arg(scan).arg(key).arg(type));
    });
    const QList<int> keys = expandScans(scans);
    for (const int key : keys) {
        ++scan;
        keypad.filterKeypad(key);
        if (scan == releaseEnableAfter)
            keypad.setReleaseEnabled(true);
    }
    QTEST(events, "expected");
}

void MatrixKeypadTest::disabledKeypadStaysSilent()
{
    MatrixKeypad keypad;
    QSignalSpy spy(&keypad, &MatrixKeypad::keyEvent);
    const QList<int> keys = expandScans(QStringLiteral("2048x1 2060x250 2048x1"));
    for (const int key : keys)
        keypad.filterKeypad(key);
    QCOMPARE(spy.count(), 0);
    // The filter still ran: the hold was recorded.
    QCOMPARE(keypad.heldKey(), BUTTON_PLAY_STOP);
}

void MatrixKeypadTest::scanSimulatedBoard_data()
{
    QTest::addColumn<int>("revision");
    QTest::addColumn<QList<int>>("down");
    QTest::addColumn<int>("expected");

    const QList<int> matrix = {2059, 2058, 2050, 2057, 2051, 2060, 2052, 2053, 2056};
    for (const int revision : {0, 7}) {
        const char *name = revision == 0 ? "Rev4" : "Rev6";
        QTest::addRow("%s nothing", name) << revision << QList<int>() << int(BUTTON_NONE);
        for (const int key : matrix)
            QTest::addRow("%s %d", name, key) << revision << QList<int>{key} << key;
        // Column first, then row: the lower column wins, within a column the lower row.
        QTest::addRow("%s two keys, same column", name) << revision << QList<int>{2050, 2058} << 2058;
        QTest::addRow("%s two keys, column before row", name) << revision << QList<int>{2056, 2050} << 2050;
        QTest::addRow("%s three keys", name) << revision << QList<int>{2053, 2052, 2051} << 2051;
    }
}

void MatrixKeypadTest::scanSimulatedBoard()
{
    QFETCH(int, revision);
    QFETCH(QList<int>, down);

    Platform::SimBoard *board = Platform::SimBoard::instance();
    board->setRevision(revision);
    Board::getInstance()->init();

    MatrixKeypad keypad;
    for (const int line : Board::getInstance()->gpioColumns())
        QVERIFY(board->isOutput(line));
    for (const int line : Board::getInstance()->gpioRows()) {
        QVERIFY(board->isExported(line));
        QVERIFY(!board->isOutput(line));
    }
    for (const int key : down)
        board->pressKey(key);
    QTEST(keypad.scanKeypad(), "expected");
    for (const int key : down)
        board->releaseKey(key);
    QCOMPARE(keypad.scanKeypad(), int(BUTTON_NONE));
}

void MatrixKeypadTest::scanThreadReportsPressAndRelease()
{
    Platform::setTimeScale(0.1); // 1 ms ticks
    Platform::SimBoard *board = Platform::SimBoard::instance();
    Board::getInstance()->init();

    QThread thread;
    auto *keypad = new MatrixKeypad;
    keypad->moveToThread(&thread);
    connect(&thread, &QThread::started, keypad, &MatrixKeypad::initialize);
    connect(keypad, &MatrixKeypad::finished, &thread, &QThread::quit, Qt::DirectConnection);
    connect(keypad, &MatrixKeypad::finished, keypad, &QObject::deleteLater);
    QList<QList<int>> events; // filled on this thread through a queued connection
    connect(keypad, &MatrixKeypad::keyEvent, this, [&events](int key, int type) { events.append({key, type}); });
    thread.start();
    QMetaObject::invokeMethod(keypad, "setEnabled", Qt::QueuedConnection, Q_ARG(bool, true));
    // A key already down at the first scan is not a press: wait until the
    // scan thread has read the last row.
    QTRY_VERIFY_WITH_TIMEOUT(board->lineReadCount(72) > 0, 5000);

    board->pressKey(BUTTON_EJECT);
    QTRY_COMPARE_WITH_TIMEOUT(events.size(), 1, 5000);
    QCOMPARE(events.at(0), (QList<int>{BUTTON_EJECT, KEY_PRESSED}));
    board->releaseKey(BUTTON_EJECT);
    QTRY_COMPARE_WITH_TIMEOUT(events.size(), 2, 5000);
    QCOMPARE(events.at(1), (QList<int>{BUTTON_EJECT, KEY_RELEASED}));

    // stop() ends the thread through finished(); the keypad is deleted with it
    // and gives its lines back.
    QMetaObject::invokeMethod(keypad, "stop", Qt::QueuedConnection);
    QVERIFY(thread.wait(5000));
    for (const int line : Board::getInstance()->gpioRows())
        QVERIFY(!board->isExported(line));
}

QTEST_GUILESS_MAIN(MatrixKeypadTest)
#include "matrixkeypadtest.moc"
