// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "simdisplay.h"

#include "platform/sim/simboard.h"
#include "platform/sim/simmedia.h"
#include "sim/simcommand.h"

#include <QFile>
#include <QTimer>

#include <cstdio>

using Platform::SimBoard;

namespace {
constexpr int kPollMsec = 100;
} // namespace

class SimDisplayPrivate
{
public:
    struct Tail {
        QString fileName;
        qint64 offset = 0;
        QByteArray partial;
    };

    /** New complete lines of the file; starts over when the file was rotated. */
    static QList<QByteArray> readNew(Tail *tail);

    Tail voice;
    Tail log;
    QTimer timer;
};

SimDisplay::SimDisplay(const QString &voiceFile, const QString &logFile, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<SimDisplayPrivate>())
{
    d->voice.fileName = voiceFile;
    d->log.fileName = logFile;
    // Whatever was logged before this run is old news.
    if (!logFile.isEmpty())
        d->log.offset = QFile(logFile).size();
    if (!voiceFile.isEmpty())
        d->voice.offset = QFile(voiceFile).size();

    auto onOff = [](bool on) { return on ? QStringLiteral("on") : QStringLiteral("off"); };
    SimBoard *board = SimBoard::instance();
    // The board emits from whichever thread changed it (the keypad thread too).
    connect(board, &SimBoard::ledChanged, this, [onOff](int index, bool on) {
        show(QStringLiteral("LED%1 %2").arg(index).arg(onOff(on)));
    }, Qt::QueuedConnection);
    connect(board, &SimBoard::usbPowerChanged, this, [onOff](int port, bool on) {
        show(QStringLiteral("USB%1 power %2").arg(port).arg(onOff(on)));
    }, Qt::QueuedConnection);
    connect(board, &SimBoard::keyChanged, this, [](int code, bool down) {
        show(QStringLiteral("key %1 %2").arg(SimCommand::keyName(code), down ? QStringLiteral("pressed") : QStringLiteral("released")));
    }, Qt::QueuedConnection);
    connect(board, &SimBoard::engineEvent, this, [](const QString &event) {
        show(QStringLiteral("engine ") + event);
    }, Qt::QueuedConnection);
    connect(board, &SimBoard::soundStarted, this, [](const QString &name) {
        show(QStringLiteral("sound ") + name);
    }, Qt::QueuedConnection);
    connect(board, &SimBoard::systemAction, this, [this](const QString &action) {
        poll();
        show(QStringLiteral("system: ") + action);
    }, Qt::QueuedConnection);

    // Media change on the simulator's side, mounts on the firmware's search threads.
    Platform::SimMedia *media = Platform::SimMedia::instance();
    connect(media, &Platform::SimMedia::mediaChanged, this, [](const QString &slot, const QString &what) {
        show(slot + QLatin1Char(' ') + what);
    }, Qt::QueuedConnection);
    connect(media, &Platform::SimMedia::mounted, this, [](const QString &device, const QString &mountPath) {
        show(QStringLiteral("mounted %1 on %2").arg(device, mountPath));
    }, Qt::QueuedConnection);
    connect(media, &Platform::SimMedia::unmounted, this, [](const QString &mountPath) {
        show(QStringLiteral("unmounted ") + mountPath);
    }, Qt::QueuedConnection);

    connect(&d->timer, &QTimer::timeout, this, &SimDisplay::poll);
    d->timer.start(kPollMsec);
}

SimDisplay::~SimDisplay()
{
    poll();
}

void SimDisplay::show(const QString &text)
{
    std::fputs("[sim] ", stdout);
    std::fputs(text.toUtf8().constData(), stdout);
    std::fputs("\n", stdout);
    std::fflush(stdout);
}

QList<QByteArray> SimDisplayPrivate::readNew(Tail *tail)
{
    QList<QByteArray> lines;
    if (tail->fileName.isEmpty())
        return lines;
    QFile file(tail->fileName);
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    if (file.size() < tail->offset) {
        tail->offset = 0;
        tail->partial.clear();
    }
    if (!file.seek(tail->offset))
        return lines;
    const QByteArray data = tail->partial + file.readAll();
    tail->offset = file.pos();
    const int end = data.lastIndexOf('\n');
    tail->partial = data.mid(end + 1);
    if (end < 0)
        return lines;
    for (const QByteArray &line : data.left(end).split('\n')) {
        if (!line.isEmpty())
            lines << line;
    }
    return lines;
}

void SimDisplay::poll()
{
    for (const QByteArray &line : SimDisplayPrivate::readNew(&d->voice))
        show(QStringLiteral("voice ") + QString::fromUtf8(line));
    for (const QByteArray &line : SimDisplayPrivate::readNew(&d->log)) {
        // Debug lines are on standard error already; repeat only what is not.
        if (!line.contains(" Debug: "))
            show(QStringLiteral("log ") + QString::fromUtf8(line));
    }
}
