// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/audiosettings.h"
#include "platform/platform.h"
#include "platform/sim/simmixer.h"
#include "testroot.h"

#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

using Platform::SimMixer;

namespace {
const QString Control = QStringLiteral("Power Amplifier");
// Short enough for a test, long enough that a loaded machine still answers
// inside the windows.
constexpr int PauseMsec = 150;
constexpr int AcknowledgeMsec = 300;
} // namespace

class AudioSettingsTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestRoot> m_root;

    /** A settings object at @p step on the loudspeaker, with short timers. */
    std::unique_ptr<AudioSettings> settingsAt(int step)
    {
        auto settings = std::make_unique<AudioSettings>();
        settings->setTimerLengths(PauseMsec, AcknowledgeMsec, 60000);
        QSettings().setValue(QStringLiteral("speakerVolume"), step);
        settings->presetVolume(AudioSettings::Speaker);
        return settings;
    }

    /** Steps up to 17 with the confirmation, as the user would. */
    void confirmRS1(AudioSettings *settings)
    {
        QSignalSpy ready(settings, &AudioSettings::pauseTimerReady);
        QCOMPARE(settings->changeVolume(+1), -1);
        QVERIFY(ready.wait(5000));
        QCOMPARE(settings->changeVolume(+1), 17);
    }

