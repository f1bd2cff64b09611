// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_SYSTEM_POWERMANAGER_H
#define QUIMBO_SYSTEM_POWERMANAGER_H

#include <QObject>

#include <memory>

class PowerManagerPrivate;

/**
 * The device's power façade: adapter, battery class, charger LED, amplifier
 * reset and the final power-off. Owned by the main controller, main thread.
 *
 * This is the minimal form the main controller needs until the power
 * management subsystem (power chip, fuel gauge, e-fuse) lands: the adapter
 * is read from its input device ("/dev/input/event3", key 30) and reported by
 * adapterStatusChanged(); boot source and battery class are plain values
 * (defaults: switched on by the power button, battery high, not charging)
 * that the simulator and tests set.
 */
class PowerManager : public QObject
{
    Q_OBJECT

public:
    enum AdapterStatus {
        AdapterConnected = 0,
        AdapterDisconnected = 1,
        AdapterFailure = 2,
    };

    explicit PowerManager(QObject *parent = nullptr);
    ~PowerManager() override;

    /** Opens the adapter input; false (and a log line) when it cannot be opened. */
    bool initialize();

    /** 0 when connecting the adapter switched the device on, 1 for the power button. */
    int bootSource() const;
    void setBootSource(int source);

    /** 0 adapter connected, 1 not connected (also when the input is not open). */
    int adapterStatus() const;

    /** Battery class: 0 full, 1 charging, 2 below 30 %, 3 30-63 %, 4 64-79 %, 5 above 80 %. */
    int batteryStatus() const;
    void setBatteryStatus(int status);

    void setChargerLed(bool on);
    /** Whether the charger drives the charge LED (the last setChargerLed()). */
    bool chargerLed() const;

    /** Restarts the battery measurement. */
    void refresh();
    /** Pulses the amplifier's reset line (50 ms low, 100 ms settle). */
    void resetAudioSubsystem();

    /**
     * Switches the LEDs off, gives the charge LED back to the charger, stores
     * "shutdownGood" = good and starts "poweroff".
     */
    void shutdown(bool good);
    void reboot();

public Q_SLOTS:
    void playStartupSound();

Q_SIGNALS:
    /** 0 connected, 1 disconnected, 2 adapter failure. */
    void adapterStatusChanged(int status);
    /** 0 fully charged, 2 empty, 3 low. */
    void batteryStatusChanged(int status);

private Q_SLOTS:
    void adapterEventChange();

private:
    const std::unique_ptr<PowerManagerPrivate> d;
};

#endif
