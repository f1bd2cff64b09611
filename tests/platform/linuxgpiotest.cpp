// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/linuxgpio.h"
#include "testroot.h"

#include <QTest>

namespace {
QString lineFile(int line, const char *name)
{
    return QStringLiteral("/sys/class/gpio/gpio%1/%2").arg(line).arg(QLatin1String(name));
}
} // namespace

class LinuxGpioTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void refusesWithoutSysfs();
    void readValue_data();
    void readValue();
    void edgeDescriptorRearms();

private:
    std::unique_ptr<TestRoot> m_root;
    Platform::LinuxGpio m_gpio;
};

void LinuxGpioTest::init()
{
    m_root = std::make_unique<TestRoot>();
}

void LinuxGpioTest::cleanup()
{
    m_root.reset();
}

void LinuxGpioTest::refusesWithoutSysfs()
{
    // Nothing below the root: every operation fails, nothing is created.
    QVERIFY(!m_gpio.exportLine(5));
    QVERIFY(!m_gpio.unexportLine(5));
    QVERIFY(!m_gpio.setDirection(5, true));
    QVERIFY(!m_gpio.setEdge(5, "both"));
    QVERIFY(!m_gpio.writeValue(5, 1));
    QCOMPARE(m_gpio.openValue(5), -1);
    QVERIFY(!m_root->exists(QStringLiteral("/sys/class/gpio/export")));
    QVERIFY(!m_root->exists(lineFile(5, "value")));
}

void LinuxGpioTest::readValue_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("expected");
    QTest::addColumn<bool>("ok");

    QTest::newRow("one") << true << QByteArray("1\n") << 1 << true;
    QTest::newRow("zero") << true << QByteArray("0\n") << 0 << true;
    QTest::newRow("other number") << true << QByteArray("12\n") << 1 << true;
    QTest::newRow("only three bytes are read") << true << QByteArray("0001") << 0 << true;
    QTest::newRow("garbage") << true << QByteArray("zz\n") << 0 << false;
    QTest::newRow("empty") << true << QByteArray() << 0 << false;
    QTest::newRow("missing") << false << QByteArray() << 0 << false;
}

void LinuxGpioTest::readValue()
{
    QFETCH(bool, present);
    QFETCH(QByteArray, content);
    QFETCH(bool, ok);

    if (present)
        QVERIFY(m_root->writeFile(lineFile(77, "value"), content));
    bool read = !ok;
    QTEST(m_gpio.readValue(77, &read), "expected");
    QCOMPARE(read, ok);
}

void LinuxGpioTest::edgeDescriptorRearms()
{
    QCOMPARE(m_gpio.edgeNotifierType(), QSocketNotifier::Exception);
    QVERIFY(m_root->writeFile(lineFile(36, "value"), "1\n"));
    const int fd = m_gpio.openValue(36);
    QVERIFY(fd >= 0);
    // Each re-arm rewinds, so the whole value is read every time.
    QCOMPARE(m_gpio.rearm(fd), 2);
    QCOMPARE(m_gpio.rearm(fd), 2);
    m_gpio.closeValue(fd);
    QCOMPARE(m_gpio.rearm(fd), -1);
}

QTEST_GUILESS_MAIN(LinuxGpioTest)
#include "linuxgpiotest.moc"
