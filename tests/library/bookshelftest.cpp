// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/bookshelf.h"

#include "audio/audiosettings.h"
#include "input/input.h"
#include "input/keys.h"
#include "library/lastplayedmarker.h"
#include "library/logcategory.h"
#include "library/resumemarkmanager.h"
#include "platform/platform.h"
#include "platform/sim/simmixer.h"
#include "logcapture.h"
#include "simsession.h"
#include "testmedium.h"

#include <QFileInfo>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

const QString usbDevice = QStringLiteral("/dev/sda1");
const QString mmcDevice = QStringLiteral("/dev/mmcblk0p1");

// A key as the tests write it: "ff" release of fast forward, "FF" its hold, "+pitch" a press.
struct KeyStep
{
    enum Event { Press, Release, Hold } event;
    int key;
};

KeyStep parseKey(const QString &word)
{
    static const QList<std::pair<QString, int>> names = {
        {QStringLiteral("ff"), BUTTON_FAST_FORWARD}, {QStringLiteral("rw"), BUTTON_REWIND},   {QStringLiteral("play"), BUTTON_PLAY_STOP},
        {QStringLiteral("power"), BUTTON_POWER},     {QStringLiteral("menu"), BUTTON_SLEEP_MENU}, {QStringLiteral("eject"), BUTTON_EJECT},
        {QStringLiteral("pitch"), BUTTON_PITCH_UP},  {QStringLiteral("lowpitch"), BUTTON_PITCH_DOWN}, {QStringLiteral("speed"), BUTTON_SPEED_UP},
    };
    KeyStep step{KeyStep::Release, 0};
    QString name = word;
    if (name.startsWith(QLatin1Char('+'))) {
        step.event = KeyStep::Press;
        name = name.mid(1);
    } else if (name.front().isUpper()) {
        step.event = KeyStep::Hold;
        name = name.toLower();
    }
    for (const auto &entry : names) {
        if (entry.first == name)
            step.key = entry.second;
    }
    return step;
}

} // namespace

class BookShelfTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void searchRunsOffTheMainThread();
    void mediumRemovedDuringSearchAddsNothing();
    void modeChoice_data();
    void modeChoice();
    void browsing_data();
    void browsing();
    void keysBySetting_data();
    void keysBySetting();
    void titleAnnouncement_data();
    void titleAnnouncement();
    void lastPlayedMarkerRoundTrip_data();
    void lastPlayedMarkerRoundTrip();
    void removalOfPlayingBooksMedium();
    void removalWhileShelfIsActive_data();
    void removalWhileShelfIsActive();
    void reinsertedDataCdReplacesItself();
    void removalSoundOncePerMediumWithBooks();
    void settingsMenuReturnsToTheSameBook();

private:
    // Adds a medium and waits for its search to end.
    bool insert(const MediaSource &medium);
    // Two MP3 folders A and B on the stick, C on the card: books 0 to 2.
    void insertStickAndCard(TestMedium &usb, TestMedium &mmc);
    void press(const QString &keys);
    // Every announcement since the last clear: a playlist as its file names
    // (".wav" dropped), a title clip as "clip <medium word> <file name>".
    QStringList spoken() const;
    void waitForSpeech(int count);
    // Waits for the players started so far to end, then forgets them: the
    // stand-in player writes its record in pieces, so a run still going
    // could mix its line into the next one.
    void clearPlayer();

    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<FakePlayer> m_player;
    std::unique_ptr<AudioSettings> m_audioSettings;
    std::unique_ptr<Input> m_input;
    std::unique_ptr<BookShelf> m_shelf;
};

void BookShelfTest::initTestCase()
{
    Platform::setBackend(Platform::Backend::Simulated);
}

void BookShelfTest::init()
{
    startSimulation(m_root, m_player, false);
    if (QTest::currentTestFailed())
        return;
    Platform::SimMixer::reset();
    m_audioSettings = std::make_unique<AudioSettings>();
    m_input = std::make_unique<Input>();
    m_shelf = std::make_unique<BookShelf>(m_audioSettings.get(), m_input.get());
}

void BookShelfTest::cleanup()
{
    m_shelf.reset();
    m_input.reset();
    m_audioSettings.reset();
    endSimulation(m_root, m_player);
}

