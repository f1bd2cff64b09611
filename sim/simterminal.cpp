// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "simterminal.h"

#include "sim/simcommandrunner.h"
#include "sim/simdisplay.h"
#include "platform/sim/axp209model.h"
#include "platform/sim/simboard.h"
#include "platform/sim/simmedia.h"

#include <QSocketNotifier>

#include <algorithm>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <termios.h>
#include <unistd.h>

namespace {

// Plain data for the signal handler and atexit(): nothing there may allocate.
struct termios s_savedTermios;
bool s_termiosSaved = false;
int s_signalPipe[2] = {-1, -1};
QString s_stickFolder;
QString s_cardFolder;
QString s_audioDiscFolder;

void restoreTerminal()
{
    if (s_termiosSaved) {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &s_savedTermios);
        s_termiosSaved = false;
    }
}

void onSignal(int signal)
{
    restoreTerminal();
    const char byte = char(signal);
    if (s_signalPipe[1] >= 0 && ::write(s_signalPipe[1], &byte, 1) < 0) {
        // Nothing to do in a signal handler; the terminal is restored already.
    }
}

struct KeyBinding {
    char key;
    int code;
    const char *label;
};

// Mirrors the keypad: three rows of three keys, left hand on the keyboard.
constexpr KeyBinding kGrid[] = {
    {'q', 2050, "menu"}, {'w', 2051, "eject"}, {'e', 2052, "pitch+"},
    {'a', 2058, "rewind"}, {'s', 2060, "play"}, {'d', 2059, "ffwd"},
    {'z', 2057, "speed-"}, {'x', 2053, "pitch-"}, {'c', 2056, "speed+"},
};

} // namespace

class SimTerminalPrivate
{
public:
    explicit SimTerminalPrivate(SimTerminal *qq)
        : q(qq)
    {
    }

    void readKeys();

    SimTerminal *const q;
    SimCommandRunner runner;
    std::unique_ptr<QSocketNotifier> input;
    std::unique_ptr<QSocketNotifier> signalNotifier;
    QByteArray pending;
    bool headphonesIn = false;
    bool usbFault = false;
    bool started = false;
};

SimTerminal::SimTerminal(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<SimTerminalPrivate>(this))
{
    connect(&d->runner, &SimCommandRunner::answered, this, [](const SimCommand &command, const QString &answer) {
        if (command.type == SimCommand::Status)
            SimDisplay::show(QStringLiteral("status: ") + answer.mid(3));
        else if (answer.startsWith(QLatin1String("error")))
            SimDisplay::show(answer);
    });
    connect(&d->runner, &SimCommandRunner::quitRequested, this, &SimTerminal::quitRequested);
}

SimTerminal::~SimTerminal()
{
    stop();
}

void SimTerminal::restoreSettings()
{
    restoreTerminal();
}

bool SimTerminal::isInteractive()
{
    return ::isatty(STDIN_FILENO) == 1;
}

QString SimTerminal::keyMap()
{
    QString map = QStringLiteral(
        "Keypad: a key taps, Shift+key holds it 2.5 s\n"
        "  +--------+--------+--------+\n");
    for (int row = 0; row < 3; ++row) {
        QString keys = QStringLiteral("  |");
        QString labels = QStringLiteral("  |");
        for (int column = 0; column < 3; ++column) {
            const KeyBinding &b = kGrid[row * 3 + column];
            keys += QStringLiteral(" %1      |").arg(QLatin1Char(b.key));
            labels += QStringLiteral(" %1|").arg(QLatin1String(b.label), -7);
        }
        map += keys + QLatin1Char('\n') + labels + QStringLiteral("\n  +--------+--------+--------+\n");
    }
    map += QStringLiteral(
        "  + or up/right arrow    volume knob one step up\n"
        "  - or down/left arrow   volume knob one step down\n"
        "  p / P                  power button: tap / hold 2.5 s (shutdown)\n"
        "  h                      headphones in / out\n"
        "  u                      USB over-current fault on / off\n"
        "  i                      status (LEDs, USB power, keys down, media, power)\n"
        "  g                      power adapter in / out\n"
        "  b                      drain the battery by 250 mV (empty below about 3480 mV)\n"
        "  1                      sample stick in / out (USB slot)\n"
        "  2                      audio CD in / out\n"
        "  3                      SD card without a book in / out\n"
        "  Ctrl-C or Ctrl-D       quit the simulator\n"
        "In a book: s plays and stops (the place is kept), S goes back to its start\n"
        "  a / d                  while playing 10 s back / on; while stopped by the\n"
        "                         navigation mode of the menu: 10 s, a heading or a page\n"
        "  A / D                  held: winding, 5-s steps, then 1, 3 and 5 minutes\n"
        "  Q                      held: where am I (playing), the settings menu (stopped)\n"
        "  q                      sleep timer: 15, 30, 45, 60 minutes, off\n");
    return map;
}

