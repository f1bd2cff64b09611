// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "simcommandrunner.h"

#include "platform/devicestatus.h"
#include "platform/platform.h"
#include "platform/sim/axp209model.h"
#include "platform/sim/simboard.h"
#include "platform/sim/simear.h"
#include "platform/sim/simmedia.h"

#include "platform/paths.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QQueue>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <functional>

#include <algorithm>

using Platform::Axp209Model;
using Platform::SimBoard;
using Platform::SimMedia;

namespace {
const QString kPowerButtonDevice = QStringLiteral("/dev/input/event1");
const QString kHeadphoneDevice = QStringLiteral("/dev/input/event2");
constexpr int kLinuxKeyPower = 116;
constexpr int kEvKey = 1;
constexpr int kEvSw = 5;
constexpr int kSwHeadphoneInsert = 2;
constexpr int kUsbFaultLine = 202;
constexpr int kEfuseLine = 36;
const QString kAdapterDevice = QStringLiteral("/dev/input/event3");
constexpr int kAdapterKey = 30;
constexpr int kAwaitPollMsec = 20;
constexpr int kKeyUpMsec = 100;
constexpr qint64 kScanStartMsec = 500;
qint64 s_logStart = 0;
} // namespace

class SimCommandRunnerPrivate
{
public:
    struct Pending {
        SimCommand command;
        int atMsec;
    };

    explicit SimCommandRunnerPrivate(SimCommandRunner *qq)
        : q(qq)
    {
        timer.setSingleShot(true);
        clock.start();
    }

    ~SimCommandRunnerPrivate()
    {
        // A client that goes away in the middle of a hold must not leave the
        // key down for ever.
        if (keyDown)
            setKey(keyDown, false);
    }

    void next();
    void run(const SimCommand &command);
    void done(const SimCommand &command, const QString &answer);
    static void setKey(int key, bool down);
    /**
     * Calls then() once the keypad has scanned `ticks` times, or, while it is
     * not scanning at all, after the same time on the clock.
     */
    void afterScans(int ticks, std::function<void()> then);
    /** Looks for the awaited text in the log; true when found. */
    bool findInLog(const QString &text);
    /** The same among the engine's "[sim] engine …" lines. */
    bool findInEngineEvents(const QString &text);
    void pollAwait(const SimCommand &command);

    SimCommandRunner *const q;
    QQueue<Pending> queue;
    QTimer timer;
    QElapsedTimer clock;
    bool running = false;
    bool revisionAllowed = false;
    int keyDown = 0; ///< the key of a tap or hold in progress
    qint64 logPosition = -1; ///< after the last line an "await" matched
    qsizetype enginePosition = 0; ///< after the last engine line an "await" matched
    qsizetype soundPosition = 0; ///< the same for the sound lines
    QElapsedTimer awaitClock;
};

SimCommandRunner::SimCommandRunner(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<SimCommandRunnerPrivate>(this))
{
}

SimCommandRunner::~SimCommandRunner() = default;

void SimCommandRunner::enqueue(const SimCommand &command, int atMsec)
{
    d->queue.enqueue({command, atMsec});
    if (!d->running)
        d->next();
}

void SimCommandRunner::restartClock()
{
    d->clock.restart();
}

bool SimCommandRunner::isBusy() const
{
    return d->running || !d->queue.isEmpty();
}

void SimCommandRunner::setLogStart(qint64 offset)
{
    s_logStart = offset;
}

void SimCommandRunner::setRevisionAllowed(bool allowed)
{
    d->revisionAllowed = allowed;
}

int SimCommandRunner::keyMsec(int deviceMsec)
{
    return std::max(1, deviceMsec / 10) * Platform::scaledMsec(10);
}

void SimCommandRunnerPrivate::setKey(int key, bool down)
{
    SimBoard *board = SimBoard::instance();
    if (key == SimCommand::kPowerKey)
        board->setPowerButton(down);
    else if (down)
        board->pressKey(key);
    else
        board->releaseKey(key);
}

