// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/systemsettings.h"

#include "audio/audiosettings.h"
#include "input/board.h"
#include "input/input.h"
#include "input/keys.h"
#include "library/resumemark.h"
#include "library/resumemarker.h"
#include "library/resumemarkmanager.h"
#include "platform/platform.h"
#include "platform/sim/simboard.h"
#include "speech/logcategory.h"
#include "speech/messages.h"
#include "system/logcategory.h"
#include "system/sound.h"
#include "system/soundmanager.h"
#include "system/systemsettingslocale.h"

#include "logcapture.h"
#include "simsession.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using Platform::SimBoard;

namespace {

const QString kMessages = QStringLiteral("/root/quimbo/messages/");

/** A key as the menu receives it: pressed, released or held. */
enum class Act { Press, Release, Hold };

struct KeyStep {
    int key;
    Act act;
};

} // namespace

class SystemSettingsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void mainItemsInOrderAndWrapAround_data();
    void mainItemsInOrderAndWrapAround();
    void bookshelfItemFollowsTheShelf();
    void languageSelection_data();
    void languageSelection();
    void unknownStoredLanguage();
    void navigationMode_data();
    void navigationMode();
    void factoryDefaults_data();
    void factoryDefaults();
    void firmwareSaysTheVersion();
    void missingManualIsAnnounced();
    void keyDescriberSpeaksWithoutActing();

private:
    /** Writes an empty prompt for every message and digit the menu says, in one language folder. */
    void writePrompts(const QString &language, const QStringList &only = {}) const;
    void openMenu(int revision, bool books = false);
    /** Every prompt played so far, as "language/file", oldest first. */
    QStringList said() const;
    /** Sends the key and returns what the menu says in answer (waiting until it is all there). */
    QStringList answer(int key, Act act, int expectedCount);
    /** Moves on the main list (or inside an item) with fast forward n times. */
    void forward(int times);
    static QString eng(const QString &file) { return QStringLiteral("eng/") + file; }

    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<FakePlayer> m_player;
    std::unique_ptr<AudioSettings> m_audio;
    std::unique_ptr<Input> m_input;
    std::unique_ptr<SystemSettings> m_menu;
};

void SystemSettingsTest::initTestCase()
{
    Platform::setBackend(Platform::Backend::Simulated);
}

void SystemSettingsTest::init()
{
    startSimulation(m_root, m_player);
    if (QTest::currentTestFailed())
        return;
    writePrompts(QStringLiteral("eng"));
}

void SystemSettingsTest::cleanup()
{
    m_menu.reset();
    m_input.reset();
    m_audio.reset();
    endSimulation(m_root, m_player);
}

void SystemSettingsTest::writePrompts(const QString &language, const QStringList &only) const
{
    QStringList files = only;
    if (files.isEmpty()) {
        files = SystemSettingsLocale().keys();
        files << Message::menu << Message::manual << Message::languages << Message::navigation_mode << Message::mode << Message::automatic_play
              << Message::factory_defaults << Message::firmware << Message::bookshelf << Message::book_sound << Message::recap << Message::key_describer
              << Message::describer_help << Message::bookmarks << Message::describe_speed_up << Message::describe_pitch_up << Message::describe_volume
              << Message::describe_play << Message::yes << Message::no << Message::settings_saved
              << Message::exit_menu << Message::start << Message::not_available;
        for (int n = 0; n < 10; ++n)
            files << QString::number(n) + QStringLiteral(".wav");
    }
    for (const QString &file : std::as_const(files))
        QVERIFY(m_root->writeFile(kMessages + language + QLatin1Char('/') + file, QByteArray()));
}

void SystemSettingsTest::openMenu(int revision, bool books)
{
    SimBoard::instance()->setRevision(revision == 6 ? 7 : 0);
    Board::getInstance()->init();
    QSettings().setValue(QStringLiteral("bookshelfMenuItem"), books);
    m_audio = std::make_unique<AudioSettings>();
    m_input = std::make_unique<Input>();
    QVERIFY(m_input->initialize());
    m_menu = std::make_unique<SystemSettings>(m_audio.get(), m_input.get());
    QVERIFY(!m_input->isEnabled());
    m_menu->run();
    QVERIFY(m_input->isEnabled());
}

