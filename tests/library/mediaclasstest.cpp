// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/mediaclass.h"
#include "library/logcategory.h"

#include "logcapture.h"
#include "platform/paths.h"
#include "platform/platform.h"
#include "platform/sim/simboard.h"
#include "platform/sim/simmedia.h"
#include "simstorageroot.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSemaphore>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <memory>

using Platform::SimMedia;

Q_DECLARE_METATYPE(SimMedia::Slot)

namespace {
constexpr double kTimeScale = 0.01;

// What the media class reported, in order: "+/dev/sda1", "-/dev/sda1", "?/dev/sr0".
class Reports : public QObject
{
public:
    explicit Reports(MediaClass *media)
    {
        connect(media, &MediaClass::mediaSourceInserted, this, [this](const MediaSource &s) {
            events << QLatin1Char('+') + s.device();
            inserted << s;
        });
        connect(media, &MediaClass::mediaSourceRemoved, this, [this](const MediaSource &s) { events << QLatin1Char('-') + s.device(); });
        connect(media, &MediaClass::mediaSourceUnsupported, this, [this](const MediaSource &s) { events << QLatin1Char('?') + s.device(); });
    }
    QStringList events;
    QList<MediaSource> inserted;
};
} // namespace

class MediaClassTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void priorityWait_data();
    void priorityWait();
    void hotPlugInsertAndRemove();
    void unusableMedia_data();
    void unusableMedia();
    void mediaChangingDuringStartUp_data();
    void mediaChangingDuringStartUp();
    void staleResultLeavesTheNewMount();
    void cdStatus_data();
    void cdStatus();
    void driveThatNeverGetsReady();
    void mediaSourcesByMask_data();
    void mediaSourcesByMask();

private:
    /** Power-up with no priority: starts hot-plug monitoring. */
    void startMonitoring();

    std::unique_ptr<SimStorageRoot> m_root;
    std::unique_ptr<MediaClass> m_media;
};

void MediaClassTest::init()
{
    m_root = std::make_unique<SimStorageRoot>(kTimeScale);
    QVERIFY(m_root->isValid());
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
}

void MediaClassTest::cleanup()
{
    m_media.reset();
    QTRY_VERIFY(SimMedia::instance()->mounts().isEmpty());
    m_root.reset();
}

void MediaClassTest::startMonitoring()
{
    LogCapture log(lcLibrary());
    m_media = std::make_unique<MediaClass>();
    m_media->waitForPriorityDevice();
    QTRY_VERIFY(!m_media->isBusy());
    // Hot-plug monitoring begins a moment after the wait.
    QTRY_VERIFY(log.contains(QStringLiteral("[UDevMonitor::start]")));
}

void MediaClassTest::priorityWait_data()
{
    QTest::addColumn<int>("priority");
    QTest::addColumn<QStringList>("present"); // usb, sd, cd
    QTest::addColumn<QStringList>("reported"); // in order
    QTest::addColumn<int>("waitedAtLeastMsec"); // device time before the others were searched

    const QString usb = QStringLiteral("+/dev/sda1");
    const QString sd = QStringLiteral("+/dev/mmcblk1p1");
    const QString cd = QStringLiteral("+/dev/cd-rom");
    QTest::newRow("card first when it held the last book") << 4 << QStringList{"usb", "sd"} << QStringList{sd, usb} << 0;
    QTest::newRow("stick first when it held the last book") << 2 << QStringList{"usb", "sd"} << QStringList{usb, sd} << 0;
    QTest::newRow("data CD first when it held the last book") << 1 << QStringList{"sd", "cd"} << QStringList{cd, sd} << 0;
    QTest::newRow("CD drive awaited in vain") << 1 << QStringList{"sd"} << QStringList{sd} << MediaClass::kCdWaitMsec;
    QTest::newRow("missing stick is not awaited") << 2 << QStringList{"sd"} << QStringList{sd} << 0;
    QTest::newRow("no priority") << 0 << QStringList{"sd"} << QStringList{sd} << 0;
    QTest::newRow("unknown priority") << 3 << QStringList{"usb"} << QStringList{usb} << 0;
}

