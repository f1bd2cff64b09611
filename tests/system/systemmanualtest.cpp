// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/systemmanual.h"

#include "audio/audiosettings.h"
#include "audio/vlcmediaplayer.h"
#include "formats/daisytalkingbook.h"
#include "formats/medianode.h"
#include "formats/navmodel.h"
#include "formats/navnode.h"
#include "formats/smilmediagroup.h"
#include "input/board.h"
#include "input/input.h"
#include "input/keys.h"
#include "platform/audiooutput.h"
#include "platform/platform.h"
#include "platform/sim/simboard.h"
#include "speech/messages.h"
#include "system/soundmanager.h"
#include "system/systemsettings.h"

#include "logcapture.h"
#include "simsession.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using Platform::SimBoard;

namespace {

const QString kGenerated = QStringLiteral(QUIMBO_BINARY_DIR "/emanuals/eng");

/** Swallows the engine's sound. */
class Silence : public Platform::AudioOutput
{
public:
    bool open(int, int) override { return true; }
    void close() override { }
    void write(const char *, int) override { }
};

QStringList chapterContents(const DaisyTalkingBook &book)
{
    QStringList contents;
    for (NavNode *node : book.navModel()->playOrderList()) {
        if (node->typeOfNode() == NavNode::NavPointType)
            contents << node->content();
    }
    return contents;
}

} // namespace

class SystemManualTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void manualFolderByLanguage_data();
    void manualFolderByLanguage();
    void contentsJumpLandsOnTheChapter_data();
    void contentsJumpLandsOnTheChapter();
    void windKeysMoveByHeading();
    void endOfManualStopsAtTheContents();
    void leaving_data();
    void leaving();
    void openedFromTheMenuAndBack();

private:
    /** Makes the generated manual appear as the manual of these language folders. */
    void install(const QStringList &folders) const;
    std::unique_ptr<SystemManual> create();
    /** The English manual installed, created and running; null when it could not be created. */
    std::unique_ptr<SystemManual> runEnglish();
    /** The audio files the manual played, oldest first, as they stand in the log. */
    static QStringList played(const LogCapture &log);
    QStringList said() const;

    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<FakePlayer> m_player;
    std::unique_ptr<AudioSettings> m_audio;
    std::unique_ptr<Input> m_input;
    std::unique_ptr<VlcMediaPlayer> m_engine;
    std::unique_ptr<DaisyTalkingBook> m_book;
};

void SystemManualTest::initTestCase()
{
    Platform::setBackend(Platform::Backend::Simulated);
    QVERIFY2(QFileInfo::exists(kGenerated + QStringLiteral("/ncc.html")), "build the target \"manual\" first");
    m_book.reset(DaisyTalkingBook::open(kGenerated + QStringLiteral("/ncc.html")));
    QVERIFY(m_book);
}

void SystemManualTest::init()
{
    startSimulation(m_root, m_player);
    if (QTest::currentTestFailed())
        return;
    for (const QString &name : {Message::close, Message::manual, Message::end_of_manual, Message::failed, Message::sleep_timer, Message::minutes, Message::off,
                                Message::menu, Message::start, Message::languages, Message::pitch, Message::speed, Message::minus,
                                QStringLiteral("1.wav"), QStringLiteral("15.wav"), QStringLiteral("30.wav")})
        QVERIFY(m_root->writeFile(QStringLiteral("/root/quimbo/messages/eng/") + name, QByteArray()));
    m_audio = std::make_unique<AudioSettings>();
    m_input = std::make_unique<Input>();
    QVERIFY(m_input->initialize());
    m_engine = std::make_unique<VlcMediaPlayer>(std::make_unique<Silence>());
    QVERIFY(m_engine->init());
}

void SystemManualTest::cleanup()
{
    m_engine.reset();
    m_input.reset();
    m_audio.reset();
    endSimulation(m_root, m_player);
}

void SystemManualTest::install(const QStringList &folders) const
{
    QDir().mkpath(m_root->path(QStringLiteral("/root/quimbo/emanuals")));
    for (const QString &folder : folders) {
        // "name:broken" is a folder whose navigation file is not a book at all.
        if (folder.endsWith(QLatin1String(":broken")))
            QVERIFY(m_root->writeFile(QStringLiteral("/root/quimbo/emanuals/") + folder.section(QLatin1Char(':'), 0, 0) + QStringLiteral("/ncc.html"), "\x01\x02 not html"));
        else
            QVERIFY(QFile::link(kGenerated, m_root->path(QStringLiteral("/root/quimbo/emanuals/") + folder)));
    }
}

std::unique_ptr<SystemManual> SystemManualTest::create()
{
    return std::unique_ptr<SystemManual>(SystemManual::createManual(m_audio.get(), m_input.get(), m_engine.get(), nullptr));
}

