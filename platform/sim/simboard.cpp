// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sim/simboard.h"

#include "platform/logcategory.h"
#include "platform/sim/axp209model.h"

#include "platform/inputeventsource.h"
#include "platform/linux/fdio.h"
#include "platform/linux/linuxinputeventsource.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QHash>
#include <QMutex>
#include <QSet>
#include <QVector>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace Platform {

namespace {

constexpr int KeyMap[9] = {2059, 2058, 2050, 2057, 2051, 2060, 2052, 2053, 2056};
constexpr int ColumnLines[3] = {64, 65, 66};
constexpr int Rev4Rows[3] = {70, 71, 72};
constexpr int Rev6Rows[3] = {67, 68, 69};
constexpr int StrapLines[3] = {76, 77, 78};
constexpr int Rev6 = 7;
constexpr int Led1Line = 139;
constexpr int Usb0Line = 204;
constexpr int Usb1Line = 203;
constexpr int PowerKeyCode = 116;
constexpr int RelY = 1;

const QString KnobDevice = QStringLiteral("/dev/input/event0");
const QString PowerButtonDevice = QStringLiteral("/dev/input/event1");

int keyIndex(int keyCode)
{
    for (int i = 0; i < 9; ++i) {
        if (KeyMap[i] == keyCode)
            return i;
    }
    return -1;
}

qint64 stateKey(int type, int code)
{
    return (qint64(type) << 32) | quint32(code);
}

int pending(int fd)
{
    int bytes = 0;
    if (::ioctl(fd, FIONREAD, &bytes) < 0)
        return 0;
    return bytes;
}

} // namespace

class SimBoardPrivate
{
public:
    struct Line {
        bool exported = false;
        bool output = false;
        QByteArray edge = QByteArrayLiteral("none");
        int written = 0;
    };
    struct Watch {
        int line = 0;
        int writeFd = -1;
    };
    struct Device {
        QString path;
        int writeFd = -1;
        QList<QByteArray> queued;
    };
    // What changed while the lock was held; emitted after it is released.
    struct Changes {
        QList<QPair<int, int>> lines;
        QList<QPair<int, bool>> leds;
        QList<QPair<int, bool>> usb;
    };

    explicit SimBoardPrivate(SimBoard *q)
        : q(q)
    {
    }

    int restLevel(int line) const
    {
        // The USB over-current and e-fuse inputs are active low.
        return line == 202 || line == 36 ? 1 : 0;
    }

    const int *rows() const { return revision == Rev6 ? Rev6Rows : Rev4Rows; }

    int ledLine(int index) const
    {
        if (index == 0)
            return revision == Rev6 ? 138 : 79;
        return index == 1 ? Led1Line : -1;
    }

    int valueLocked(int line) const
    {
        const auto it = lines.constFind(line);
        if (it != lines.cend() && it->output)
            return it->written;
        for (int bit = 0; bit < 3; ++bit) {
            if (StrapLines[bit] == line)
                return (revision >> bit) & 1;
        }
        const int *r = rows();
        for (int row = 0; row < 3; ++row) {
            if (r[row] != line)
                continue;
            for (int column = 0; column < 3; ++column) {
                const auto c = lines.constFind(ColumnLines[column]);
                const bool driven = c != lines.cend() && c->output && c->written;
                if (driven && keysDown.contains(KeyMap[row + 3 * column]))
                    return 1;
            }
            return 0;
        }
        return external.value(line, restLevel(line));
    }

    /** Collects what a change of line from oldValue to newValue means to the outside. */
    void noteChangeLocked(int line, int oldValue, int newValue, Changes *changes)
    {
        if (oldValue == newValue)
            return;
        if (line != ColumnLines[0] && line != ColumnLines[1] && line != ColumnLines[2])
            changes->lines.append({line, newValue});
        for (int index = 0; index < 2; ++index) {
            if (ledLine(index) == line)
                changes->leds.append({index, newValue != 0});
        }
        if (line == Usb0Line)
            changes->usb.append({0, newValue != 0});
        if (line == Usb1Line)
            changes->usb.append({1, newValue != 0});

        const Line l = lines.value(line);
        const bool edge = l.edge == "both" || (l.edge == "rising" && newValue) || (l.edge == "falling" && !newValue);
        if (!l.exported || !edge)
            return;
        for (const Watch &watch : std::as_const(watches)) {
            if (watch.line == line) {
                const char byte = char('0' + newValue);
                FdIo::writeAll(watch.writeFd, &byte, 1);
            }
        }
    }

    void emitChanges(const Changes &changes)
    {
        for (const auto &c : changes.lines)
            Q_EMIT q->lineChanged(c.first, c.second);
        for (const auto &c : changes.leds)
            Q_EMIT q->ledChanged(c.first, c.second);
        for (const auto &c : changes.usb)
            Q_EMIT q->usbPowerChanged(c.first, c.second);
    }