void SimCommandRunnerPrivate::afterScans(int ticks, std::function<void()> then)
{
    // The keypad counts scans, not milliseconds: on a loaded machine a scan
    // takes longer than its period, and a hold timed on the clock would end
    // before the keypad saw 200 scans. Rows are no measure of scans: a scan
    // reads them until it meets the key, so a key in the last column would
    // count three times and a hold of play would end at half its length.
    const SimBoard *board = SimBoard::instance();
    const int start = board->keypadScanCount();
    QElapsedTimer clock;
    clock.start();
    const qint64 clockMsec = SimCommandRunner::keyMsec(ticks * 10);
    timer.disconnect();
    QObject::connect(&timer, &QTimer::timeout, q, [this, board, start, clock, clockMsec, ticks, then] {
        // A scan is over once the next one starts: only then has it read
        // every row, the key's too, however the scan thread was held up.
        const int scans = board->keypadScanCount() - start - 1;
        const qint64 elapsed = clock.elapsed();
        // A keypad that is not scanning (a mode hands over, or the keys are
        // off) gets half a second to start before the key is let go unseen;
        // one that scans only now and then never holds the command for long.
        if (scans >= ticks || (scans < 0 && elapsed >= std::max<qint64>(clockMsec, kScanStartMsec))
            || elapsed >= 20 * clockMsec + 1000) {
            then();
            return;
        }
        timer.start(1);
    });
    timer.start(1);
}

bool SimCommandRunnerPrivate::findInLog(const QString &text)
{
    QFile log(Platform::path(QStringLiteral("/root/quimbo/log")));
    if (!log.open(QIODevice::ReadOnly))
        return false;
    if (logPosition < 0 || logPosition > log.size())
        logPosition = std::min(s_logStart, log.size());
    if (!log.seek(logPosition))
        return false;
    const QByteArray wanted = text.toUtf8();
    const QByteArray data = log.readAll();
    qsizetype start = 0;
    qsizetype end;
    while ((end = data.indexOf('\n', start)) >= 0) {
        if (data.mid(start, end - start).contains(wanted)) {
            logPosition += end + 1;
            return true;
        }
        start = end + 1;
    }
    // Lines without the text are done with; a line still being written is
    // read again, whole, next time.
    logPosition += start;
    return false;
}

bool SimCommandRunnerPrivate::findInEngineEvents(const QString &text)
{
    const auto find = [&text](const QStringList &events, const QString &prefix, qsizetype *position) {
        if (*position > events.size())
            *position = 0;
        for (qsizetype i = *position; i < events.size(); ++i) {
            if (QString(prefix + events.at(i)).contains(text)) {
                *position = i + 1;
                return true;
            }
        }
        *position = events.size();
        return false;
    };
    const SimBoard *board = SimBoard::instance();
    return find(board->engineEventLog(), QStringLiteral("[sim] engine "), &enginePosition)
        || find(board->soundLog(), QStringLiteral("[sim] sound "), &soundPosition);
}

void SimCommandRunnerPrivate::pollAwait(const SimCommand &command)
{
    if (findInEngineEvents(command.text) || findInLog(command.text)) {
        done(command, QStringLiteral("ok"));
        return;
    }
    if (awaitClock.elapsed() > SimCommandRunner::kAwaitTimeoutMsec) {
        done(command, QStringLiteral("error: no log line with \"%1\" after %2 ms").arg(command.text).arg(SimCommandRunner::kAwaitTimeoutMsec));
        return;
    }
    timer.start(kAwaitPollMsec);
}

void SimCommandRunnerPrivate::next()
{
    if (queue.isEmpty()) {
        if (running) {
            running = false;
            Q_EMIT q->finished();
        }
        return;
    }
    running = true;
    const Pending pending = queue.head();
    if (pending.atMsec >= 0) {
        const qint64 due = Platform::scaledMsec(pending.atMsec);
        const qint64 left = due - clock.elapsed();
        if (left > 0) {
            timer.disconnect();
            QObject::connect(&timer, &QTimer::timeout, q, [this] { next(); });
            timer.start(int(left));
            return;
        }
    }
    queue.dequeue();
    run(pending.command);
}

void SimCommandRunnerPrivate::done(const SimCommand &command, const QString &answer)
{
    Q_EMIT q->answered(command, answer);
    // Later commands start from the event loop, so that a quit or a socket
    // answer is never handled inside the emission of the previous one.
    QTimer::singleShot(0, q, [this] { next(); });
}

