// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/audiosettings.h"
#include "audio/audiosubsystem.h"
#include "audio/logcategory.h"
#include "platform/i2cbus.h"
#include "platform/platform.h"
#include "platform/sim/simboard.h"
#include "platform/sim/simmixer.h"
#include "platform/sim/tpa2051d3model.h"
#include "logcapture.h"
#include "testroot.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using Platform::SimBoard;
using Platform::SimMixer;
using Platform::Tpa2051d3Model;

namespace {
const QString Jack = QStringLiteral("/dev/input/event2");
constexpr int JackKey = 35;
constexpr int JackSwitch = 2; // SW_HEADPHONE_INSERT
} // namespace

class AudioSubsystemTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestRoot> m_root;

    Tpa2051d3Model &amp() { return Tpa2051d3Model::instance(); }

private Q_SLOTS:
    void initTestCase()
    {
        // The amplifier's settle waits (20, 100, 250 ms) shrink with the time scale.
        Platform::setTimeScale(0.05);
        // The simulated board puts its amplifier on the bus with the first bus opened.
        Platform::setBackend(Platform::Backend::Simulated);
        QVERIFY(Platform::createI2cBus());
    }

    void init()
    {
        m_root = std::make_unique<TestRoot>();
        Platform::setBackend(Platform::Backend::Simulated);
        SimBoard::instance()->reset();
        SimMixer::reset();
        amp().reset();
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    }

    void cleanup() { m_root.reset(); }

    void powerUpPerRevisionAndEndpoint_data()
    {
        QTest::addColumn<QString>("revision");
        QTest::addColumn<int>("headphones"); // 0 none, 1 key 35 down, 2 jack switch on
        QTest::addColumn<QByteArray>("expectedSet");
        QTest::addColumn<int>("expectedEndpoint");

        QTest::newRow("Rev4 speaker") << "Rev4" << 0 << AudioSubsystem::SPEAKER_AMP_ON << 0;
        QTest::newRow("Rev6 speaker") << "Rev6" << 0 << AudioSubsystem::SPEAKER_AMP_ON_OPT << 0;
        QTest::newRow("Rev6 headphones (key)") << "Rev6" << 1 << AudioSubsystem::HEADPHONE_AMP_ON << 1;
        QTest::newRow("Rev4 headphones (switch)") << "Rev4" << 2 << AudioSubsystem::HEADPHONE_AMP_ON << 1;
    }

    void powerUpPerRevisionAndEndpoint()
    {
        QFETCH(QString, revision);
        QFETCH(int, headphones);
        QFETCH(QByteArray, expectedSet);

        if (headphones == 1)
            SimBoard::instance()->setKey(Jack, JackKey, true);
        else if (headphones == 2)
            SimBoard::instance()->setSwitch(Jack, JackSwitch, true);

        AudioSubsystem audio;
        QSignalSpy changes(&audio, &AudioSubsystem::audioEnpointDeviceChange);
        audio.setBoardRevision(revision);
        QVERIFY(audio.initialize());
        QCOMPARE(audio.headphoneConnected(), headphones != 0);
        QVERIFY(audio.powerUp());
        QVERIFY(audio.isPowered());
        QTEST(int(audio.audioEndpointDevice()), "expectedEndpoint");
        QCOMPARE(amp().appliedSets(), QList<QByteArray>{expectedSet});
        QCOMPARE(amp().registers().mid(1), expectedSet.mid(1));

        // A second power-up writes nothing.
        QVERIFY(audio.powerUp());
        QCOMPARE(amp().appliedSets().size(), 1);

        QVERIFY(audio.powerDown());
        QVERIFY(!audio.isPowered());
        QCOMPARE(amp().appliedSets().last(), AudioSubsystem::BYPASS_AMP_ON);
        QVERIFY(audio.powerDown());
        QCOMPARE(amp().appliedSets().size(), 2);

        // Powered down, the jack is no longer listened to.
        SimBoard::instance()->setKey(Jack, JackKey, headphones == 0);
        SimBoard::instance()->setSwitch(Jack, JackSwitch, headphones == 0);
        QVERIFY(!changes.wait(300));
        QCOMPARE(amp().appliedSets().last(), AudioSubsystem::BYPASS_AMP_ON);
    }

    void registerWriteRetries_data()
    {
        QTest::addColumn<int>("failures");
        QTest::addColumn<bool>("poweredUp");
        QTest::newRow("4 failures, 5th attempt succeeds") << 4 << true;
        QTest::newRow("5 failures fail the power-up") << 5 << false;
    }

    void registerWriteRetries()
    {
        QFETCH(int, failures);
        QFETCH(bool, poweredUp);
        AudioSubsystem audio;
        QVERIFY(audio.initialize());
        amp().failWrites(3, failures);
        for (int i = 0; i < failures; ++i)
            QTest::ignoreMessage(QtWarningMsg, "bool AudioSubsystem::writeRegister(quint8, quint8): error writing register TPA2051D3");
        if (!poweredUp) {
            QTest::ignoreMessage(QtWarningMsg, "bool AudioSubsystem::writeRegisterData(unsigned char*, int): error writing multi data to TPA2051D3");
            QTest::ignoreMessage(QtWarningMsg, "bool AudioSubsystem::powerUp(): failed to write registers");
        }
        QCOMPARE(audio.powerUp(), poweredUp);
        QCOMPARE(audio.isPowered(), poweredUp);
        // Registers after the failing one are never written when it gives up.
        QCOMPARE(amp().reg(4), poweredUp ? quint8(0x8D) : quint8(0));
    }

    void readBackMismatchFailsPowerUp()
    {
        AudioSubsystem audio;
        audio.setBoardRevision(QStringLiteral("Rev6"));
        QVERIFY(audio.initialize());
        amp().forceReadBack(5, 0x0D);
        QTest::ignoreMessage(QtWarningMsg, "[AudioSubsystem::verifyRegisterData] failed, got: d, excpected: 1f in reg: 5");
        QTest::ignoreMessage(QtWarningMsg, "bool AudioSubsystem::powerUp(): verify failed");
        QVERIFY(!audio.powerUp());
        QVERIFY(!audio.isPowered());
    }

    void registerZeroIsNotVerified()
    {
        AudioSubsystem audio;
        QVERIFY(audio.initialize());
        amp().forceReadBack(0, 0xFF);
        QVERIFY(audio.powerUp());
    }

    void initializeFailures_data()
    {
        QTest::addColumn<bool>("jackPresent");
        QTest::addColumn<bool>("ampAttached");
        QTest::addColumn<QString>("backendLog");
        QTest::addColumn<QString>("logged");
        QTest::newRow("no headphone input") << false << true << QString()
                                            << "bool AudioSubsystem::initialize(): error cannot open headphone input";
        QTest::newRow("no I2C bus") << true << false << "^\\[SimI2cBus::open\\] no simulated bus /dev/i2c-1$"
                                    << "bool AudioSubsystem::initialize(): error cannot open I2C bus";
        QTest::newRow("device without i2c-dev node") << true << true << "^\\[LinuxI2cBus::open\\] .*/dev/i2c-1: No such file"
                                                     << "bool AudioSubsystem::initialize(): error cannot open I2C bus";
    }

    void initializeFailures()
    {
        QFETCH(bool, jackPresent);
        QFETCH(bool, ampAttached);
        QFETCH(QString, backendLog);
        QFETCH(QString, logged);
        SimBoard::instance()->setInputDevicePresent(Jack, jackPresent);
        if (!ampAttached)
            Platform::SimI2cBus::detachDevice(&amp());
        AudioSubsystem audio;
        if (QByteArray(QTest::currentDataTag()).startsWith("device"))
            Platform::setBackend(Platform::Backend::Linux);
        if (!backendLog.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(backendLog));
        QTest::ignoreMessage(QtWarningMsg, qPrintable(logged));
        const bool initialized = audio.initialize();
        amp().attach();
        QVERIFY(!initialized);
    }

    void writeWithoutBusIsRefused()
    {
        AudioSubsystem audio;
        QTest::ignoreMessage(QtWarningMsg, "bool AudioSubsystem::writeRegister(quint8, quint8): error no file descriptor!");
        QVERIFY(!audio.writeRegister(1, 0x80));
        QTest::ignoreMessage(QtWarningMsg, "int AudioSubsystem::readRegister(quint8): error no file descriptor!");
        QCOMPARE(audio.readRegister(1), -1);
    }

    void headphoneInputGoneIsLeftAlone()
    {
        AudioSubsystem audio;
        audio.setBoardRevision(QStringLiteral("Rev6"));
        QVERIFY(audio.initialize());
        QVERIFY(audio.powerUp());
        LogCapture log(lcAudio());
        SimBoard::instance()->setInputDevicePresent(Jack, false);
        QTRY_VERIFY(log.text().contains(QStringLiteral("the headphone input is gone")));
        // Reading on at end of file would log a line on every pass of the event loop.
        QTest::qWait(100);
        QCOMPARE(log.lines().filter(QStringLiteral("headphone input")).size(), 1);
        QCOMPARE(audio.audioEndpointDevice(), AudioSettings::Speaker);
        QVERIFY(audio.powerDown());
        SimBoard::instance()->setInputDevicePresent(Jack, true);
    }

    void headphoneSwitchesEndpointInOrder_data()
    {
        QTest::addColumn<QString>("revision");
        QTest::addColumn<bool>("useSwitch");
        QTest::addColumn<QByteArray>("speakerSet");
        QTest::newRow("Rev6, jack key") << "Rev6" << false << AudioSubsystem::SPEAKER_AMP_ON_OPT;
        QTest::newRow("Rev4, jack switch") << "Rev4" << true << AudioSubsystem::SPEAKER_AMP_ON;
    }

    void headphoneSwitchesEndpointInOrder()
    {
        QFETCH(QString, revision);
        QFETCH(bool, useSwitch);
        QFETCH(QByteArray, speakerSet);

        QSettings().setValue(QStringLiteral("speakerVolume"), 12);
        QSettings().setValue(QStringLiteral("headphoneVolume"), 19);
        AudioSettings settings;
        AudioSubsystem audio;
        audio.setBoardRevision(revision);
        connect(&audio, &AudioSubsystem::audioEnpointDeviceChange, &settings, &AudioSettings::presetVolume);

        // What the amplifier holds at the moment the endpoint is announced.
        QList<QByteArray> setsAtAnnouncement;
        connect(&audio, &AudioSubsystem::audioEnpointDeviceChange, this,
                [&] { setsAtAnnouncement.append(amp().appliedSets().last()); });
        QSignalSpy changes(&audio, &AudioSubsystem::audioEnpointDeviceChange);

        QVERIFY(audio.initialize());
        QVERIFY(audio.powerUp());
        settings.presetVolume(audio.audioEndpointDevice());
        QCOMPARE(SimMixer::value(QStringLiteral("Power Amplifier")), 36);

        auto plug = [&](bool in) {
            if (useSwitch)
                SimBoard::instance()->setSwitch(Jack, JackSwitch, in);
            else
                SimBoard::instance()->setKey(Jack, JackKey, in);
        };

        plug(true);
        QTRY_COMPARE(changes.count(), 1);
        QCOMPARE(changes.at(0).at(0).value<AudioSettings::AudioEndpointDevices>(), AudioSettings::Headphones);
        QCOMPARE(setsAtAnnouncement.last(), AudioSubsystem::AMP_MUTE);
        // The stored 19 was brought below RS1 while muted, then the headphone path came on.
        QCOMPARE(SimMixer::value(QStringLiteral("Power Amplifier")), 48);
        QTRY_COMPARE(amp().appliedSets().last(), AudioSubsystem::HEADPHONE_AMP_ON);
        QCOMPARE(audio.audioEndpointDevice(), AudioSettings::Headphones);
        QCOMPARE(settings.endpoint(), AudioSettings::Headphones);

        plug(false);
        QTRY_COMPARE(changes.count(), 2);
        QCOMPARE(setsAtAnnouncement.last(), AudioSubsystem::AMP_MUTE);
        QCOMPARE(SimMixer::value(QStringLiteral("Power Amplifier")), 36);
        QTRY_COMPARE(amp().appliedSets().last(), speakerSet);
        QCOMPARE(audio.audioEndpointDevice(), AudioSettings::Speaker);

        const QList<QByteArray> expected{speakerSet, AudioSubsystem::AMP_MUTE, AudioSubsystem::HEADPHONE_AMP_ON,
                                         AudioSubsystem::AMP_MUTE, speakerSet};
        QCOMPARE(amp().appliedSets(), expected);
    }

    void powerDownDuringSwitchKeepsBypass()
    {
        AudioSubsystem audio;
        audio.setBoardRevision(QStringLiteral("Rev6"));
        QVERIFY(audio.initialize());
        QVERIFY(audio.powerUp());
        bool poweredDown = false;
        // Idle mode or shutdown arriving while the switch waits for the volume to settle.
        connect(&audio, &AudioSubsystem::audioEnpointDeviceChange, this,
                [&] { QTimer::singleShot(0, this, [&] { poweredDown = audio.powerDown(); }); });

        SimBoard::instance()->setKey(Jack, JackKey, true);
        QTRY_VERIFY(poweredDown);
        QTest::qWait(100);
        QVERIFY(!audio.isPowered());
        const QList<QByteArray> expected{AudioSubsystem::SPEAKER_AMP_ON_OPT, AudioSubsystem::AMP_MUTE,
                                         AudioSubsystem::BYPASS_AMP_ON};
        QCOMPARE(amp().appliedSets(), expected);
    }

};

QTEST_GUILESS_MAIN(AudioSubsystemTest)
#include "audiosubsystemtest.moc"