    void injectLocked(const QString &path, int type, int code, int value)
    {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        InputEvent event;
        event.sec = now / 1000;
        event.usec = (now % 1000) * 1000;
        event.type = type;
        event.code = code;
        event.value = value;
        InputEvent syn = event;
        syn.type = EventSyn;
        syn.code = 0;
        syn.value = 0;
        const QByteArray batch = LinuxInputEventSource::encode(event) + LinuxInputEventSource::encode(syn);
        for (auto it = devices.begin(); it != devices.end(); ++it) {
            if (it->path != path)
                continue;
            it->queued.append(batch);
            passOnLocked(it.key(), &it.value());
        }
    }

    void passOnLocked(int readFd, Device *device)
    {
        if (device->queued.isEmpty() || pending(readFd) > 0)
            return;
        const QByteArray batch = device->queued.takeFirst();
        // Records of 32 bytes are written whole or not at all (below PIPE_BUF).
        if (::write(device->writeFd, batch.constData(), size_t(batch.size())) != batch.size())
            qCWarning(lcPlatform, "[SimBoard::injectInputEvent] event dropped, %s is not being read", qPrintable(device->path));
    }

    void setStateLocked(const QString &path, int type, int code, bool on)
    {
        QSet<qint64> &set = states[path];
        if (on)
            set.insert(stateKey(type, code));
        else
            set.remove(stateKey(type, code));
        injectLocked(path, type, code, on ? 1 : 0);
    }

    SimBoard *const q;
    mutable QMutex mutex;
    int revision = 0;
    QSet<int> keysDown;
    QHash<int, Line> lines;
    QHash<int, int> external;
    mutable QHash<int, int> readCounts;
    int scans = 0;
    QHash<int, Watch> watches; // by read descriptor
    QHash<int, Device> devices; // by read descriptor
    QSet<QString> presentDevices = defaultDevices();
    static QSet<QString> defaultDevices()
    {
        return {QStringLiteral("/dev/input/event0"), QStringLiteral("/dev/input/event1"), QStringLiteral("/dev/input/event2"),
                QStringLiteral("/dev/input/event3")};
    }
    QHash<QString, QSet<qint64>> states;
    QStringList actions;
    QStringList engineEvents;
    QStringList sounds;
    bool poweredOff = false;
    bool quitOnPowerOff = false;
};

SimBoard *SimBoard::instance()
{
    // Never deleted: the keypad thread may still read it while statics are torn down.
    static SimBoard *const board = new SimBoard;
    return board;
}

SimBoard::SimBoard()
    : d(std::make_unique<SimBoardPrivate>(this))
{
}

SimBoard::~SimBoard() = default;

void SimBoard::reset()
{
    QMutexLocker lock(&d->mutex);
    d->revision = 0;
    d->keysDown.clear();
    d->lines.clear();
    d->external.clear();
    d->readCounts.clear();
    d->scans = 0;
    d->presentDevices = SimBoardPrivate::defaultDevices();
    d->states.clear();
    d->actions.clear();
    d->engineEvents.clear();
    d->sounds.clear();
    d->poweredOff = false;
    for (auto &device : d->devices)
        device.queued.clear();
    lock.unlock();
    Axp209Model::instance().reset();
}

void SimBoard::setRevision(int revision)
{
    QMutexLocker lock(&d->mutex);
    d->revision = revision;
}

int SimBoard::revision() const
{
    QMutexLocker lock(&d->mutex);
    return d->revision;
}

void SimBoard::pressKey(int keyCode)
{
    if (keyIndex(keyCode) < 0) {
        qCWarning(lcPlatform, "[SimBoard::pressKey] %d is not a key of the matrix", keyCode);
        return;
    }
    {
        QMutexLocker lock(&d->mutex);
        if (d->keysDown.contains(keyCode))
            return;
        d->keysDown.insert(keyCode);
    }
    Q_EMIT keyChanged(keyCode, true);
}

void SimBoard::releaseKey(int keyCode)
{
    {
        QMutexLocker lock(&d->mutex);
        if (!d->keysDown.remove(keyCode))
            return;
    }
    Q_EMIT keyChanged(keyCode, false);
}

bool SimBoard::isKeyDown(int keyCode) const
{
    QMutexLocker lock(&d->mutex);
    return d->keysDown.contains(keyCode);
}

void SimBoard::turnKnob(int detents)
{
    QMutexLocker lock(&d->mutex);
    const int step = detents > 0 ? 1 : -1;
    for (int i = 0; i < qAbs(detents); ++i)
        d->injectLocked(KnobDevice, EventRel, RelY, step);
}

void SimBoard::setPowerButton(bool down)
{
    setKey(PowerButtonDevice, PowerKeyCode, down);
}

