// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "simcommand.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

struct KeyName {
    const char *name;
    int code;
};

// The keypad's keys plus the power button; the knob is not a key here because
// it only turns (see "knob").
constexpr KeyName kKeyNames[] = {
    {"power", 2049},
    {"menu", 2050},
    {"eject", 2051},
    {"pitchup", 2052},
    {"pitchdown", 2053},
    {"speedup", 2056},
    {"speeddown", 2057},
    {"rew", 2058},
    {"ff", 2059},
    {"play", 2060},
};

// Parses untrusted input: numbers are range-checked before use.
bool parseMsec(const QString &word, int *msec, QString *error)
{
    bool ok = false;
    const int value = word.toInt(&ok);
    if (!ok || value < 0 || value > SimCommand::kMaxMsec) {
        *error = QStringLiteral("bad duration \"%1\" (0…%2 ms)").arg(word).arg(SimCommand::kMaxMsec);
        return false;
    }
    *msec = value;
    return true;
}

SimCommand invalid(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return SimCommand();
}

} // namespace

int SimCommand::keyCode(const QString &nameOrCode)
{
    const QString word = nameOrCode.trimmed().toLower();
    for (const KeyName &k : kKeyNames) {
        if (word == QLatin1String(k.name))
            return k.code;
    }
    bool ok = false;
    const int code = word.toInt(&ok);
    if (!ok)
        return 0;
    for (const KeyName &k : kKeyNames) {
        if (code == k.code)
            return code;
    }
    return 0;
}

QString SimCommand::keyName(int code)
{
    for (const KeyName &k : kKeyNames) {
        if (code == k.code)
            return QLatin1String(k.name);
    }
    return QString::number(code);
}

