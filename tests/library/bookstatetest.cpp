// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/bookstate.h"
#include "library/resumemark.h"
#include "library/resumemarker.h"
#include "library/resumemarkmanager.h"
#include "testroot.h"

#include <QRegularExpression>
#include <QTest>

#include <memory>

namespace {

const QString markerFile = QStringLiteral("/root/quimbo/resumemarker.xml");
const QString markFile = QStringLiteral("/root/quimbo/resumemark.xml");

/** A player's save of a place, through the store that kind of player uses. */
bool savePlace(BookKey::Store store, const QString &title, const QString &identifier, int first, qint64 time)
{
    if (store == BookKey::Markers) {
        ResumeMarker marker(title, identifier);
        marker.setSpineIndex(first);
        marker.setTimeOffset(time);
        return ResumeMarkManager::saveResumeMarker(&marker);
    }
    ResumemarkData data;
    data.title = title;
    data.identifier = identifier;
    data.smilListPos = first;
    data.playerTime = time;
    return Resumemark().write(data);
}

/** A player's load of its place: first number and time, "-" when there is none. */
QString loadPlace(BookKey::Store store, const QString &title, const QString &identifier)
{
    if (store == BookKey::Markers) {
        const std::unique_ptr<ResumeMarker> marker(ResumeMarkManager::loadResumeMarker(title, identifier));
        return QStringLiteral("%1@%2").arg(marker->spineIndex()).arg(marker->timeOffset());
    }
    ResumemarkData data;
    data.title = title;
    data.identifier = identifier;
    if (!Resumemark().read(data))
        return QStringLiteral("-");
    return QStringLiteral("%1@%2").arg(data.smilListPos).arg(data.playerTime);
}

void addStores()
{
    QTest::addColumn<int>("store");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("oldFile");
    QTest::newRow("resume markers (DAISY)") << int(BookKey::Markers) << markerFile
                                            << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<quimbo_resumemarks>\n"
                                                          "    <resumemark title=\"Monthly News\" timeOffset=\"4200\" spineIndex=\"3\" clipIndex=\"0\"/>\n"
                                                          "</quimbo_resumemarks>\n");
    QTest::newRow("resume marks (EPUB and the others)")
        << int(BookKey::Marks) << markFile
        << QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<resumemarks>\n <resumemark>\n  <title>Monthly News</title>\n"
                      "  <smilListPos>3</smilListPos>\n  <navListPos>0</navListPos>\n  <clipNodePos>0</clipNodePos>\n"
                      "  <playerTime>4200</playerTime>\n </resumemark>\n</resumemarks>\n");
}

} // namespace

class BookStateTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestRoot> m_root;

