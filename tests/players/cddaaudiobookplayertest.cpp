// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "enginelog.h"
#include "logcapture.h"
#include "playerfixture.h"
#include "simstorageroot.h"

#include "library/resumemark.h"
#include "platform/sim/simmedia.h"
#include "platform/cddrive.h"
#include "players/cddaaudiobookplayer.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <memory>

namespace {

QString trackUrl(int track)
{
    return QStringLiteral("cdda://cdda-track=%1").arg(track);
}

} // namespace

class CddaAudioBookPlayerTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<SimStorageRoot> m_root;

    /**
     * Tracks of 2, 3 and 4 s: the drive reports them at LBA 0, 150 and 375, the lead-out at 675.
     * @p enhanced adds a data session after them.
     */
    void insertDisc(bool enhanced = false)
    {
        const QString disc = m_root->medium(QStringLiteral("audio disc"));
        if (enhanced)
            QVERIFY(QFile(QDir(disc).filePath(QStringLiteral("data-session"))).open(QIODevice::WriteOnly));
        const QList<int> seconds = {2, 3, 4};
        for (int i = 0; i < seconds.size(); ++i)
            QVERIFY(PlayerFixture::makeTone(QDir(disc).filePath(QStringLiteral("track%1.wav").arg(i + 1, 2, 10, QLatin1Char('0'))), seconds.at(i), true));
        QVERIFY(Platform::SimMedia::instance()->insertDisc(Platform::SimMedia::AudioDisc, disc));
    }

    void storeMark(quint32 discId, int track, qint64 time)
    {
        QVERIFY(PlayerFixture::storeMark(PlayerFixture::trackMark(QString::number(discId), track, time)));
    }

    ResumemarkData storedMark(quint32 discId) { return PlayerFixture::storedMark(PlayerFixture::trackMark(QString::number(discId), -1)); }

