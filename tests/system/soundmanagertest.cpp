// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/sound.h"
#include "system/soundmanager.h"

#include "platform/platform.h"
#include "platform/sim/simmixer.h"
#include "fakeplayer.h"
#include "testroot.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <memory>

class SoundManagerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void compiledInSoundsAreShortMonoWaves_data();
    void compiledInSoundsAreShortMonoWaves();
    void secondCreateKeepsTheFirst();
    void playsResourcesFromATemporaryCopy_data();
    void playsResourcesFromATemporaryCopy();
    void normalisationFollowsTheVolume_data();
    void normalisationFollowsTheVolume();
    void waitedPlayReturnsAtTheEnd();

private:
    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<FakePlayer> m_player;
};

void SoundManagerTest::init()
{
    m_root = std::make_unique<TestRoot>();
    m_player = std::make_unique<FakePlayer>();
    QVERIFY(m_root->isValid());
    QVERIFY(m_player->isValid());
    Sound::setVolumeProvider(nullptr);
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
}

void SoundManagerTest::cleanup()
{
    SoundManager::destroy();
    Sound::setVolumeProvider(nullptr);
    Platform::SimMixer::reset();
    Platform::setBackend(Platform::Backend::Linux);
    m_player.reset();
    m_root.reset();
}

void SoundManagerTest::compiledInSoundsAreShortMonoWaves_data()
{
    QTest::addColumn<QString>("resource");
    const char *names[] = {"alarm_beep", "beep", "bookshelf_added", "bookshelf_removed", "charger_connect", "charger_disconnect",
                           "double_beep", "normal_beep", "short_beep", "shutdown", "startup", "tick_beep"};
    for (const char *name : names)
        QTest::newRow(name) << QStringLiteral(":/sounds/%1.wav").arg(QLatin1String(name));
}

void SoundManagerTest::compiledInSoundsAreShortMonoWaves()
{
    QFETCH(QString, resource);
    // Creating a sound registers the resources of the library.
    Sound sound(resource);
    QFile file(resource);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(resource));
    const QByteArray wav = file.readAll();
    QVERIFY(wav.size() > 44);
    QCOMPARE(wav.left(4), QByteArray("RIFF"));
    QCOMPARE(wav.mid(8, 8), QByteArray("WAVEfmt "));
    const auto u16 = [&wav](int at) { return quint16(quint8(wav[at]) | quint8(wav[at + 1]) << 8); };
    const auto u32 = [&wav, &u16](int at) { return quint32(u16(at)) | quint32(u16(at + 2)) << 16; };
    QCOMPARE(u16(20), quint16(1)); // PCM
    QCOMPARE(u16(22), quint16(1)); // mono
    QCOMPARE(u32(24), quint32(22050));
    QCOMPARE(u16(34), quint16(16));
    const double seconds = double(wav.size() - 44) / (22050 * 2);
    QVERIFY2(seconds > 0.01 && seconds < 1.0, qPrintable(QString::number(seconds)));
}

void SoundManagerTest::secondCreateKeepsTheFirst()
{
    SoundManager *manager = SoundManager::instance();
    QCOMPARE(SoundManager::getInstance(), manager);
    Sound *beep = manager->create(QStringLiteral(":/sounds/beep.wav"), QStringLiteral("beep"));
    QVERIFY(beep);
    QCOMPARE(manager->create(QStringLiteral(":/sounds/shutdown.wav"), QStringLiteral("beep")), beep);
    QCOMPARE(beep->path(), QStringLiteral(":/sounds/beep.wav"));
    QCOMPARE(manager->getSound(QStringLiteral("beep")), beep);
    QVERIFY(manager->create(QStringLiteral(":/sounds/shutdown.wav"), QStringLiteral("shutdown")) != beep);
    QCOMPARE(manager->getSound(QStringLiteral("Beep")), nullptr);
    QVERIFY(!manager->play(QStringLiteral("nothing")));

    SoundManager::destroy();
    QCOMPARE(SoundManager::instance()->getSound(QStringLiteral("beep")), nullptr);
}

void SoundManagerTest::playsResourcesFromATemporaryCopy_data()
{
    QTest::addColumn<QString>("path"); // a resource, or a file below the root
    QTest::newRow("resource") << ":/sounds/charger_connect.wav";
    QTest::newRow("file") << "/root/quimbo/tone.wav";
}

