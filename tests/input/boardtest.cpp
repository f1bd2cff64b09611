// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/board.h"
#include "input/logcategory.h"
#include "input/wiringlinux.h"
#include "platform/platform.h"
#include "platform/sim/simboard.h"
#include "platform/sim/simsystemactions.h"
#include "platform/systemactions.h"
#include "logcapture.h"
#include "testroot.h"

#include <QDir>
#include <QTest>

namespace {

const QList<int> AllLines = {36, 64, 65, 66, 67, 68, 69, 70, 71, 72, 76, 77, 78, 79, 138, 139, 202, 203, 204};
const QByteArray UdevRule = "KERNEL==\"sr*\", SUBSYSTEM==\"block\", SUBSYSTEMS==\"usb\", SYMLINK+=\"cd-rom\"\n";

QString gpioFile(int line, const char *name)
{
    return QStringLiteral("/sys/class/gpio/gpio%1/%2").arg(line).arg(QLatin1String(name));
}

} // namespace

class BoardTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void initDetectsRevision_data();
    void initDetectsRevision();
    void udevRuleWrittenOnceAndKept();
    void switchesOutputs_data();
    void switchesOutputs();
    void digitalReadOfGarbageIsZero_data();
    void digitalReadOfGarbageIsZero();

private:
    /** A sysfs GPIO tree below the root: every line exported-looking, inputs at rest. */
    void makeSysfs(const QByteArray &straps);
    QByteArray read(int line, const char *name) const { return m_root->readFile(gpioFile(line, name)); }

    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<Platform::SimSystemActions> m_actions;
    std::unique_ptr<LogCapture> m_log;
};

void BoardTest::initTestCase()
{
    Platform::setBackend(Platform::Backend::Linux);
    // Real sysfs files below the root, but system commands only recorded.
    m_actions = std::make_unique<Platform::SimSystemActions>(Platform::SimBoard::instance());
    Platform::setSystemActions(m_actions.get());
}

void BoardTest::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    m_root = std::make_unique<TestRoot>();
    Platform::SimBoard::instance()->reset();
    Board::getInstance()->resetForTesting();
    // The board's lines are read here and still reach the warning check.
    m_log = std::make_unique<LogCapture>(lcInput(), LogCapture::PassOn);
}

void BoardTest::cleanup()
{
    m_log.reset();
    m_root.reset();
}

void BoardTest::makeSysfs(const QByteArray &straps)
{
    QVERIFY(m_root->writeFile(QStringLiteral("/sys/class/gpio/export"), {}));
    QVERIFY(m_root->writeFile(QStringLiteral("/sys/class/gpio/unexport"), {}));
    for (const int line : AllLines) {
        QVERIFY(m_root->writeFile(gpioFile(line, "direction"), "in\n"));
        QVERIFY(m_root->writeFile(gpioFile(line, "edge"), "none\n"));
        // Outputs start high so that the firmware's 0 is visible.
        QVERIFY(m_root->writeFile(gpioFile(line, "value"), "1\n"));
    }
    for (int bit = 0; bit < 3; ++bit)
        QVERIFY(m_root->writeFile(gpioFile(76 + bit, "value"), straps.mid(bit, 1) + '\n'));
}

void BoardTest::initDetectsRevision_data()
{
    QTest::addColumn<QByteArray>("straps"); // lines 76, 77, 78
    QTest::addColumn<int>("revision");
    QTest::addColumn<QString>("revisionString");
    QTest::addColumn<QString>("bootDevice");
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<QList<int>>("outputs");
    QTest::addColumn<QList<int>>("edges");

    QTest::newRow("Rev4") << QByteArray("000") << 0 << "Rev4" << "/dev/mmcblk0" << QList<int>{70, 71, 72} << QList<int>{79, 139, 204} << QList<int>();
    QTest::newRow("Rev6") << QByteArray("111") << 7 << "Rev6" << "/dev/mmcblk1" << QList<int>{67, 68, 69} << QList<int>{138, 139, 204}
                          << QList<int>{36, 202};
    QTest::newRow("revision 3") << QByteArray("110") << 3 << "" << "/dev/mmcblk1" << QList<int>{70, 71, 72} << QList<int>() << QList<int>();
    QTest::newRow("garbage strap reads 0") << QByteArray("x11") << 6 << "" << "/dev/mmcblk1" << QList<int>{70, 71, 72} << QList<int>()
                                           << QList<int>();
}