bool BookShelfTest::insert(const MediaSource &medium)
{
    const int before = m_shelf->pendingSearches();
    m_shelf->addMediaSource(medium);
    if (m_shelf->pendingSearches() != before + 1)
        return false;
    return QTest::qWaitFor([&] { return m_shelf->pendingSearches() == before; }, 20000);
}

void BookShelfTest::insertStickAndCard(TestMedium &usb, TestMedium &mmc)
{
    QVERIFY(usb.addAll({QStringLiteral("mp3:A/01.mp3"), QStringLiteral("mp3:B/01.mp3")}));
    QVERIFY(mmc.add(QStringLiteral("mp3:C/01.mp3")));
    QVERIFY(insert(usb.source(usbDevice)));
    QVERIFY(insert(mmc.source(mmcDevice)));
}

void BookShelfTest::press(const QString &keys)
{
    for (const QString &word : keys.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const KeyStep step = parseKey(word);
        QVERIFY2(step.key, qPrintable(word));
        switch (step.event) {
        case KeyStep::Press:
            Q_EMIT m_input->pressed(step.key);
            break;
        case KeyStep::Release:
            Q_EMIT m_input->released(step.key);
            break;
        case KeyStep::Hold:
            Q_EMIT m_input->holded(step.key);
            break;
        }
    }
}

QStringList BookShelfTest::spoken() const
{
    QStringList result;
    const QStringList lines = m_player->lines();
    for (const QString &line : lines) {
        if (line.startsWith(QStringLiteral("argv:")) && line.endsWith(QStringLiteral(".m3u]"))) {
            result << QString();
        } else if (line.startsWith(QStringLiteral("item: ")) && !result.isEmpty()) {
            QString name = QFileInfo(line.mid(6)).fileName();
            name.chop(4);
            result.last() += (result.last().isEmpty() ? QString() : QStringLiteral(" ")) + name;
        } else if (line.startsWith(QStringLiteral("argv: [-v] [0.5] [-q] ["))) {
            result << QFileInfo(line.mid(23).chopped(1)).baseName();
        } else if (line.startsWith(QStringLiteral("argv: [-q] [-v] [0.5] ["))) {
            // [-q] [-v] [0.5] [daisy] [-v] [0.5] [medium] [file] [trim] [start] [length]
            const QStringList parts = line.mid(7, line.size() - 8).split(QStringLiteral("] ["));
            if (parts.size() == 11)
                result << QStringLiteral("clip ") + QFileInfo(parts.at(6)).baseName() + QLatin1Char(' ') + parts.at(7);
        }
    }
    return result;
}

void BookShelfTest::clearPlayer()
{
    // Players killed on purpose never write their end: after a while, go on regardless.
    [[maybe_unused]] const bool settled = QTest::qWaitFor([this] {
        const QStringList lines = m_player->lines();
        const auto starts = std::count_if(lines.begin(), lines.end(), [](const QString &l) { return l.startsWith(QStringLiteral("argv:")); });
        const auto ends = std::count_if(lines.begin(), lines.end(), [](const QString &l) { return l.startsWith(QStringLiteral("end:")); });
        return starts == ends;
    });
    m_player->clear();
}

void BookShelfTest::waitForSpeech(int count)
{
    QTRY_VERIFY2(spoken().size() >= count, qPrintable(spoken().join(QLatin1Char('|'))));
}

void BookShelfTest::searchRunsOffTheMainThread()
{
    TestMedium stick(*m_root, QStringLiteral("/media/usb"), MediaSource::MediaTypeUsb);
    QVERIFY(stick.addAll({QStringLiteral("d202:Daisy"), QStringLiteral("mp3:Music/01.mp3")}));
    QSignalSpy added(m_shelf.get(), &BookShelf::audioBooksAdded);

    m_shelf->addMediaSource(stick.source(usbDevice));
    // The call returns with the search still to do: the books come later, from the event loop.
    QCOMPARE(m_shelf->pendingSearches(), 1);
    QCOMPARE(m_shelf->count(), 0);
    QVERIFY(added.wait(20000));
    QCOMPARE(m_shelf->count(), 2);
    QCOMPARE(m_shelf->pendingSearches(), 0);
}