std::unique_ptr<SystemManual> SystemManualTest::runEnglish()
{
    install({QStringLiteral("eng")});
    std::unique_ptr<SystemManual> manual = create();
    if (manual)
        manual->run();
    return manual;
}

QStringList SystemManualTest::played(const LogCapture &log)
{
    QStringList files;
    const QString prefix = QStringLiteral("[SystemManual::playTrack] ");
    for (const QString &line : log.lines()) {
        if (line.startsWith(prefix))
            files << QFileInfo(line.mid(prefix.size()).section(QLatin1Char(' '), 0, 0)).fileName();
    }
    return files;
}

QStringList SystemManualTest::said() const
{
    return m_player->prompts(m_root->path(QStringLiteral("/root/quimbo/messages/eng/")));
}

void SystemManualTest::manualFolderByLanguage_data()
{
    QTest::addColumn<QString>("language"); // empty: none stored
    QTest::addColumn<QStringList>("installed");
    QTest::addColumn<QString>("opened"); // empty: no manual

    const QStringList english = {QStringLiteral("eng")};
    QTest::newRow("nothing stored") << QString() << english << "eng";
    QTest::newRow("Catalan reads the Spanish one") << "cae" << QStringList({"eng", "spe"}) << "spe";
    QTest::newRow("German has its own") << "ged" << QStringList({"eng", "ged"}) << "ged";
    QTest::newRow("Catalan without a Spanish one falls back") << "cae" << english << "eng";
    QTest::newRow("no manual at all") << "ged" << QStringList() << QString();
    QTest::newRow("German broken, English whole") << "ged" << QStringList({"ged:broken", "eng"}) << "eng";
    QTest::newRow("English broken") << "eng" << QStringList{"eng:broken"} << QString();
}

void SystemManualTest::manualFolderByLanguage()
{
    QFETCH(QString, language);
    QFETCH(QStringList, installed);
    QFETCH(QString, opened);

    if (!language.isEmpty())
        QSettings().setValue(QStringLiteral("systemLanguage"), language);
    install(installed);

    LogCapture log;
    std::unique_ptr<SystemManual> manual = create();
    QCOMPARE(bool(manual), !opened.isEmpty());
    if (manual) {
        const QString path = m_root->path(QStringLiteral("/root/quimbo/emanuals/") + opened + QStringLiteral("/ncc.html"));
        QVERIFY2(log.contains(QStringLiteral("[SystemManual::createManual] manual: ") + path), qPrintable(log.text()));
    }
}

void SystemManualTest::contentsJumpLandsOnTheChapter_data()
{
    QTest::addColumn<int>("clip");
    QTest::addColumn<int>("chapter");

    SmilMediaGroup *contents = m_book->startReading(1);
    QVERIFY(contents);
    const int last = contents->numberOfAudioClips() - 1;
    // The contents' own heading and the sentence after it both lead to the contents chapter.
    QTest::newRow("its heading") << 0 << 1;
    QTest::newRow("how to use it") << 1 << 1;
    QTest::newRow("last clip") << last << last;
}

void SystemManualTest::contentsJumpLandsOnTheChapter()
{
    QFETCH(int, clip);
    QFETCH(int, chapter);

    std::unique_ptr<SystemManual> manual = runEnglish();
    QVERIFY(manual);
    QVERIFY(m_engine->isPlaying());

    LogCapture log;
    // Holding play/stop reads the contents.
    Q_EMIT m_input->holded(BUTTON_PLAY_STOP);
    SmilMediaGroup *contents = m_book->startReading(1);
    QCOMPARE(played(log), QStringList{QFileInfo(contents->firstAudioTrack()->source()).fileName()});

    const AudioNode *named = contents->audioClip(clip);
    // A position no clip covers goes nowhere.
    manual->gotoHeading(contents->lastAudioClip()->clipEnd() + 1);
    QVERIFY(!log.contains(QStringLiteral("navpoint found")));
    manual->gotoHeading((named->clipBegin() + named->clipEnd()) / 2);
    const QString target = chapterContents(*m_book).at(chapter);
    // The manual is installed elsewhere than the book this test reads: compare the file and fragment.
    const QString found = log.lines().filter(QStringLiteral("[SystemManual::gotoHeading]: navpoint found. ")).value(0);
    QCOMPARE(QFileInfo(found).fileName(), QFileInfo(target).fileName());
    SmilMediaGroup *landed = m_book->smilMediaGroupFromFile(target);
    QCOMPARE(played(log).last(), QFileInfo(landed->currentAudioTrack()->source()).fileName());
    QVERIFY(m_engine->isPlaying());

}