SimCommand SimCommand::parse(const QString &line, QString *error)
{
    static const QRegularExpression space(QStringLiteral("\\s+"));
    const QString trimmed = line.trimmed();
    const QStringList words = trimmed.split(space, Qt::SkipEmptyParts);
    if (words.isEmpty())
        return invalid(error, QStringLiteral("empty command"));

    const QString verb = words.first().toLower();
    const QStringList args = words.mid(1);
    QString reason;
    SimCommand command;

    if (verb == QLatin1String("log") || verb == QLatin1String("await")) {
        command.type = verb == QLatin1String("log") ? Log : Await;
        command.text = trimmed.mid(words.first().size()).trimmed();
        if (command.type == Await && command.text.isEmpty())
            return invalid(error, QStringLiteral("\"await\" takes the text of a log line"));
        return command;
    }

    if (verb == QLatin1String("usb") || verb == QLatin1String("sd") || verb == QLatin1String("cd"))
        return parseMedia(verb, trimmed.mid(words.first().size()).trimmed(), error);

    auto needArgs = [&](int least, int most) {
        if (args.size() < least || args.size() > most) {
            reason = least == most
                ? QStringLiteral("\"%1\" takes %2 argument(s)").arg(verb).arg(least)
                : QStringLiteral("\"%1\" takes %2 to %3 arguments").arg(verb).arg(least).arg(most);
            return false;
        }
        return true;
    };

    if (verb == QLatin1String("press") || verb == QLatin1String("release") || verb == QLatin1String("tap")
        || verb == QLatin1String("hold")) {
        const bool timed = verb == QLatin1String("tap") || verb == QLatin1String("hold");
        if (!needArgs(1, timed ? 2 : 1))
            return invalid(error, reason);
        command.key = keyCode(args.at(0));
        if (command.key == 0) {
            const QString knob = args.at(0) == QLatin1String("2054") || args.at(0) == QLatin1String("2055")
                ? QStringLiteral(" (the knob turns: use \"knob +N\" or \"knob -N\")")
                : QString();
            return invalid(error, QStringLiteral("unknown key \"%1\"%2").arg(args.at(0), knob));
        }
        if (verb == QLatin1String("press")) {
            command.type = Press;
        } else if (verb == QLatin1String("release")) {
            command.type = Release;
        } else {
            command.type = verb == QLatin1String("tap") ? Tap : Hold;
            command.value = command.type == Tap ? kDefaultTapMsec : kDefaultHoldMsec;
            if (args.size() == 2 && !parseMsec(args.at(1), &command.value, &reason))
                return invalid(error, reason);
        }
        return command;
    }

    if (verb == QLatin1String("power")) {
        if (!needArgs(1, 2))
            return invalid(error, reason);
        // "power tap" is "tap power": one spelling for the runner.
        const QString action = args.at(0).toLower();
        QStringList rest = args.mid(1);
        rest.prepend(QStringLiteral("power"));
        if (action != QLatin1String("press") && action != QLatin1String("release") && action != QLatin1String("tap")
            && action != QLatin1String("hold"))
            return invalid(error, QStringLiteral("\"power\" takes press, release, tap or hold"));
        return parse(action + QLatin1Char(' ') + rest.join(QLatin1Char(' ')), error);
    }

    if (verb == QLatin1String("knob")) {
        static const QRegularExpression detents(QStringLiteral("^([+-])(\\d{1,4})$"));
        if (!needArgs(1, 1))
            return invalid(error, reason);
        const QRegularExpressionMatch m = detents.match(args.at(0));
        const int n = m.hasMatch() ? m.captured(2).toInt() : 0;
        if (!m.hasMatch() || n < 1 || n > kMaxDetents)
            return invalid(error, QStringLiteral("\"knob\" takes +N or -N with N from 1 to %1").arg(kMaxDetents));
        command.type = Knob;
        command.value = m.captured(1) == QLatin1String("-") ? -n : n;
        return command;
    }

    auto onOff = [&](Type type, const char *on, const char *off) {
        if (!needArgs(1, 1))
            return invalid(error, reason);
        const QString word = args.at(0).toLower();
        if (word != QLatin1String(on) && word != QLatin1String(off))
            return invalid(error, QStringLiteral("\"%1\" takes %2 or %3").arg(verb, QLatin1String(on), QLatin1String(off)));
        command.type = type;
        command.value = word == QLatin1String(on) ? 1 : 0;
        return command;
    };
    if (verb == QLatin1String("headphones"))
        return onOff(Headphones, "in", "out");
    if (verb == QLatin1String("usbfault"))
        return onOff(UsbFault, "on", "off");
    if (verb == QLatin1String("adapter"))
        return onOff(Adapter, "in", "out");
    if (verb == QLatin1String("efuse")) {
        if (!needArgs(1, 1) || args.at(0).toLower() != QLatin1String("trip"))
            return invalid(error, QStringLiteral("\"efuse\" takes trip"));
        command.type = EfuseTrip;
        return command;
    }
    if (verb == QLatin1String("battery")) {
        const bool temperature = !args.isEmpty() && args.at(0).toLower() == QLatin1String("temp");
        const QString usage = QStringLiteral("\"battery\" takes MV (0 to 4500) or temp C (-40 to 90)");
        if (args.size() != (temperature ? 2 : 1))
            return invalid(error, usage);
        bool ok = false;
        const int value = args.last().toInt(&ok);
        if (!ok || (temperature ? (value < -40 || value > 90) : (value < 0 || value > 4500)))
            return invalid(error, usage);
        command.type = temperature ? BatteryTemperature : BatteryVoltage;
        command.value = value;
        return command;
    }

    if (verb == QLatin1String("revision")) {
        if (!needArgs(1, 1))
            return invalid(error, reason);
        if (args.at(0) != QLatin1String("4") && args.at(0) != QLatin1String("6"))
            return invalid(error, QStringLiteral("\"revision\" takes 4 or 6"));
        command.type = Revision;
        command.value = args.at(0).toInt();
        return command;
    }

    if (verb == QLatin1String("wait")) {
        if (!needArgs(1, 1) || !parseMsec(args.at(0), &command.value, &reason))
            return invalid(error, reason);
        command.type = Wait;
        return command;
    }

    if (verb == QLatin1String("status") || verb == QLatin1String("quit")) {
        if (!needArgs(0, 0))
            return invalid(error, reason);
        command.type = verb == QLatin1String("status") ? Status : Quit;
        return command;
    }

    return invalid(error, QStringLiteral("unknown command \"%1\"").arg(words.first()));
}

