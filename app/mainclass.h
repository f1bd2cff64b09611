// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_APP_MAINCLASS_H
#define QUIMBO_APP_MAINCLASS_H

#include <QObject>

#include <memory>

class AudioSettings;
class BookShelf;
class Input;
class MediaClass;
class PowerManager;
class MainClassPrivate;

/**
 * The main controller: owns every long-lived object of the device (power
 * manager, audio, key input, messages, timers, and from power-up on the
 * media class and the bookshelf) and runs one mode at a time.
 *
 * Created once by main() on the main thread and lives until power-off. Modes
 * hand over through queued signals, so the next mode always starts from the
 * event loop after the current handler has returned. Instead of a nested
 * event loop per mode the controller keeps a flat state (mode()): a mode slot
 * sets its mode object up and returns, and the mode's end signal schedules
 * the follow-up in the same order of effects.
 */
class MainClass : public QObject
{
    Q_OBJECT

public:
    enum class Mode {
        Starting, ///< constructed, no start slot has run yet
        PowerUp,
        Main, ///< no book chosen; the controller handles the keys itself
        BookShelf,
        Player,
        SystemSettings,
        Idle, ///< charging, the device seems switched off
        Update,
        LogBackup,
        Shutdown,
        PoweredOff, ///< "poweroff" was started; nothing runs any more
        Error, ///< the start-up error blink code on LED 0
    };
    Q_ENUM(Mode)

    /** Start-up error codes shown by runErrorHandler(). */
    enum ErrorCode {
        NoError = 0,
        AudioInitError = 1,
        AudioPowerUpError = 2,
        PowerManagerError = 3,
        InputError = 4,
    };

    explicit MainClass(QObject *parent = nullptr);
    ~MainClass() override;

    /**
     * Decides the first start slot from the adapter, the boot source and the
     * key held at switch-on: 0 power-up, 1 idle, 2 update, 3 log backup,
     * 4 shutdown, anything else the error handler. Waits 1000 ms first (the
     * event loop keeps running) and may speak.
     */
    int bootStatus() const;

    /** Schedules the start slot of a boot status with its delay (500 or 1000 ms). */
    void start(int bootStatus);

    /** Start-up error code (ErrorCode), 0 while the start went well. */
    int errorCode() const;
    Mode mode() const;

    /** The owned objects, for the simulator and tests; null once torn down. */
    PowerManager *powerManager() const;
    Input *input() const;
    AudioSettings *audioSettings() const;
    /** Null before power-up. */
    MediaClass *mediaClass() const;
    BookShelf *bookShelf() const;

public Q_SLOTS:
    void runPowerUp();
    void runMainClass();
    void runUpdate();
    void runLogBackup();
    void runIdleMode();
    void runShutdown();
    void runErrorHandler();

Q_SIGNALS:
    /** Emitted first thing in runShutdown(): the active player saves its position on it. */
    void aboutToShutdown();
    void modeChanged(MainClass::Mode mode);

private Q_SLOTS:
    void systemSettingsIsFinished();
    void runSystemSettings();
    void runBookShelf();
    void runPlayer(bool autoPlay);
    void runPlayer();
    void audioBookInUseRemoved();
    void rs2TimerTimeoutEvent();
    void usbFaultEvent();

private:
    friend class MainClassPrivate;
    const std::unique_ptr<MainClassPrivate> d;
};

#endif
