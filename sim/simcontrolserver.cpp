// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "simcontrolserver.h"

#include "sim/logcategory.h"
#include "sim/simcommandrunner.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

namespace {
// A line longer than this is no command; dropping the connection keeps a
// runaway client from growing the buffer without end.
constexpr int kMaxLineLength = 4096;
} // namespace

class SimControlServerPrivate
{
public:
    explicit SimControlServerPrivate(SimControlServer *qq)
        : q(qq)
    {
    }

    void accept();
    void read(QLocalSocket *socket, SimCommandRunner *runner);

    SimControlServer *const q;
    QLocalServer server;
};

SimControlServer::SimControlServer(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<SimControlServerPrivate>(this))
{
    connect(&d->server, &QLocalServer::newConnection, this, [this] { d->accept(); });
}

SimControlServer::~SimControlServer() = default;

bool SimControlServer::listen(const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QLocalServer::removeServer(path);
    if (!d->server.listen(path)) {
        qCWarning(lcSim).noquote() << "[SimControlServer::listen] can't listen on" << path << ":" << d->server.errorString();
        return false;
    }
    return true;
}

QString SimControlServer::path() const
{
    return d->server.fullServerName();
}

void SimControlServerPrivate::accept()
{
    while (QLocalSocket *socket = server.nextPendingConnection()) {
        auto *runner = new SimCommandRunner(socket);
        QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QLocalSocket::readyRead, runner, [this, socket, runner] { read(socket, runner); });
        QObject::connect(runner, &SimCommandRunner::answered, socket, [socket](const SimCommand &, const QString &answer) {
            if (socket->state() == QLocalSocket::ConnectedState) {
                socket->write(answer.toUtf8() + '\n');
                socket->flush();
            }
        });
        QObject::connect(runner, &SimCommandRunner::quitRequested, q, &SimControlServer::quitRequested);
        QObject::connect(runner, &SimCommandRunner::echo, q, &SimControlServer::echo);
    }
}

void SimControlServerPrivate::read(QLocalSocket *socket, SimCommandRunner *runner)
{
    while (socket->canReadLine()) {
        const QString line = QString::fromUtf8(socket->readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        QString error;
        SimCommand command = SimCommand::parse(line, &error);
        if (!command.isValid())
            command.text = error;
        runner->enqueue(command);
    }
    if (socket->bytesAvailable() > kMaxLineLength) {
        qCWarning(lcSim) << "[SimControlServer::read] line too long, closing the connection";
        socket->abort();
    }
}