SimCommand SimTerminal::commandForKey(const QByteArray &key, bool headphonesIn, bool usbFault)
{
    QString line;
    if (key == "\x1b[A" || key == "\x1b[C" || key == "+" || key == "=") {
        line = QStringLiteral("knob +1");
    } else if (key == "\x1b[B" || key == "\x1b[D" || key == "-" || key == "_") {
        line = QStringLiteral("knob -1");
    } else if (key.size() == 1) {
        const char c = key.at(0);
        const char lower = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        const QString verb = lower != c ? QStringLiteral("hold ") : QStringLiteral("tap ");
        for (const KeyBinding &b : kGrid) {
            if (b.key == lower)
                line = verb + QString::number(b.code);
        }
        if (lower == 'p')
            line = verb + QStringLiteral("power");
        else if (c == 'h')
            line = headphonesIn ? QStringLiteral("headphones out") : QStringLiteral("headphones in");
        else if (c == 'u')
            line = usbFault ? QStringLiteral("usbfault off") : QStringLiteral("usbfault on");
        else if (c == 'i')
            line = QStringLiteral("status");
        else if (c == 'g')
            line = Platform::SimBoard::instance()->inputState(QStringLiteral("/dev/input/event3"), 1, 30) ? QStringLiteral("adapter out")
                                                                                                        : QStringLiteral("adapter in");
        else if (c == 'b')
            line = QStringLiteral("battery %1").arg(std::max(0, Platform::Axp209Model::instance().batteryMillivolts() - 250));
        else if (c == '1' && !s_stickFolder.isEmpty())
            line = Platform::SimMedia::instance()->isInserted(Platform::SimMedia::UsbSlot) ? QStringLiteral("usb remove")
                                                                                          : QStringLiteral("usb insert ") + s_stickFolder;
        else if (c == '3' && !s_cardFolder.isEmpty())
            line = Platform::SimMedia::instance()->isInserted(Platform::SimMedia::SdSlot) ? QStringLiteral("sd remove")
                                                                                         : QStringLiteral("sd insert ") + s_cardFolder;
        else if (c == '2' && !s_audioDiscFolder.isEmpty())
            line = Platform::SimMedia::instance()->disc() != Platform::SimMedia::NoDisc ? QStringLiteral("cd remove")
                                                                                       : QStringLiteral("cd audio ") + s_audioDiscFolder;
        else if (c == 0x03 || c == 0x04)
            line = QStringLiteral("quit");
    }
    if (line.isEmpty())
        return SimCommand();
    return SimCommand::parse(line, nullptr);
}

void SimTerminal::setMediaFolders(const QString &stick, const QString &card, const QString &audioDisc)
{
    s_stickFolder = stick;
    s_cardFolder = card;
    s_audioDiscFolder = audioDisc;
}

bool SimTerminal::start()
{
    if (d->started)
        return true;
    if (!isInteractive() || ::tcgetattr(STDIN_FILENO, &s_savedTermios) != 0)
        return false;
    struct termios raw = s_savedTermios;
    // Keys arrive one by one without echo; output processing stays on so
    // that "\n" still starts a new line, and Ctrl-C still raises SIGINT.
    raw.c_lflag &= ~tcflag_t(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (::tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0)
        return false;
    s_termiosSaved = true;
    std::atexit(restoreTerminal);

    if (s_signalPipe[0] < 0 && ::pipe(s_signalPipe) != 0)
        s_signalPipe[0] = s_signalPipe[1] = -1;
    if (s_signalPipe[0] >= 0) {
        d->signalNotifier = std::make_unique<QSocketNotifier>(s_signalPipe[0], QSocketNotifier::Read);
        connect(d->signalNotifier.get(), &QSocketNotifier::activated, this, [this] {
            char byte;
            if (::read(s_signalPipe[0], &byte, 1) == 1) {
                SimDisplay::show(QStringLiteral("interrupted; quitting"));
                Q_EMIT quitRequested();
            }
        });
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
    }

    d->input = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
    connect(d->input.get(), &QSocketNotifier::activated, this, [this] { d->readKeys(); });
    d->started = true;
    std::fputs(keyMap().toUtf8().constData(), stdout);
    std::fflush(stdout);
    return true;
}

void SimTerminal::stop()
{
    d->input.reset();
    d->signalNotifier.reset();
    if (d->started) {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
    }
    d->started = false;
    restoreTerminal();
}

void SimTerminalPrivate::readKeys()
{
    char buffer[64];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) {
        // End of input: the terminal went away.
        input.reset();
        Q_EMIT q->quitRequested();
        return;
    }
    pending.append(buffer, int(n));
    while (!pending.isEmpty()) {
        int length = 1;
        if (pending.at(0) == '\x1b') {
            // An escape sequence ("\x1b[A") arrives in one read; a lone Escape is ignored.
            length = pending.size() >= 3 && pending.at(1) == '[' ? 3 : pending.size();
        }
        const QByteArray key = pending.left(length);
        pending.remove(0, length);
        const SimCommand command = SimTerminal::commandForKey(key, headphonesIn, usbFault);
        if (!command.isValid())
            continue;
        if (command.type == SimCommand::Headphones)
            headphonesIn = command.value != 0;
        else if (command.type == SimCommand::UsbFault)
            usbFault = command.value != 0;
        if (command.type != SimCommand::Status && command.type != SimCommand::Quit)
            SimDisplay::show(QStringLiteral("> ") + command.toString());
        runner.enqueue(command);
    }
}
