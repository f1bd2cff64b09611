// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/notifier.h"

#include "speech/messages.h"
#include "system/sound.h"
#include "system/soundmanager.h"

#include "fakeplayer.h"
#include "testroot.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

/** Has the power manager's signals and battery query, and nothing else. */
class StandInPowerManager : public QObject
{
    Q_OBJECT
public:
    int batteryStatus() const { return status; }
    int status = 6;
Q_SIGNALS:
    void adapterStatusChanged(int status);
    void batteryStatusChanged(int status);
};

struct StandInMediaSource {
    int type = 0;
    int mediaType() const { return type; }
};

/** Has the media class's unsupported-medium signal and eject slot. */
class StandInMediaClass : public QObject
{
    Q_OBJECT
public:
    int ejected = 0;
public Q_SLOTS:
    void ejectCd() { ++ejected; }
Q_SIGNALS:
    void mediaSourceUnsupported(const StandInMediaSource &mediaSource);
};

} // namespace

class NotifierTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void adapterStatus_data();
    void adapterStatus();
    void batteryStatusChange_data();
    void batteryStatusChange();
    void emptyBatteryIsAnnouncedBeforeShutdown();
    void spokenBatteryState_data();
    void spokenBatteryState();
    void unsupportedMedium_data();
    void unsupportedMedium();
    void settersRefuseNullAndSecondObjects();

private:
    QString prompt(const QString &name) const { return m_root->path(QStringLiteral("/root/quimbo/messages/eng/") + name); }
    QString playlistRun() const
    {
        return FakePlayer::argv({QStringLiteral("-v"), QStringLiteral("0.5"), QStringLiteral("-q"), m_root->path(QStringLiteral("/root/quimbo/tmpPlaylist.m3u"))});
    }
    QString promptRun(const QString &name) const
    {
        return FakePlayer::argv({QStringLiteral("-v"), QStringLiteral("0.5"), QStringLiteral("-q"), prompt(name)});
    }
    QString soundRun(const QString &name) const
    {
        return FakePlayer::argv(
            {QStringLiteral("-V1"), QStringLiteral("-q"), QStringLiteral("--norm=0"), QStringLiteral("--magic"), SoundManager::instance()->getSound(name)->fileName()});
    }
    QStringList sequence(const QStringList &names) const
    {
        QStringList lines = {playlistRun()};
        for (const QString &name : names)
            lines << QStringLiteral("item: ") + prompt(name);
        return lines << QStringLiteral("end: 0");
    }
    /**
     * Speaks a last message and waits for it, so that anything the notifier
     * started before has left its trace in the record (or never will).
     */
    QStringList recordAfterSentinel()
    {
        QSignalSpy finished(Notifier::instance(), &Notifier::finishedNotify);
        Notifier::instance()->message(Message::welcome);
        if (!finished.wait())
            return {QStringLiteral("sentinel did not finish")};
        QStringList lines = m_player->lines();
        const QStringList tail = sequence({Message::welcome});
        if (lines.mid(lines.size() - tail.size()) != tail)
            return lines << QStringLiteral("sentinel missing");
        return lines.mid(0, lines.size() - tail.size());
    }

    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<FakePlayer> m_player;
    std::unique_ptr<StandInPowerManager> m_pmic;
    std::unique_ptr<StandInMediaClass> m_media;
};

void NotifierTest::init()
{
    m_root = std::make_unique<TestRoot>();
    m_player = std::make_unique<FakePlayer>();
    QVERIFY(m_root->isValid());
    QVERIFY(m_player->isValid());
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));

    const QStringList prompts = {Message::welcome, Message::power_adapter, Message::failed, Message::battery_empty, Message::device_will_power_off,
                                 Message::battery_low_connect_the_power_adapter, Message::battery_fully_charged, Message::battery_level, Message::battery_status,
                                 Message::high, Message::low, Message::normal, Message::charging, Message::media_not_supported, Message::eject,
                                 Message::usb_error_remove_usb_device};
    for (const QString &name : prompts)
        QVERIFY(m_root->writeFile(QStringLiteral("/root/quimbo/messages/eng/") + name, "RIFF"));

    SoundManager::instance()->create(QStringLiteral(":/sounds/charger_connect.wav"), QStringLiteral("chargerConnect"));
    SoundManager::instance()->create(QStringLiteral(":/sounds/charger_disconnect.wav"), QStringLiteral("chargerDisconnect"));

    m_pmic = std::make_unique<StandInPowerManager>();
    m_media = std::make_unique<StandInMediaClass>();
    Notifier::instance()->setPowerManager(m_pmic.get());
    Notifier::instance()->setMediaClass(m_media.get());
}

