// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "simcontroller.h"

#include "platform/paths.h"
#include "platform/platform.h"
#include "platform/sim/axp209model.h"
#include "platform/sim/simboard.h"
#include "platform/sim/simear.h"
#include "sim/logcategory.h"
#include "sim/simcommandrunner.h"
#include "sim/simcontrolserver.h"
#include "sim/simdisplay.h"
#include "sim/simscript.h"
#include "sim/simterminal.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

using Platform::SimBoard;

namespace {
// Real time, not device time: how long a finished demo waits for the
// firmware's own power-off before ending the simulation itself, and how long
// a quit may take before the process is ended the hard way.
constexpr int kDemoGraceMsec = 15000;
constexpr int kQuitGraceMsec = 5000;

const char kVoiceFileVariable[] = "QUIMBO_SIM_VOICE_LOG";
} // namespace

class SimControllerPrivate
{
public:
    explicit SimControllerPrivate(SimController *qq, const SimController::Options &o)
        : q(qq)
        , options(o)
    {
    }

    bool startScript();

    SimController *const q;
    SimController::Options options;
    std::unique_ptr<SimDisplay> display;
    std::unique_ptr<SimControlServer> server;
    std::unique_ptr<SimTerminal> terminal;
    std::unique_ptr<SimCommandRunner> scriptRunner;
    std::unique_ptr<SimCommandRunner> mediaRunner;
};

SimController::SimController(const Options &options, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<SimControllerPrivate>(this, options))
{
}

SimController::~SimController() = default;

void SimController::attach(QCoreApplication *app, const QStringList &arguments)
{
    if (Platform::backend() != Platform::Backend::Simulated)
        return;
    Options options;
    parseArguments(arguments, &options);
    options.terminal = !options.demo && SimTerminal::isInteractive();
    options.quitAfterScript = options.demo;

    auto *controller = new SimController(options, app);
    connect(controller, &SimController::quitRequested, app, [app] {
        // A mode's nested loop may still be blinking or waiting; if the loops
        // do not unwind in time, end the process rather than hang.
        QTimer::singleShot(kQuitGraceMsec, app, [] {
            SimTerminal::restoreSettings();
            std::fflush(stdout);
            std::_Exit(0);
        });
        app->quit();
    });
    controller->start();
}

bool SimController::parseArguments(const QStringList &arguments, Options *options)
{
    bool ok = true;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        QString name = arg;
        QString value;
        bool hasValue = false;
        const int equals = arg.indexOf(QLatin1Char('='));
        if (arg.startsWith(QLatin1String("--")) && equals > 0) {
            name = arg.left(equals);
            value = arg.mid(equals + 1);
            hasValue = true;
        }
        const bool wantsValue = name == QLatin1String("--script") || name == QLatin1String("--control")
            || name == QLatin1String("--revision") || name == QLatin1String("--usb") || name == QLatin1String("--sd")
            || name == QLatin1String("--audio-cd") || name == QLatin1String("--ear");
        if (wantsValue && !hasValue) {
            if (i + 1 >= arguments.size()) {
                qCWarning(lcSim).noquote() << "[SimController::parseArguments]" << name << "needs a value";
                ok = false;
                continue;
            }
            value = arguments.at(++i);
        }
        if (name == QLatin1String("--script")) {
            options->scriptFile = value;
        } else if (name == QLatin1String("--control")) {
            options->socketPath = value;
        } else if (name == QLatin1String("--revision")) {
            if (value == QLatin1String("4") || value == QLatin1String("6")) {
                options->revision = value.toInt();
            } else {
                qCWarning(lcSim).noquote() << "[SimController::parseArguments] --revision takes 4 or 6, not" << value;
                ok = false;
            }
        } else if (name == QLatin1String("--usb")) {
            options->usbFolder = value;
        } else if (name == QLatin1String("--sd")) {
            options->sdFolder = value;
        } else if (name == QLatin1String("--audio-cd")) {
            options->audioCdFolder = value;
        } else if (name == QLatin1String("--ear")) {
            options->earFile = value;
        } else if (name == QLatin1String("--demo")) {
            options->demo = true;
        }
    }
    return ok;
}

