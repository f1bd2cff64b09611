// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "eventpipe.h"
#include "platform/linux/linuxinputeventsource.h"

#include <QTest>

#include <linux/input.h>

namespace {

// A record as this machine's kernel writes it, filled through the kernel header's own fields.
QByteArray kernelRecord(qint64 sec, qint64 usec, int type, int code, int value)
{
    input_event raw = {};
    raw.input_event_sec = decltype(raw.input_event_sec)(sec);
    raw.input_event_usec = decltype(raw.input_event_usec)(usec);
    raw.type = quint16(type);
    raw.code = quint16(code);
    raw.value = value;
    return QByteArray(reinterpret_cast<const char *>(&raw), sizeof raw);
}

} // namespace

class LinuxInputEventSourceTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodesKernelRecords_data();
    void decodesKernelRecords();
    void readsMoreRecordsThanOneBuffer();
};

void LinuxInputEventSourceTest::decodesKernelRecords_data()
{
    QTest::addColumn<qint64>("sec");
    QTest::addColumn<qint64>("usec");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("value");

    QTest::newRow("power key down") << qint64(1700000000) << qint64(250000) << int(EV_KEY) << int(KEY_POWER) << 1;
    QTest::newRow("knob one step back") << qint64(1700000001) << qint64(999999) << int(EV_REL) << int(REL_Y) << -1;
    QTest::newRow("headphones in") << qint64(1) << qint64(0) << int(EV_SW) << int(SW_HEADPHONE_INSERT) << 1;
    QTest::newRow("highest code and value") << qint64(1700000000) << qint64(0) << int(EV_KEY) << 0xffff << 0x7fffffff;
    QTest::newRow("after January 2038") << qint64(2147483653) << qint64(5) << int(EV_SYN) << int(SYN_REPORT) << 0;
}

void LinuxInputEventSourceTest::decodesKernelRecords()
{
    QFETCH(qint64, sec);
    QFETCH(qint64, usec);
    QFETCH(int, type);
    QFETCH(int, code);
    QFETCH(int, value);

    EventPipe pipe;
    const auto source = pipe.source();
    QVERIFY(source->isOpen());
    QVERIFY(pipe.write(kernelRecord(sec, usec, type, code, value)));
    QList<Platform::InputEvent> events;
    QCOMPARE(source->readEvents(&events), Platform::ReadResult::Event);
    QCOMPARE(events.size(), 1);
    const Platform::InputEvent &e = events.first();
    QCOMPARE(e.sec, sec);
    QCOMPARE(e.usec, usec);
    QCOMPARE(e.type, type);
    QCOMPARE(e.code, code);
    QCOMPARE(e.value, value);
    QCOMPARE(source->readEvents(&events), Platform::ReadResult::WouldBlock);
}

void LinuxInputEventSourceTest::readsMoreRecordsThanOneBuffer()
{
    // A burst longer than one read's buffer: every read must stop on a record boundary.
    constexpr int count = 100;
    EventPipe pipe;
    const auto source = pipe.source();
    QByteArray burst;
    for (int i = 0; i < count; ++i)
        burst += kernelRecord(1700000000, i, EV_REL, REL_Y, i);
    QVERIFY(pipe.write(burst));

    QList<Platform::InputEvent> events;
    Platform::ReadResult result;
    int reads = 0;
    while ((result = source->readEvents(&events)) == Platform::ReadResult::Event)
        ++reads;
    QCOMPARE(result, Platform::ReadResult::WouldBlock);
    QVERIFY(reads > 1);
    QCOMPARE(events.size(), count);
    for (int i = 0; i < count; ++i)
        QCOMPARE(events.at(i).value, i);
}

QTEST_GUILESS_MAIN(LinuxInputEventSourceTest)
#include "linuxinputeventsourcetest.moc"
