// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "enginelog.h"
#include "fakeplayer.h"
#include "logcapture.h"
#include "playerfixture.h"
#include "simsession.h"
#include "simstorageroot.h"

#include "speech/messages.h"
#include "audio/audiosettings.h"
#include "input/input.h"
#include "input/keys.h"
#include "library/audiobook.h"
#include "library/bookstate.h"
#include "players/audiobookplayer.h"
#include "players/audiobookplayerinterface.h"

#include <QSettings>
#include <QTest>

#include <memory>

Q_DECLARE_METATYPE(BookPlace)

namespace {

constexpr qint64 kMinute = 60 * 1000;
constexpr qint64 kStart = 1'700'000'000'000; // the injected clock at the first stop

QString placeText(const BookPlace &place)
{
    return QStringLiteral("%1,%2,%3").arg(place.first).arg(place.second).arg(place.third);
}

} // namespace

/** The reader's extras kept beside each book's place, through the front end and the real players. */
class ReaderExtrasTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<SimStorageRoot> m_root;
    std::unique_ptr<FakePlayer> m_sounds;
    std::unique_ptr<AudioSettings> m_audioSettings;
    std::unique_ptr<Input> m_input;
    std::unique_ptr<AudioBookPlayer> m_frontEnd;
    std::unique_ptr<LogCapture> m_log;

    /** A folder of three 25-s MP3 tracks (the recap needs room to go back). */
    QString mp3Folder(const QString &name)
    {
        const QString folder = m_root->medium(name);
        for (int n = 1; n <= 3; ++n) {
            if (!PlayerFixture::makeTone(folder + QStringLiteral("/%1 track.mp3").arg(n), 25))
                return {};
        }
        return folder;
    }

    AudioBook book(const QString &kind)
    {
        AudioBook book;
        if (kind == QLatin1String("daisy")) {
            book.setMimeType(AudioBook::Daisy);
            book.setUrl(TestData::generated(QStringLiteral("daisy/sample202/ncc.html")));
        } else if (kind == QLatin1String("epub")) {
            book.setMimeType(AudioBook::Epub);
            book.setUrl(TestData::generated(QStringLiteral("epub/generated-3ch.epub")));
        } else if (kind == QLatin1String("cd")) {
            const QString disc = m_root->medium(QStringLiteral("audio disc"));
            for (int n = 1; n <= 3; ++n)
                PlayerFixture::makeTone(disc + QStringLiteral("/track%1.wav").arg(n, 2, 10, QLatin1Char('0')), 4);
            Platform::SimMedia::instance()->insertDisc(Platform::SimMedia::AudioDisc, disc);
            book.setMimeType(AudioBook::Cdda);
            book.setUrl(QStringLiteral("cdda://"));
        } else {
            book.setMimeType(AudioBook::DigitalAudio);
            book.setUrl(mp3Folder(kind));
        }
        return book;
    }

    /** Switches the device on with the book open and stopped, as after the settings menu. */
    void openStopped(const AudioBook &book)
    {
        m_frontEnd = std::make_unique<AudioBookPlayer>(m_audioSettings.get(), m_input.get());
        QVERIFY(m_frontEnd->open(book));
        QVERIFY(m_frontEnd->bookPlayer());
        m_frontEnd->runIdle();
    }

    /** Switches the device off: the front end and its player are gone, only the stores stay. */
    void powerOff()
    {
        if (m_frontEnd)
            m_frontEnd->aboutToQuit();
        m_frontEnd.reset();
    }

    void moveTo(const BookPlace &place)
    {
        QVERIFY(BookState::update(m_frontEnd->bookPlayer()->bookKey(), [&](BookPlace &stored, BookExtras &) { stored = place; }));
        m_frontEnd->bookPlayer()->reloadResumeMark();
    }

    BookPlace storedPlace()
    {
        BookPlace place;
        BookExtras extras;
        BookState::read(m_frontEnd->bookPlayer()->bookKey(), &place, &extras);
        return place;
    }

    void tap(int key)
    {
        Q_EMIT m_input->pressed(key);
        Q_EMIT m_input->released(key);
    }

    void hold(int key)
    {
        Q_EMIT m_input->pressed(key);
        Q_EMIT m_input->holded(key);
        Q_EMIT m_input->released(key);
    }

    /** What the voices said since the last call. */
    QStringList said()
    {
        const QStringList names = PlayerFixture::spoken(*m_log);
        m_log.reset(); // the capture that follows must not outlive the one it took the log from
        m_log = std::make_unique<LogCapture>();
        return names;
    }

