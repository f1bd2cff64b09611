// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/vlcmediaplayer.h"
#include "capturingoutput.h"
#include "platform/cdaudio.h"
#include "platform/platform.h"
#include "platform/sim/simboard.h"
#include "platform/sim/simcdaudio.h"
#include "testroot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <cmath>

namespace {

const QString MonoWav = QStringLiteral("audio/tone440-mono44k.wav");
const QString Mono22Wav = QStringLiteral("audio/tone440-mono22k.wav");
const QString StereoMp3 = QStringLiteral("audio/tone440-stereo44k.mp3");
const QString Garbage = QStringLiteral("audio/garbage.mp3");
const QString SilenceAndNoise = QStringLiteral("mp3/vbr-silence-noise.mp3");

/**
 * Frequency of channel 0 between two frame positions, from the upward zero
 * crossings (first to last, so partial periods at the edges do not count).
 */
double frequency(const QVector<qint16> &samples, int channels, int sampleRate, qsizetype fromFrame, qsizetype toFrame)
{
    qsizetype first = -1;
    qsizetype last = -1;
    int crossings = 0;
    for (qsizetype f = std::max<qsizetype>(fromFrame, 1); f < toFrame; ++f) {
        if (samples[(f - 1) * channels] < 0 && samples[f * channels] >= 0) {
            if (first < 0)
                first = f;
            last = f;
            ++crossings;
        }
    }
    if (crossings < 2)
        return 0.0;
    return double(crossings - 1) * sampleRate / double(last - first);
}

} // namespace

class VlcMediaPlayerTest : public QObject
{
    Q_OBJECT

private:
    /** What every player made by makePlayer() sent to its output; fresh for each test. */
    std::shared_ptr<Capture> m_capture;

    std::unique_ptr<VlcMediaPlayer> makePlayer()
    {
        auto player = std::make_unique<VlcMediaPlayer>(std::make_unique<CapturingOutput>(m_capture));
        if (!player->init())
            return nullptr;
        return player;
    }

private Q_SLOTS:
    void initTestCase()
    {
        for (const QString &clip : {MonoWav, Mono22Wav, StereoMp3, Garbage})
            QVERIFY2(QFile::exists(TestData::generated(clip)), qPrintable(clip));
    }

    void init()
    {
        m_capture = std::make_shared<Capture>();
        Platform::setBackend(Platform::Backend::Linux);
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    }

    void uninitializedEngineRefusesEverything()
    {
        VlcMediaPlayer player(std::make_unique<CapturingOutput>(m_capture));
        QCOMPARE(player.seek(0), 0);
        QTest::ignoreMessage(QtWarningMsg, "qint64 VlcMediaPlayer::seek(qint64): vlc media player is not initialized");
        QCOMPARE(player.seek(1000), -1);
        QTest::ignoreMessage(QtWarningMsg, "bool VlcMediaPlayer::play(const QString&): vlc media player is not initialized");
        QVERIFY(!player.play(TestData::generated(MonoWav)));
        QTest::ignoreMessage(QtWarningMsg, "qint64 VlcMediaPlayer::currentTime() const: vlc media player is not initialized");
        QCOMPARE(player.currentTime(), -1);
        QCOMPARE(m_capture->opens, 0);
    }