void NotifierTest::cleanup()
{
    Notifier::instance()->stopNotify();
    Notifier::instance()->clear();
    SoundManager::destroy();
    m_media.reset();
    m_pmic.reset();
    m_player.reset();
    m_root.reset();
}

void NotifierTest::adapterStatus_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("sound"); // empty: none
    QTest::addColumn<QStringList>("prompts"); // spoken as one sequence
    QTest::addColumn<int>("startNotify");

    QTest::newRow("connected") << 0 << "chargerConnect" << QStringList() << 0;
    QTest::newRow("disconnected") << 1 << "chargerDisconnect" << QStringList() << 0;
    QTest::newRow("fail") << 2 << QString() << QStringList({Message::power_adapter, Message::failed}) << 1;
    QTest::newRow("unknown value") << 17 << QString() << QStringList() << 0;
}

void NotifierTest::adapterStatus()
{
    QFETCH(int, status);
    QFETCH(QString, sound);
    QFETCH(QStringList, prompts);
    QFETCH(int, startNotify);

    QSignalSpy started(Notifier::instance(), &Notifier::startNotify);
    QSignalSpy finished(Notifier::instance(), &Notifier::finishedNotify);
    Q_EMIT m_pmic->adapterStatusChanged(status);
    QCOMPARE(started.count(), startNotify);

    QStringList expected;
    if (!sound.isEmpty()) {
        expected << soundRun(sound) << QStringLiteral("end: 0");
        QTRY_COMPARE(m_player->lines(), expected);
    }
    if (!prompts.isEmpty()) {
        QVERIFY(finished.wait());
        expected << sequence(prompts);
    }
    QCOMPARE(recordAfterSentinel(), expected);
}

void NotifierTest::batteryStatusChange_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message"); // spoken at once, without waiting; empty: none

    QTest::newRow("charged") << 0 << Message::battery_fully_charged;
    QTest::newRow("low") << 3 << Message::battery_low_connect_the_power_adapter;
    QTest::newRow("charging") << 1 << QString();
}

void NotifierTest::batteryStatusChange()
{
    QFETCH(int, status);
    QFETCH(QString, message);

    QSignalSpy started(Notifier::instance(), &Notifier::startNotify);
    QSignalSpy finished(Notifier::instance(), &Notifier::finishedNotify);
    QSignalSpy empty(Notifier::instance(), &Notifier::batteryEmpty);
    Q_EMIT m_pmic->batteryStatusChanged(status);

    QStringList expected;
    if (!message.isEmpty()) {
        QCOMPARE(started.count(), 1);
        QVERIFY(finished.wait());
        expected << promptRun(message) << QStringLiteral("end: 0");
    } else {
        QCOMPARE(started.count(), 0);
    }
    QCOMPARE(recordAfterSentinel(), expected);
    QCOMPARE(empty.count(), 0);
    QVERIFY(!QSettings(QStringLiteral("KAL"), QStringLiteral("quimbo-basic")).contains(QStringLiteral("batteryEmpty")));
}

void NotifierTest::emptyBatteryIsAnnouncedBeforeShutdown()
{
    Notifier *notifier = Notifier::instance();
    QSignalSpy started(notifier, &Notifier::startNotify);
    QSignalSpy finished(notifier, &Notifier::finishedNotify);
    QStringList recordAtShutdown;
    bool storedAtShutdown = false;
    connect(notifier, &Notifier::batteryEmpty, this, [&] {
        recordAtShutdown = m_player->lines();
        storedAtShutdown = QSettings(QStringLiteral("KAL"), QStringLiteral("quimbo-basic")).value(QStringLiteral("batteryEmpty")).toBool();
    });

    m_player->setSeconds(0.2);
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("message001.wav waitForFinished: true$")));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("message006.wav waitForFinished: true$")));
    Q_EMIT m_pmic->batteryStatusChanged(2);

    // Both messages had ended when the controller was told to shut down.
    QCOMPARE(recordAtShutdown,
             QStringList({promptRun(Message::battery_empty), QStringLiteral("end: 0"), promptRun(Message::device_will_power_off), QStringLiteral("end: 0")}));
    QVERIFY(storedAtShutdown);
    QCOMPARE(started.count(), 1);
    disconnect(notifier, &Notifier::batteryEmpty, this, nullptr);

    m_player->setSeconds(0);
    QCOMPARE(recordAfterSentinel(), recordAtShutdown);
    QCOMPARE(finished.count(), 1); // the sentinel's only: waited messages report nothing
}

void NotifierTest::spokenBatteryState_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("prompts");

    QTest::newRow("charged") << 0 << QStringList({Message::battery_level, Message::high});
    QTest::newRow("charging") << 1 << QStringList({Message::battery_status, Message::charging});
    QTest::newRow("low") << 3 << QStringList({Message::battery_level, Message::low});
    QTest::newRow("normal") << 4 << QStringList({Message::battery_level, Message::normal});
    // Nothing new to say: the last notification is said again.
    QTest::newRow("undefined after a notification") << 6 << QStringList({Message::usb_error_remove_usb_device});
}

