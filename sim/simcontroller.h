// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_SIM_SIMCONTROLLER_H
#define QUIMBO_SIM_SIMCONTROLLER_H

#include <QObject>
#include <QStringList>

#include <memory>

class QCoreApplication;
class SimControllerPrivate;

/**
 * Drives the simulated board while the firmware runs on it: the terminal's
 * key map, a timed script and the control socket all feed one command
 * language, and the board's LEDs, USB power, keys and system actions are
 * printed as "[sim] …" lines. Lives on the main thread, child of the
 * application.
 */
class SimController : public QObject
{
    Q_OBJECT

public:
    struct Options {
        QString scriptFile; ///< --script FILE
        QString socketPath; ///< --control SOCKET; empty: "/tmp/quimbo-sim.sock" below the root
        int revision = 0; ///< --revision 4|6; 0 keeps the board's default
        bool demo = false; ///< --demo: run the built-in demo script, then quit
        bool terminal = false; ///< raw-mode key control on stdin
        bool quitAfterScript = false; ///< quit the application when the script ends
        QString usbFolder; ///< --usb DIR: the stick inserted once the firmware is up (terminal key 1)
        QString sdFolder; ///< --sd DIR: the card of terminal key 3
        QString audioCdFolder; ///< --audio-cd DIR: the audio disc of terminal key 2
        QString earFile; ///< --ear FILE: what the engines hand the amplifier, as a WAV file
    };

    /**
     * Called once by main() after the application object exists. Does nothing
     * unless the simulated backend is active; otherwise reads --script,
     * --control, --revision, --demo, --usb, --sd, --audio-cd and --ear from the arguments, creates the
     * controller as a child of the application and starts it.
     */
    static void attach(QCoreApplication *app, const QStringList &arguments);

    /** Parses the options attach() understands; false (and a log line) on a bad value. */
    static bool parseArguments(const QStringList &arguments, Options *options);

    explicit SimController(const Options &options, QObject *parent = nullptr);
    ~SimController() override;

    /** Sets the revision, opens the socket, starts terminal and script. */
    bool start();

    /** The host path of the control socket (empty until listening). */
    QString socketPath() const;

    /** The built-in demo script. */
    static QString demoScript();

Q_SIGNALS:
    /** A script or the terminal asked to end the simulation. */
    void quitRequested();

private:
    const std::unique_ptr<SimControllerPrivate> d;
};

#endif