QStringList SystemSettingsTest::said() const
{
    return m_player->prompts(m_root->path(kMessages));
}

QStringList SystemSettingsTest::answer(int key, Act act, int expectedCount)
{
    const qsizetype before = said().size();
    switch (act) {
    case Act::Press:
        Q_EMIT m_input->pressed(key);
        break;
    case Act::Release:
        Q_EMIT m_input->released(key);
        break;
    case Act::Hold:
        Q_EMIT m_input->holded(key);
        break;
    }
    // The next key would cut a playback short before the player has left its trace.
    // Generous: under emulation on a loaded machine four messages take several seconds.
    if (!QTest::qWaitFor([&] { return said().size() >= before + expectedCount; }, 20000))
        return said().mid(before) << QStringLiteral("(still waiting)");
    return said().mid(before);
}

void SystemSettingsTest::forward(int times)
{
    for (int i = 0; i < times; ++i)
        answer(BUTTON_FAST_FORWARD, Act::Press, 1);
}

void SystemSettingsTest::mainItemsInOrderAndWrapAround_data()
{
    QTest::addColumn<int>("revision");
    QTest::addColumn<bool>("books");
    QTest::addColumn<QStringList>("items");

    const QStringList always = {Message::languages, Message::navigation_mode, Message::automatic_play, Message::factory_defaults,
                                Message::book_sound, Message::recap, Message::key_describer, Message::firmware};
    QTest::newRow("Rev4") << 4 << false << always;
    QTest::newRow("Rev4 with books") << 4 << true << QStringList{Message::bookshelf} + always;
    QTest::newRow("Rev6") << 6 << false << QStringList{Message::manual} + always;
    QTest::newRow("Rev6 with books") << 6 << true << QStringList{Message::bookshelf, Message::manual} + always;
}

void SystemSettingsTest::mainItemsInOrderAndWrapAround()
{
    QFETCH(int, revision);
    QFETCH(bool, books);
    QFETCH(QStringList, items);

    openMenu(revision, books);
    QTRY_COMPARE(said(), QStringList({eng(Message::menu), eng(items.first())}));

    // Forward through the whole list and round to its start again.
    QStringList heard;
    for (int i = 1; i <= items.size(); ++i)
        heard << answer(BUTTON_FAST_FORWARD, Act::Press, 1);
    QStringList expected;
    for (int i = 1; i <= items.size(); ++i)
        expected << eng(items.at(i % items.size()));
    QCOMPARE(heard, expected);

    // Back from the first item is the last one.
    QCOMPARE(answer(BUTTON_REWIND, Act::Press, 1), QStringList{eng(items.last())});
}

void SystemSettingsTest::bookshelfItemFollowsTheShelf()
{
    openMenu(4, false);
    QTRY_COMPARE(said().size(), 2);
    forward(2);
    QCOMPARE(said().last(), eng(Message::automatic_play));

    // A medium with books comes in while the user is on the third item.
    {
        LogCapture log(lcSystem());
        QSettings().setValue(QStringLiteral("bookshelfMenuItem"), true);
        QTRY_VERIFY(log.contains(QStringLiteral(": add bookshelf item")));
    }
    // Still on the same item: entering it speaks that item's value.
    QCOMPARE(answer(BUTTON_PLAY_STOP, Act::Release, 2), QStringList({eng(Message::automatic_play), eng(Message::yes)}));
    QCOMPARE(answer(BUTTON_EJECT, Act::Press, 1), QStringList{eng(Message::automatic_play)});
    // And the bookshelf is now three steps back, at the front.
    QStringList back;
    for (int i = 0; i < 3; ++i)
        back << answer(BUTTON_REWIND, Act::Press, 1);
    QCOMPARE(back, QStringList({eng(Message::navigation_mode), eng(Message::languages), eng(Message::bookshelf)}));

    // The books go while the user is on the bookshelf item: the item that takes its place is said.
    LogCapture log(lcSystem());
    QSettings().setValue(QStringLiteral("bookshelfMenuItem"), false);
    QTRY_VERIFY(log.contains(QStringLiteral(": remove bookshelf item")));
    QTRY_COMPARE(said().last(), eng(Message::languages));
    QCOMPARE(answer(BUTTON_REWIND, Act::Press, 1), QStringList{eng(Message::firmware)});
}