void NotifierTest::spokenBatteryState()
{
    QFETCH(int, status);
    QFETCH(QStringList, prompts);

    Notifier *notifier = Notifier::instance();
    QSignalSpy finished(notifier, &Notifier::finishedNotify);
    if (status == 6) {
        notifier->message(Message::usb_error_remove_usb_device);
        QVERIFY(finished.wait());
        m_player->clear();
    }
    QSignalSpy started(notifier, &Notifier::startNotify);
    m_pmic->status = status;
    notifier->batteryStatus();
    QCOMPARE(started.count(), 1);
    QVERIFY(finished.wait());
    QCOMPARE(m_player->lines(), sequence(prompts));
}

void NotifierTest::unsupportedMedium_data()
{
    QTest::addColumn<int>("mediaType");
    QTest::addColumn<int>("ejected");
    QTest::addColumn<QStringList>("prompts");

    QTest::newRow("cd") << 1 << 1 << QStringList({Message::media_not_supported, Message::eject});
    QTest::newRow("usb") << 2 << 0 << QStringList({Message::media_not_supported});
}

void NotifierTest::unsupportedMedium()
{
    QFETCH(int, mediaType);
    QFETCH(int, ejected);
    QFETCH(QStringList, prompts);

    QSignalSpy started(Notifier::instance(), &Notifier::startNotify);
    QSignalSpy finished(Notifier::instance(), &Notifier::finishedNotify);
    if (ejected)
        QTest::ignoreMessage(QtDebugMsg, "void Notifier::insertedMediaIsUnsupported(MediaSource): unsupported cd.. eject the cd");
    Q_EMIT m_media->mediaSourceUnsupported(StandInMediaSource{mediaType});

    QCOMPARE(m_media->ejected, ejected);
    QCOMPARE(started.count(), 1);
    QVERIFY(finished.wait());
    QCOMPARE(m_player->lines(), sequence(prompts));
}

void NotifierTest::settersRefuseNullAndSecondObjects()
{
    Notifier *notifier = Notifier::instance();
    StandInPowerManager otherPmic;
    StandInMediaClass otherMedia;

    QTest::ignoreMessage(QtWarningMsg, "void Notifier::setPowerManager(PowerManager*): already set a pmic object");
    notifier->setPowerManager(&otherPmic);
    QTest::ignoreMessage(QtWarningMsg, "void Notifier::setMediaClass(MediaClass*): already set a media object");
    notifier->setMediaClass(&otherMedia);
    QCOMPARE(notifier->powerManager(), m_pmic.get());
    QCOMPARE(notifier->mediaClass(), m_media.get());

    // clear() forgets both and disconnects the three signals.
    notifier->clear();
    QSignalSpy empty(notifier, &Notifier::batteryEmpty);
    Q_EMIT m_pmic->batteryStatusChanged(2);
    Q_EMIT m_media->mediaSourceUnsupported(StandInMediaSource{1});
    QCOMPARE(empty.count(), 0);
    QCOMPARE(m_media->ejected, 0);
    QVERIFY(!notifier->messages()->isPlaying());
    QTest::ignoreMessage(QtWarningMsg, "void Notifier::batteryStatus(): powerManger is not set!");
    notifier->batteryStatus();
    QVERIFY(!notifier->messages()->isPlaying());

    QTest::ignoreMessage(QtWarningMsg, "void Notifier::setPowerManager(PowerManager*): pmic is null object");
    notifier->setPowerManager(static_cast<StandInPowerManager *>(nullptr));
    QTest::ignoreMessage(QtWarningMsg, "void Notifier::setMediaClass(MediaClass*): media is null object");
    notifier->setMediaClass(static_cast<StandInMediaClass *>(nullptr));
    QCOMPARE(notifier->powerManager(), nullptr);
    QCOMPARE(notifier->mediaClass(), nullptr);

    // After clear() another pair may be set, and only that pair is heard.
    notifier->setPowerManager(&otherPmic);
    notifier->setMediaClass(&otherMedia);
    QCOMPARE(notifier->powerManager(), &otherPmic);
    QSignalSpy started(notifier, &Notifier::startNotify);
    Q_EMIT m_pmic->adapterStatusChanged(2);
    QCOMPARE(started.count(), 0);
    Q_EMIT otherPmic.adapterStatusChanged(2);
    QCOMPARE(started.count(), 1);
}

QTEST_GUILESS_MAIN(NotifierTest)
#include "notifiertest.moc"
