// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/keys.h"
#include "input/powerbutton.h"
#include "input/volumeknob.h"
#include "eventpipe.h"
#include "platform/linux/linuxinputeventsource.h"
#include "platform/platform.h"
#include "testroot.h"

#include <QSignalSpy>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

QByteArray record(int type, int code, int value)
{
    return Platform::LinuxInputEventSource::encode({1700000000, 250000, type, code, value});
}

// "2:1:-1 0:0:0" -> the records of those events.
QByteArray records(const QString &events)
{
    QByteArray bytes;
    const QStringList parts = events.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        const QStringList f = part.split(QLatin1Char(':'));
        bytes += record(f.at(0).toInt(), f.at(1).toInt(), f.at(2).toInt());
    }
    return bytes;
}

QList<QList<int>> keyEvents(const QSignalSpy &spy)
{
    QList<QList<int>> events;
    for (const QList<QVariant> &args : spy)
        events.append({args.at(0).toInt(), args.at(1).toInt()});
    return events;
}

} // namespace

class InputDeviceTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void eventsToKeys_data();
    void eventsToKeys();
    void readingRules_data();
    void readingRules();
    void powerButtonHoldSuppressesRelease();
    void notifierDeliversOnlyWhileEnabled();
    void watchesDeviceThroughFailureAndReplugging();
    void refusesBadDevices();

private:
    std::unique_ptr<TestRoot> m_root;
};

void InputDeviceTest::initTestCase()
{
    Platform::setBackend(Platform::Backend::Linux);
}

void InputDeviceTest::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    m_root = std::make_unique<TestRoot>();
}

void InputDeviceTest::cleanup()
{
    Platform::setTimeScale(1.0);
    m_root.reset();
}

void InputDeviceTest::eventsToKeys_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("events"); // of one read
    QTest::addColumn<QList<QList<int>>>("expected");

    const QList<QList<int>> up = {{BUTTON_VOLUME_UP, KEY_RELEASED}};
    const QList<QList<int>> down = {{BUTTON_VOLUME_DOWN, KEY_RELEASED}};
    QTest::newRow("knob +1 is up") << "knob" << "2:1:1 0:0:0" << up;
    QTest::newRow("knob -1 is down") << "knob" << "2:1:-1 0:0:0" << down;
    QTest::newRow("knob +2 is down") << "knob" << "2:1:2 0:0:0" << down;
    QTest::newRow("knob: first Y event of a read wins") << "knob" << "2:1:1 0:0:0 2:1:-1 0:0:0" << up;
    QTest::newRow("knob: other events before it are skipped") << "knob" << "1:116:1 2:0:1 2:1:-1" << down;
    QTest::newRow("knob: X axis is not the knob") << "knob" << "2:0:1 0:0:0" << QList<QList<int>>();
    QTest::newRow("knob: a key is not the knob") << "knob" << "1:1:1 0:0:0" << QList<QList<int>>();
    QTest::newRow("power pressed") << "power" << "1:116:1 0:0:0" << QList<QList<int>>{{BUTTON_POWER, KEY_PRESSED}};
    QTest::newRow("power released") << "power" << "1:116:0 0:0:0" << QList<QList<int>>{{BUTTON_POWER, KEY_RELEASED}};
    QTest::newRow("power: another key on the device") << "power" << "1:114:1 0:0:0" << QList<QList<int>>();
    QTest::newRow("power: one action per read") << "power" << "1:116:1 0:0:0 1:116:0 0:0:0" << QList<QList<int>>{{BUTTON_POWER, KEY_PRESSED}};
}

void InputDeviceTest::eventsToKeys()
{
    QFETCH(QString, device);
    QFETCH(QString, events);

    EventPipe pipe;
    std::unique_ptr<InputDevice> input;
    if (device == QLatin1String("knob"))
        input = std::make_unique<VolumeKnob>();
    else
        input = std::make_unique<PowerButton>();
    QVERIFY(input->initialize(pipe.source()));
    QSignalSpy spy(input.get(), &InputDevice::keyEvent);
    QVERIFY(pipe.write(records(events)));
    input->readData();
    QTEST(keyEvents(spy), "expected");
}

