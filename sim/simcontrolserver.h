// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_SIM_SIMCONTROLSERVER_H
#define QUIMBO_SIM_SIMCONTROLSERVER_H

#include <QObject>

#include <memory>

class SimControlServerPrivate;

/**
 * The control socket (a local socket) through which tests and tools drive
 * the board: one command per line, one answer line per command, "ok",
 * "ok <status>" or "error: <reason>", in the order of the commands. Each
 * connection runs its commands one after the other. Lives on the main thread.
 */
class SimControlServer : public QObject
{
    Q_OBJECT

public:
    explicit SimControlServer(QObject *parent = nullptr);
    ~SimControlServer() override;

    /** Listens on a socket file, replacing a stale one; false and a log line on failure. */
    bool listen(const QString &path);
    QString path() const;

Q_SIGNALS:
    void quitRequested();
    void echo(const QString &text);

private:
    const std::unique_ptr<SimControlServerPrivate> d;
};

#endif