void BookShelfTest::mediumRemovedDuringSearchAddsNothing()
{
    TestMedium stick(*m_root, QStringLiteral("/media/usb"), MediaSource::MediaTypeUsb);
    QVERIFY(stick.add(QStringLiteral("d202:Daisy")));
    TestMedium card(*m_root, QStringLiteral("/media/mmc"), MediaSource::MediaTypeMmc);
    QVERIFY(card.add(QStringLiteral("mp3:Music/01.mp3")));
    QSignalSpy added(m_shelf.get(), &BookShelf::audioBooksAdded);

    m_shelf->addMediaSource(stick.source(usbDevice));
    m_shelf->removeMediaSource(stick.source(usbDevice));
    QVERIFY(insert(card.source(mmcDevice)));
    QCOMPARE(m_shelf->count(), 1);
    QCOMPARE(m_shelf->bookAt(0).mediaType(), int(MediaSource::MediaTypeMmc));
    QCOMPARE(added.count(), 1);
}

void BookShelfTest::modeChoice_data()
{
    QTest::addColumn<QStringList>("stick");
    QTest::addColumn<QStringList>("card"); // empty: no card
    QTest::addColumn<QString>("marker"); // the stick's last-played book, relative; empty: none
    QTest::addColumn<bool>("automaticPlay");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("speech");
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("selected");

    const QStringList twoFolders = {"mp3:A/01.mp3", "mp3:B/01.mp3"};
    QTest::newRow("one medium, one book") << QStringList{"mp3:A/01.mp3"} << QStringList() << QString() << true << 1
                                          << QStringList{"message055 message076 1"} << 0 << true;
    QTest::newRow("one medium, several books, no marker")
        << twoFolders << QStringList() << QString() << true << 2 << QStringList{"message074", "message055 message076 1"} << 0 << false;
    QTest::newRow("one medium, several books, marker") << twoFolders << QStringList() << "B" << true << 2 << QStringList{"message055 message076 2"} << 1 << true;
    QTest::newRow("marker, automatic play off")
        << twoFolders << QStringList() << "B" << false << 2 << QStringList{"message074", "message055 message076 2"} << 1 << false;
    QTest::newRow("marker naming no book on the medium")
        << twoFolders << QStringList() << "Gone" << true << 2 << QStringList{"message074", "message055 message076 1"} << 0 << false;
    // Media arriving together at power-up: the first one, the one read last, decides, and the shelf opens once.
    QTest::newRow("two media, one book on the first") << QStringList{"mp3:A/01.mp3"} << QStringList{"mp3:C/01.mp3"} << QString() << true << 1
                                                      << QStringList{"message055 message076 1"} << 0 << true;
    QTest::newRow("two media, marker on the first") << twoFolders << QStringList{"mp3:C/01.mp3"} << "B" << true << 2
                                                    << QStringList{"message055 message076 2"} << 1 << true;
}

void BookShelfTest::modeChoice()
{
    QFETCH(QStringList, stick);
    QFETCH(QStringList, card);
    QFETCH(QString, marker);
    QFETCH(bool, automaticPlay);
    QFETCH(int, mode);
    QFETCH(QStringList, speech);
    QFETCH(int, index);
    QFETCH(bool, selected);

    QSettings().setValue(QStringLiteral("automaticPlay"), automaticPlay);
    TestMedium usb(*m_root, QStringLiteral("/media/usb"), MediaSource::MediaTypeUsb);
    QVERIFY(usb.addAll(stick));
    if (!marker.isEmpty()) {
        LastPlayedMarker last;
        last.setSource(usb.hostPath(marker));
        QVERIFY(ResumeMarkManager::saveLastPlayedMarker(usb.hostPath(QStringLiteral("lastPlayed.xml")), &last));
    }
    QSignalSpy added(m_shelf.get(), &BookShelf::audioBooksAdded);
    QSignalSpy selection(m_shelf.get(), &BookShelf::audioBookSelected);
    QVERIFY(insert(usb.source(usbDevice)));
    if (!card.isEmpty()) {
        TestMedium mmc(*m_root, QStringLiteral("/media/mmc"), MediaSource::MediaTypeMmc);
        QVERIFY(mmc.addAll(card));
        QVERIFY(insert(mmc.source(mmcDevice)));
    }
    QCOMPARE(m_shelf->mode(), mode);
    QCOMPARE(added.count(), 1);

    clearPlayer();
    m_shelf->run();
    QVERIFY(m_shelf->isActive() || selected);
    QTRY_COMPARE(spoken(), speech);
    QCOMPARE(m_shelf->index(), index);
    if (selected) {
        QTRY_COMPARE(selection.count(), 1);
        QCOMPARE(selection.first().first().toBool(), true);
        QCOMPARE(m_shelf->bookInUse(), m_shelf->bookAt(index));
        QVERIFY(!m_shelf->isActive());
    } else {
        QVERIFY(!selection.wait(200));
        QVERIFY(m_shelf->isActive());
        QCOMPARE(m_shelf->mode(), int(BookShelf::NormalMode));
    }
}