void InputDeviceTest::readingRules_data()
{
    QTest::addColumn<int>("firstBytes"); // bytes of a knob +1 record written before the read
    QTest::addColumn<int>("lateBytes"); // written by another thread while the read waits
    QTest::addColumn<bool>("closeWriter");
    QTest::addColumn<int>("expectedKey"); // 0: none
    QTest::addColumn<QString>("logged"); // empty: nothing

    const int whole = Platform::LinuxInputEventSource::recordSize();
    QTest::newRow("whole record") << whole << 0 << false << int(BUTTON_VOLUME_UP) << QString();
    QTest::newRow("nothing to read") << 0 << 0 << false << 0 << QString();
    QTest::newRow("record completed by a second read") << 10 << whole - 10 << false << int(BUTTON_VOLUME_UP) << QString();
    QTest::newRow("writer stops inside a record") << 10 << 0 << false << 0 << "could not read from input device";
    QTest::newRow("end of file") << 0 << 0 << true << 0 << "got EOF from the input device";
    QTest::newRow("end of file inside a record") << 10 << 0 << true << 0 << "got EOF from the input device";
}

void InputDeviceTest::readingRules()
{
    QFETCH(int, firstBytes);
    QFETCH(int, lateBytes);
    QFETCH(bool, closeWriter);
    QFETCH(int, expectedKey);
    QFETCH(QString, logged);

    EventPipe pipe;
    VolumeKnob knob;
    QVERIFY(knob.initialize(pipe.source()));
    knob.setEnabled(true);
    QSignalSpy spy(&knob, &InputDevice::keyEvent);

    const QByteArray bytes = record(2, 1, 1);
    QVERIFY(pipe.write(bytes.left(firstBytes)));
    if (closeWriter)
        pipe.closeWriter();
    std::thread late;
    if (lateBytes > 0) {
        late = std::thread([&pipe, rest = bytes.mid(firstBytes, lateBytes)] {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            pipe.write(rest);
        });
    }
    if (!logged.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, qPrintable(QStringLiteral("virtual void VolumeKnob::readData(): ") + logged));
    knob.readData();
    if (late.joinable())
        late.join();

    if (expectedKey)
        QCOMPARE(keyEvents(spy), (QList<QList<int>>{{expectedKey, KEY_RELEASED}}));
    else
        QCOMPARE(spy.count(), 0);
    // A device at its end is no longer watched; one that failed a read or had nothing stays watched.
    QCOMPARE(knob.isEnabled(), !closeWriter);
}

void InputDeviceTest::powerButtonHoldSuppressesRelease()
{
    Platform::setTimeScale(0.01); // the 2000 ms hold becomes 20 ms
    EventPipe pipe;
    PowerButton button;
    QVERIFY(button.initialize(pipe.source()));
    QSignalSpy spy(&button, &InputDevice::keyEvent);

    QVERIFY(pipe.write(records(QStringLiteral("1:116:1 0:0:0"))));
    button.readData();
    QTRY_COMPARE(spy.count(), 2);
    QVERIFY(pipe.write(records(QStringLiteral("1:116:0 0:0:0"))));
    button.readData();
    QCOMPARE(keyEvents(spy), (QList<QList<int>>{{BUTTON_POWER, KEY_PRESSED}, {BUTTON_POWER, KEY_HELD}}));

    // The held state ends with that release: the next short press is reported whole.
    spy.clear();
    Platform::setTimeScale(10.0); // far beyond the test's life
    QVERIFY(pipe.write(records(QStringLiteral("1:116:1 0:0:0 1:116:0 0:0:0"))));
    button.readData(); // one action per read
    button.readData();
    QCOMPARE(keyEvents(spy), (QList<QList<int>>{{BUTTON_POWER, KEY_PRESSED}}));
    QVERIFY(pipe.write(records(QStringLiteral("1:116:0 0:0:0"))));
    button.readData();
    QCOMPARE(keyEvents(spy), (QList<QList<int>>{{BUTTON_POWER, KEY_PRESSED}, {BUTTON_POWER, KEY_RELEASED}}));
}

