// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "speech/messages.h"

#include "fakeplayer.h"
#include "testroot.h"

#include <QElapsedTimer>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <memory>

class MessagesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void resolvesNames_data();
    void resolvesNames();
    void missingPromptComesFromEnglish_data();
    void missingPromptComesFromEnglish();
    void sequenceIsOnePlaylistInOrder();
    void nothingToPlayOnlyLogs_data();
    void nothingToPlayOnlyLogs();
    void interruptedPlaybackIsSilent_data();
    void interruptedPlaybackIsSilent();
    void waitedPlayReturnsAfterTheMessage();
    void daisyTitleCommandLine_data();
    void daisyTitleCommandLine();
    void missingFileStillFinishes_data();
    void missingFileStillFinishes();

private:
    QString messagePath(const QString &name, const QString &language = QStringLiteral("eng")) const
    {
        return m_root->path(QStringLiteral("/root/quimbo/messages/") + language + QLatin1Char('/') + name);
    }
    void writeMessage(const QString &name) { QVERIFY(m_root->writeFile(QStringLiteral("/root/quimbo/messages/eng/") + name, "RIFF")); }
    QStringList playArguments(const QString &path) const { return {QStringLiteral("-v"), QStringLiteral("0.5"), QStringLiteral("-q"), path}; }
    QString playlist() const { return m_root->path(QStringLiteral("/root/quimbo/tmpPlaylist.m3u")); }

    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<FakePlayer> m_player;
};

void MessagesTest::init()
{
    m_root = std::make_unique<TestRoot>();
    m_player = std::make_unique<FakePlayer>();
    QVERIFY(m_root->isValid());
    QVERIFY(m_player->isValid());
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
}

void MessagesTest::cleanup()
{
    m_player.reset();
    m_root.reset();
}

void MessagesTest::resolvesNames_data()
{
    QTest::addColumn<QString>("language"); // empty: none stored
    QTest::addColumn<bool>("viaPlay");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected"); // below /root/quimbo/messages/

    QTest::newRow("number, no language stored") << QString() << false << "7" << "eng/7.wav";
    QTest::newRow("number through play") << QString() << true << "25" << "eng/25.wav";
    QTest::newRow("append lower-cases") << QString() << false << "Message047.WAV" << "eng/message047.wav";
    QTest::newRow("play keeps the case") << QString() << true << "Message047.WAV" << "eng/Message047.WAV";
    QTest::newRow("stored language") << "deu" << false << "message001.wav" << "deu/message001.wav";
    QTest::newRow("digits and letters are no number") << QString() << false << "12a" << "eng/12a";
}

void MessagesTest::resolvesNames()
{
    QFETCH(QString, language);
    QFETCH(bool, viaPlay);
    QFETCH(QString, name);
    QFETCH(QString, expected);

    if (!language.isEmpty())
        QSettings(QStringLiteral("KAL"), QStringLiteral("quimbo-basic")).setValue(QStringLiteral("systemLanguage"), language);
    const QString path = m_root->path(QStringLiteral("/root/quimbo/messages/") + expected);
    QVERIFY(m_root->writeFile(QStringLiteral("/root/quimbo/messages/") + expected, "RIFF"));

    Messages messages;
    QSignalSpy finished(&messages, &Messages::finished);
    if (viaPlay) {
        QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("[Messages::play]: ") + path + QStringLiteral(" waitForFinished: false")));
        messages.play(name, false);
        QVERIFY(finished.wait());
        QCOMPARE(m_player->lines(), QStringList({FakePlayer::argv(playArguments(path)), QStringLiteral("end: 0")}));
    } else {
        QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("[Messages::playMessages]: ") + path));
        messages.append(name, true);
        QCOMPARE(messages.queue(), QStringList{path});
        messages.playMessages();
        QVERIFY(finished.wait());
        QCOMPARE(m_player->lines(),
                 QStringList({FakePlayer::argv(playArguments(playlist())), QStringLiteral("item: ") + path, QStringLiteral("end: 0")}));
    }
}

void MessagesTest::missingPromptComesFromEnglish_data()
{
    QTest::addColumn<QStringList>("present"); // below /root/quimbo/messages/
    QTest::addColumn<QString>("expected");

    QTest::newRow("in the language") << QStringList({"ged/message015.wav", "eng/message015.wav"}) << "ged/message015.wav";
    QTest::newRow("only in English") << QStringList{"eng/message015.wav"} << "eng/message015.wav";
    QTest::newRow("nowhere") << QStringList() << "ged/message015.wav";
}