void BookShelfTest::browsing_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("lastSpoken");
    QTest::addColumn<bool>("doubleBeep");
    QTest::addColumn<QString>("logged"); // the line that says why, for a refused move

    // Collection order: 0 DAISY (stick), 1 A, 2 B (MP3 folders, stick), 3 C (MP3, card), 4 E.epub (card)
    const QString daisy = QStringLiteral("clip message076 ");
    const QString noGroup = QStringLiteral("void BookShelf::walkAudioBookMediaType(int): invalid audio book index");
    QTest::newRow("fast forward") << "ff" << 1 << "message055 message076 1" << false << QString();
    QTest::newRow("rewind at the first book") << "rw" << 0 << daisy << true << "void BookShelf::walkAudioBook(int): we are the first book";
    QTest::newRow("past the last book") << "ff ff ff ff ff" << 4 << "message055 message077 2" << true
                                        << "void BookShelf::walkAudioBook(int): we are at the last book";
    QTest::newRow("two group jumps") << "FF FF" << 3 << "message055 message077 1" << false << QString();
    QTest::newRow("group jump past the last group") << "FF FF FF" << 3 << "message055 message077 1" << true << noGroup;
    QTest::newRow("group jump back from inside a group") << "ff ff RW" << 0 << daisy << false << QString();
    QTest::newRow("group jump before the first group") << "RW" << 0 << QString() << true << noGroup;
    QTest::newRow("an EPUB heads no group: back to the last group") << "ff ff ff ff RW" << 3 << "message055 message077 1" << false << QString();
}

void BookShelfTest::browsing()
{
    QFETCH(QString, keys);
    QFETCH(int, index);
    QFETCH(QString, lastSpoken);
    QFETCH(bool, doubleBeep);
    QFETCH(QString, logged);

    TestMedium usb(*m_root, QStringLiteral("/media/usb"), MediaSource::MediaTypeUsb);
    QVERIFY(usb.addAll({QStringLiteral("mp3:A/01.mp3"), QStringLiteral("mp3:B/01.mp3"), QStringLiteral("d202:Daisy")}));
    TestMedium mmc(*m_root, QStringLiteral("/media/mmc"), MediaSource::MediaTypeMmc);
    QVERIFY(mmc.addAll({QStringLiteral("mp3:C/01.mp3"), QStringLiteral("epub:E.epub")}));
    QVERIFY(insert(usb.source(usbDevice)));
    QVERIFY(insert(mmc.source(mmcDevice)));
    QCOMPARE(m_shelf->count(), 5);
    m_shelf->run();
    QTRY_VERIFY(spoken().size() == 2);
    clearPlayer();

    LogCapture log(lcLibrary(), LogCapture::PassOn);
    press(keys);
    QCOMPARE(m_shelf->index(), index);
    if (doubleBeep)
        QTRY_VERIFY(soundPlayed(*m_player, QStringLiteral("doubleBeep")));
    if (!logged.isEmpty())
        QVERIFY2(log.lines().contains(logged), qPrintable(log.text()));
    if (lastSpoken.isEmpty()) {
        QCOMPARE(spoken(), QStringList());
        return;
    }
    QTRY_VERIFY(!spoken().isEmpty() && spoken().last().startsWith(lastSpoken));
    if (lastSpoken.startsWith(QLatin1String("clip")))
        QVERIFY(spoken().last().endsWith(QStringLiteral("/Daisy/speechgen0001.mp3")));
    if (!doubleBeep)
        QVERIFY(!soundPlayed(*m_player, QStringLiteral("doubleBeep")));
}