void MediaClassTest::priorityWait()
{
    QFETCH(int, priority);
    QFETCH(QStringList, present);
    QFETCH(QStringList, reported);
    QFETCH(int, waitedAtLeastMsec);

    SimMedia *sim = SimMedia::instance();
    if (present.contains(QLatin1String("usb")))
        QVERIFY(sim->insert(SimMedia::UsbSlot, m_root->medium(QStringLiteral("stick"), {QStringLiteral("book/01.mp3")})));
    if (present.contains(QLatin1String("sd")))
        QVERIFY(sim->insert(SimMedia::SdSlot, m_root->medium(QStringLiteral("card"), {QStringLiteral("book/ncc.html")})));
    if (present.contains(QLatin1String("cd")))
        QVERIFY(sim->insertDisc(SimMedia::DataDisc, m_root->medium(QStringLiteral("disc"), {QStringLiteral("book.epub")})));
    QSettings().setValue(QStringLiteral("lastPlayedMedia"), priority);

    m_media = std::make_unique<MediaClass>();
    Reports reports(m_media.get());
    QElapsedTimer clock;
    clock.start();
    qint64 othersStartedAt = -1;
    connect(m_media.get(), &MediaClass::mediaSourceInserted, this, [&](const MediaSource &s) {
        if (othersStartedAt < 0 && s.mediaType() != priority)
            othersStartedAt = clock.elapsed();
    });
    m_media->waitForPriorityDevice();

    QTRY_COMPARE(reports.events, reported);
    QTRY_VERIFY(!m_media->isBusy());
    // Coarse timers may fire up to 5 % early.
    QVERIFY2(othersStartedAt >= qint64(waitedAtLeastMsec * kTimeScale * 0.95), qPrintable(QString::number(othersStartedAt)));
    // A priority holds for one start only.
    QCOMPARE(QSettings().value(QStringLiteral("lastPlayedMedia")).toInt(), 0);
}

void MediaClassTest::hotPlugInsertAndRemove()
{
    startMonitoring();
    Reports reports(m_media.get());
    const QString stick = m_root->medium(QStringLiteral("stick"), {QStringLiteral("Book/ncc.html"), QStringLiteral("Book/a.mp3"), QStringLiteral("notes.txt")});

    QVERIFY(SimMedia::instance()->insert(SimMedia::UsbSlot, stick));
    QTRY_COMPARE(reports.events, QStringList{QStringLiteral("+/dev/sda1")});
    const MediaSource source = reports.inserted.first();
    QVERIFY(source.isMounted());
    QCOMPARE(source.mountPath(), QStringLiteral("/media/usb"));
    QCOMPARE(source.fileSystem(), QStringLiteral("vfat"));
    QCOMPARE(source.fileInfoList().size(), 2);
    QCOMPARE(SimMedia::instance()->mountedDevice(QStringLiteral("/media/usb")), QStringLiteral("/dev/sda1"));
    QTRY_VERIFY(!m_media->isBusy());

    LogCapture log(lcLibrary());
    QVERIFY(SimMedia::instance()->remove(SimMedia::UsbSlot));
    // The partition goes, then the disk it was on: one medium, one report.
    QTRY_VERIFY(log.contains(QStringLiteral("[MediaClass::udevDeviceRemoved] no medium in use on /dev/sda")));
    QCOMPARE(reports.events, (QStringList{QStringLiteral("+/dev/sda1"), QStringLiteral("-/dev/sda1")}));
    QVERIFY(SimMedia::instance()->mountedDevice(QStringLiteral("/media/usb")).isEmpty());
    QVERIFY(!m_media->isBusy());
}