void MessagesTest::missingPromptComesFromEnglish()
{
    QFETCH(QStringList, present);
    QFETCH(QString, expected);

    QSettings(QStringLiteral("KAL"), QStringLiteral("quimbo-basic")).setValue(QStringLiteral("systemLanguage"), QStringLiteral("ged"));
    for (const QString &file : std::as_const(present))
        QVERIFY(m_root->writeFile(QStringLiteral("/root/quimbo/messages/") + file, "RIFF"));
    const bool fallsBack = !expected.startsWith(QLatin1String("ged/"));
    if (fallsBack)
        QTest::ignoreMessage(QtDebugMsg, "[Messages::resolve] message015.wav is missing in ged - speaking it in English");

    Messages messages;
    messages.append(Message::languages, true);
    messages.append(QStringLiteral("7"), false);
    QCOMPARE(messages.queue().first(), m_root->path(QStringLiteral("/root/quimbo/messages/") + expected));
    // A number the language lacks as well as English stays in the language's folder.
    QCOMPARE(messages.queue().last(), m_root->path(QStringLiteral("/root/quimbo/messages/ged/7.wav")));
}

void MessagesTest::sequenceIsOnePlaylistInOrder()
{
    const QStringList names = {Message::battery_level, QStringLiteral("42"), Message::minutes, Message::battery_level};
    QStringList expected = {FakePlayer::argv(playArguments(playlist()))};
    for (const QString &name : names) {
        const QString file = QRegularExpression(QStringLiteral("^\\d+$")).match(name).hasMatch() ? name + QStringLiteral(".wav") : name;
        writeMessage(file);
        expected << QStringLiteral("item: ") + messagePath(file);
    }
    expected << QStringLiteral("end: 0");

    Messages messages;
    QSignalSpy finished(&messages, &Messages::finished);
    messages.append(Message::eject, true); // cleared by the next clearing append
    for (int i = 0; i < names.size(); ++i)
        messages.append(names.at(i), i == 0);
    // An empty name is no message and clears nothing.
    messages.append(QString(), true);
    messages.append(QString(), false);
    messages.playMessages();

    QVERIFY(finished.wait());
    QCOMPARE(m_player->lines(), expected);
    QCOMPARE(finished.count(), 1);
    // The queue stays until the next clearing append: the same sequence can be played again.
    QCOMPARE(messages.queue().size(), names.size());
}

void MessagesTest::nothingToPlayOnlyLogs_data()
{
    QTest::addColumn<bool>("queued");
    QTest::newRow("empty queue") << false;
    // A directory in the playlist's place can neither be removed nor opened as a file.
    QTest::newRow("unwritable playlist") << true;
}

void MessagesTest::nothingToPlayOnlyLogs()
{
    QFETCH(bool, queued);
    Messages messages;
    QSignalSpy finished(&messages, &Messages::finished);
    if (queued) {
        QVERIFY(QDir().mkpath(playlist() + QStringLiteral("/blocked")));
        writeMessage(Message::welcome);
        messages.append(Message::welcome, true);
        QTest::ignoreMessage(QtWarningMsg, "void Messages::playMessages(): error opening file for playlist!");
    } else {
        QTest::ignoreMessage(QtDebugMsg, "void Messages::playMessages(): nothing to play for!");
    }
    messages.playMessages();
    QVERIFY(!messages.isPlaying());
    QVERIFY(m_player->lines().isEmpty());
    QCOMPARE(QFileInfo::exists(playlist()), queued);
    QCoreApplication::processEvents();
    QCOMPARE(finished.count(), 0);
}

void MessagesTest::interruptedPlaybackIsSilent_data()
{
    QTest::addColumn<QString>("interruption");
    QTest::newRow("stop") << "stop";
    QTest::newRow("new play") << "play";
    QTest::newRow("new sequence") << "playMessages";
    QTest::newRow("daisy title") << "playDaisyTitle";
}

void MessagesTest::interruptedPlaybackIsSilent()
{
    QFETCH(QString, interruption);
    writeMessage(Message::welcome);
    writeMessage(Message::eject);
    writeMessage(Message::daisy);
    writeMessage(Message::usb);
    QVERIFY(m_root->writeFile(QStringLiteral("/media/usb/title.mp3"), "ID3"));

    Messages messages;
    QSignalSpy finished(&messages, &Messages::finished);
    m_player->setSeconds(5);
    messages.append(Message::welcome, true);
    messages.append(Message::eject);
    messages.playMessages();
    QVERIFY(messages.isPlaying());
    QTRY_VERIFY(m_player->lines().size() == 3); // argv and both items: the player is under way

    m_player->setSeconds(0);
    if (interruption == QLatin1String("stop")) {
        messages.stop();
        QVERIFY(!messages.isPlaying());
        // Something that does finish, to let a stray signal of the stopped run arrive first.
        messages.play(Message::welcome);
    } else if (interruption == QLatin1String("play")) {
        messages.play(Message::welcome);
    } else if (interruption == QLatin1String("playMessages")) {
        messages.append(Message::eject, true);
        messages.playMessages();
    } else {
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^\\[Messages::playDaisyTitle\\]")));
        messages.playDaisyTitle(Message::usb, m_root->path(QStringLiteral("/media/usb/title.mp3")), 1, 2);
    }
    QVERIFY(finished.wait());
    QCoreApplication::processEvents();
    QCOMPARE(finished.count(), 1);
    const QStringList lines = m_player->lines();
    QCOMPARE(lines.count(QStringLiteral("end: 0")), 1); // only the second run ended by itself
    QCOMPARE(lines.last(), QStringLiteral("end: 0"));
}