void SystemManualTest::windKeysMoveByHeading()
{
    std::unique_ptr<SystemManual> manual = runEnglish();
    QVERIFY(manual);
    // From the title the next heading is the contents, where the wind keys pick a chapter instead.
    LogCapture log;
    Q_EMIT m_input->released(BUTTON_FAST_FORWARD);
    const QStringList chapters = chapterContents(*m_book);
    QCOMPARE(played(log), QStringList{QFileInfo(m_book->smilMediaGroupFromFile(chapters.at(1))->currentAudioTrack()->source()).fileName()});

    // Beyond the contents every heading counts: forward twice, back once.
    SmilMediaGroup *contents = m_book->startReading(1);
    const AudioNode *named = contents->audioClip(2);
    manual->gotoHeading((named->clipBegin() + named->clipEnd()) / 2);
    for (int key : {BUTTON_FAST_FORWARD, BUTTON_FAST_FORWARD, BUTTON_REWIND}) {
        Q_EMIT m_input->released(key);
        QVERIFY(m_engine->isPlaying());
    }
    QStringList audio;
    for (int index : {1, 2, 3, 4, 3}) {
        SmilMediaGroup *group = m_book->smilMediaGroupFromFile(chapters.at(index));
        audio << QFileInfo(group->currentAudioTrack()->source()).fileName();
    }
    QCOMPARE(played(log), audio);
}

void SystemManualTest::endOfManualStopsAtTheContents()
{
    std::unique_ptr<SystemManual> manual = runEnglish();
    QVERIFY(manual);
    Q_EMIT m_input->holded(BUTTON_PLAY_STOP);
    SmilMediaGroup *contents = m_book->startReading(1);
    const AudioNode *last = contents->lastAudioClip();
    manual->gotoHeading((last->clipBegin() + last->clipEnd()) / 2);

    LogCapture log;
    // The last chapter's audio ends.
    m_engine->stop();
    Q_EMIT m_engine->finished();
    QTRY_COMPARE(said(), QStringList{Message::end_of_manual});
    QCOMPARE(played(log), QStringList());
    // Play/stop then reads the contents from their start.
    Q_EMIT m_input->released(BUTTON_PLAY_STOP);
    QCOMPARE(played(log), QStringList{QFileInfo(contents->firstAudioTrack()->source()).fileName()});
}

void SystemManualTest::leaving_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("hold");
    QTest::addColumn<bool>("stopFirst");
    QTest::addColumn<QString>("signal");
    QTest::addColumn<QStringList>("spoken");

    QTest::newRow("sleep/menu released while stopped") << BUTTON_SLEEP_MENU << false << true << "quit" << QStringList({Message::close, Message::manual});
    QTest::newRow("power held") << BUTTON_POWER << true << false << "shutdown" << QStringList();
}

void SystemManualTest::leaving()
{
    QFETCH(int, key);
    QFETCH(bool, hold);
    QFETCH(bool, stopFirst);
    QFETCH(QString, signal);

    std::unique_ptr<SystemManual> manual = runEnglish();
    QVERIFY(manual);
    if (stopFirst)
        Q_EMIT m_input->released(BUTTON_PLAY_STOP);
    QCOMPARE(m_engine->isPlaying(), !stopFirst);

    QSignalSpy quit(manual.get(), &SystemManual::quit);
    QSignalSpy toMenu(manual.get(), &SystemManual::quitToMenu);
    QSignalSpy shutdown(manual.get(), &SystemManual::shutdown);
    if (hold)
        Q_EMIT m_input->holded(key);
    else
        Q_EMIT m_input->released(key);

    QCOMPARE(quit.size(), signal == QLatin1String("quit") ? 1 : 0);
    QCOMPARE(toMenu.size(), signal == QLatin1String("quitToMenu") ? 1 : 0);
    QCOMPARE(shutdown.size(), signal == QLatin1String("shutdown") ? 1 : 0);
    QTEST(said(), "spoken");
    QVERIFY(!m_engine->isPlaying());
    QVERIFY(!m_input->isEnabled());
}

void SystemManualTest::openedFromTheMenuAndBack()
{
    install({QStringLiteral("eng")});
    SimBoard::instance()->setRevision(7);
    Board::getInstance()->init();
    SystemSettings menu(m_audio.get(), m_input.get());
    menu.setMediaPlayer(m_engine.get());
    menu.run();
    QTRY_COMPARE(said(), QStringList({Message::menu, Message::manual}));

    LogCapture log;
    Q_EMIT m_input->released(BUTTON_PLAY_STOP);
    QTRY_VERIFY(m_engine->isPlaying());
    QCOMPARE(said().mid(2), QStringList({Message::start, Message::manual}));
    QCOMPARE(played(log).size(), 1);

    // Holding the sleep/menu key goes back to the menu, on the manual item.
    Q_EMIT m_input->holded(BUTTON_SLEEP_MENU);
    QTRY_COMPARE(said().mid(4), QStringList({Message::close, Message::manual, Message::menu, Message::manual}));
    QVERIFY(!m_engine->isPlaying());
    QVERIFY(m_input->isEnabled());
}

QTEST_GUILESS_MAIN(SystemManualTest)
#include "systemmanualtest.moc"
