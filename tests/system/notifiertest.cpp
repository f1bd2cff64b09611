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

    void events_data();
    void events();
    void emptyBatteryIsAnnouncedBeforeShutdown();
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

void NotifierTest::events_data()
{
    QTest::addColumn<QString>("source"); // what reports: the adapter, the battery, an unsupported medium, or the reader asks
    QTest::addColumn<int>("value"); // its status, or the medium's type
    QTest::addColumn<QString>("sound"); // played first; empty: none
    QTest::addColumn<QString>("prompt"); // spoken alone at once; empty: none
    QTest::addColumn<QStringList>("prompts"); // spoken as one sequence
    QTest::addColumn<int>("ejected");

    const QStringList none;
    QTest::newRow("adapter connected") << "adapter" << 0 << "chargerConnect" << QString() << none << 0;
    QTest::newRow("adapter disconnected") << "adapter" << 1 << "chargerDisconnect" << QString() << none << 0;
    QTest::newRow("adapter failure") << "adapter" << 2 << QString() << QString() << QStringList{Message::power_adapter, Message::failed} << 0;
    QTest::newRow("adapter, unknown value") << "adapter" << 17 << QString() << QString() << none << 0;
    QTest::newRow("battery charged") << "battery" << 0 << QString() << Message::battery_fully_charged << none << 0;
    QTest::newRow("battery low") << "battery" << 3 << QString() << Message::battery_low_connect_the_power_adapter << none << 0;
    QTest::newRow("battery charging") << "battery" << 1 << QString() << QString() << none << 0;
    QTest::newRow("unsupported cd") << "unsupported" << 1 << QString() << QString() << QStringList{Message::media_not_supported, Message::eject} << 1;
    QTest::newRow("unsupported usb") << "unsupported" << 2 << QString() << QString() << QStringList{Message::media_not_supported} << 0;
    // The power button asks for the battery state.
    QTest::newRow("asked: charged") << "asked" << 0 << QString() << QString() << QStringList{Message::battery_level, Message::high} << 0;
    QTest::newRow("asked: charging") << "asked" << 1 << QString() << QString() << QStringList{Message::battery_status, Message::charging} << 0;
    QTest::newRow("asked: low") << "asked" << 3 << QString() << QString() << QStringList{Message::battery_level, Message::low} << 0;
    QTest::newRow("asked: normal") << "asked" << 4 << QString() << QString() << QStringList{Message::battery_level, Message::normal} << 0;
    // Nothing new to say: the last notification is said again.
    QTest::newRow("asked: undefined after a notification") << "asked" << 6 << QString() << QString()
                                                           << QStringList{Message::usb_error_remove_usb_device} << 0;
}

void NotifierTest::events()
{
    QFETCH(QString, source);
    QFETCH(int, value);
    QFETCH(QString, sound);
    QFETCH(QString, prompt);
    QFETCH(QStringList, prompts);

    Notifier *notifier = Notifier::instance();
    if (value == 6) {
        QSignalSpy said(notifier, &Notifier::finishedNotify);
        notifier->message(Message::usb_error_remove_usb_device);
        QVERIFY(said.wait());
        m_player->clear();
    }
    QSignalSpy started(notifier, &Notifier::startNotify);
    QSignalSpy finished(notifier, &Notifier::finishedNotify);
    QSignalSpy empty(notifier, &Notifier::batteryEmpty);
    if (source == QLatin1String("asked")) {
        m_pmic->status = value;
        notifier->batteryStatus();
    } else if (source == QLatin1String("adapter")) {
        Q_EMIT m_pmic->adapterStatusChanged(value);
    } else if (source == QLatin1String("battery")) {
        Q_EMIT m_pmic->batteryStatusChanged(value);
    } else {
        if (value == 1)
            QTest::ignoreMessage(QtDebugMsg, "void Notifier::insertedMediaIsUnsupported(MediaSource): unsupported cd.. eject the cd");
        Q_EMIT m_media->mediaSourceUnsupported(StandInMediaSource{value});
    }
    // Only what is spoken starts a notification (the audio of a mode pauses for it).
    QCOMPARE(started.count(), prompt.isEmpty() && prompts.isEmpty() ? 0 : 1);

    QStringList expected;
    if (!sound.isEmpty()) {
        expected << soundRun(sound) << QStringLiteral("end: 0");
        QTRY_COMPARE(m_player->lines(), expected);
    }
    if (!prompt.isEmpty())
        expected << promptRun(prompt) << QStringLiteral("end: 0");
    if (!prompts.isEmpty())
        expected << sequence(prompts);
    if (started.count() > 0)
        QVERIFY(finished.wait());
    QCOMPARE(recordAfterSentinel(), expected);
    QTEST(m_media->ejected, "ejected");
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