void MessagesTest::waitedPlayReturnsAfterTheMessage()
{
    writeMessage(Message::battery_empty);
    Messages messages;
    QSignalSpy finished(&messages, &Messages::finished);
    m_player->setSeconds(0.4);

    QTest::ignoreMessage(QtDebugMsg,
                         qPrintable(QStringLiteral("[Messages::play]: ") + messagePath(Message::battery_empty) + QStringLiteral(" waitForFinished: true")));
    QElapsedTimer clock;
    clock.start();
    messages.play(Message::battery_empty, true);
    QVERIFY2(clock.elapsed() >= 350, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!messages.isPlaying());
    QCOMPARE(m_player->lines(), QStringList({FakePlayer::argv(playArguments(messagePath(Message::battery_empty))), QStringLiteral("end: 0")}));

    // A later playback that is not waited for is the only one to report its end.
    m_player->setSeconds(0);
    messages.play(Message::battery_empty, false);
    QVERIFY(finished.wait());
    QCoreApplication::processEvents();
    QCOMPARE(finished.count(), 1);
}

void MessagesTest::daisyTitleCommandLine_data()
{
    QTest::addColumn<QString>("medium");
    QTest::addColumn<float>("start");
    QTest::addColumn<float>("length");
    QTest::addColumn<QString>("trim"); // start and length as on the command line
    QTest::addColumn<QString>("folder"); // of the book on the medium

    QTest::newRow("usb, fractions") << Message::usb << 12.5f << 3.25f << "12.5 3.25" << "My Book";
    QTest::newRow("sd card, six significant digits") << Message::sd_card << 1234.5678f << 0.1f << "1234.57 0.1" << "My Book";
    QTest::newRow("cd, whole seconds") << Message::cd << 0.0f << 10.0f << "0 10" << "My Book";
    QTest::newRow("long book, exponent form") << Message::usb << 1234567.0f << 2.0f << "1.23457e+06 2" << "My Book";
    QTest::newRow("backslash and dollar") << Message::usb << 1.0f << 2.0f << "1 2" << "a\\b $HOME `x`";
}

void MessagesTest::daisyTitleCommandLine()
{
    QFETCH(QString, medium);
    QFETCH(float, start);
    QFETCH(float, length);
    QFETCH(QString, trim);
    QFETCH(QString, folder);

    const QString file = m_root->path(QStringLiteral("/media/usb/") + folder + QStringLiteral("/title.mp3"));
    const QString daisy = messagePath(Message::daisy);
    const QString message = messagePath(medium);
    const QString command = QStringLiteral("play -q -v 0.5 \"") + daisy + QStringLiteral("\" -v 0.5 \"") + message + QStringLiteral("\" \"") + file
        + QStringLiteral("\" trim ") + trim;

    Messages messages;
    QSignalSpy finished(&messages, &Messages::finished);
    QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("[Messages::playDaisyTitle]: ") + command + QStringLiteral(" from media: ") + file));
    messages.playDaisyTitle(medium, file, start, length);
    QVERIFY(finished.wait());

    QStringList arguments = {QStringLiteral("-q"), QStringLiteral("-v"), QStringLiteral("0.5"), daisy, QStringLiteral("-v"), QStringLiteral("0.5"), message, file,
                             QStringLiteral("trim")};
    arguments << trim.split(QLatin1Char(' '));
    QCOMPARE(m_player->lines().first(), FakePlayer::argv(arguments));
}

void MessagesTest::missingFileStillFinishes_data()
{
    QTest::addColumn<bool>("sequence");
    QTest::newRow("sequence") << true;
    QTest::newRow("single message") << false;
}

void MessagesTest::missingFileStillFinishes()
{
    QFETCH(bool, sequence);
    Messages messages;
    QSignalSpy finished(&messages, &Messages::finished);
    if (sequence) {
        writeMessage(Message::welcome);
        messages.append(Message::welcome, true);
        messages.append(QStringLiteral("message999.wav"));
        messages.playMessages();
    } else {
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^\\[Messages::play\\]")));
        messages.play(QStringLiteral("message999.wav"));
    }
    QVERIFY(finished.wait());
    QCOMPARE(finished.count(), 1);
    QCOMPARE(m_player->lines().last(), QStringLiteral("end: 2"));
}

QTEST_GUILESS_MAIN(MessagesTest)
#include "messagestest.moc"
