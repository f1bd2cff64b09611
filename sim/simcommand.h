// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_SIM_SIMCOMMAND_H
#define QUIMBO_SIM_SIMCOMMAND_H

#include <QString>

/**
 * One line of the simulator's command language, shared by the terminal, the
 * script and the control socket:
 *
 *   press KEY | release KEY | tap KEY [MS] | hold KEY [MS]
 *   knob +N|-N | power press|release|tap [MS]|hold [MS]
 *   headphones in|out | usbfault on|off | revision 4|6
 *   wait MS | await TEXT | log TEXT | status | quit
 *   usb insert [fs=TYPE] DIR | usb remove | sd insert [fs=TYPE] DIR | sd remove
 *   cd insert DIR | cd audio DIR | cd remove | cd open | cd close
 *   adapter in|out | battery MV | battery temp C | efuse trip
 *
 * KEY is a key name (play, ff, rew, menu, eject, pitchup, pitchdown, speedup,
 * speeddown, power) or its code (2049…2060 without the knob's 2054/2055).
 * "await" waits until the firmware has logged a line containing TEXT (after
 * the line the previous "await" of the same source matched).
 * A medium is a host folder DIR (the rest of the line, spaces and all;
 * relative to the simulator's working folder). A stick or card has the file
 * system "vfat" unless fs= names another ("exfat", or "none" for a medium
 * without one). "cd insert" lays a data disc in the drive, "cd audio" an
 * audio disc (one .wav or .mp3 file per track); "cd remove" opens the tray
 * and takes the disc out.
 * "adapter in" plugs the power adapter (and clears a tripped e-fuse),
 * "battery MV" sets the battery voltage (0 to 4500 mV), "battery temp C" its
 * temperature (-40 to 90 degrees Celsius), "efuse trip" trips the USB
 * supply's e-fuse.
 * Durations are milliseconds of device time; the runner scales them with the
 * process-wide time scale. A value type.
 */
class SimCommand
{
public:
    enum Type {
        Invalid,
        Press,
        Release,
        Tap,
        Hold,
        Knob,
        Headphones,
        UsbFault,
        Revision,
        Wait,
        Await,
        Log,
        Status,
        Quit,
        MediaInsert, ///< key: which slot (kUsbSlot, kSdSlot, kCdDataDisc, kCdAudioDisc), text: the folder
        MediaRemove, ///< key: kUsbSlot, kSdSlot or kCdDataDisc (the drive)
        CdTray, ///< value: 1 open, 0 closed
        Adapter, ///< value: 1 in, 0 out
        BatteryVoltage, ///< value: mV
        BatteryTemperature, ///< value: degrees Celsius
        EfuseTrip,
    };

    static constexpr int kUsbSlot = 1;
    static constexpr int kSdSlot = 2;
    static constexpr int kCdDataDisc = 3;
    static constexpr int kCdAudioDisc = 4;

    static constexpr int kPowerKey = 2049;
    static constexpr int kDefaultTapMsec = 200;
    static constexpr int kDefaultHoldMsec = 2500;
    /** Longest duration accepted: ten minutes of device time. */
    static constexpr int kMaxMsec = 600000;
    static constexpr int kMaxDetents = 100;

    Type type = Invalid;
    int key = 0; ///< Press, Release, Tap, Hold: the key code (2049 is the power button)
    int value = 0; ///< duration (Tap, Hold, Wait), detents (Knob), 0/1 (Headphones, UsbFault), 4/6 (Revision)
    QString text; ///< Log, Await; MediaInsert: the folder
    QString fileSystem; ///< MediaInsert of a stick or card: "vfat" unless given; empty for none

    /**
     * Parses one line (without its time prefix). Empty lines and comments are
     * not commands: the caller skips them. Returns an Invalid command and
     * fills *error when the line is not understood.
     */
    static SimCommand parse(const QString &line, QString *error);

    /** The media commands: "usb …", "sd …", "cd …" (rest: the line after the verb). */
    static SimCommand parseMedia(const QString &verb, const QString &rest, QString *error);

    /** Key code for a name or a number; 0 when unknown. */
    static int keyCode(const QString &nameOrCode);
    /** "play", "ff", … "power"; the number when the code has no name. */
    static QString keyName(int code);

    /** The command written back in the language (for echoing and logs). */
    QString toString() const;

    bool isValid() const { return type != Invalid; }
    /** Tap, Hold and Wait take time; the next command starts after them. */
    bool takesTime() const { return type == Tap || type == Hold || type == Wait || type == Await; }

    /** "usb", "sd" or "cd" for a media command's slot. */
    static QString slotName(int slot);
};

#endif