void SimCommandRunnerPrivate::run(const SimCommand &command)
{
    Q_EMIT q->started(command);
    SimBoard *board = SimBoard::instance();
    const QString ok = QStringLiteral("ok");
    switch (command.type) {
    case SimCommand::Press:
        setKey(command.key, true);
        done(command, ok);
        return;
    case SimCommand::Release:
        setKey(command.key, false);
        done(command, ok);
        return;
    case SimCommand::Tap:
    case SimCommand::Hold:
        setKey(command.key, true);
        keyDown = command.key;
        if (command.key == SimCommand::kPowerKey) {
            // The power button times its hold on the clock, like the device.
            timer.disconnect();
            QObject::connect(&timer, &QTimer::timeout, q, [this, command] {
                setKey(command.key, false);
                keyDown = 0;
                done(command, QStringLiteral("ok"));
            });
            timer.start(Platform::scaledMsec(command.value));
            return;
        }
        afterScans(std::max(1, command.value / 10), [this, command] {
            setKey(command.key, false);
            keyDown = 0;
            // The keypad only reports a release it has scanned; a key pressed
            // again before that would merge with this one.
            afterScans(kKeyUpMsec / 10, [this, command] { done(command, QStringLiteral("ok")); });
        });
        return;
    case SimCommand::Wait:
        timer.disconnect();
        QObject::connect(&timer, &QTimer::timeout, q, [this, command] { done(command, QStringLiteral("ok")); });
        timer.start(Platform::scaledMsec(command.value));
        return;
    case SimCommand::Await:
        awaitClock.start();
        timer.disconnect();
        QObject::connect(&timer, &QTimer::timeout, q, [this, command] { pollAwait(command); });
        pollAwait(command);
        return;
    case SimCommand::Knob:
        board->turnKnob(command.value);
        done(command, ok);
        return;
    case SimCommand::Headphones:
        board->setSwitch(kHeadphoneDevice, kSwHeadphoneInsert, command.value != 0);
        done(command, ok);
        return;
    case SimCommand::UsbFault:
        // The over-current input is active low.
        board->setInputLine(kUsbFaultLine, command.value ? 0 : 1);
        done(command, ok);
        return;
    case SimCommand::Revision:
        if (!revisionAllowed) {
            done(command, QStringLiteral("error: the revision can only be set before the firmware starts"));
            return;
        }
        board->setRevision(command.value == 6 ? 7 : 0);
        done(command, ok);
        return;
    case SimCommand::Log:
        Q_EMIT q->echo(command.text);
        done(command, ok);
        return;
    case SimCommand::Status:
        done(command, ok + QLatin1Char(' ') + SimCommandRunner::statusText());
        return;
    case SimCommand::Quit:
        done(command, ok);
        Q_EMIT q->quitRequested();
        return;
    case SimCommand::MediaInsert: {
        SimMedia *media = SimMedia::instance();
        const QString folder = QFileInfo(command.text).absoluteFilePath();
        bool inserted = false;
        if (command.key == SimCommand::kCdDataDisc || command.key == SimCommand::kCdAudioDisc)
            inserted = media->insertDisc(command.key == SimCommand::kCdAudioDisc ? SimMedia::AudioDisc : SimMedia::DataDisc, folder);
        else
            inserted = media->insert(command.key == SimCommand::kUsbSlot ? SimMedia::UsbSlot : SimMedia::SdSlot, folder, command.fileSystem);
        done(command, inserted ? ok : QStringLiteral("error: no folder \"%1\"").arg(folder));
        return;
    }
    case SimCommand::MediaRemove: {
        SimMedia *media = SimMedia::instance();
        bool removed = true;
        if (command.key == SimCommand::kCdDataDisc)
            media->removeDisc();
        else
            removed = media->remove(command.key == SimCommand::kUsbSlot ? SimMedia::UsbSlot : SimMedia::SdSlot);
        done(command, removed ? ok : QStringLiteral("error: the %1 slot is empty").arg(SimCommand::slotName(command.key)));
        return;
    }
    case SimCommand::CdTray:
        SimMedia::instance()->setTrayOpen(command.value != 0);
        done(command, ok);
        return;
    case SimCommand::Adapter:
        // A new plug resets a tripped e-fuse (active low).
        if (command.value)
            board->setInputLine(kEfuseLine, 1);
        // Plugged before the firmware starts: plugging it is what switched the device on.
        if (revisionAllowed)
            Axp209Model::instance().setAdapterBootSource(command.value != 0);
        board->setKey(kAdapterDevice, kAdapterKey, command.value != 0);
        done(command, ok);
        return;
    case SimCommand::BatteryVoltage:
        Axp209Model::instance().setBatteryMillivolts(command.value);
        done(command, ok);
        return;
    case SimCommand::BatteryTemperature:
        Axp209Model::instance().setBatteryTemperature(command.value);
        done(command, ok);
        return;
    case SimCommand::EfuseTrip:
        board->setInputLine(kEfuseLine, 0);
        done(command, ok);
        return;
    case SimCommand::Invalid:
        break;
    }
    // A line that did not parse goes through the queue too, so that its
    // answer keeps its place among the answers of the lines around it.
    done(command, QStringLiteral("error: ") + (command.text.isEmpty() ? QStringLiteral("invalid command") : command.text));
}