void SystemSettingsTest::languageSelection_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("confirmation");

    const QStringList all = {Message::settings_saved, Message::languages};
    QTest::newRow("German, whole set") << Message::german << "ged" << all << QStringList({QStringLiteral("ged/") + Message::settings_saved, QStringLiteral("ged/") + Message::languages});
    QTest::newRow("French, half a set")
        << Message::french << "frf" << QStringList{Message::settings_saved}
        << QStringList({QStringLiteral("frf/") + Message::settings_saved, eng(Message::languages)});
    QTest::newRow("Dutch, no folder") << Message::dutch << "dun" << QStringList() << QStringList({eng(Message::settings_saved), eng(Message::languages)});
    QTest::newRow("back to US English") << Message::us_english << "enu" << all
                                        << QStringList({QStringLiteral("enu/") + Message::settings_saved, QStringLiteral("enu/") + Message::languages});
}

void SystemSettingsTest::languageSelection()
{
    QFETCH(QString, name);
    QFETCH(QString, code);
    QFETCH(QStringList, present);
    QFETCH(QStringList, confirmation);

    if (!present.isEmpty())
        writePrompts(code, present);
    openMenu(4);
    QTRY_COMPARE(said().size(), 2);

    // The current language is offered first: the default British English.
    const QStringList languages = SystemSettingsLocale().keys();
    QCOMPARE(answer(BUTTON_PLAY_STOP, Act::Release, 1), QStringList{eng(Message::british_english)});
    const int from = int(languages.indexOf(Message::british_english));
    const int to = int(languages.indexOf(name));
    const int ahead = int((to - from + languages.size()) % languages.size());
    const bool forwards = ahead <= languages.size() / 2;
    QStringList last;
    for (int i = 0; i < (forwards ? ahead : languages.size() - ahead); ++i)
        last = answer(forwards ? BUTTON_FAST_FORWARD : BUTTON_REWIND, Act::Press, 1);
    QCOMPARE(last, QStringList{eng(name)});

    LogCapture log(lcSpeech()); // the voice messages say when they fall back
    QCOMPARE(answer(BUTTON_PLAY_STOP, Act::Release, 2), confirmation);
    QCOMPARE(QSettings().value(QStringLiteral("systemLanguage")).toString(), code);
    QCOMPARE(log.contains(QStringLiteral("[Messages::resolve]")), confirmation.filter(QStringLiteral("eng/")).size() > 0);

    // The menu goes on in the new language, and the language item offers it as current.
    const QString folder = confirmation.first().section(QLatin1Char('/'), 0, 0) + QLatin1Char('/');
    QCOMPARE(answer(BUTTON_PLAY_STOP, Act::Release, 1), QStringList{(present.contains(name) ? folder : eng(QString())) + name});
}

void SystemSettingsTest::unknownStoredLanguage()
{
    QSettings().setValue(QStringLiteral("systemLanguage"), QStringLiteral("xyz"));
    writePrompts(QStringLiteral("xyz"), {Message::menu});
    openMenu(4);
    QTRY_COMPARE(said().size(), 2);
    // No name for the stored code: the item is said again, and forward reaches the first language.
    QCOMPARE(answer(BUTTON_PLAY_STOP, Act::Release, 1), QStringList{eng(Message::languages)});
    QCOMPARE(answer(BUTTON_FAST_FORWARD, Act::Press, 1), QStringList{eng(SystemSettingsLocale().keys().first())});
}

void SystemSettingsTest::navigationMode_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("steps");
    QTest::addColumn<int>("chosen");

    QTest::newRow("default, keep 1") << QVariant() << 0 << 1;
    QTest::newRow("default, to 2") << QVariant() << 1 << 2;
    QTest::newRow("3, forward to bookmarks") << QVariant(3) << 1 << 4;
    QTest::newRow("bookmarks, forward wraps to 1") << QVariant(4) << 1 << 1;
    QTest::newRow("2, back to 1") << QVariant(2) << -1 << 1;
}