void MediaClassTest::unusableMedia_data()
{
    QTest::addColumn<QString>("fileSystem");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("reported");
    QTest::addColumn<QString>("logged");

    QTest::newRow("no file system") << QString() << QStringList{QStringLiteral("a.mp3")} << QStringList{}
                                    << "[MediaClass::udevDeviceAdded] storage device doesn't contain any filesystem \"/dev/sda1\"";
    QTest::newRow("no book files") << "vfat" << QStringList{QStringLiteral("photo.jpg"), QStringLiteral(".hidden.mp3")}
                                   << QStringList{QStringLiteral("?/dev/sda1")} << "[MediaClass::searchingFilesReady] mediaSource is empty.";
    QTest::newRow("file system that does not mount") << "ntfs" << QStringList{QStringLiteral("a.mp3")} << QStringList{QStringLiteral("?/dev/sda1")}
                                                     << "[MediaSourceManager::mount] \"/dev/sda1\" failed to mount";
    QTest::newRow("exfat mounts through its helper") << "exfat" << QStringList{QStringLiteral("a.mp3")} << QStringList{QStringLiteral("+/dev/sda1")}
                                                     << "[MediaSourceManager::mount] \"/dev/sda1\" is mounted";
}

void MediaClassTest::unusableMedia()
{
    QFETCH(QString, fileSystem);
    QFETCH(QStringList, files);
    QFETCH(QStringList, reported);
    QFETCH(QString, logged);

    startMonitoring();
    Reports reports(m_media.get());
    LogCapture log(lcLibrary());
    QVERIFY(SimMedia::instance()->insert(SimMedia::UsbSlot, m_root->medium(QStringLiteral("stick"), files), fileSystem));
    QTRY_VERIFY(log.contains(logged));
    QTRY_VERIFY(!m_media->isBusy());
    QCOMPARE(reports.events, reported);
    // Only a medium that is reported stays mounted.
    QCOMPARE(SimMedia::instance()->mountedDevice(QStringLiteral("/media/usb")).isEmpty(), !reported.value(0).startsWith(QLatin1Char('+')));
}

void MediaClassTest::mediaChangingDuringStartUp_data()
{
    QTest::addColumn<QString>("when"); // the start-up event after which the action happens
    QTest::addColumn<QString>("action");
    QTest::addColumn<QStringList>("reported"); // in order

    const QString stickIn = QStringLiteral("+/dev/sda1");
    const QString stickOut = QStringLiteral("-/dev/sda1");
    const QString cardIn = QStringLiteral("+/dev/mmcblk1p1");
    // The stick held the last book; the card is in from the start unless it is the action.
    QTest::newRow("stick pulled while it is searched") << "mounted /dev/sda1" << "usb remove" << QStringList{stickOut, cardIn};
    QTest::newRow("stick pulled once it reported") << "+/dev/sda1" << "usb remove" << QStringList{stickIn, stickOut, cardIn};
    QTest::newRow("stick pulled once the card reported") << "+/dev/mmcblk1p1" << "usb remove" << QStringList{stickIn, cardIn, stickOut};
    QTest::newRow("card put in while the stick is searched") << "mounted /dev/sda1" << "sd insert" << QStringList{stickIn, cardIn};
    // The stick's search outlasts the wait: the card's result waits for it.
    QTest::newRow("stick searched longer than the wait") << "mounted /dev/sda1" << "slow search" << QStringList{stickIn, cardIn};
}