private Q_SLOTS:
    void init()
    {
        m_root = std::make_unique<TestRoot>();
        BookClock::setClock([] { return qint64(1'700'000'000'000); });
    }
    void cleanup()
    {
        BookClock::setClock({});
        m_root.reset();
    }

    void twoBooksOfOneTitleKeepTwoPlaces_data() { addStores(); }
    void twoBooksOfOneTitleKeepTwoPlaces()
    {
        QFETCH(int, store);
        const auto kind = BookKey::Store(store);
        const QString title = QStringLiteral("Monthly News");
        QVERIFY(savePlace(kind, title, QStringLiteral("issue-11"), 2, 1500));
        QVERIFY(savePlace(kind, title, QStringLiteral("issue-12"), 5, 9000));
        QVERIFY(savePlace(kind, title, QStringLiteral("issue-11"), 4, 2500));
        QCOMPARE(loadPlace(kind, title, QStringLiteral("issue-11")), QStringLiteral("4@2500"));
        QCOMPARE(loadPlace(kind, title, QStringLiteral("issue-12")), QStringLiteral("5@9000"));
        // A third issue has no place yet.
        QVERIFY(loadPlace(kind, title, QStringLiteral("issue-13")) != QStringLiteral("4@2500"));
        QVERIFY(loadPlace(kind, title, QStringLiteral("issue-13")) != QStringLiteral("5@9000"));
    }

    void oldMarkIsFoundAndUpgraded_data() { addStores(); }
    void oldMarkIsFoundAndUpgraded()
    {
        QFETCH(int, store);
        QFETCH(QString, file);
        QFETCH(QByteArray, oldFile);
        const auto kind = BookKey::Store(store);
        const QString title = QStringLiteral("Monthly News");
        QVERIFY(m_root->writeFile(file, oldFile));
        QCOMPARE(loadPlace(kind, title, QStringLiteral("issue-11")), QStringLiteral("3@4200"));
        // Stopping the book writes its identifier into the same entry.
        QVERIFY(savePlace(kind, title, QStringLiteral("issue-11"), 3, 4800));
        const QString content = QString::fromUtf8(m_root->readFile(file));
        QCOMPARE(content.count(QRegularExpression(QStringLiteral("<resumemark[\\s/>]"))), 1);
        QVERIFY2(content.contains(QStringLiteral("identifier=\"issue-11\"")), qPrintable(content));
        // From now on the mark is that alone.
        QCOMPARE(loadPlace(kind, title, QStringLiteral("issue-11")), QStringLiteral("3@4800"));
        QVERIFY(loadPlace(kind, title, QStringLiteral("issue-12")) != QStringLiteral("3@4800"));
    }

    void extrasSurviveThePlayersSaves_data() { addStores(); }
    void extrasSurviveThePlayersSaves()
    {
        QFETCH(int, store);
        const BookKey key{BookKey::Store(store), QStringLiteral("Große Werke"), QStringLiteral("urn:isbn:1")};
        QVERIFY(BookState::update(key, [](BookPlace &, BookExtras &extras) {
            extras.tempo = 2.5f;
            extras.pitch = -2;
            QCOMPARE(extras.addBookmark({1, 0, 0, 700}), 1);
            QCOMPARE(extras.addBookmark({0, 0, 0, 900}), 1);
        }));
        BookClock::setClock([] { return qint64(1'700'000'360'000); });
        QVERIFY(savePlace(key.store, key.title, key.identifier, 2, 3300));

        BookPlace place;
        BookExtras extras;
        QVERIFY(BookState::read(key, &place, &extras));
        QCOMPARE(place.first, 2);
        QCOMPARE(place.time, qint64(3300));
        QCOMPARE(extras.tempo, 2.5f);
        QCOMPARE(extras.pitch, -2);
        QCOMPARE(extras.storedAt, qint64(1'700'000'360'000));
        QCOMPARE(extras.bookmarks.size(), 2);
        QCOMPARE(extras.bookmarks.at(0).first, 0); // book order, not the order they were set in
        QCOMPARE(extras.bookmarks.at(1).time, qint64(700));
    }

    void damagedExtrasAreDroppedAndThePlaceKept_data()
    {
        QTest::addColumn<QByteArray>("attributes");
        QTest::addColumn<int>("bookmarks");
        QTest::addColumn<float>("tempo");
        QTest::newRow("bookmark not four numbers") << QByteArray("bookmarks=\"1,2,3 0,0,0,5 x,y,z,w\"") << 1 << 0.0f;
        QTest::newRow("negative bookmark") << QByteArray("bookmarks=\"0,0,0,-5\"") << 0 << 0.0f;
        QTest::newRow("tempo is no number") << QByteArray("tempo=\"fast\" pitch=\"1\"") << 0 << 0.0f;
        QTest::newRow("absurd tempo") << QByteArray("tempo=\"1e9\" pitch=\"0\"") << 0 << 0.0f;
        QTest::newRow("good pair") << QByteArray("tempo=\"1.5\" pitch=\"2\"") << 0 << 1.5f;
    }
    void damagedExtrasAreDroppedAndThePlaceKept()
    {
        QFETCH(QByteArray, attributes);
        QFETCH(int, bookmarks);
        QFETCH(float, tempo);
        QVERIFY(m_root->writeFile(markerFile, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<quimbo_resumemarks>\n"
                                              "    <resumemark title=\"Book\" timeOffset=\"4200\" spineIndex=\"3\" clipIndex=\"1\" "
                                      + attributes + "/>\n</quimbo_resumemarks>\n"));
        if (bookmarks == 0 && tempo == 0.0f)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^\\[BookExtras::read\\] ")));
        else if (bookmarks == 1)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^\\[BookExtras::read\\] damaged or surplus bookmarks dropped: 2")));
        BookPlace place;
        BookExtras extras;
        QVERIFY(BookState::read({BookKey::Markers, QStringLiteral("Book"), QString()}, &place, &extras));
        QCOMPARE(place.first, 3);
        QCOMPARE(place.second, 1);
        QCOMPARE(place.time, qint64(4200));
        QCOMPARE(extras.bookmarks.size(), bookmarks);
        QCOMPARE(extras.tempo, tempo);
    }
};

QTEST_GUILESS_MAIN(BookStateTest)
#include "bookstatetest.moc"