void SystemSettingsTest::navigationMode()
{
    QFETCH(QVariant, stored);
    QFETCH(int, steps);
    QFETCH(int, chosen);

    if (stored.isValid())
        QSettings().setValue(QStringLiteral("navigationMode"), stored);
    openMenu(4);
    QTRY_COMPARE(said().size(), 2);
    forward(1);

    const auto modeName = [](int mode) { return eng(mode == 4 ? Message::bookmarks : QString::number(mode) + QStringLiteral(".wav")); };
    const int current = stored.isValid() ? stored.toInt() : 1;
    QCOMPARE(answer(BUTTON_PLAY_STOP, Act::Release, 2), QStringList({eng(Message::mode), modeName(current)}));
    QStringList last;
    for (int i = 0; i < qAbs(steps); ++i)
        last = answer(steps > 0 ? BUTTON_FAST_FORWARD : BUTTON_REWIND, Act::Press, 2);
    if (steps != 0)
        QCOMPARE(last, QStringList({eng(Message::mode), modeName(chosen)}));

    QCOMPARE(answer(BUTTON_PLAY_STOP, Act::Release, 3), QStringList({eng(Message::settings_saved), eng(Message::navigation_mode), modeName(chosen)}));
    QCOMPARE(QSettings().value(QStringLiteral("navigationMode")).toInt(), chosen);
    // Back at the main list, on the same item.
    QCOMPARE(answer(BUTTON_FAST_FORWARD, Act::Press, 1), QStringList{eng(Message::automatic_play)});
}

void SystemSettingsTest::factoryDefaults_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("no") << false;
    QTest::newRow("yes") << true;
}

void SystemSettingsTest::factoryDefaults()
{
    QFETCH(bool, yes);

    // Each setting as the reader left it, and its factory value.
    const struct {
        const char *key;
        QVariant before;
        QVariant reset;
    } stored[] = {{"systemLanguage", QStringLiteral("enu"), QStringLiteral("eng")}, {"navigationMode", 3, 2}, {"automaticPlay", false, true}, {"daisyLevel", 5, 2}};
    for (const auto &setting : stored)
        QSettings().setValue(QLatin1String(setting.key), setting.before);
    writePrompts(QStringLiteral("enu"));
    ResumemarkData mark;
    mark.title = QStringLiteral("A book");
    mark.playerTime = 123456;
    QVERIFY(Resumemark().write(mark));
    // A DAISY book's place, kept in a store of its own.
    ResumeMarker daisy(QStringLiteral("A DAISY book"));
    daisy.setTimeOffset(98765);
    QVERIFY(ResumeMarkManager::saveResumeMarker(&daisy));
    const auto daisyPlace = [] {
        const std::unique_ptr<ResumeMarker> marker(ResumeMarkManager::loadResumeMarker(QStringLiteral("A DAISY book")));
        return marker->timeOffset();
    };
    // What a medium holds is the medium's: a marker and a book on a stick.
    const QByteArray onStick = "<lastPlayed><mediaId>42</mediaId></lastPlayed>";
    QVERIFY(m_root->writeFile(QStringLiteral("/media/usb/lastPlayed.xml"), onStick));
    QVERIFY(m_root->writeFile(QStringLiteral("/media/usb/book/ncc.html"), "<html/>"));

    openMenu(4);
    QTRY_COMPARE(said().size(), 2);
    forward(3);
    const QString enu = QStringLiteral("enu/");
    QCOMPARE(said().last(), enu + Message::factory_defaults);
    QCOMPARE(answer(BUTTON_PLAY_STOP, Act::Release, 1), QStringList{enu + Message::no});
    if (yes)
        QCOMPARE(answer(BUTTON_FAST_FORWARD, Act::Press, 1), QStringList{enu + Message::yes});

    const QStringList confirmation = answer(BUTTON_PLAY_STOP, Act::Release, yes ? 3 : 1);
    // Confirmed in the language the defaults bring back.
    QCOMPARE(confirmation, yes ? QStringList({eng(Message::settings_saved), eng(Message::factory_defaults), eng(Message::yes)}) : QStringList{enu + Message::no});
    for (const auto &setting : stored)
        QCOMPARE(QSettings().value(QLatin1String(setting.key)).toString(), (yes ? setting.reset : setting.before).toString());
    ResumemarkData read;
    read.title = mark.title;
    QCOMPARE(Resumemark().read(read), !yes);
    QCOMPARE(read.playerTime, yes ? 0 : mark.playerTime);
    QCOMPARE(daisyPlace(), yes ? 0 : 98765);
    QCOMPARE(m_root->readFile(QStringLiteral("/media/usb/lastPlayed.xml")), onStick);
    QVERIFY(m_root->exists(QStringLiteral("/media/usb/book/ncc.html")));
}