private Q_SLOTS:
    void init() { m_root = std::make_unique<SimStorageRoot>(); }
    void cleanup()
    {
        m_root.reset();
        Platform::setBackend(Platform::Backend::Linux);
    }

    void tableOfContentsAndDiscId()
    {
        insertDisc();
        CddaAudioBookPlayer player;
        QVERIFY(player.open(QStringLiteral("cdda://")));
        // By hand from the table: starts at 150, 300 and 525 frames (LBA + 150)
        // are 2, 4 and 7 s, digit sum 13; the lead-out at 825 frames is 11 s,
        // 9 s after the first track; 3 tracks. (13 << 24) | (9 << 8) | 3:
        QCOMPARE(player.discId(), quint32(0x0D000903));
        QCOMPARE(player.totalTracks(), 3);
        QCOMPARE(player.totalTime(), 11);
        QCOMPARE(player.trackLength(1), qint64(2000));
        QCOMPARE(player.trackLength(3), qint64(4000));
        QCOMPARE(player.trackLength(4), qint64(0));
    }

    void enhancedCdEndsBeforeItsDataSession()
    {
        // Two audio tracks of 200 s, the data session 11400 frames later.
        const QList<Platform::CdTocEntry> toc = {{1, false, 0}, {2, false, 15000}, {3, true, 41400}, {Platform::CdDrive::kLeadOut, false, 60000}};
        const CddaAudioBookPlayer::Disc disc = CddaAudioBookPlayer::readDisc(toc);
        // By hand: starts at 2, 202 and 554 s (digit sums 2 + 4 + 14 = 20), lead-out
        // at 802 s, 800 s after the first track, 3 tracks: (20 << 24) | (800 << 8) | 3.
        QCOMPARE(disc.discId, quint32(0x14032003));
        QCOMPARE(disc.totalTracks, 2);
        QCOMPARE(disc.trackLengths.value(1), qint64(200000));
        QCOMPARE(disc.trackLengths.value(2), qint64(200000));
        QVERIFY(!disc.trackLengths.contains(3));
    }

    void enhancedCdsDataSessionIsNoTrack_data()
    {
        QTest::addColumn<int>("markTrack"); // stored before
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("track"); // where the player is after it
        QTest::newRow("back from track 1") << 1 << "back" << 3;
        QTest::newRow("on from the last audio track") << 3 << "on" << 1;
        QTest::newRow("a mark on the data track") << 4 << "play" << 1;
        QTest::newRow("forward past the end") << 3 << "wind" << 3;
    }
    void enhancedCdsDataSessionIsNoTrack()
    {
        QFETCH(int, markTrack);
        QFETCH(QString, action);
        QFETCH(int, track);
        insertDisc(true);
        CddaAudioBookPlayer player;
        QVERIFY(player.open(QStringLiteral("cdda://")));
        QCOMPARE(player.totalTracks(), 3);
        storeMark(player.discId(), markTrack, 500);
        player.setResume(true);
        QVERIFY(player.open(QStringLiteral("cdda://")));
        if (action == QLatin1String("back") || action == QLatin1String("on"))
            QCOMPARE(player.changeTrackNumber(action == QLatin1String("on") ? 1 : -1), track);
        else if (action == QLatin1String("wind"))
            QCOMPARE(player.fastForward(30), int(AudioBookPlayerInterface::EndOfBook));
        else
            QVERIFY(player.play());
        QCOMPARE(player.trackNumber(), track);
        player.stop();
        QCOMPARE(storedMark(player.discId()).navListPos, track);
    }

    void refusesWhatIsNoReadableDisc_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("disc");
        QTest::addColumn<QString>("log");
        QTest::newRow("other url") << "cdda:///" << true << ": mediaPathFile is not cdda!";
        QTest::newRow("device path") << "/dev/cdrom" << true << ": mediaPathFile is not cdda!";
        QTest::newRow("no disc in the drive") << "cdda://" << false << "bool CddaAudioBookPlayer::readDiscId(): error reading toc header!";
    }
    void refusesWhatIsNoReadableDisc()
    {
        QFETCH(QString, url);
        QFETCH(bool, disc);
        QFETCH(QString, log);
        if (disc)
            insertDisc();
        LogCapture capture;
        CddaAudioBookPlayer player;
        QVERIFY(!player.open(url));
        QVERIFY(capture.contains(log));
        QCOMPARE(player.discId(), quint32(0));
        QVERIFY(!player.play());
        QCOMPARE(player.changeTrackNumber(1), int(AudioBookPlayerInterface::NoBook));
    }

    // Stepping and winding across track ends is TrackWalkPlayer's, tested on the MP3-folder player; here what a disc adds.
    void resumesByDiscId_data()
    {
        QTest::addColumn<int>("storedTrack");
        QTest::addColumn<int>("track");
        QTest::newRow("a track of the disc") << 3 << 3;
        QTest::newRow("beyond the disc") << 15 << 1;
    }
    void resumesByDiscId()
    {
        QFETCH(int, storedTrack);
        QFETCH(int, track);
        insertDisc();
        storeMark(0x0D000903, storedTrack, 1200);
        qint64 stoppedAt = -1;
        {
            CddaAudioBookPlayer player;
            QVERIFY(player.open(QStringLiteral("cdda://")));
            QCOMPARE(player.trackNumber(), track);
            QVERIFY(player.play());
            player.stop();
            QCOMPARE(storedMark(player.discId()).navListPos, track);
            stoppedAt = storedMark(player.discId()).playerTime;
        }
        CddaAudioBookPlayer player;
        QVERIFY(player.open(QStringLiteral("cdda://")));
        const qsizetype before = EngineLog::count();
        QVERIFY(player.play());
        QCOMPARE(EngineLog::lastStart(before).file, trackUrl(track));
        PlayerFixture::compareNear(qMax<qint64>(0, EngineLog::lastStart(before).at), stoppedAt, 200);
    }
};

QTEST_GUILESS_MAIN(CddaAudioBookPlayerTest)
#include "cddaaudiobookplayertest.moc"