void SimBoard::injectInputEvent(const QString &devicePath, int type, int code, int value)
{
    QMutexLocker lock(&d->mutex);
    d->injectLocked(devicePath, type, code, value);
}

void SimBoard::setSwitch(const QString &devicePath, int code, bool on)
{
    QMutexLocker lock(&d->mutex);
    d->setStateLocked(devicePath, EventSw, code, on);
}

void SimBoard::setKey(const QString &devicePath, int code, bool down)
{
    QMutexLocker lock(&d->mutex);
    d->setStateLocked(devicePath, EventKey, code, down);
}

bool SimBoard::inputState(const QString &devicePath, int type, int code) const
{
    QMutexLocker lock(&d->mutex);
    return d->states.value(devicePath).contains(stateKey(type, code));
}

void SimBoard::setInputDevicePresent(const QString &devicePath, bool present)
{
    QMutexLocker lock(&d->mutex);
    if (present) {
        d->presentDevices.insert(devicePath);
        return;
    }
    d->presentDevices.remove(devicePath);
    // Unplugged: whoever holds it open reads end of file, as from a vanished node.
    for (auto &device : d->devices) {
        if (device.path == devicePath && device.writeFd >= 0) {
            FdIo::close(device.writeFd);
            device.writeFd = -1;
        }
    }
}

bool SimBoard::isInputDevicePresent(const QString &devicePath) const
{
    QMutexLocker lock(&d->mutex);
    return d->presentDevices.contains(devicePath);
}

int SimBoard::inputDeviceOpenCount(const QString &devicePath) const
{
    QMutexLocker lock(&d->mutex);
    int count = 0;
    for (const auto &device : std::as_const(d->devices))
        count += device.path == devicePath ? 1 : 0;
    return count;
}

int SimBoard::lineValue(int line) const
{
    QMutexLocker lock(&d->mutex);
    return d->valueLocked(line);
}

void SimBoard::setInputLine(int line, int value)
{
    SimBoardPrivate::Changes changes;
    {
        QMutexLocker lock(&d->mutex);
        const int before = d->valueLocked(line);
        d->external.insert(line, value ? 1 : 0);
        d->noteChangeLocked(line, before, d->valueLocked(line), &changes);
    }
    d->emitChanges(changes);
}

bool SimBoard::isExported(int line) const
{
    QMutexLocker lock(&d->mutex);
    return d->lines.value(line).exported;
}

int SimBoard::lineReadCount(int line) const
{
    QMutexLocker lock(&d->mutex);
    return d->readCounts.value(line);
}

int SimBoard::keypadScanCount() const
{
    QMutexLocker lock(&d->mutex);
    return d->scans;
}

bool SimBoard::isOutput(int line) const
{
    QMutexLocker lock(&d->mutex);
    const SimBoardPrivate::Line l = d->lines.value(line);
    return l.exported && l.output;
}

QByteArray SimBoard::edge(int line) const
{
    QMutexLocker lock(&d->mutex);
    return d->lines.value(line).edge;
}

bool SimBoard::led(int index) const
{
    QMutexLocker lock(&d->mutex);
    const int line = d->ledLine(index);
    return line >= 0 && d->lines.value(line).output && d->lines.value(line).written;
}

bool SimBoard::usbPower(int port) const
{
    QMutexLocker lock(&d->mutex);
    const int line = port == 0 ? Usb0Line : port == 1 ? Usb1Line : -1;
    return line >= 0 && d->lines.value(line).output && d->lines.value(line).written;
}

QStringList SimBoard::systemActionLog() const
{
    QMutexLocker lock(&d->mutex);
    return d->actions;
}

bool SimBoard::isPoweredOff() const
{
    QMutexLocker lock(&d->mutex);
    return d->poweredOff;
}

void SimBoard::setQuitOnPowerOff(bool quit)
{
    QMutexLocker lock(&d->mutex);
    d->quitOnPowerOff = quit;
}

bool SimBoard::quitOnPowerOff() const
{
    QMutexLocker lock(&d->mutex);
    return d->quitOnPowerOff;
}

bool SimBoard::exportLine(int line)
{
    QMutexLocker lock(&d->mutex);
    SimBoardPrivate::Line &l = d->lines[line];
    if (l.exported)
        return false; // sysfs answers EBUSY
    l = SimBoardPrivate::Line();
    l.exported = true;
    return true;
}

bool SimBoard::unexportLine(int line)
{
    SimBoardPrivate::Changes changes;
    {
        QMutexLocker lock(&d->mutex);
        auto it = d->lines.find(line);
        if (it == d->lines.end() || !it->exported)
            return false; // sysfs answers EINVAL
        const int before = d->valueLocked(line);
        *it = SimBoardPrivate::Line();
        d->noteChangeLocked(line, before, d->valueLocked(line), &changes);
    }
    d->emitChanges(changes);
    return true;
}