private Q_SLOTS:
    void init()
    {
        m_root = std::make_unique<SimStorageRoot>();
        m_sounds = std::make_unique<FakePlayer>();
        m_audioSettings = std::make_unique<AudioSettings>();
        m_input = std::make_unique<Input>();
        QVERIFY(m_input->initialize());
        m_log = std::make_unique<LogCapture>();
        BookClock::setClock([] { return kStart; });
    }

    void cleanup()
    {
        powerOff();
        BookClock::setClock({});
        m_log.reset();
        m_input.reset();
        m_audioSettings.reset();
        m_sounds.reset();
        m_root.reset();
        Platform::setBackend(Platform::Backend::Linux);
    }

    void bookmarksSetWalkedDeletedAndKept_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<BookPlace>("first");
        QTest::addColumn<BookPlace>("second");
        QTest::newRow("DAISY 2.02") << "daisy" << BookPlace{1, 0, 0, 0} << BookPlace{2, 0, 0, 0};
        QTest::newRow("EPUB 3") << "epub" << BookPlace{1, 0, 0, 0} << BookPlace{2, 0, 0, 500};
        QTest::newRow("MP3 folder") << "mp3" << BookPlace{0, 2, 0, 0} << BookPlace{0, 3, 0, 1000};
        QTest::newRow("audio CD") << "cd" << BookPlace{0, 2, 0, 0} << BookPlace{0, 3, 0, 1000};
    }
    void bookmarksSetWalkedDeletedAndKept()
    {
        QFETCH(QString, kind);
        QFETCH(BookPlace, first);
        QFETCH(BookPlace, second);
        const AudioBook reading = book(kind);
        openStopped(reading);

        // Set out of book order: each is numbered by its place in the book.
        moveTo(second);
        hold(BUTTON_PITCH_UP);
        moveTo(first);
        hold(BUTTON_PITCH_UP);
        QCOMPARE(said().filter(Message::bookmark), (QStringList{Message::bookmark, Message::bookmark}));
        QCOMPARE(m_audioSettings->pitch(), 0); // the hold put back what the press changed
        powerOff();

        QSettings().setValue(QStringLiteral("navigationMode"), 4);
        openStopped(reading);
        moveTo({});
        auto walkOn = [&](const BookPlace &to, const QString &number) {
            said();
            tap(BUTTON_FAST_FORWARD);
            QCOMPARE(said(), (QStringList{Message::bookmark, number}));
            QTRY_VERIFY(m_frontEnd->bookPlayer()->isPlaying()); // from there once the number is said
            tap(BUTTON_PLAY_STOP);
            const BookPlace stopped = storedPlace();
            QCOMPARE(placeText(stopped), placeText(to));
            QVERIFY2(stopped.time >= to.time && stopped.time < to.time + 3000, qPrintable(QString::number(stopped.time)));
        };
        walkOn(first, QStringLiteral("1"));
        walkOn(second, QStringLiteral("2"));
        hold(BUTTON_PITCH_DOWN);
        const QStringList deleted = said();
        QCOMPARE(deleted.mid(deleted.size() - 2), (QStringList{Message::bookmark_deleted, QStringLiteral("2")}));
        tap(BUTTON_FAST_FORWARD);
        QCOMPARE(said(), QStringList{Message::no_bookmark});
        tap(BUTTON_REWIND);
        QCOMPARE(said(), (QStringList{Message::bookmark, QStringLiteral("1")}));
    }

    void recapAfterAPause_data()
    {
        QTest::addColumn<qint64>("storedAt");
        QTest::addColumn<qint64>("away");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<qint64>("from");
        QTest::newRow("within a minute") << qint64(22000) << qint64(59000) << true << qint64(22000);
        QTest::newRow("after a minute") << qint64(22000) << 2 * kMinute << true << qint64(17000);
        QTest::newRow("after an hour") << qint64(22000) << 61 * kMinute << true << qint64(12000);
        QTest::newRow("after a day") << qint64(22000) << 25 * 60 * kMinute << true << qint64(2000);
        QTest::newRow("not before the track") << qint64(3000) << 25 * 60 * kMinute << true << qint64(0);
        QTest::newRow("clock went back") << qint64(22000) << -kMinute * 10 << true << qint64(22000);
        QTest::newRow("turned off") << qint64(22000) << 61 * kMinute << false << qint64(22000);
    }
    void recapAfterAPause()
    {
        QFETCH(qint64, storedAt);
        QFETCH(qint64, away);
        QFETCH(bool, enabled);
        QFETCH(qint64, from);
        QSettings().setValue(QStringLiteral("recapOnResume"), enabled);
        const AudioBook reading = book(QStringLiteral("mp3"));
        openStopped(reading);
        tap(BUTTON_PLAY_STOP);
        QTRY_VERIFY(m_frontEnd->bookPlayer()->isPlaying());
        tap(BUTTON_PLAY_STOP); // the stop stores when, by the injected clock
        moveTo({0, 2, 0, storedAt});
        BookClock::setClock([=] { return kStart + away; });
        const qsizetype events = EngineLog::count();
        tap(BUTTON_PLAY_STOP);
        QTRY_VERIFY(m_frontEnd->bookPlayer()->isPlaying());
        const EngineLog::Start start = EngineLog::lastStart(events);
        QVERIFY2(start.file.endsWith(QStringLiteral("2 track.mp3")), qPrintable(start.file));
        QCOMPARE(qMax<qint64>(0, start.at), from);
    }

    void speedAndPitchPerBook_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::newRow("kept per book") << true;
        QTest::newRow("turned off: one speed for all") << false;
    }
    void speedAndPitchPerBook()
    {
        QFETCH(bool, enabled);
        QSettings().setValue(QStringLiteral("bookSound"), enabled);
        const AudioBook first = book(QStringLiteral("first"));
        const AudioBook second = book(QStringLiteral("second"));
        openStopped(first);
        tap(BUTTON_SPEED_UP);
        tap(BUTTON_SPEED_UP);
        tap(BUTTON_PITCH_DOWN);
        powerOff();
        // A book not read before starts with the setting as it is.
        openStopped(second);
        QCOMPARE(m_audioSettings->tempo(), 1.5f);
        tap(BUTTON_SPEED_DOWN);
        tap(BUTTON_PITCH_UP);
        tap(BUTTON_PITCH_UP);
        powerOff();
        openStopped(first);
        QCOMPARE(m_audioSettings->tempo(), enabled ? 1.5f : 1.25f);
        QCOMPARE(m_audioSettings->pitch(), enabled ? -1 : 1);
    }

    void threeTimesTheSpeedIsTheEnd()
    {
        QSettings().setValue(QStringLiteral("tempo"), 2.0f);
        openStopped(book(QStringLiteral("mp3")));
        tap(BUTTON_SPEED_UP);
        QCOMPARE(said(), (QStringList{Message::speed, QStringLiteral("4")}));
        tap(BUTTON_PLAY_STOP);
        QTRY_VERIFY(m_frontEnd->bookPlayer()->isPlaying());
        tap(BUTTON_SPEED_UP);
        QCOMPARE(m_audioSettings->tempo(), 3.0f);
        QTRY_VERIFY(soundPlayed(*m_sounds, QStringLiteral("doubleBeep")));
        m_sounds->clear();
        tap(BUTTON_SPEED_UP);
        QCOMPARE(m_audioSettings->tempo(), 3.0f);
        QTRY_VERIFY(soundPlayed(*m_sounds, QStringLiteral("doubleBeep")));
        tap(BUTTON_PLAY_STOP);
        said();
        tap(BUTTON_SPEED_UP);
        QCOMPARE(said(), (QStringList{Message::speed, QStringLiteral("5")}));
    }
};

QTEST_GUILESS_MAIN(ReaderExtrasTest)
#include "readerextrastest.moc"