private Q_SLOTS:
    void init()
    {
        m_root = std::make_unique<TestRoot>();
        Platform::setBackend(Platform::Backend::Simulated);
        SimMixer::reset();
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    }

    void cleanup() { m_root.reset(); }

    void presetKeepsTheStartBelowRS1_data()
    {
        QTest::addColumn<int>("device");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("expectedStored");
        QTest::addColumn<int>("expectedMixer");

        QTest::newRow("speaker 17") << 0 << "speakerVolume" << QVariant(17) << 16 << 48;
        QTest::newRow("speaker 12") << 0 << "speakerVolume" << QVariant(12) << 12 << 36;
        QTest::newRow("speaker default") << 0 << "speakerVolume" << QVariant() << 9 << 27;
        QTest::newRow("headphones 21") << 1 << "headphoneVolume" << QVariant(21) << 16 << 48;
    }

    void presetKeepsTheStartBelowRS1()
    {
        QFETCH(int, device);
        QFETCH(QString, key);
        QFETCH(QVariant, stored);
        QFETCH(int, expectedMixer);

        if (stored.isValid())
            QSettings().setValue(key, stored);
        AudioSettings settings;
        settings.presetVolume(AudioSettings::AudioEndpointDevices(device));

        QCOMPARE(settings.endpoint(), AudioSettings::AudioEndpointDevices(device));
        QCOMPARE(SimMixer::value(Control), expectedMixer);
        QCOMPARE(AudioSettings::volume(), expectedMixer / 3);
        QTEST(QSettings().value(key, 9).toInt(), "expectedStored");
    }

    void deviceMixerKeepsUpWithFastTurns()
    {
        // A stand-in "amixer" first on PATH, as slow to set as the real one on
        // the board, answering only for the control named as one argument.
        const QString bin = m_root->path(QStringLiteral("/bin"));
        const QString state = m_root->path(QStringLiteral("/mixer-value"));
        QVERIFY(m_root->writeFile(QStringLiteral("/mixer-value"), "48\n"));
        QVERIFY(m_root->writeFile(QStringLiteral("/bin/amixer"),
                                  QStringLiteral("#!/bin/sh\n"
                                                 "[ \"$2\" = 'Power Amplifier' ] || exit 1\n"
                                                 "if [ \"$1\" = sset ]; then sleep 0.02; echo \"$3\" > '%1'; exit 0; fi\n"
                                                 "printf \"Simple mixer control '%s',0\\n  Mono: %s [50%%]\\n\" \"$2\" \"$(cat '%1')\"\n")
                                      .arg(state)
                                      .toUtf8()));
        QVERIFY(QFile::setPermissions(bin + QStringLiteral("/amixer"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin) + ':' + path);
        Platform::setBackend(Platform::Backend::Linux);

        AudioSettings settings;
        QList<int> steps;
        for (const int delta : {-1, -1, -1, -1, -1, +1, +1, +1, +1, +1})
            steps.append(settings.changeVolume(delta));
        qputenv("PATH", path);
        QCOMPARE(steps, (QList<int>{15, 14, 13, 12, 11, 12, 13, 14, 15, 16}));
        QCOMPARE(m_root->readFile(QStringLiteral("/mixer-value")), QByteArray("48\n"));
    }

    void volumeStepsAndBounds_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("mixer"); // what the mixer holds before the turn; -1: the start's own value
        QTest::addColumn<int>("delta");
        QTest::addColumn<int>("expected");
        QTest::newRow("up inside the safe range") << 10 << -1 << +1 << 11;
        QTest::newRow("down at the minimum") << 7 << -1 << -1 << 7;
        QTest::newRow("up to 16") << 15 << -1 << +1 << 16;
        // Mixer value 2 reads as step 0, which clamps to 7 after +1.
        QTest::newRow("unreadable mixer starts from the minimum") << 9 << 2 << +1 << 7;
    }

    void volumeStepsAndBounds()
    {
        QFETCH(int, start);
        QFETCH(int, mixer);
        QFETCH(int, delta);
        QFETCH(int, expected);
        auto settings = settingsAt(start);
        if (mixer >= 0)
            SimMixer::setValue(Control, mixer);
        QCOMPARE(settings->changeVolume(delta), expected);
        QCOMPARE(SimMixer::value(Control), expected * 3);
        QCOMPARE(QSettings().value(QStringLiteral("speakerVolume")).toInt(), expected);
    }

    void rs1NeedsConfirmationInsideTheWindow()
    {
        auto settings = settingsAt(16);
        QSignalSpy ready(settings.get(), &AudioSettings::pauseTimerReady);

        QCOMPARE(settings->changeVolume(+1), -1);
        // The louder level is stored but not yet heard.
        QCOMPARE(QSettings().value(QStringLiteral("speakerVolume")).toInt(), 17);
        QCOMPARE(SimMixer::value(Control), 48);
        // Another turn during the pause restarts it.
        QCOMPARE(settings->changeVolume(+1), -1);
        QCOMPARE(ready.count(), 0);

        QVERIFY(ready.wait(5000));
        QCOMPARE(ready.count(), 1);
        QCOMPARE(settings->changeVolume(+1), 17);
        QCOMPARE(SimMixer::value(Control), 51);
        QCOMPARE(settings->rs2Exposure(), 0);
    }

    void rs1ConfirmationWindowCloses()
    {
        auto settings = settingsAt(16);
        QSignalSpy ready(settings.get(), &AudioSettings::pauseTimerReady);
        QCOMPARE(settings->changeVolume(+1), -1);
        QVERIFY(ready.wait(5000));
        QVERIFY(settings->acknowledgeWindowOpen());
        QTRY_VERIFY_WITH_TIMEOUT(!settings->acknowledgeWindowOpen(), 5000);
        // The level stays below RS1, and the next turn up starts the pause again.
        QSignalSpy readyAgain(settings.get(), &AudioSettings::pauseTimerReady);
        QCOMPARE(SimMixer::value(Control), 48);
        QCOMPARE(settings->changeVolume(+1), -1);
        QCOMPARE(SimMixer::value(Control), 48);
        QVERIFY(readyAgain.wait(5000));
    }

    void rs2ExposureEndsInTimeout()
    {
        auto settings = settingsAt(16);
        confirmRS1(settings.get());
        QSignalSpy timeout(settings.get(), &AudioSettings::rs2DurationTimeout);
        for (int tick = 1; tick < 239; ++tick)
            QVERIFY(QMetaObject::invokeMethod(settings.get(), "rs2TimerTimeout"));
        QCOMPARE(settings->rs2Exposure(), 238 * 5);
        QCOMPARE(timeout.count(), 0);
        QVERIFY(QMetaObject::invokeMethod(settings.get(), "rs2TimerTimeout"));
        QCOMPARE(timeout.count(), 1);
        QVERIFY(QMetaObject::invokeMethod(settings.get(), "rs2TimerTimeout"));
        QCOMPARE(timeout.count(), 2);
    }

    void rs2TimerCountsByItself()
    {
        auto settings = std::make_unique<AudioSettings>();
        settings->setTimerLengths(PauseMsec, AcknowledgeMsec, 5);
        QSettings().setValue(QStringLiteral("speakerVolume"), 16);
        settings->presetVolume(AudioSettings::Speaker);
        confirmRS1(settings.get());
        QSignalSpy timeout(settings.get(), &AudioSettings::rs2DurationTimeout);
        QVERIFY(timeout.wait(20000));
        QVERIFY(settings->rs2Exposure() >= 1195);
    }

    void upToTheMaximumAndBelowRS1Again()
    {
        auto settings = settingsAt(16);
        confirmRS1(settings.get());
        for (int tick = 0; tick < 100; ++tick)
            QVERIFY(QMetaObject::invokeMethod(settings.get(), "rs2TimerTimeout"));
        for (int step = 18; step <= 21; ++step)
            QCOMPARE(settings->changeVolume(+1), step);
        QCOMPARE(settings->changeVolume(+1), 21); // the maximum stays
        QCOMPARE(SimMixer::value(Control), 63);
        for (int step = 20; step >= 17; --step)
            QCOMPARE(settings->changeVolume(-1), step);
        QCOMPARE(settings->rs2Exposure(), 500);
        QCOMPARE(settings->changeVolume(-1), 16);
        QCOMPARE(settings->rs2Exposure(), 0);
    }

    void endpointSwitchStartsUnconfirmed_data()
    {
        QTest::addColumn<int>("stage"); // how far the speaker got towards RS1 when the headphones came
        QTest::newRow("in the pause") << 0;
        QTest::newRow("in the confirmation window") << 1;
        QTest::newRow("confirmed and counting") << 2;
    }

    void endpointSwitchStartsUnconfirmed()
    {
        QFETCH(int, stage);
        auto settings = std::make_unique<AudioSettings>();
        settings->setTimerLengths(PauseMsec, AcknowledgeMsec, 5);
        QSettings().setValue(QStringLiteral("speakerVolume"), 16);
        QSettings().setValue(QStringLiteral("headphoneVolume"), 16);
        settings->presetVolume(AudioSettings::Speaker);
        QSignalSpy ready(settings.get(), &AudioSettings::pauseTimerReady);
        QCOMPARE(settings->changeVolume(+1), -1);
        if (stage >= 1)
            QVERIFY(ready.wait(5000));
        if (stage == 2) {
            QCOMPARE(settings->changeVolume(+1), 17);
            QTRY_VERIFY(settings->rs2Exposure() >= 10);
        }

        settings->presetVolume(AudioSettings::Headphones);
        const int exposure = settings->rs2Exposure();
        ready.clear();
        if (stage == 0) // the speaker's pause must not open a window for the headphones
            QVERIFY(!ready.wait(PauseMsec * 2));
        QVERIFY(!settings->acknowledgeWindowOpen());
        // One turn up on the headphones asks for their own confirmation.
        QCOMPARE(settings->changeVolume(+1), -1);
        QCOMPARE(SimMixer::value(Control), 48);
        QVERIFY(ready.wait(5000));
        QCOMPARE(settings->rs2Exposure(), exposure);
    }

    void tempoSteps_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("delta");
        QTest::addColumn<float>("expectedTempo");
        QTest::addColumn<int>("expectedSpeed");
        QTest::newRow("default up") << QVariant() << +1 << 1.25f << 1;
        QTest::newRow("2.0 up") << QVariant(2.0f) << +1 << 2.5f << 4;
        QTest::newRow("2.5 up to the end") << QVariant(2.5f) << +1 << 3.0f << 5;
        QTest::newRow("3.0 up stays") << QVariant(3.0f) << +1 << 3.0f << 5;
        QTest::newRow("3.0 down") << QVariant(3.0f) << -1 << 2.5f << 4;
        QTest::newRow("0.75 down stays") << QVariant(0.75f) << -1 << 0.75f << -1;
        QTest::newRow("off the table 1.1 up") << QVariant(1.1f) << +1 << 0.75f << -1;
        // Delta 0: the stored value is set as it is.
        QTest::newRow("set 3.5") << QVariant(3.5f) << 0 << 3.0f << 5;
        QTest::newRow("set 1.3, off the table") << QVariant(1.3f) << 0 << 1.3f << 0;
    }

    void tempoSteps()
    {
        QFETCH(QVariant, stored);
        QFETCH(int, delta);
        QFETCH(float, expectedTempo);
        AudioSettings settings;
        if (delta == 0) {
            settings.setTempo(stored.toFloat());
        } else {
            if (stored.isValid())
                QSettings().setValue(QStringLiteral("tempo"), stored);
            settings.changeTempo(delta);
        }
        QCOMPARE(settings.tempo(), expectedTempo);
        QTEST(settings.speed(), "expectedSpeed");
        QCOMPARE(QSettings().value(QStringLiteral("tempo")).toFloat(), expectedTempo);
    }

    void pitchClamping_data()
    {
        QTest::addColumn<int>("set");
        QTest::addColumn<int>("delta");
        QTest::addColumn<int>("expected");
        QTest::newRow("set 9") << 9 << 0 << 4;
        QTest::newRow("set -9") << -9 << 0 << -4;
        QTest::newRow("change up at 4") << 4 << +1 << 4;
        QTest::newRow("change down from 1") << 1 << -1 << 0;
    }

    void pitchClamping()
    {
        QFETCH(int, set);
        QFETCH(int, delta);
        QFETCH(int, expected);
        AudioSettings settings;
        settings.setPitch(set);
        if (delta != 0)
            settings.changePitch(delta);
        QCOMPARE(settings.pitch(), expected);
        QCOMPARE(QSettings().value(QStringLiteral("pitch")).toInt(), expected);
    }
};

QTEST_GUILESS_MAIN(AudioSettingsTest)
#include "audiosettingstest.moc"