void MediaClassTest::mediaChangingDuringStartUp()
{
    QFETCH(QString, when);
    QFETCH(QString, action);
    QFETCH(QStringList, reported);

    SimMedia *sim = SimMedia::instance();
    const QString card = m_root->medium(QStringLiteral("card"), {QStringLiteral("book/ncc.html")});
    QVERIFY(sim->insert(SimMedia::UsbSlot, m_root->medium(QStringLiteral("stick"), {QStringLiteral("book/01.mp3")})));
    if (action != QLatin1String("sd insert"))
        QVERIFY(sim->insert(SimMedia::SdSlot, card));
    QSettings().setValue(QStringLiteral("lastPlayedMedia"), int(MediaSource::MediaTypeUsb));
    m_media = std::make_unique<MediaClass>();
    Reports reports(m_media.get());

    // Once, from the thread where it happens (a search mounts on its own).
    std::atomic<bool> done{false};
    std::atomic<bool> removalSeen{false};
    std::atomic<bool> cardSearched{false};
    QObject context; // the connections end with this test
    connect(m_media.get(), &MediaClass::mediaSourceRemoved, &context, [&] { removalSeen = true; });
    auto act = [&] {
        if (done.exchange(true))
            return;
        if (action == QLatin1String("usb remove")) {
            sim->remove(SimMedia::UsbSlot);
        } else if (action == QLatin1String("sd insert")) {
            sim->insert(SimMedia::SdSlot, card);
        } else {
            QTest::qWaitFor([&] { return cardSearched.load(); }, 5000);
            // Time for the card's search to end and report.
            QTest::qWaitFor([] { return false; }, 200);
        }
    };
    connect(sim, &SimMedia::mounted, &context, [&](const QString &device) {
        if (device == QLatin1String("/dev/mmcblk1p1")) {
            cardSearched = true;
            // The card is searched beside the stick: pulled once it reported, the stick's
            // removal is seen before the card's search ends, however slow the machine.
            if (when == QLatin1String("+/dev/sda1") && action == QLatin1String("usb remove"))
                (void)QTest::qWaitFor([&] { return removalSeen.load(); }, 5000);
        }
        if (when != QLatin1String("mounted ") + device)
            return;
        act();
        // The search goes on once the removal has been seen, so its result comes after it.
        if (action == QLatin1String("usb remove"))
            QTest::qWaitFor([&] { return removalSeen.load(); }, 5000);
    }, Qt::DirectConnection);
    connect(m_media.get(), &MediaClass::mediaSourceInserted, &context, [&](const MediaSource &source) {
        if (when == QLatin1Char('+') + source.device())
            act();
    });
    m_media->waitForPriorityDevice();

    QTRY_VERIFY(done);
    QTRY_VERIFY(!m_media->isBusy());
    QTRY_COMPARE(reports.events, reported);
    // What is gone is unmounted; what is reported stays mounted.
    QCOMPARE(SimMedia::instance()->mountedDevice(QStringLiteral("/media/usb")).isEmpty(), action == QLatin1String("usb remove"));
}

void MediaClassTest::staleResultLeavesTheNewMount()
{
    startMonitoring();
    Reports reports(m_media.get());
    SimMedia *sim = SimMedia::instance();
    const QString stick = m_root->medium(QStringLiteral("stick"), {QStringLiteral("a.mp3")});

    // The first search stops right after its mount until the stick is back in.
    QSemaphore release;
    std::atomic<int> mounts{0};
    QObject context; // the connection ends with this test
    connect(sim, &SimMedia::mounted, &context, [&] {
        if (mounts.fetch_add(1) == 0)
            release.tryAcquire(1, 10000);
    }, Qt::DirectConnection);
    QVERIFY(sim->insert(SimMedia::UsbSlot, stick));
    QTRY_COMPARE(mounts.load(), 1);
    QVERIFY(sim->remove(SimMedia::UsbSlot));
    QTRY_COMPARE(reports.events, QStringList{QStringLiteral("-/dev/sda1")});
    QVERIFY(sim->insert(SimMedia::UsbSlot, stick));
    QTRY_COMPARE(reports.events, (QStringList{QStringLiteral("-/dev/sda1"), QStringLiteral("+/dev/sda1")}));

    release.release();
    QTRY_VERIFY(!m_media->isBusy());
    QCOMPARE(reports.events.size(), 2);
    QCOMPARE(sim->mountedDevice(QStringLiteral("/media/usb")), QStringLiteral("/dev/sda1"));
}

void MediaClassTest::cdStatus_data()
{
    QTest::addColumn<QList<int>>("statuses");
    QTest::addColumn<QStringList>("reported");

    const QString in = QStringLiteral("+/dev/cd-rom");
    const QString out = QStringLiteral("-/dev/cd-rom");
    QTest::newRow("audio disc") << QList<int>{2} << QStringList{in};
    QTest::newRow("data disc is searched") << QList<int>{3} << QStringList{in};
    QTest::newRow("tray opened before any report") << QList<int>{1} << QStringList{};
    QTest::newRow("tray opened after a disc") << QList<int>{2, 1} << QStringList{in, out};
    QTest::newRow("tray opened on an empty drive") << QList<int>{4, 1} << QStringList{};
    QTest::newRow("tray opened while the data disc is searched") << QList<int>{3, 1} << QStringList{out};
    QTest::newRow("no disc, not ready") << QList<int>{4, 0} << QStringList{};
    QTest::newRow("a disc swapped unseen") << QList<int>{2, 3} << QStringList{in, out, in};
}