QString SimCommandRunner::statusText()
{
    const SimBoard *board = SimBoard::instance();
    auto onOff = [](bool on) { return on ? QStringLiteral("on") : QStringLiteral("off"); };
    QStringList keys;
    if (board->inputState(kPowerButtonDevice, kEvKey, kLinuxKeyPower))
        keys << SimCommand::keyName(SimCommand::kPowerKey);
    for (int code = 2050; code <= 2060; ++code) {
        if (code != 2054 && code != 2055 && board->isKeyDown(code))
            keys << SimCommand::keyName(code);
    }
    const SimMedia *media = SimMedia::instance();
    auto slot = [media](SimMedia::Slot s) { return media->isInserted(s) ? media->deviceNode(s) : QStringLiteral("none"); };
    QString cd = media->isTrayOpen() ? QStringLiteral("open") : QStringLiteral("empty");
    if (!media->isTrayOpen() && media->disc() != SimMedia::NoDisc)
        cd = media->disc() == SimMedia::AudioDisc ? QStringLiteral("audio") : QStringLiteral("data");
    const QStringList mounts = media->mounts();
    const QString mediaText = QStringLiteral(" usbslot=%1 sdslot=%2 cd=%3 mounts=%4")
                                  .arg(slot(SimMedia::UsbSlot), slot(SimMedia::SdSlot), cd,
                                       mounts.isEmpty() ? QStringLiteral("none") : mounts.join(QLatin1Char(',')));
    return QStringLiteral("led0=%1 led1=%2 usb0=%3 usb1=%4 keys=%5 headphones=%6 line202=%7 revision=%8 poweredoff=%9")
        .arg(onOff(board->led(0)), onOff(board->led(1)), onOff(board->usbPower(0)), onOff(board->usbPower(1)),
             keys.isEmpty() ? QStringLiteral("none") : keys.join(QLatin1Char(',')),
             board->inputState(kHeadphoneDevice, kEvSw, kSwHeadphoneInsert) ? QStringLiteral("in") : QStringLiteral("out"),
             QString::number(board->lineValue(kUsbFaultLine)),
             board->revision() == 7 ? QStringLiteral("6") : QStringLiteral("4"),
             board->isPoweredOff() ? QStringLiteral("yes") : QStringLiteral("no"))
        + mediaText + powerText() + firmwareText();
}