void BookShelfTest::keysBySetting_data()
{
    QTest::addColumn<QStringList>("stick");
    QTest::addColumn<bool>("cd");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("speech"); // empty: nothing spoken after the start
    QTest::addColumn<QString>("sound"); // empty: no sound checked
    QTest::addColumn<int>("ejects");

    const QStringList two = {"mp3:A/01.mp3", "mp3:B/01.mp3"};
    const QStringList one = {"mp3:A/01.mp3"};
    QTest::newRow("pitch in normal mode is spoken") << two << false << "+pitch" << "message041 1" << QString() << 0;
    QTest::newRow("negative pitch is spoken with minus") << two << false << "+lowpitch +lowpitch" << "message041 message020 2" << QString() << 0;
    QTest::newRow("speed in normal mode is spoken") << two << false << "+speed" << "message036 1" << QString() << 0;
    QTest::newRow("pitch in single mode beeps") << one << false << "+pitch" << QString() << "beep" << 0;
    QTest::newRow("browsing in single mode beeps twice") << one << false << "ff" << QString() << "doubleBeep" << 0;
    QTest::newRow("eject without a CD does nothing") << two << false << "+eject" << QString() << QString() << 0;
    QTest::newRow("eject with a CD") << two << true << "+eject" << "message007" << QString() << 1;
}

void BookShelfTest::keysBySetting()
{
    QFETCH(QStringList, stick);
    QFETCH(bool, cd);
    QFETCH(QString, keys);
    QFETCH(QString, speech);
    QFETCH(QString, sound);

    // The announcement lasts, so that single mode is still on the shelf when the keys come.
    m_player->setSeconds(0.5);
    TestMedium usb(*m_root, QStringLiteral("/media/usb"), MediaSource::MediaTypeUsb);
    QVERIFY(usb.addAll(stick));
    QVERIFY(insert(usb.source(usbDevice)));
    if (cd)
        QVERIFY(insert(TestMedium::audioCd()));
    QSignalSpy eject(m_shelf.get(), &BookShelf::ejectCd);
    QSignalSpy selected(m_shelf.get(), &BookShelf::audioBookSelected);
    m_shelf->run();
    waitForSpeech(1);
    const int before = spoken().size();
    const int mode = m_shelf->mode();

    press(keys);
    if (!speech.isEmpty()) {
        waitForSpeech(before + 1);
        QTRY_COMPARE(spoken().last(), speech);
    }
    if (!sound.isEmpty())
        QTRY_VERIFY(soundPlayed(*m_player, sound));
    QTEST(int(eject.count()), "ejects");
    if (mode == BookShelf::SingleMode) {
        // The single book is still announced and chosen by itself.
        QTRY_COMPARE(selected.count(), 1);
    }
}

void BookShelfTest::titleAnnouncement_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("mount");
    QTest::addColumn<QString>("speech");

    QTest::newRow("DAISY title from its own audio") << "d202:Daisy" << "/media/usb" << "clip message076 /media/usb/Daisy/speechgen0001.mp3";
    QTest::newRow("DAISY 3 title on a card") << "d3:Daisy3" << "/media/mmc" << "clip message077 /media/mmc/Daisy3/speechgen0001.mp3";
    QTest::newRow("DAISY title without audio") << "d202nt:Daisy" << "/media/usb" << "message078 message076 message068";
    QTest::newRow("folder with quotes, #, %, ?, accents, leading dash")
        << "d202:-Bücher \"#1\" 100% 'x'?" << "/media/usb" << "clip message076 /media/usb/-Bücher \"#1\" 100% 'x'?/speechgen0001.mp3";
    QTest::newRow("MP3 folder") << "mp3:Music/01.mp3" << "/media/usb" << "message055 message076 1";
    QTest::newRow("audio CD") << "cdda" << QString() << "message055 message075 1";
}