void InputDeviceTest::notifierDeliversOnlyWhileEnabled()
{
    EventPipe pipe;
    VolumeKnob knob;
    QVERIFY(knob.initialize(pipe.source()));
    QVERIFY(!knob.isEnabled()); // devices start disabled
    QSignalSpy spy(&knob, &InputDevice::keyEvent);

    QVERIFY(pipe.write(records(QStringLiteral("2:1:-1 0:0:0"))));
    QCoreApplication::processEvents();
    QCOMPARE(spy.count(), 0);

    knob.setEnabled(true);
    QVERIFY(spy.wait(5000));
    QCOMPARE(keyEvents(spy), (QList<QList<int>>{{BUTTON_VOLUME_DOWN, KEY_RELEASED}}));
}

void InputDeviceTest::watchesDeviceThroughFailureAndReplugging()
{
    Platform::setTimeScale(0.01); // the device is looked for every 10 ms
    const QString node = m_root->path(QStringLiteral("/dev/input/event0"));
    QVERIFY(m_root->writeFile(QStringLiteral("/dev/input/.keep"), {}));
    QCOMPARE(::mkfifo(QFile::encodeName(node).constData(), 0600), 0);
    int writer = ::open(QFile::encodeName(node).constData(), O_RDWR | O_CLOEXEC);
    QVERIFY(writer >= 0);
    const auto send = [&writer](const QByteArray &bytes) { return ::write(writer, bytes.constData(), size_t(bytes.size())) == bytes.size(); };

    VolumeKnob knob;
    QVERIFY(knob.initialize(INPUT_DEVICE_ROTARY));
    knob.setEnabled(true);
    QSignalSpy spy(&knob, &InputDevice::keyEvent);

    // A read that fails leaves the knob watched: the next turn arrives.
    QVERIFY(send(record(2, 1, 1).left(10)));
    QTest::ignoreMessage(QtWarningMsg, "virtual void VolumeKnob::readData(): could not read from input device");
    knob.readData();
    QVERIFY(send(records(QStringLiteral("2:1:-1 0:0:0"))));
    QVERIFY(spy.wait(5000));

    // Unplugged: end of file, nothing watched; plugged in again: watched as before.
    QTest::ignoreMessage(QtWarningMsg, "virtual void VolumeKnob::readData(): got EOF from the input device");
    QVERIFY(QFile::remove(node));
    ::close(writer);
    QTRY_VERIFY(!knob.isOpen());
    QVERIFY(knob.isEnabled()); // as soon as it is back
    QCOMPARE(::mkfifo(QFile::encodeName(node).constData(), 0600), 0);
    writer = ::open(QFile::encodeName(node).constData(), O_RDWR | O_CLOEXEC);
    QVERIFY(writer >= 0);
    QVERIFY(send(records(QStringLiteral("2:1:1 0:0:0"))));
    QVERIFY(spy.wait(5000));
    ::close(writer);
    QCOMPARE(keyEvents(spy), (QList<QList<int>>{{BUTTON_VOLUME_DOWN, KEY_RELEASED}, {BUTTON_VOLUME_UP, KEY_RELEASED}}));
    QVERIFY(knob.isOpen());

    knob.deinitialize();
    QVERIFY(!knob.isOpen());
    QVERIFY(!knob.isEnabled());
}

void InputDeviceTest::refusesBadDevices()
{
    VolumeKnob knob;
    QTest::ignoreMessage(QtWarningMsg, "bool InputDevice::initialize(const char*): invalid device");
    QVERIFY(!knob.initialize(static_cast<const char *>(nullptr)));
    QTest::ignoreMessage(QtWarningMsg, "bool InputDevice::initialize(const char*): failed to open device");
    QVERIFY(!knob.initialize(INPUT_DEVICE_POWER_BUTTON)); // no such node below the root
    QTest::ignoreMessage(QtWarningMsg, "void InputDevice::setEnabled(bool): can't enable, device is not open");
    knob.setEnabled(true);
    QVERIFY(!knob.isEnabled());
}

QTEST_GUILESS_MAIN(InputDeviceTest)
#include "inputdevicetest.moc"