QString SimCommandRunner::firmwareText()
{
    const SimBoard *board = SimBoard::instance();
    // The controller's own names for its modes, as a reader would call them.
    static const QHash<QString, QString> modeNames = {
        {QStringLiteral("Starting"), QStringLiteral("start")}, {QStringLiteral("PowerUp"), QStringLiteral("start")},
        {QStringLiteral("Main"), QStringLiteral("main")}, {QStringLiteral("BookShelf"), QStringLiteral("shelf")},
        {QStringLiteral("Player"), QStringLiteral("player")}, {QStringLiteral("SystemSettings"), QStringLiteral("menu")},
        {QStringLiteral("Idle"), QStringLiteral("idle")}, {QStringLiteral("Shutdown"), QStringLiteral("shutdown")},
        {QStringLiteral("PoweredOff"), QStringLiteral("off")}, {QStringLiteral("LogBackup"), QStringLiteral("logbackup")},
    };
    // The newest answer wins: the manual reads inside the menu's mode.
    const QStringList modes = Platform::statusAnswers(QStringLiteral("mode"));
    QString mode = board->isPoweredOff() ? QStringLiteral("off") : QStringLiteral("start");
    if (!board->isPoweredOff() && !modes.isEmpty())
        mode = modeNames.value(modes.last(), modes.last().toLower());

    // A book is KIND:NAME, its folder or file name with blanks and other
    // separators percent-encoded, so the line still splits at blanks.
    static const QHash<QString, QString> kinds = {{QStringLiteral("0"), QStringLiteral("daisy")}, {QStringLiteral("1"), QStringLiteral("epub")},
                                                  {QStringLiteral("2"), QStringLiteral("cd")}, {QStringLiteral("3"), QStringLiteral("mp3")}};
    const QStringList books = Platform::statusAnswers(QStringLiteral("book"));
    QString book = QStringLiteral("none");
    QString player = QStringLiteral("none");
    if (!books.isEmpty()) {
        const QString answer = books.last();
        const qsizetype colon = answer.indexOf(QLatin1Char(':'));
        // A DAISY book is named by its folder, not by its "ncc.html" or package file.
        const QFileInfo url(answer.mid(colon + 1));
        const QString suffix = url.suffix().toLower();
        const bool navigation = suffix == QLatin1String("html") || suffix == QLatin1String("htm") || suffix == QLatin1String("opf");
        const QString name = navigation ? url.dir().dirName() : url.fileName();
        book = kinds.value(answer.left(colon), QStringLiteral("other")) + QLatin1Char(':') + QString::fromLatin1(QUrl::toPercentEncoding(name));
        const QStringList players = Platform::statusAnswers(QStringLiteral("player"));
        player = players.isEmpty() ? QStringLiteral("stopped") : players.last();
    }
    const QStringList muted = Platform::statusAnswers(QStringLiteral("muted"));

    // Of several countdowns (a mode's and the controller's) the first to end decides.
    const auto soonest = [](const QString &field) {
        int best = -1;
        for (const QString &answer : Platform::statusAnswers(field)) {
            bool ok = false;
            const int left = answer.toInt(&ok);
            if (ok && (best < 0 || left < best))
                best = left;
        }
        return best < 0 ? QStringLiteral("off") : QString::number(best);
    };
    const QStringList shelf = Platform::statusAnswers(QStringLiteral("shelf"));
    const QStringList input = Platform::statusAnswers(QStringLiteral("keys"));
    return QStringLiteral(" mode=%1 book=%2 player=%3 muted=%4 standby=%5 sleep=%6 shelf=%7 input=%8 ear=%9")
        .arg(mode, book, player, muted.isEmpty() ? QStringLiteral("no") : muted.last(), soonest(QStringLiteral("standby")),
             soonest(QStringLiteral("sleep")), shelf.isEmpty() ? QStringLiteral("0") : shelf.last(),
             input.isEmpty() ? QStringLiteral("off") : input.last(),
             Platform::SimEar::instance()->isAudible() ? QStringLiteral("audible") : QStringLiteral("silent"));
}

QString SimCommandRunner::powerText()
{
    const Axp209Model &chip = Axp209Model::instance();
    const bool adapter = SimBoard::instance()->inputState(kAdapterDevice, kEvKey, kAdapterKey);
    return QStringLiteral(" adapter=%1 battery=%2mV charging=%3 batterytemp=%4 efuse=%5")
        .arg(adapter ? QStringLiteral("in") : QStringLiteral("out"))
        .arg(chip.batteryMillivolts())
        .arg(chip.isCharging() ? QStringLiteral("yes") : QStringLiteral("no"))
        .arg(chip.batteryTemperature(), 0, 'f', 1)
        .arg(SimBoard::instance()->lineValue(kEfuseLine) == 0 ? QStringLiteral("tripped") : QStringLiteral("ok"));
}