QString SimController::demoScript()
{
    QFile file(QStringLiteral(":/sim/demo.script"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    return QString::fromUtf8(file.readAll());
}

QString SimController::socketPath() const
{
    return d->server ? d->server->path() : QString();
}

bool SimController::start()
{
    SimBoard *board = SimBoard::instance();
    // The prompts player reports what it speaks to this file (tools/sim-bin/play).
    if (qEnvironmentVariableIsEmpty(kVoiceFileVariable))
        qputenv(kVoiceFileVariable, Platform::nativePath(QStringLiteral("/tmp/quimbo-sim-voice.log")));
    const QString voiceFile = qEnvironmentVariable(kVoiceFileVariable);
    SimCommandRunner::setLogStart(QFile(Platform::path(QStringLiteral("/root/quimbo/log"))).size());
    d->display = std::make_unique<SimDisplay>(voiceFile, Platform::path(QStringLiteral("/root/quimbo/log")));

    // The ear listens to the engines from the start; "status" tells whether it hears the book.
    Platform::setAudioListener(Platform::SimEar::instance());
    bool ok = true;
    if (!d->options.earFile.isEmpty())
        ok = Platform::SimEar::instance()->record(d->options.earFile);

    // Powering off the simulated board ends the simulation, as it ends the device.
    board->setQuitOnPowerOff(true);
    // The battery drains and charges as the simulated time goes by.
    Platform::Axp209Model::instance().setTimeRunning(true);
    if (d->options.revision != 0)
        board->setRevision(d->options.revision == 6 ? 7 : 0);

    d->server = std::make_unique<SimControlServer>();
    const QString socket = d->options.socketPath.isEmpty() ? Platform::path(QStringLiteral("/tmp/quimbo-sim.sock"))
                                                           : d->options.socketPath;
    if (d->server->listen(socket)) {
        SimDisplay::show(QStringLiteral("control socket ") + socket);
    } else {
        d->server.reset();
        ok = false;
    }
    if (d->server) {
        connect(d->server.get(), &SimControlServer::quitRequested, this, &SimController::quitRequested);
        connect(d->server.get(), &SimControlServer::echo, this, [](const QString &text) { SimDisplay::show(text); });
    }

    if (!d->options.usbFolder.isEmpty()) {
        // The stick goes in once the firmware watches for media, as a reader
        // would plug it in after switching on.
        d->mediaRunner = std::make_unique<SimCommandRunner>();
        connect(d->mediaRunner.get(), &SimCommandRunner::answered, this, [](const SimCommand &command, const QString &answer) {
            if (answer.startsWith(QLatin1String("error")) && command.type == SimCommand::MediaInsert)
                SimDisplay::show(answer);
        });
        d->mediaRunner->enqueue(SimCommand::parse(QStringLiteral("await [UDevMonitor::start]"), nullptr));
        d->mediaRunner->enqueue(SimCommand::parse(QStringLiteral("usb insert ") + d->options.usbFolder, nullptr));
    }

    if (d->options.terminal) {
        SimTerminal::setMediaFolders(d->options.usbFolder, d->options.sdFolder, d->options.audioCdFolder);
        d->terminal = std::make_unique<SimTerminal>();
        connect(d->terminal.get(), &SimTerminal::quitRequested, this, &SimController::quitRequested);
        d->terminal->start();
    }
    return d->startScript() && ok;
}

bool SimControllerPrivate::startScript()
{
    SimScript script;
    QString name;
    if (options.demo) {
        name = QStringLiteral("demo");
        script = SimScript::parse(SimController::demoScript());
    } else if (!options.scriptFile.isEmpty()) {
        name = options.scriptFile;
        if (!SimScript::load(options.scriptFile, &script))
            return false;
    } else {
        return true;
    }
    for (const QString &error : script.errors())
        qCWarning(lcSim).noquote() << "[SimController::startScript]" << name << error;

    // The firmware reads the straps, the adapter and the keys held once at
    // start; only a script's opening lines can still set them.
    // A runner goes on to its next command from the event loop, which has not
    // started yet: one runner per line runs each at once.
    for (const SimScript::Entry &entry : script.takeLeadingSetup()) {
        SimCommandRunner now;
        now.setRevisionAllowed(true);
        now.enqueue(entry.command);
    }

    SimDisplay::show(QStringLiteral("running script ") + name);
    scriptRunner = std::make_unique<SimCommandRunner>();
    QObject::connect(scriptRunner.get(), &SimCommandRunner::echo, q, [](const QString &text) { SimDisplay::show(text); });
    QObject::connect(scriptRunner.get(), &SimCommandRunner::answered, q, [name](const SimCommand &command, const QString &answer) {
        if (command.type == SimCommand::Status)
            SimDisplay::show(QStringLiteral("status: ") + answer.mid(3));
        else if (answer.startsWith(QLatin1String("error")))
            qCWarning(lcSim).noquote() << "[SimController::startScript]" << name << command.toString() << answer;
    });
    QObject::connect(scriptRunner.get(), &SimCommandRunner::quitRequested, q, &SimController::quitRequested);
    QObject::connect(scriptRunner.get(), &SimCommandRunner::finished, q, [this, name] {
        SimDisplay::show(QStringLiteral("script ") + name + QStringLiteral(" finished"));
        if (!options.quitAfterScript)
            return;
        QTimer::singleShot(kDemoGraceMsec, q, [this] {
            SimDisplay::show(QStringLiteral("the board did not power off; ending the simulation"));
            Q_EMIT q->quitRequested();
        });
    });
    scriptRunner->restartClock();
    QObject::connect(scriptRunner.get(), &SimCommandRunner::started, q, [](const SimCommand &command) {
        if (command.type != SimCommand::Log && command.type != SimCommand::Wait && command.type != SimCommand::Status)
            SimDisplay::show(QStringLiteral("> ") + command.toString());
    });
    for (const SimScript::Entry &entry : script.entries())
        scriptRunner->enqueue(entry.command, entry.atMsec);
    return true;
}
