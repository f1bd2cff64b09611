// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "fuzz/epubpackagebody.h"
#include "fuzz/markerxmlbody.h"
#include "fuzz/nccbody.h"
#include "fuzz/ncxbody.h"
#include "fuzz/opfbody.h"
#include "fuzz/smilbody.h"
#include "fuzz/updatexmlbody.h"
#include "fuzz/xmlrecoverybody.h"
#include "fuzz/zipreaderbody.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <functional>

namespace {

using Body = std::function<bool(const QByteArray &)>;

// The fuzz targets by the name of their folder under tests/data/fuzz.
const QMap<QString, Body> &targets()
{
    static const QMap<QString, Body> all{
        { QStringLiteral("epubpackage"), FuzzBody::epubpackage },
        { QStringLiteral("markerxml"), FuzzBody::markerxml },
        { QStringLiteral("ncc"), FuzzBody::ncc },
        { QStringLiteral("ncx"), FuzzBody::ncx },
        { QStringLiteral("opf"), FuzzBody::opf },
        { QStringLiteral("smil"), FuzzBody::smil },
        { QStringLiteral("updatexml"), FuzzBody::updatexml },
        { QStringLiteral("xmlrecovery"), FuzzBody::xmlrecovery },
        { QStringLiteral("zipreader"), FuzzBody::zipreader },
    };
    return all;
}

} // namespace

/**
 * Every input the fuzzers found worth keeping (crashes, timeouts, slow units) and
 * the hand-made seeds, replayed through the same bodies the fuzzers run, in an
 * ordinary build.
 */
class FuzzReplayTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void replaysInput_data();
    void replaysInput();
};

void FuzzReplayTest::initTestCase()
{
    FuzzBody::setUp();
}

void FuzzReplayTest::replaysInput_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("file");

    const QDir data(QStringLiteral(QUIMBO_TEST_DATA "/fuzz"));
    const QStringList folders = data.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    // A folder without a fuzzer, or a fuzzer without inputs, is a mistake worth a failing row.
    for (const QString &folder : folders) {
        if (!targets().contains(folder))
            QTest::newRow(qPrintable(folder + QStringLiteral(": no such fuzz target"))) << folder << QString();
    }
    for (auto it = targets().cbegin(); it != targets().cend(); ++it) {
        const QDir folder(data.filePath(it.key()));
        const QStringList files = folder.entryList(QDir::Files, QDir::Name);
        if (files.isEmpty())
            QTest::newRow(qPrintable(it.key() + QStringLiteral(": no inputs"))) << it.key() << QString();
        for (const QString &file : files)
            QTest::newRow(qPrintable(it.key() + QLatin1Char('/') + file)) << it.key() << folder.filePath(file);
    }
}

void FuzzReplayTest::replaysInput()
{
    QFETCH(QString, target);
    QFETCH(QString, file);

    QVERIFY2(targets().contains(target), "a folder under tests/data/fuzz that no fuzzer reads");
    QVERIFY2(!file.isEmpty(), "a fuzz target with no inputs kept");
    QFile input(file);
    QVERIFY(input.open(QIODevice::ReadOnly));
    const QByteArray bytes = input.readAll();
    // A crash fails the whole run and a hang runs into the test's time limit.
    QVERIFY2(targets().value(target)(bytes), "the fuzz body's invariant broke");
}

QTEST_GUILESS_MAIN(FuzzReplayTest)
#include "fuzzreplaytest.moc"