    void playRefusesBadMedia_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("logged");
        QTest::newRow("empty path") << QString() << "url is empty";
        QTest::newRow("missing file") << TestData::generated(QStringLiteral("audio/no-such-file.mp3")) << "failed to play media";
        QTest::newRow("text named .mp3") << TestData::generated(Garbage) << "failed to play media";
    }

    void playRefusesBadMedia()
    {
        QFETCH(QString, path);
        QFETCH(QString, logged);
        Platform::setBackend(Platform::Backend::Simulated);
        Platform::SimBoard::instance()->reset();
        auto player = makePlayer();
        QVERIFY(player);
        QSignalSpy finished(player.get(), &VlcMediaPlayer::finished);

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(logged)));
        QVERIFY(!player->play(path));
        QVERIFY(!player->isPlaying());
        QVERIFY(m_capture->copy().isEmpty());
        QCOMPARE(Platform::SimBoard::instance()->engineEventLog(), QStringList());
        // A refused medium does not count as one that played to its end.
        QVERIFY(!finished.wait(500));
    }

    void seekArithmetic()
    {
        auto player = makePlayer();
        QVERIFY(player);
        QVERIFY(player->play(TestData::generated(StereoMp3)));
        const qint64 duration = player->totalTime();
        QVERIFY2(std::abs(duration - 4000) < 150, qPrintable(QString::number(duration)));

        QCOMPARE(player->seek(0), 0);

        // Forward inside the medium.
        qint64 before = player->currentTime();
        QCOMPARE(player->seek(1500), 0);
        QTRY_VERIFY(player->currentTime() >= before + 1400);

        // Before the start: the shortfall, and no move.
        before = player->currentTime();
        qint64 result = player->seek(-(before + 1500));
        qint64 after = player->currentTime();
        QVERIFY2(result <= 1500 && result >= 1500 - (after - before), qPrintable(QString::number(result)));
        QVERIFY(after >= before);

        // Exactly to the end: 0, and no move.
        before = player->currentTime();
        result = player->seek(duration - before);
        after = player->currentTime();
        QVERIFY2(result >= 0 && result <= after - before, qPrintable(QString::number(result)));
        QVERIFY(after >= before && after < duration);

        // Past the end: the remainder beyond this medium.
        before = player->currentTime();
        result = player->seek(duration - before + 2500);
        after = player->currentTime();
        QVERIFY2(result >= 2500 && result <= 2500 + (after - before), qPrintable(QString::number(result)));

        // While paused: resumed first, then moved.
        player->pause(true);
        QVERIFY(player->isPlaying());
        const qint64 pausedAt = player->currentTime();
        QCOMPARE(player->seek(-1000), 0);
        QTRY_VERIFY(player->currentTime() < pausedAt - 500);
        const qint64 resumedAt = player->currentTime();
        QTRY_VERIFY(player->currentTime() > resumedAt + 200);
    }

    void jumpInAVbrFileLandsOnItsTime_data()
    {
        QTest::addColumn<int>("target"); // ms into 40 s of silence and noise by turns, 10 s each
        QTest::addColumn<bool>("loud");
        QTest::newRow("into the first silence") << 4000 << false;
        QTest::newRow("into the first noise") << 14000 << true;
        QTest::newRow("into the second silence") << 24000 << false;
        QTest::newRow("into the second noise") << 34000 << true;
    }
    void jumpInAVbrFileLandsOnItsTime()
    {
        QFETCH(int, target);
        QFETCH(bool, loud);
        auto player = makePlayer();
        QVERIFY(player);
        QVERIFY(player->play(TestData::generated(SilenceAndNoise)));
        QVERIFY2(std::abs(player->totalTime() - 40000) < 200, qPrintable(QString::number(player->totalTime())));
        QCOMPARE(player->seek(target - qMax<qint64>(0, player->currentTime())), 0);
        const qsizetype atJump = m_capture->frames();
        QTRY_VERIFY(m_capture->frames() > atJump + 44100 * 3 / 2);
        QVERIFY(std::abs(player->currentTime() - target) < 3000);
        // The last half second delivered lies a second or so after the target, in the same stretch.
        const QVector<qint16> samples = m_capture->copy();
        double sum = 0;
        const qsizetype from = samples.size() - 22050;
        for (qsizetype i = from; i < samples.size(); ++i)
            sum += double(samples[i]) * samples[i];
        QCOMPARE(std::sqrt(sum / 22050) > 1000, loud);
    }

    void pitchShift_data()
    {
        QTest::addColumn<QString>("clip");
        QTest::addColumn<float>("pitchBefore");
        QTest::addColumn<QList<float>>("changesWhilePlaying");
        QTest::addColumn<bool>("viaSetPitch");
        QTest::addColumn<double>("expectedHz");

        const double up2 = 440.0 * std::pow(2.0, 2.0 / 12.0);
        const double down3 = 440.0 * std::pow(2.0, -3.0 / 12.0);
        QTest::newRow("+2 set before playing") << MonoWav << 2.0f << QList<float>() << false << up2;
        QTest::newRow("-3 set before playing") << MonoWav << -3.0f << QList<float>() << false << down3;
        QTest::newRow("+2 stereo mp3") << StereoMp3 << 2.0f << QList<float>() << false << up2;
        QTest::newRow("+2 changed while playing") << MonoWav << 0.0f << QList<float>{2.0f} << false << up2;
        QTest::newRow("two quick changes: the first wins") << MonoWav << 0.0f << QList<float>{2.0f, -3.0f} << false << up2;
        QTest::newRow("setPitch while playing is ignored") << MonoWav << 0.0f << QList<float>{4.0f} << true << 440.0;
    }

    void pitchShift()
    {
        QFETCH(QString, clip);
        QFETCH(float, pitchBefore);
        QFETCH(QList<float>, changesWhilePlaying);
        QFETCH(bool, viaSetPitch);
        QFETCH(double, expectedHz);

        auto player = makePlayer();
        QVERIFY(player);
        QSignalSpy finished(player.get(), &VlcMediaPlayer::finished);
        player->setPitch(pitchBefore);
        QVERIFY(player->play(TestData::generated(clip)));

        qsizetype from = 0;
        if (!changesWhilePlaying.isEmpty()) {
            QTRY_VERIFY(m_capture->frames() > m_capture->sampleRate / 4);
            from = m_capture->frames();
            for (float change : changesWhilePlaying) {
                if (viaSetPitch)
                    player->setPitch(change);
                else
                    player->changePitch(change);
            }
        }
        QVERIFY(finished.wait(10000));
        const QVector<qint16> samples = m_capture->copy();
        const int rate = m_capture->sampleRate;
        // Skip the processor's latency after a change and the fade at the end.
        from += rate / 5;
        const qsizetype to = samples.size() / m_capture->channels - rate / 10;
        QVERIFY2(to - from > rate / 2, "too little audio captured");
        const double hz = frequency(samples, m_capture->channels, rate, from, to);
        QVERIFY2(std::abs(hz - expectedHz) < expectedHz * 0.015,
                 qPrintable(QStringLiteral("measured %1 Hz, expected %2 Hz").arg(hz).arg(expectedHz)));
    }

    void mutedOutputIsSilentWhileTimeAdvances_data()
    {
        QTest::addColumn<float>("pitch");
        QTest::newRow("unshifted") << 0.0f;
        QTest::newRow("pitch-shifted") << 2.0f;
    }

    void mutedOutputIsSilentWhileTimeAdvances()
    {
        QFETCH(float, pitch);
        auto player = makePlayer();
        QVERIFY(player);
        player->setPitch(pitch);
        player->setMuted(true);
        QVERIFY(player->play(TestData::generated(MonoWav)));
        const qint64 start = player->currentTime();
        QTRY_VERIFY(player->currentTime() >= start + 500);
        const QVector<qint16> muted = m_capture->copy();
        QVERIFY(muted.size() > 44100 / 2);
        QVERIFY(std::all_of(muted.cbegin(), muted.cend(), [](qint16 s) { return s == 0; }));

        player->setMuted(false);
        const qsizetype mark = muted.size();
        QTRY_VERIFY(m_capture->copy().size() > mark + 4410);
        const QVector<qint16> all = m_capture->copy();
        QVERIFY(std::any_of(all.cbegin() + mark, all.cend(), [](qint16 s) { return std::abs(s) > 1000; }));
    }

    void tempoChangesTheAmountOfAudio_data()
    {
        QTest::addColumn<float>("tempo");
        QTest::addColumn<bool>("setWhilePlaying");
        QTest::addColumn<double>("expectedRatio");
        QTest::newRow("2.0") << 2.0f << false << 0.5;
        QTest::newRow("setTempo 2.0 while playing is ignored") << 2.0f << true << 1.0;
    }

    void tempoChangesTheAmountOfAudio()
    {
        QFETCH(float, tempo);
        QFETCH(bool, setWhilePlaying);
        QFETCH(double, expectedRatio);

        auto player = makePlayer();
        QVERIFY(player);
        QSignalSpy finished(player.get(), &VlcMediaPlayer::finished);
        if (!setWhilePlaying)
            player->setTempo(tempo);
        QVERIFY(player->play(TestData::generated(MonoWav)));
        if (setWhilePlaying)
            player->setTempo(tempo);
        QVERIFY(finished.wait(10000));
        const double ratio = double(m_capture->frames()) / (3.0 * 44100);
        QVERIFY2(std::abs(ratio - expectedRatio) < 0.1, qPrintable(QString::number(ratio)));
    }

    void changeTempoKeepsThePosition()
    {
        auto player = makePlayer();
        QVERIFY(player);
        QSignalSpy finished(player.get(), &VlcMediaPlayer::finished);
        QVERIFY(player->play(TestData::generated(StereoMp3)));
        QCOMPARE(player->seek(1500), 0);
        QTRY_VERIFY(player->currentTime() >= 1400);
        const qint64 before = player->currentTime();
        player->changeTempo(2.0f);
        QVERIFY(player->isPlaying());
        QTRY_VERIFY(player->currentTime() >= before);
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.count(), 1);
    }

    void pauseKeepsPlayingStateAndFinishesOnce()
    {
        auto player = makePlayer();
        QVERIFY(player);
        QSignalSpy finished(player.get(), &VlcMediaPlayer::finished);
        QVERIFY(player->play(TestData::generated(Mono22Wav)));
        QCOMPARE(m_capture->sampleRate, 22050);
        QCOMPARE(m_capture->channels, 1);

        player->pause();
        QVERIFY(player->isPlaying());
        const qint64 pausedAt = player->currentTime();
        // Paused, nothing ends and the clock stands.
        QVERIFY(!finished.wait(800));
        QVERIFY(player->isPlaying());
        QVERIFY(std::abs(player->currentTime() - pausedAt) < 100);

        player->unpause();
        QVERIFY(player->isPlaying());
        QVERIFY(finished.wait(10000));
        QVERIFY(!finished.wait(700));
        QCOMPARE(finished.count(), 1);
    }

    void reportsWhatItDoesToTheSimulator()
    {
        Platform::setBackend(Platform::Backend::Simulated);
        Platform::SimBoard *board = Platform::SimBoard::instance();
        board->reset();
        auto player = makePlayer();
        QVERIFY(player);
        const QString file = QFileInfo(TestData::generated(MonoWav)).absoluteFilePath();
        QVERIFY(player->play(TestData::generated(MonoWav)));
        QCOMPARE(player->seek(1500), 0);
        player->pause();
        player->unpause();
        player->stop();

        const QStringList events = board->engineEventLog();
        QCOMPARE(events.size(), 5);
        QCOMPARE(events.at(0), QStringLiteral("play %1 at 0").arg(file));
        const QRegularExpression seek(QStringLiteral("^seek (\\d+)$"));
        const qint64 seekTo = seek.match(events.at(1)).captured(1).toLongLong();
        QVERIFY2(seekTo >= 1500 && seekTo < 2000, qPrintable(events.at(1)));
        const QRegularExpression paused(QStringLiteral("^pause at (\\d+)$"));
        const qint64 pausedAt = paused.match(events.at(2)).captured(1).toLongLong();
        QVERIFY2(pausedAt >= seekTo, qPrintable(events.at(2)));
        // Going on after a pause restarts the stream where it stood.
        QCOMPARE(events.at(3), QStringLiteral("play %1 at %2").arg(file).arg(pausedAt));
        const QRegularExpression stopped(QStringLiteral("^stop at (\\d+)$"));
        QVERIFY2(stopped.match(events.at(4)).captured(1).toLongLong() >= pausedAt, qPrintable(events.at(4)));
    }

    void stopDropsTheMedium()
    {
        auto player = makePlayer();
        QVERIFY(player);
        QSignalSpy finished(player.get(), &VlcMediaPlayer::finished);
        QVERIFY(player->play(TestData::generated(MonoWav)));
        player->stop();
        QVERIFY(!player->isPlaying());
        QTest::ignoreMessage(QtWarningMsg, "qint64 VlcMediaPlayer::totalTime() const: no valid media available");
        QCOMPARE(player->totalTime(), -1);
        QTest::ignoreMessage(QtWarningMsg, "qint64 VlcMediaPlayer::seek(qint64): no effect, we are not playing");
        QCOMPARE(player->seek(500), -1);
        QVERIFY(!finished.wait(500));
    }

    void totalTimeFile_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<qint64>("expected");
        QTest::addColumn<qint64>("tolerance");
        QTest::newRow("wav") << TestData::generated(MonoWav) << qint64(3000) << qint64(30);
        QTest::newRow("mp3") << TestData::generated(StereoMp3) << qint64(4000) << qint64(150);
        QTest::newRow("text named .mp3") << TestData::generated(Garbage) << qint64(-1) << qint64(1);
    }

    void totalTimeFile()
    {
        QFETCH(QString, path);
        QFETCH(qint64, expected);
        QFETCH(qint64, tolerance);
        auto player = makePlayer();
        QVERIFY(player);
        const qint64 duration = player->totalTimeFile(path);
        QVERIFY2(std::abs(duration - expected) <= tolerance, qPrintable(QString::number(duration)));
    }

    void totalTimeFileOfThePlayingFile()
    {
        auto player = makePlayer();
        QVERIFY(player);
        QTest::ignoreMessage(QtWarningMsg, "qint64 VlcMediaPlayer::totalTimeFile(const QString&): file is empty");
        QCOMPARE(player->totalTimeFile(QString()), -1);
        QVERIFY(player->play(TestData::generated(StereoMp3)));
        QSignalSpy parsed(player.get(), &VlcMediaPlayer::mediaParsed);
        QCOMPARE(player->totalTimeFile(TestData::generated(StereoMp3)), player->totalTime());
        QCOMPARE(parsed.count(), 0);
        player->stop();
    }

    void signalsArriveOnTheOwnersThread()
    {
        // A direct receiver runs wherever the signal is raised; libvlc
        // reports on threads of its own.
        auto player = makePlayer();
        QVERIFY(player);
        QList<QThread *> parsedOn;
        QList<QThread *> finishedOn;
        connect(player.get(), &VlcMediaPlayer::mediaParsed, this, [&parsedOn] { parsedOn << QThread::currentThread(); }, Qt::DirectConnection);
        connect(player.get(), &VlcMediaPlayer::finished, this, [&finishedOn] { finishedOn << QThread::currentThread(); }, Qt::DirectConnection);

        QVERIFY(player->totalTimeFile(TestData::generated(StereoMp3)) > 0);
        QVERIFY(QTest::qWaitFor([&parsedOn] { return !parsedOn.isEmpty(); }, 5000));
        QVERIFY(player->play(TestData::generated(Mono22Wav)));
        QVERIFY(QTest::qWaitFor([&finishedOn] { return !finishedOn.isEmpty(); }, 10000));

        // Compared, not printed: a foreign thread's QThread is gone by now.
        for (QThread *thread : std::as_const(parsedOn) + finishedOn)
            QVERIFY(thread == QThread::currentThread());
    }

    void engineOnAWorkerThreadParsesThere()
    {
        // The folder-book scanner measures with an engine of its own on its
        // own thread; the parse must be awaited there, not on the main thread.
        QThread *parsedOn = nullptr;
        qint64 duration = -1;
        std::unique_ptr<QThread> worker(QThread::create([&parsedOn, &duration] {
            auto capture = std::make_shared<Capture>();
            VlcMediaPlayer player(std::make_unique<CapturingOutput>(capture));
            if (!player.init())
                return;
            QObject::connect(&player, &VlcMediaPlayer::mediaParsed, &player, [&parsedOn] { parsedOn = QThread::currentThread(); },
                             Qt::DirectConnection);
            duration = player.totalTimeFile(TestData::generated(StereoMp3));
        }));
        worker->start();
        QVERIFY(worker->wait(15000));
        QVERIFY(duration > 0);
        QVERIFY(parsedOn == worker.get());
    }

    void cdTrackReachesTheEngine()
    {
        TestRoot root;
        Platform::setBackend(Platform::Backend::Simulated);
        const QString disc = root.path(QStringLiteral("/sim/cd"));
        QVERIFY(QDir().mkpath(disc));
        QVERIFY(QFile::copy(TestData::generated(Mono22Wav), disc + QStringLiteral("/track01.wav")));
        QVERIFY(QFile::copy(TestData::generated(StereoMp3), disc + QStringLiteral("/track02.mp3")));

        auto player = makePlayer();
        QVERIFY(player);
        QVERIFY(player->play(QStringLiteral("cdda://cdda-track=2")));
        QCOMPARE(m_capture->sampleRate, 44100);
        QCOMPARE(m_capture->channels, 2);
        QVERIFY(player->play(QStringLiteral("cdda://cdda-track=1")));
        QCOMPARE(m_capture->sampleRate, 22050);
        QCOMPARE(m_capture->channels, 1);

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("no track 3 on the simulated disc")));
        QTest::ignoreMessage(QtWarningMsg, "bool VlcMediaPlayer::play(const QString&): failed to create media");
        QVERIFY(!player->play(QStringLiteral("cdda://cdda-track=3")));
        player->stop();

        // On the device libvlc reads the drive itself.
        Platform::setBackend(Platform::Backend::Linux);
        Platform::CdTrackMedia media;
        QVERIFY(Platform::createCdAudio()->trackMedia(7, &media));
        QVERIFY(media.isLocation);
        QCOMPARE(media.location, QStringLiteral("cdda://"));
        QCOMPARE(media.option, QStringLiteral("cdda-track=7"));
    }

    void missingSoundDeviceKeepsDecoding()
    {
        // An output that cannot open stands for libao without a sound card.
        class NoDevice : public Platform::AudioOutput
        {
        public:
            bool open(int, int) override { return false; }
            void close() override { }
            void write(const char *, int) override { }
        };
        VlcMediaPlayer player(std::make_unique<NoDevice>());
        QVERIFY(player.init());
        QSignalSpy finished(&player, &VlcMediaPlayer::finished);
        // Reported once, although every stream opens the device again.
        QTest::ignoreMessage(QtWarningMsg, "int VlcMediaPlayer::audioSetupCallback(void**, char*, unsigned int*, unsigned int*): error opening audio device");
        QVERIFY(player.play(TestData::generated(Mono22Wav)));
        QVERIFY(finished.wait(10000));
        QVERIFY(player.play(TestData::generated(Mono22Wav)));
        QVERIFY(player.currentTime() >= 0);
        player.stop();
    }
};

QTEST_GUILESS_MAIN(VlcMediaPlayerTest)
#include "vlcmediaplayertest.moc"