void BookShelfTest::titleAnnouncement()
{
    QFETCH(QString, entry);
    QFETCH(QString, mount);
    QFETCH(QString, speech);

    QSettings().setValue(QStringLiteral("automaticPlay"), false);
    if (entry == QLatin1String("cdda")) {
        QVERIFY(insert(TestMedium::audioCd()));
    } else {
        TestMedium medium(*m_root, mount, mount.endsWith(QLatin1String("usb")) ? MediaSource::MediaTypeUsb : MediaSource::MediaTypeMmc);
        QVERIFY(medium.add(entry));
        QVERIFY(insert(medium.source(mount.endsWith(QLatin1String("usb")) ? usbDevice : mmcDevice)));
    }
    QCOMPARE(m_shelf->count(), 1);
    m_shelf->run();
    waitForSpeech(1);
    QString expected = speech;
    if (expected.startsWith(QLatin1String("clip")))
        expected.replace(mount, m_root->path(mount));
    QTRY_COMPARE(spoken().first(), expected);
    if (!expected.startsWith(QLatin1String("clip")))
        return;
    // The clip is cut where the title is in the book's audio: a start and a length in seconds.
    const QString line = m_player->lines().first();
    const QStringList parts = line.mid(7, line.size() - 8).split(QStringLiteral("] ["));
    QCOMPARE(parts.at(8), QStringLiteral("trim"));
    bool startOk = false, lengthOk = false;
    const double start = parts.at(9).toDouble(&startOk);
    const double length = parts.at(10).toDouble(&lengthOk);
    QVERIFY(startOk && lengthOk);
    QVERIFY(start >= 0);
    QVERIFY(length > 0);
    const AudioBook book = m_shelf->bookAt(0);
    QCOMPARE(qRound(start * 1000), book.titleStartTime());
    QCOMPARE(qRound((start + length) * 1000), book.titleStopTime());
}

void BookShelfTest::lastPlayedMarkerRoundTrip_data()
{
    QTest::addColumn<bool>("cd"); // a data CD, else a stick
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<int>("played");
    QTest::addColumn<bool>("written");
    QTest::addColumn<bool>("moved"); // the stick's files come back in the card slot

    QTest::newRow("stick, several books: the marker is written") << false << QStringList{"mp3:A/01.mp3", "mp3:B/01.mp3", "mp3:C/01.mp3"} << 2 << true << false;
    QTest::newRow("one book: nothing written") << false << QStringList{"mp3:A/01.mp3"} << 0 << false << false;
    QTest::newRow("data CD: kept on the device by disc") << true << QStringList{"mp3:A/01.mp3", "mp3:B/01.mp3"} << 1 << true << false;
    QTest::newRow("stick read again as a card") << false << QStringList{"mp3:A/01.mp3", "mp3:B/01.mp3", "mp3:C/01.mp3"} << 1 << true << true;
}

void BookShelfTest::lastPlayedMarkerRoundTrip()
{
    QFETCH(bool, cd);
    QFETCH(QStringList, tree);
    QFETCH(int, played);
    QFETCH(bool, written);
    QFETCH(bool, moved);

    TestMedium medium(*m_root, cd ? QStringLiteral("/media/cd") : QStringLiteral("/media/usb"), cd ? MediaSource::MediaTypeCdRom : MediaSource::MediaTypeUsb);
    QVERIFY(medium.addAll(tree));
    const MediaSource source = medium.source(cd ? QStringLiteral("/dev/sr0") : usbDevice);
    QVERIFY(insert(source));
    const AudioBook book = m_shelf->bookAt(played);
    m_shelf->setLastPlayedAudioBook(book);
    // A stick keeps its marker itself; the device keeps the CDs' markers.
    const QString file = cd ? m_root->path(QStringLiteral("/root/quimbo/lastPlayed.xml")) : medium.hostPath(QStringLiteral("lastPlayed.xml"));
    QCOMPARE(QFileInfo::exists(file), written);
    if (!written)
        return;

    // Taken out and put back, in its slot or another, the medium starts the book read last.
    m_shelf->removeMediaSource(source);
    QCOMPARE(m_shelf->count(), 0);
    TestMedium card(*m_root, QStringLiteral("/media/mmc"), MediaSource::MediaTypeMmc);
    if (moved) {
        QVERIFY(QDir().rmdir(card.hostPath()));
        QVERIFY(QDir().rename(medium.hostPath(), card.hostPath()));
    }
    QVERIFY(insert(moved ? card.source(mmcDevice) : source));
    QSignalSpy selected(m_shelf.get(), &BookShelf::audioBookSelected);
    m_shelf->run();
    QVERIFY(selected.wait(5000));
    QCOMPARE(m_shelf->bookInUse().url(), moved ? card.hostPath(QStringLiteral("B")) : book.url());
}