void MediaClassTest::cdStatus()
{
    QFETCH(QList<int>, statuses);

    QVERIFY(SimMedia::instance()->insertDisc(SimMedia::DataDisc, m_root->medium(QStringLiteral("disc"), {QStringLiteral("x/book.opf")})));
    m_media = std::make_unique<MediaClass>();
    Reports reports(m_media.get());
    for (int status : std::as_const(statuses))
        m_media->cdromStatusChanged(status);
    QTRY_VERIFY(!m_media->isBusy() || statuses.last() == 0);
    QCOMPARE(m_media->cdromStatus(), statuses.last());
    QTEST(reports.events, "reported");
    if (statuses == QList<int>{2}) {
        const MediaSource audio = reports.inserted.first();
        QCOMPARE(audio.mimeType(), MediaSource::MimeTypeCdda);
        QCOMPARE(audio.mountPath(), QStringLiteral("cdda://"));
        QVERIFY(SimMedia::instance()->mounts().isEmpty());
    } else if (statuses == QList<int>{3}) {
        QCOMPARE(reports.inserted.first().mimeType(), MediaSource::MimeTypeFileSystem);
        QCOMPARE(SimMedia::instance()->mountedDevice(QStringLiteral("/media/cd")), QStringLiteral("/dev/cd-rom"));
    }
}

void MediaClassTest::driveThatNeverGetsReady()
{
    m_media = std::make_unique<MediaClass>();
    m_media->cdromStatusChanged(0);
    QVERIFY(m_media->isBusy());
    QElapsedTimer clock;
    clock.start();
    QTRY_VERIFY_WITH_TIMEOUT(!m_media->isBusy(), 10000);
    QVERIFY(clock.elapsed() >= qint64(MediaClass::kNotReadyBusyMsec * kTimeScale) - 20);
}

void MediaClassTest::mediaSourcesByMask_data()
{
    QTest::addColumn<int>("mask");
    QTest::addColumn<QStringList>("devices");

    QTest::newRow("update and log backup: sticks and cards") << int(MediaSource::MediaTypeUsb | MediaSource::MediaTypeMmc)
                                                             << QStringList{QStringLiteral("/dev/sda1"), QStringLiteral("/dev/mmcblk1p1")};
    QTest::newRow("cards only") << int(MediaSource::MediaTypeMmc) << QStringList{QStringLiteral("/dev/mmcblk1p1")};
    QTest::newRow("data disc with the rest") << int(MediaSource::MediaTypeCdRom | MediaSource::MediaTypeUsb)
                                             << QStringList{QStringLiteral("/dev/sda1"), QStringLiteral("/dev/sr0")};
}

void MediaClassTest::mediaSourcesByMask()
{
    QFETCH(int, mask);

    SimMedia *sim = SimMedia::instance();
    QVERIFY(sim->insert(SimMedia::UsbSlot, m_root->medium(QStringLiteral("stick"), {})));
    QVERIFY(sim->insert(SimMedia::SdSlot, m_root->medium(QStringLiteral("card"), {})));
    QVERIFY(sim->insertDisc(SimMedia::DataDisc, m_root->medium(QStringLiteral("disc"), {})));
    m_media = std::make_unique<MediaClass>();

    QStringList found;
    for (const MediaSource &source : m_media->mediaSources(mask)) {
        QCOMPARE(source.mimeType(), MediaSource::MimeTypeFileSystem);
        QVERIFY(!source.fileSystem().isEmpty());
        found << source.device();
    }
    // The system card the firmware runs from is never among them.
    QTEST(found, "devices");
}

QTEST_GUILESS_MAIN(MediaClassTest)
#include "mediaclasstest.moc"