void SystemSettingsTest::firmwareSaysTheVersion()
{
    openMenu(4);
    QTRY_COMPARE(said().size(), 2);
    QCOMPARE(answer(BUTTON_REWIND, Act::Press, 1), QStringList{eng(Message::firmware)});
    const QStringList version = QCoreApplication::applicationVersion().split(QLatin1Char('.'));
    QCOMPARE(answer(BUTTON_PLAY_STOP, Act::Release, 2), QStringList({eng(version.at(0) + QStringLiteral(".wav")), eng(version.at(1) + QStringLiteral(".wav"))}));
    // Nothing to choose there: the keys move on the main list again.
    QCOMPARE(answer(BUTTON_FAST_FORWARD, Act::Press, 1), QStringList{eng(Message::languages)});
}

void SystemSettingsTest::missingManualIsAnnounced()
{
    openMenu(6);
    QTRY_COMPARE(said().size(), 2);
    QCOMPARE(said().last(), eng(Message::manual));

    LogCapture log(lcSystem());
    QCOMPARE(answer(BUTTON_PLAY_STOP, Act::Release, 4),
             QStringList({eng(Message::manual), eng(Message::not_available), eng(Message::menu), eng(Message::manual)}));
    QVERIFY(log.contains(QStringLiteral("Help could not be created!")));
    // And the menu is usable again.
    QVERIFY(m_input->isEnabled());
    QCOMPARE(answer(BUTTON_FAST_FORWARD, Act::Press, 1), QStringList{eng(Message::languages)});
}

void SystemSettingsTest::keyDescriberSpeaksWithoutActing()
{
    openMenu(4);
    QTRY_COMPARE(said().size(), 2);
    forward(6);
    QCOMPARE(said().last(), eng(Message::key_describer));
    QCOMPARE(answer(BUTTON_PLAY_STOP, Act::Release, 2), QStringList({eng(Message::key_describer), eng(Message::describer_help)}));
    const int volume = AudioSettings::volume();
    const struct {
        int key;
        Act act;
        QString description;
    } keys[] = {
        {BUTTON_SPEED_UP, Act::Press, Message::describe_speed_up},
        {BUTTON_PITCH_UP, Act::Press, Message::describe_pitch_up},
        {BUTTON_VOLUME_UP, Act::Release, Message::describe_volume},
        {BUTTON_PLAY_STOP, Act::Press, Message::describe_play},
    };
    for (const auto &step : keys)
        QCOMPARE(answer(step.key, step.act, 1), QStringList{eng(step.description)});
    // Nothing was done: no step of speed, pitch or volume.
    QCOMPARE(m_audio->tempo(), 1.0f);
    QCOMPARE(m_audio->pitch(), 0);
    QCOMPARE(AudioSettings::volume(), volume);
    // Holding the menu key goes back to the menu, on the same item.
    QCOMPARE(answer(BUTTON_SLEEP_MENU, Act::Hold, 2), QStringList({eng(Message::menu), eng(Message::key_describer)}));
    QVERIFY(m_input->isEnabled());
}

QTEST_GUILESS_MAIN(SystemSettingsTest)
#include "systemsettingstest.moc"