void BookShelfTest::removalOfPlayingBooksMedium()
{
    TestMedium usb(*m_root, QStringLiteral("/media/usb"), MediaSource::MediaTypeUsb);
    TestMedium mmc(*m_root, QStringLiteral("/media/mmc"), MediaSource::MediaTypeMmc);
    insertStickAndCard(usb, mmc);
    if (QTest::currentTestFailed())
        return;
    QSignalSpy removed(m_shelf.get(), &BookShelf::audioBookInUseRemoved);
    QSignalSpy quit(m_shelf.get(), &BookShelf::quit);

    m_shelf->run();
    press(QStringLiteral("ff play"));
    QCOMPARE(m_shelf->bookInUse().url(), usb.hostPath(QStringLiteral("B")));
    QVERIFY(!m_shelf->isActive());

    // Another medium going leaves the playing book alone.
    m_shelf->removeMediaSource(mmc.source(mmcDevice));
    QCOMPARE(removed.count(), 0);
    QVERIFY(m_shelf->bookInUse().isDefined());

    m_shelf->removeMediaSource(usb.source(usbDevice));
    QCOMPARE(removed.count(), 1);
    QVERIFY(!m_shelf->bookInUse().isDefined());
    QCOMPARE(m_shelf->count(), 0);
    QCOMPARE(quit.count(), 0);
}

void BookShelfTest::removalWhileShelfIsActive_data()
{
    QTest::addColumn<QString>("keys"); // before the removal
    QTest::addColumn<QString>("before"); // the title heard then
    QTest::addColumn<bool>("removeCard"); // else the stick
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("speech"); // spoken after the removal; empty: nothing

    // Order: 0 A, 1 B (stick), 2 C (card)
    QTest::newRow("the book under the cursor goes: back to the first") << "ff ff" << "message055 message077 1" << true << 0 << "message055 message076 1";
    QTest::newRow("another medium goes: the cursor stays on its book") << "ff ff" << "message055 message077 1" << false << 0 << QString();
}

void BookShelfTest::removalWhileShelfIsActive()
{
    QFETCH(QString, keys);
    QFETCH(QString, before);
    QFETCH(bool, removeCard);
    QFETCH(int, index);
    QFETCH(QString, speech);

    TestMedium usb(*m_root, QStringLiteral("/media/usb"), MediaSource::MediaTypeUsb);
    TestMedium mmc(*m_root, QStringLiteral("/media/mmc"), MediaSource::MediaTypeMmc);
    insertStickAndCard(usb, mmc);
    if (QTest::currentTestFailed())
        return;
    m_shelf->run();
    QTRY_VERIFY(spoken().size() == 2);
    press(keys);
    QTRY_VERIFY(spoken().last() == before);
    clearPlayer();

    const AudioBook kept = m_shelf->bookAt(m_shelf->index());
    m_shelf->removeMediaSource(removeCard ? mmc.source(mmcDevice) : usb.source(usbDevice));
    QVERIFY(m_shelf->isActive());
    QCOMPARE(m_shelf->index(), index);
    if (speech.isEmpty()) {
        QCOMPARE(m_shelf->bookAt(index), kept);
    } else {
        waitForSpeech(1);
        QTRY_COMPARE(spoken().last(), speech);
    }
    QTRY_VERIFY(soundPlayed(*m_player, QStringLiteral("bookshelfRemoved")));

    // The last medium going ends the shelf and forgets the preferred medium.
    QSettings().setValue(QStringLiteral("lastPlayedMedia"), 2);
    QSignalSpy quit(m_shelf.get(), &BookShelf::quit);
    m_shelf->removeMediaSource(removeCard ? usb.source(usbDevice) : mmc.source(mmcDevice));
    QCOMPARE(quit.count(), 1);
    QVERIFY(!m_shelf->isActive());
    QCOMPARE(QSettings().value(QStringLiteral("lastPlayedMedia")).toInt(), 0);
}

