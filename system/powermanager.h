// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_SYSTEM_POWERMANAGER_H
#define QUIMBO_SYSTEM_POWERMANAGER_H

#include <QObject>

#include <memory>

class PowerManagerPrivate;

/**
 * The device's power façade over the AXP209 power chip: the adapter (its
 * input device "/dev/input/event3", key 30), the e-fuse of the USB supply
 * (GPIO 36, Rev6 boards), the battery level from the fuel gauge, the
 * temperatures, the charge LED, the amplifier reset and start-up sound
 * lines, and the final power-off. Owned by the main controller, main thread.
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

    /** Chip, adapter input, fuel gauge and timers; false (and a log line) on a failure. */
    bool initialize();

    /** 0 when connecting the adapter switched the device on, 1 for the power button. */
    int bootSource() const;
    /** 0 adapter connected, 1 not connected (also when the input is not open). */
    int adapterStatus() const;
    /**
     * Battery class: 0 full, 1 charging, 2 below 30 %, 3 30-63 %, 4 64-80 %,
     * 5 above 80 %. On battery the level used never rises.
     */
    int batteryStatus();

    void setChargerLed(bool on);
    /** Whether the charger drives the charge LED now, as the chip says. */
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
    /**
     * The shutdown found the battery charging and the device stays on in
     * idle mode: an empty battery of this run is no reason to refuse the
     * next start.
     */
    void shutdownTurnedIntoCharging();

    float batteryVoltage() const;
    float batteryChargeCurrent() const;
    float batteryDischargeCurrent() const;
    float adapterVoltage() const;
    float adapterCurrent() const;
    float interalTemperature() const;
    float externalTemperature() const;

public Q_SLOTS:
    void playStartupSound();

Q_SIGNALS:
    /** 0 connected, 1 disconnected, 2 adapter failure (e-fuse). */
    void adapterStatusChanged(int status);
    /** 0 fully charged, 2 empty, 3 low. */
    void batteryStatusChanged(int status);

private Q_SLOTS:
    void axp209TimerTimeout();
    void adapterEventChange();
    void stateOfChargeReceived(int soc);
    void efuseEvent();
    void logTimerTimeout();

private:
    const std::unique_ptr<PowerManagerPrivate> d;
};

#endif