bool SimBoard::setDirection(int line, bool output)
{
    SimBoardPrivate::Changes changes;
    {
        QMutexLocker lock(&d->mutex);
        auto it = d->lines.find(line);
        if (it == d->lines.end() || !it->exported)
            return false;
        const int before = d->valueLocked(line);
        it->output = output;
        it->written = 0; // "out" starts low
        d->noteChangeLocked(line, before, d->valueLocked(line), &changes);
    }
    d->emitChanges(changes);
    return true;
}

bool SimBoard::setEdge(int line, const QByteArray &edge)
{
    QMutexLocker lock(&d->mutex);
    auto it = d->lines.find(line);
    if (it == d->lines.end() || !it->exported || it->output)
        return false;
    if (edge != "none" && edge != "rising" && edge != "falling" && edge != "both")
        return false;
    it->edge = edge;
    return true;
}

bool SimBoard::writeLine(int line, int value)
{
    SimBoardPrivate::Changes changes;
    {
        QMutexLocker lock(&d->mutex);
        auto it = d->lines.find(line);
        if (it == d->lines.end() || !it->exported || !it->output)
            return false; // sysfs refuses writes to an input line
        const int before = d->valueLocked(line);
        it->written = value ? 1 : 0;
        if (line == ColumnLines[0] && value)
            ++d->scans;
        d->noteChangeLocked(line, before, d->valueLocked(line), &changes);
    }
    d->emitChanges(changes);
    return true;
}

bool SimBoard::readLine(int line, int *value) const
{
    QMutexLocker lock(&d->mutex);
    if (!d->lines.value(line).exported)
        return false;
    ++d->readCounts[line];
    *value = d->valueLocked(line);
    return true;
}

int SimBoard::openLineWatch(int line)
{
    QMutexLocker lock(&d->mutex);
    if (!d->lines.value(line).exported)
        return -1;
    int fds[2];
    if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) < 0)
        return -1;
    d->watches.insert(fds[0], {line, fds[1]});
    return fds[0];
}

void SimBoard::closeLineWatch(int fd)
{
    QMutexLocker lock(&d->mutex);
    const auto it = d->watches.find(fd);
    if (it == d->watches.end())
        return;
    FdIo::close(it->writeFd);
    FdIo::close(fd);
    d->watches.erase(it);
}

int SimBoard::drainLineWatch(int fd)
{
    char buffer[10];
    const qint64 n = FdIo::read(fd, buffer, sizeof buffer);
    return n < 0 ? 0 : int(n);
}

int SimBoard::openInputDevice(const QString &devicePath)
{
    QMutexLocker lock(&d->mutex);
    if (!d->presentDevices.contains(devicePath))
        return -1;
    int fds[2];
    if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) < 0)
        return -1;
    SimBoardPrivate::Device device;
    device.path = devicePath;
    device.writeFd = fds[1];
    d->devices.insert(fds[0], device);
    return fds[0];
}

void SimBoard::closeInputDevice(int fd)
{
    QMutexLocker lock(&d->mutex);
    const auto it = d->devices.find(fd);
    if (it == d->devices.end())
        return;
    FdIo::close(it->writeFd);
    FdIo::close(fd);
    d->devices.erase(it);
}

void SimBoard::inputDeviceRead(int fd)
{
    QMutexLocker lock(&d->mutex);
    const auto it = d->devices.find(fd);
    if (it != d->devices.end())
        d->passOnLocked(fd, &it.value());
}

void SimBoard::recordSystemAction(const QString &action)
{
    bool quit = false;
    const bool off = action == QLatin1String("poweroff");
    {
        QMutexLocker lock(&d->mutex);
        d->actions.append(action);
        if (off)
            d->poweredOff = true;
        quit = d->quitOnPowerOff && (off || action == QLatin1String("reboot"));
    }
    Q_EMIT systemAction(action);
    if (off)
        Q_EMIT poweredOff();
    if (quit && QCoreApplication::instance())
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
}

QStringList SimBoard::engineEventLog() const
{
    QMutexLocker lock(&d->mutex);
    return d->engineEvents;
}

void SimBoard::recordEngineEvent(const QString &event)
{
    {
        QMutexLocker lock(&d->mutex);
        d->engineEvents.append(event);
    }
    Q_EMIT engineEvent(event);
}

QStringList SimBoard::soundLog() const
{
    QMutexLocker lock(&d->mutex);
    return d->sounds;
}

void SimBoard::recordSound(const QString &name)
{
    {
        QMutexLocker lock(&d->mutex);
        d->sounds.append(name);
    }
    Q_EMIT soundStarted(name);
}

} // namespace Platform