void BookShelfTest::reinsertedDataCdReplacesItself()
{
    TestMedium disc(*m_root, QStringLiteral("/media/cd"), MediaSource::MediaTypeCdRom);
    QVERIFY(disc.addAll({QStringLiteral("mp3:A/01.mp3"), QStringLiteral("mp3:B/01.mp3")}));
    TestMedium usb(*m_root, QStringLiteral("/media/usb"), MediaSource::MediaTypeUsb);
    QVERIFY(usb.add(QStringLiteral("mp3:S/01.mp3")));
    QVERIFY(insert(usb.source(usbDevice)));
    QVERIFY(insert(disc.source(QStringLiteral("/dev/sr0"))));
    QCOMPARE(m_shelf->count(), 3);

    // The drive reports the same disc again without a removal in between.
    QVERIFY(insert(disc.source(QStringLiteral("/dev/sr0"))));
    QCOMPARE(m_shelf->count(), 3);
    // One removal takes it away for good.
    m_shelf->removeMediaSource(disc.source(QStringLiteral("/dev/sr0")));
    QCOMPARE(m_shelf->count(), 1);
}

void BookShelfTest::removalSoundOncePerMediumWithBooks()
{
    TestMedium usb(*m_root, QStringLiteral("/media/usb"), MediaSource::MediaTypeUsb);
    QVERIFY(usb.add(QStringLiteral("mp3:A/01.mp3")));
    TestMedium mmc(*m_root, QStringLiteral("/media/mmc"), MediaSource::MediaTypeMmc);
    QVERIFY(mmc.add(QStringLiteral("junk:Book/ncc.html")));
    QVERIFY(insert(usb.source(usbDevice)));
    QVERIFY(insert(mmc.source(mmcDevice)));
    QCOMPARE(m_shelf->count(), 1);
    clearPlayer();

    m_shelf->removeMediaSource(mmc.source(mmcDevice));
    m_shelf->removeMediaSource(usb.source(usbDevice));
    // The disk the partition was on.
    m_shelf->removeMediaSource(usb.source(QStringLiteral("/dev/sda")));
    QTRY_VERIFY(soundPlayed(*m_player, QStringLiteral("bookshelfRemoved")));
    const auto sounds = [this] { return m_player->lines().filter(QRegularExpression(QStringLiteral("^argv:"))).size(); };
    QVERIFY(!QTest::qWaitFor([&] { return sounds() > 1; }, 300));
    QCOMPARE(m_shelf->count(), 0);
}

void BookShelfTest::settingsMenuReturnsToTheSameBook()
{
    Platform::setTimeScale(0.01);
    TestMedium usb(*m_root, QStringLiteral("/media/usb"), MediaSource::MediaTypeUsb);
    QVERIFY(usb.addAll({QStringLiteral("mp3:A/01.mp3"), QStringLiteral("mp3:B/01.mp3")}));
    QVERIFY(insert(usb.source(usbDevice)));
    m_shelf->run();
    QTRY_VERIFY(spoken().size() == 2);
    press(QStringLiteral("ff"));
    QTRY_VERIFY(spoken().last() == QStringLiteral("message055 message076 2"));
    clearPlayer();

    press(QStringLiteral("MENU"));
    // The menu opens on its first item, the way back to the shelf.
    QTRY_COMPARE(spoken(), (QStringList{QStringLiteral("message018 message074")}));
    QVERIFY(!m_shelf->isActive());
    clearPlayer();

    // Leaving the menu, the shelf comes back to where it was.
    press(QStringLiteral("menu"));
    QTRY_COMPARE(spoken(), (QStringList{QStringLiteral("message009"), QStringLiteral("message074"), QStringLiteral("message055 message076 2")}));
    QCOMPARE(m_shelf->index(), 1);
    QVERIFY(m_shelf->isActive());
}

QTEST_GUILESS_MAIN(BookShelfTest)
#include "bookshelftest.moc"