void BoardTest::initDetectsRevision()
{
    QFETCH(QByteArray, straps);
    QFETCH(int, revision);
    QFETCH(QString, revisionString);
    QFETCH(QString, bootDevice);
    QFETCH(QList<int>, rows);
    QFETCH(QList<int>, outputs);
    QFETCH(QList<int>, edges);

    makeSysfs(straps);
    if (straps.startsWith('x'))
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^\\[WiringLinux@digitalRead\\] failed\\. GPIO: 76$")));
    Board *board = Board::getInstance();
    board->init();

    QCOMPARE(board->revision(), revision);
    QCOMPARE(board->revisionString(), revisionString);
    QCOMPARE(board->bootDevice(), bootDevice);
    QCOMPARE(board->gpioRows(), rows);
    QCOMPARE(board->gpioColumns(), (QList<int>{64, 65, 66}));
    for (const int line : {76, 77, 78})
        QCOMPARE(read(line, "direction"), QByteArray("in"));
    for (const int line : AllLines) {
        if (line >= 76 && line <= 78)
            continue;
        const bool output = outputs.contains(line);
        const bool edge = edges.contains(line);
        QCOMPARE(read(line, "direction"), output ? QByteArray("out") : edge ? QByteArray("in") : QByteArray("in\n"));
        QCOMPARE(read(line, "value"), output ? QByteArray("0") : QByteArray("1\n"));
        QCOMPARE(read(line, "edge"), edge ? QByteArray("both") : QByteArray("none\n"));
    }
    for (const char *dir : {"/root/quimbo/temp", "/media/cd", "/media/usb", "/media/mmc"})
        QVERIFY2(QDir(m_root->path(QLatin1String(dir))).exists(), dir);
}

void BoardTest::udevRuleWrittenOnceAndKept()
{
    makeSysfs("000");
    Platform::SimBoard *sim = Platform::SimBoard::instance();

    Board::getInstance()->init();
    QCOMPARE(m_root->readFile(QStringLiteral("/etc/udev/rules.d/69-cdrom.rules")), UdevRule);
    QCOMPARE(sim->systemActionLog(), QStringList{QStringLiteral("udevadm control --reload-rules")});
    QVERIFY(m_log->lines().contains(QStringLiteral("UDEV rule: '69-cdrom.rules' doesn't exists")));
    QVERIFY(m_log->lines().contains(QStringLiteral("UDEV rule: '69-cdrom.rules' created")));

    m_log->clear();
    Board::getInstance()->init();
    QCOMPARE(sim->systemActionLog().size(), 1);
    QVERIFY(!m_log->contains(QStringLiteral("UDEV rule")));
    QCOMPARE(m_root->readFile(QStringLiteral("/etc/udev/rules.d/69-cdrom.rules")), UdevRule);

    // A rule of the device's own is kept as it is.
    QVERIFY(m_root->writeFile(QStringLiteral("/etc/udev/rules.d/69-cdrom.rules"), "# local rule\n"));
    Board::getInstance()->init();
    QCOMPARE(m_root->readFile(QStringLiteral("/etc/udev/rules.d/69-cdrom.rules")), QByteArray("# local rule\n"));
    QCOMPARE(sim->systemActionLog().size(), 1);
}

void BoardTest::switchesOutputs_data()
{
    QTest::addColumn<QByteArray>("straps");
    QTest::addColumn<bool>("led"); // false: USB drive
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("changedLine"); // -1: nothing changes

    QTest::newRow("Rev4 LED 1") << QByteArray("000") << true << 1 << 139;
    QTest::newRow("Rev4 LED 2 ignored") << QByteArray("000") << true << 2 << -1;
    QTest::newRow("Rev4 LED -1 ignored") << QByteArray("000") << true << -1 << -1;
    QTest::newRow("Rev4 has no USB 1") << QByteArray("000") << false << 1 << -1;
    QTest::newRow("Rev6 USB 1") << QByteArray("111") << false << 1 << 203;
}

void BoardTest::switchesOutputs()
{
    QFETCH(QByteArray, straps);
    QFETCH(bool, led);
    QFETCH(int, index);
    QFETCH(int, changedLine);

    makeSysfs(straps);
    Board *board = Board::getInstance();
    board->init();
    for (const int line : AllLines)
        QVERIFY(m_root->writeFile(gpioFile(line, "value"), "5"));

    if (led)
        board->switchLed(index, true);
    else
        board->switchUsbDrive(index, true);
    for (const int line : AllLines)
        QCOMPARE(read(line, "value"), line == changedLine ? QByteArray("1") : QByteArray("5"));

    if (changedLine < 0)
        return;
    if (led)
        board->switchLed(index, false);
    else
        board->switchUsbDrive(index, false);
    QCOMPARE(read(changedLine, "value"), QByteArray("0"));
}

void BoardTest::digitalReadOfGarbageIsZero_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("expected");
    QTest::addColumn<bool>("logged");

    // How a value file reads is LinuxGpioTest's; here what a failed read gives and says.
    QTest::newRow("read") << QByteArray("1\n") << 1 << false;
    QTest::newRow("letters") << QByteArray("on\n") << 0 << true;
}

void BoardTest::digitalReadOfGarbageIsZero()
{
    QFETCH(QByteArray, content);
    QFETCH(int, expected);
    QFETCH(bool, logged);

    QVERIFY(m_root->writeFile(gpioFile(202, "value"), content));
    if (logged)
        QTest::ignoreMessage(QtWarningMsg, "[WiringLinux@digitalRead] failed. GPIO: 202");
    QCOMPARE(WiringLinux::digitalRead(202), expected);
}

QTEST_GUILESS_MAIN(BoardTest)
#include "boardtest.moc"