SimCommand SimCommand::parseMedia(const QString &verb, const QString &rest, QString *error)
{
    static const QRegularExpression space(QStringLiteral("\\s+"));
    const QString action = rest.section(space, 0, 0).toLower();
    QString folder = rest.mid(action.size()).trimmed();
    const bool cd = verb == QLatin1String("cd");
    const int slot = cd ? kCdDataDisc : verb == QLatin1String("usb") ? kUsbSlot : kSdSlot;
    const QString usage = cd ? QStringLiteral("\"cd\" takes insert DIR, audio DIR, remove, open or close")
                             : QStringLiteral("\"%1\" takes insert [fs=TYPE] DIR or remove").arg(verb);
    SimCommand command;
    if (action == QLatin1String("remove") || (cd && (action == QLatin1String("open") || action == QLatin1String("close")))) {
        if (!folder.isEmpty())
            return invalid(error, usage);
        command.type = action == QLatin1String("remove") ? MediaRemove : CdTray;
        command.key = slot;
        command.value = action == QLatin1String("open") ? 1 : 0;
        return command;
    }
    if (action != QLatin1String("insert") && !(cd && action == QLatin1String("audio")))
        return invalid(error, usage);
    command.type = MediaInsert;
    command.key = cd && action == QLatin1String("audio") ? kCdAudioDisc : slot;
    if (!cd) {
        command.fileSystem = QStringLiteral("vfat");
        if (folder.startsWith(QLatin1String("fs="))) {
            const QString type = folder.section(space, 0, 0).mid(3);
            folder = folder.mid(3 + type.size()).trimmed();
            if (type.isEmpty())
                return invalid(error, usage);
            command.fileSystem = type == QLatin1String("none") ? QString() : type;
        }
    }
    if (folder.isEmpty())
        return invalid(error, usage);
    command.text = folder;
    return command;
}

QString SimCommand::slotName(int slot)
{
    switch (slot) {
    case kUsbSlot:
        return QStringLiteral("usb");
    case kSdSlot:
        return QStringLiteral("sd");
    default:
        return QStringLiteral("cd");
    }
}

QString SimCommand::toString() const
{
    switch (type) {
    case Press:
        return QStringLiteral("press ") + keyName(key);
    case Release:
        return QStringLiteral("release ") + keyName(key);
    case Tap:
        return QStringLiteral("tap %1 %2").arg(keyName(key)).arg(value);
    case Hold:
        return QStringLiteral("hold %1 %2").arg(keyName(key)).arg(value);
    case Knob:
        return QStringLiteral("knob %1%2").arg(value < 0 ? QStringLiteral("-") : QStringLiteral("+")).arg(qAbs(value));
    case Headphones:
        return value ? QStringLiteral("headphones in") : QStringLiteral("headphones out");
    case UsbFault:
        return value ? QStringLiteral("usbfault on") : QStringLiteral("usbfault off");
    case Revision:
        return QStringLiteral("revision %1").arg(value);
    case Wait:
        return QStringLiteral("wait %1").arg(value);
    case Log:
        return QStringLiteral("log ") + text;
    case Await:
        return QStringLiteral("await ") + text;
    case Status:
        return QStringLiteral("status");
    case Quit:
        return QStringLiteral("quit");
    case MediaInsert:
        if (key == kCdAudioDisc)
            return QStringLiteral("cd audio ") + text;
        if (key == kCdDataDisc)
            return QStringLiteral("cd insert ") + text;
        return slotName(key) + QStringLiteral(" insert ")
            + (fileSystem == QLatin1String("vfat") ? QString() : QStringLiteral("fs=%1 ").arg(fileSystem.isEmpty() ? QStringLiteral("none") : fileSystem))
            + text;
    case MediaRemove:
        return slotName(key) + QStringLiteral(" remove");
    case CdTray:
        return value ? QStringLiteral("cd open") : QStringLiteral("cd close");
    case Adapter:
        return value ? QStringLiteral("adapter in") : QStringLiteral("adapter out");
    case BatteryVoltage:
        return QStringLiteral("battery %1").arg(value);
    case BatteryTemperature:
        return QStringLiteral("battery temp %1").arg(value);
    case EfuseTrip:
        return QStringLiteral("efuse trip");
    case Invalid:
        break;
    }
    return QString();
}
