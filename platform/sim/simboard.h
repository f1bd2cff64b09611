// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_SIM_SIMBOARD_H
#define QUIMBO_PLATFORM_SIM_SIMBOARD_H

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

namespace Platform {

class SimBoardPrivate;

/**
 * The model of the player's board used off the device: GPIO lines (revision
 * straps, keypad matrix, LEDs, USB power switches, fault inputs) and the
 * input-event devices (knob, power button, headphone jack, adapter, ...).
 *
 * The firmware reaches it only through the simulated seam backends (SimGpio,
 * SimInputEventSource, SimSystemActions); the simulator and tests drive it
 * through the operations below.
 *
 * Thread-safe: the keypad scan thread reads lines while the main thread or a
 * control socket changes them. Signals are emitted from whichever thread made
 * the change, outside the model's lock; connect them queued.
 */
class SimBoard : public QObject
{
    Q_OBJECT
public:
    /** The one board of the process, created on first use. */
    static SimBoard *instance();

    /**
     * Back to a fresh Rev4 board: no key down, no line exported, inputs at
     * their rest levels, all devices present, no switch or key state, no
     * recorded action. Descriptors the firmware holds stay valid.
     */
    void reset();

    // Revision straps (lines 76, 77, 78 = bit 0, 1, 2). 0 is Rev4, 7 is Rev6.
    void setRevision(int revision);
    int revision() const;

    // Keypad matrix: the nine matrix codes (2050-2053, 2056-2060). Several keys may be down.
    void pressKey(int keyCode);
    void releaseKey(int keyCode);
    bool isKeyDown(int keyCode) const;

    /** Knob on "/dev/input/event0": +n gives n REL_Y events of value +1, -n gives n of value -1. */
    void turnKnob(int detents);
    /** Power button on "/dev/input/event1": EV_KEY code 116, value 1 (down) or 0 (up). */
    void setPowerButton(bool down);

    /**
     * Writes one event and an EV_SYN to every open descriptor of the device
     * (its absolute device path, e.g. "/dev/input/event2"). Nothing happens
     * while the device is not open. Like a hand turning a knob slowly, each
     * injected event becomes readable only once the reader has drained the
     * previous one, so every event gets a notification of its own.
     */
    void injectInputEvent(const QString &devicePath, int type, int code, int value);
    /** Stores a switch state (EV_SW) for the state query and injects the event. */
    void setSwitch(const QString &devicePath, int code, bool on);
    /** The same for a key state (EV_KEY). */
    void setKey(const QString &devicePath, int code, bool down);
    /** A switch or key state as the state query reports it (type 1 key, 5 switch). */
    bool inputState(const QString &devicePath, int type, int code) const;
    /**
     * Only present devices can be opened ("/dev/input/event0" to "event3" are
     * present after reset); taking one away gives its open descriptors end of file.
     */
    void setInputDevicePresent(const QString &devicePath, bool present);
    bool isInputDevicePresent(const QString &devicePath) const;
    /** How many descriptors of the device are open now. */
    int inputDeviceOpenCount(const QString &devicePath) const;

    // GPIO lines
    /** What the firmware reads from the line now (outputs read back what was written). */
    int lineValue(int line) const;
    /**
     * Sets an input line driven from outside (USB fault 202, e-fuse 36, ...).
     * A change raises the edge report of every descriptor opened on the line
     * when the line's edge setting matches. Lines 202 and 36 rest at 1, all
     * other inputs at 0. Opening a line does not report an edge by itself.
     */
    void setInputLine(int line, int value);
    bool isExported(int line) const;
    /** How often the firmware has read the line since the last reset (a keypad scan reads its rows). */
    int lineReadCount(int line) const;
    /**
     * How many keypad scans have started since the last reset: the board's
     * clock for key times. Every scan drives the first column high once,
     * however many rows it reads before it finds a key.
     */
    int keypadScanCount() const;
    bool isOutput(int line) const;
    /** The edge setting of the line ("none" unless set). */
    QByteArray edge(int line) const;

    // Outputs derived from the lines
    /** LED 0 (line 79 on Rev4, 138 on Rev6) and LED 1 (line 139). */
    bool led(int index) const;
    /** USB power: port 0 line 204, port 1 line 203 (Rev6). */
    bool usbPower(int port) const;

    // System actions (recorded by SimSystemActions)
    /** Every system action so far, oldest first ("poweroff", "sync", a shell line...). */
    QStringList systemActionLog() const;
    /** True once "poweroff" was started. */
    bool isPoweredOff() const;
    /** When set, "poweroff" and "reboot" also quit the application's event loop (the simulator). */
    void setQuitOnPowerOff(bool quit);
    bool quitOnPowerOff() const;

    // --- used by the simulated seam backends ---
    /** @internal GPIO access as a sysfs file would give it; false where sysfs would fail. */
    bool exportLine(int line);
    bool unexportLine(int line);
    bool setDirection(int line, bool output);
    bool setEdge(int line, const QByteArray &edge);
    bool writeLine(int line, int value);
    bool readLine(int line, int *value) const;
    /** @internal A descriptor that becomes readable on each edge; -1 when the line is not exported. */
    int openLineWatch(int line);
    void closeLineWatch(int fd);
    int drainLineWatch(int fd);
    /** @internal A non-blocking descriptor receiving the device's evdev records; -1 when absent. */
    int openInputDevice(const QString &devicePath);
    void closeInputDevice(int fd);
    /** @internal Called after each read of such a descriptor: passes on the next queued event. */
    void inputDeviceRead(int fd);
    /** @internal Records an action, emits systemAction(), handles "poweroff"/"reboot". */
    void recordSystemAction(const QString &action);

    // Audio engine (reported through Platform::reportEngineEvent)
    /** What the audio engines did so far, oldest first ("play FILE at MS", "seek MS", ...). */
    QStringList engineEventLog() const;
    /** @internal Records an engine event and emits engineEvent(). */
    void recordEngineEvent(const QString &event);
    /** The sound effects started so far by name, oldest first. */
    QStringList soundLog() const;
    /** @internal Records a sound effect and emits soundStarted(). */
    void recordSound(const QString &name);

Q_SIGNALS:
    /** A line's value changed (not emitted for the keypad columns 64-66, which toggle every scan). */
    void lineChanged(int line, int value);
    void ledChanged(int index, bool on);
    void usbPowerChanged(int port, bool on);
    void keyChanged(int keyCode, bool down);
    void systemAction(const QString &action);
    void poweredOff();
    void engineEvent(const QString &event);
    void soundStarted(const QString &name);

private:
    SimBoard();
    ~SimBoard() override;
    friend class SimBoardPrivate;
    const std::unique_ptr<SimBoardPrivate> d;
};

} // namespace Platform

#endif
