// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "enginelog.h"
#include "fakeplayer.h"
#include "simstorageroot.h"

#include "audio/audiosettings.h"
#include "input/input.h"
#include "input/keys.h"
#include "platform/sim/simmedia.h"
#include "players/audiobookplayer.h"

#include <QDir>
#include <QProcess>
#include <QTest>

#include <memory>

namespace {

bool sox(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("sox"), arguments);
    return process.waitForFinished(30000) && process.exitCode() == 0;
}

} // namespace

/** Each kind of book, opened by the front end through its own player, plays, stops and resumes by keys. */
class BookKindsTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<SimStorageRoot> m_root;
    std::unique_ptr<FakePlayer> m_voice;
    std::unique_ptr<AudioSettings> m_audioSettings;
    std::unique_ptr<Input> m_input;

    void tap(int key)
    {
        Q_EMIT m_input->pressed(key);
        Q_EMIT m_input->released(key);
    }

    /** The book of a kind, made on the simulated media; its first audio as the engine names it (a prefix for EPUB). */
    AudioBook makeBook(int kind, QString *firstAudio)
    {
        AudioBook book;
        book.setMimeType(AudioBook::MimeType(kind));
        if (kind == AudioBook::DigitalAudio) {
            const QString folder = m_root->medium(QStringLiteral("usb/my music #1"));
            for (int n = 1; n <= 2; ++n)
                sox({"-n", "-r", "22050", "-c", "1", QDir(folder).filePath(QStringLiteral("part %1.mp3").arg(n)), "synth", "4", "sine", "330"});
            book.setUrl(folder);
            *firstAudio = QDir(folder).filePath(QStringLiteral("part 1.mp3"));
        } else if (kind == AudioBook::Cdda) {
            const QString disc = m_root->medium(QStringLiteral("disc"));
            for (int n = 1; n <= 2; ++n)
                sox({"-n", "-r", "44100", "-c", "2", "-b", "16", QDir(disc).filePath(QStringLiteral("track0%1.wav").arg(n)), "synth", "4", "sine", "330"});
            Platform::SimMedia::instance()->insertDisc(Platform::SimMedia::AudioDisc, disc);
            book.setUrl(QStringLiteral("cdda://"));
            *firstAudio = QStringLiteral("cdda://cdda-track=1");
        } else {
            book.setUrl(TestData::generated(QStringLiteral("epub/generated-3ch.epub")));
            *firstAudio = m_root->path(QStringLiteral("/tmp/temporaryAudioFiles/tempAudiofile"));
        }
        return book;
    }

private Q_SLOTS:
    void init()
    {
        m_root = std::make_unique<SimStorageRoot>();
        m_voice = std::make_unique<FakePlayer>();
        m_audioSettings = std::make_unique<AudioSettings>();
        m_input = std::make_unique<Input>();
    }

    void cleanup()
    {
        m_input.reset();
        m_audioSettings.reset();
        m_voice.reset();
        m_root.reset();
        Platform::setBackend(Platform::Backend::Linux);
    }

    void playsStopsAndResumes_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("folder of MP3 files") << int(AudioBook::DigitalAudio);
        QTest::newRow("audio CD") << int(AudioBook::Cdda);
        QTest::newRow("EPUB 3") << int(AudioBook::Epub);
    }
    void playsStopsAndResumes()
    {
        QFETCH(int, kind);
        QString firstAudio;
        const AudioBook book = makeBook(kind, &firstAudio);
        qint64 stoppedAt = -1;
        {
            AudioBookPlayer frontEnd(m_audioSettings.get(), m_input.get());
            QVERIFY(frontEnd.open(book));
            frontEnd.runIdle();
            const qsizetype before = EngineLog::count();
            tap(BUTTON_PLAY_STOP);
            QVERIFY2(EngineLog::lastStart(before).file.startsWith(firstAudio), qPrintable(EngineLog::lastStart(before).file));
            QTest::qWait(1000); // the engine reports time once some audio has gone out
            tap(BUTTON_PLAY_STOP);
            stoppedAt = EngineLog::lastStop();
            QVERIFY(stoppedAt > 0);
            frontEnd.aboutToQuit();
        }
        AudioBookPlayer frontEnd(m_audioSettings.get(), m_input.get());
        QVERIFY(frontEnd.open(book));
        frontEnd.runIdle();
        const qsizetype before = EngineLog::count();
        tap(BUTTON_PLAY_STOP);
        const auto start = EngineLog::lastStart(before);
        QVERIFY(start.file.startsWith(firstAudio));
        QVERIFY2(qAbs(start.at - stoppedAt) <= 150, qPrintable(QStringLiteral("%1 vs %2").arg(start.at).arg(stoppedAt)));
        frontEnd.aboutToQuit();
    }
};

QTEST_GUILESS_MAIN(BookKindsTest)
#include "bookkindstest.moc"