void SoundManagerTest::playsResourcesFromATemporaryCopy()
{
    QFETCH(QString, path);
    const bool resource = path.startsWith(QLatin1Char(':'));
    if (!resource) {
        QVERIFY(m_root->writeFile(path, "RIFF"));
        path = m_root->path(path);
    }
    Sound *sound = SoundManager::instance()->create(path, QStringLiteral("chargerConnect"));
    const QString played = sound->fileName();
    QStringList arguments = {QStringLiteral("-V1"), QStringLiteral("-q"), QStringLiteral("--norm=0")};
    if (resource) {
        QVERIFY(played.startsWith(m_root->path(QStringLiteral("/tmp/"))));
        QFile original(path);
        QFile copy(played);
        QVERIFY(original.open(QIODevice::ReadOnly) && copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), original.readAll());
        arguments << QStringLiteral("--magic");
    } else {
        QCOMPARE(played, path);
    }

    QVERIFY(SoundManager::instance()->play(QStringLiteral("chargerConnect")));
    arguments << played;
    QTRY_COMPARE(m_player->lines(), QStringList({FakePlayer::argv(arguments), QStringLiteral("end: 0")}));

    // A copy lives as long as its sound; a file of the device stays.
    SoundManager::destroy();
    QCOMPARE(QFile::exists(played), !resource);
}

void SoundManagerTest::normalisationFollowsTheVolume_data()
{
    QTest::addColumn<bool>("normalize");
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("volume"); // -1: from the simulated board's mixer
    QTest::addColumn<int>("mixerValue"); // raw "Power Amplifier" value, step × 3
    QTest::addColumn<QString>("option");

    QTest::newRow("flag clear ignores the volume") << false << 13 << 20 << 0 << "--norm=0";
    QTest::newRow("at the reference level") << true << 9 << 9 << 0 << "--norm=0";
    QTest::newRow("louder master, quieter beep") << true << 9 << 14 << 0 << "--norm=-15";
    QTest::newRow("alarm at low volume") << true << 13 << 7 << 0 << "--norm=18";
    QTest::newRow("mixer at step 12") << true << 9 << -1 << 36 << "--norm=-9";
}

void SoundManagerTest::normalisationFollowsTheVolume()
{
    QFETCH(bool, normalize);
    QFETCH(int, level);
    QFETCH(int, volume);
    QFETCH(int, mixerValue);
    QFETCH(QString, option);

    if (volume >= 0) {
        Sound::setVolumeProvider([volume] { return volume; });
    } else {
        Platform::setBackend(Platform::Backend::Simulated);
        Platform::SimMixer::setValue(QStringLiteral("Power Amplifier"), mixerValue);
        QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("[AudioSettings::volume] rawVolume: %1 app volume: %2").arg(mixerValue).arg(mixerValue / 3)));
    }

    Sound *alarm = SoundManager::instance()->create(QStringLiteral(":/sounds/alarm_beep.wav"), QStringLiteral("alarmBeep"));
    alarm->normalize = normalize;
    alarm->level = level;
    alarm->play();
    const QString expected = FakePlayer::argv({QStringLiteral("-V1"), QStringLiteral("-q"), option, QStringLiteral("--magic"), alarm->fileName()});
    QTRY_COMPARE(m_player->lines(), QStringList({expected, QStringLiteral("end: 0")}));
}

void SoundManagerTest::waitedPlayReturnsAtTheEnd()
{
    Sound *shutdown = SoundManager::instance()->create(QStringLiteral(":/sounds/shutdown.wav"), QStringLiteral("shutdown"));
    m_player->setSeconds(0.4);
    QElapsedTimer clock;
    clock.start();
    shutdown->play(true);
    QVERIFY2(clock.elapsed() >= 350, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!shutdown->isPlaying());
    QCOMPARE(m_player->lines().last(), QStringLiteral("end: 0"));

    // Without waiting it returns while the sound still plays, and stop() ends it.
    m_player->clear();
    m_player->setSeconds(5);
    shutdown->play();
    QVERIFY(shutdown->isPlaying());
    shutdown->stop();
    QVERIFY(!shutdown->isPlaying());
    QVERIFY(!m_player->lines().contains(QStringLiteral("end: 0")));
}

QTEST_GUILESS_MAIN(SoundManagerTest)
#include "soundmanagertest.moc"
