// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_TESTS_PLAYERFIXTURE_H
#define QUIMBO_TESTS_PLAYERFIXTURE_H

#include "logcapture.h"
#include "testroot.h"

#include "library/resumemark.h"
#include "platform/platform.h"
#include "platform/sim/simboard.h"

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

/** Setup the book player tests share. */
namespace PlayerFixture {

/** For init(): a fresh device root and book folder on a reset simulated board. */
inline void startSimulated(std::unique_ptr<TestRoot> &root, std::unique_ptr<QTemporaryDir> &books)
{
    root = std::make_unique<TestRoot>();
    books = std::make_unique<QTemporaryDir>();
    Platform::setBackend(Platform::Backend::Simulated);
    Platform::SimBoard::instance()->reset();
}

/** For cleanup(): what startSimulated() made is gone, the Linux backend back. */
inline void endSimulated(std::unique_ptr<TestRoot> &root, std::unique_ptr<QTemporaryDir> &books)
{
    books.reset();
    root.reset();
    Platform::setBackend(Platform::Backend::Linux);
}

/** A resume mark of a book of numbered tracks: @p track at @p time ms, keyed by @p title. */
inline ResumemarkData trackMark(const QString &title, int track, qint64 time = 0)
{
    ResumemarkData data;
    data.title = title;
    data.navListPos = track;
    data.playerTime = time;
    return data;
}

/** Writes @p mark to the resume-mark store: true when written. */
inline bool storeMark(ResumemarkData mark)
{
    return Resumemark().write(mark);
}

/** The stored resume mark of @p key (its title and its "not read" markers), as read back. */
inline ResumemarkData storedMark(ResumemarkData key)
{
    Resumemark().read(key);
    return key;
}

/** Fails the running test when @p actual is more than @p tolerance ms from @p expected. */
inline void compareNear(qint64 actual, qint64 expected, qint64 tolerance)
{
    QVERIFY2(qAbs(actual - expected) <= tolerance, qPrintable(QStringLiteral("%1 is not near %2").arg(actual).arg(expected)));
}

/** A 440 Hz tone of @p seconds made by sox, its kind by the suffix of @p path; @p cd: 44.1 kHz, 16 bits. */
inline bool makeTone(const QString &path, int seconds, bool cd = false)
{
    QStringList arguments{QStringLiteral("-n"), QStringLiteral("-r"), cd ? QStringLiteral("44100") : QStringLiteral("22050"), QStringLiteral("-c"), QStringLiteral("1")};
    if (cd)
        arguments << QStringLiteral("-b") << QStringLiteral("16");
    arguments << path << QStringLiteral("synth") << QString::number(seconds) << QStringLiteral("sine") << QStringLiteral("440");
    QProcess sox;
    sox.start(QStringLiteral("sox"), arguments);
    return sox.waitForFinished(30000) && sox.exitStatus() == QProcess::NormalExit && sox.exitCode() == 0;
}

/** What the voices said while @p log ran: prompts by file name (as Message names them), numbers as digits. */
inline QStringList spoken(const LogCapture &log)
{
    QStringList names;
    static const QRegularExpression line(QStringLiteral("^\\[Messages::playMessages\\]: (.*)$"));
    for (const QString &text : log.lines()) {
        const QRegularExpressionMatch m = line.match(text);
        if (!m.hasMatch())
            continue;
        const QString file = QFileInfo(m.captured(1)).fileName();
        names << (file.startsWith(QLatin1String("message")) ? file : QFileInfo(file).completeBaseName());
    }
    return names;
}

} // namespace PlayerFixture

#endif
