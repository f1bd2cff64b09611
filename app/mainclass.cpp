// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/mainclass.h"

#include "app/logcategory.h"
#include "app/mainmode.h"
#include "audio/audiosettings.h"
#include "audio/audiosubsystem.h"
#include "input/board.h"
#include "input/input.h"
#include "input/keys.h"
#include "library/bookshelf.h"
#include "library/cdromworker.h"
#include "library/mediaclass.h"
#include "library/mediasource.h"
#include "library/mediasourcemanager.h"
#include "platform/devicestatus.h"
#include "platform/gpio.h"
#include "platform/paths.h"
#include "platform/platform.h"
#include "platform/systemactions.h"
#include "players/audiobookplayer.h"
#include "speech/messages.h"
#include "system/delay.h"
#include "system/idlemode.h"
#include "system/notifier.h"
#include "system/powermanager.h"
#include "system/runtimerclass.h"
#include "system/sound.h"
#include "system/soundmanager.h"
#include "system/systemsettings.h"
#include "system/timerclass.h"
#include "update/firmwaretrial.h"
#include "update/kalupdatemanager.h"

#include <QCoreApplication>
#include <QDebug>
#include <QMetaEnum>
#include <QPointer>
#include <QProcess>
#include <QSettings>
#include <QSocketNotifier>
#include <QTimer>
#include <QVector>

#include <csignal>
#include <sys/prctl.h>

#include <cstdlib>
#include <iterator>

namespace {

constexpr int s_usbFaultLine = 202;
constexpr int s_rev6Revision = 7;

const QString s_logBackupSuccessTone = QStringLiteral(
    "play -q -n synth pl G2 pl B2 pl D3 pl G3 pl D4 pl G4 pl delay 0 .05 .1 .15 .2 .25 remix - fade 0 4 .1 norm -1");
const QString s_logBackupFailureTone = QStringLiteral("play -q -n synth 2 sin 2500 fade 1 0 2 1.8 trim 0 1 repeat 1");

// A child process must not outlive its QProcess object: that would warn and
// leave a zombie behind.
void finishProcess(QProcess *process)
{
    if (process && process->state() != QProcess::NotRunning) {
        process->kill();
        process->waitForFinished(1000);
    }
}

struct BlinkStep {
    bool on;
    int msec;
};

} // namespace

class MainClassPrivate
{
public:
    explicit MainClassPrivate(MainClass *q)
        : q(q)
    {
    }

    // Single-shot timers of the controller run on the process-wide time scale.
    template<typename Functor>
    void schedule(int msec, Functor functor)
    {
        QTimer::singleShot(Platform::scaledMsec(msec), q, functor);
    }

    void setMode(MainClass::Mode newMode)
    {
        if (mode == newMode)
            return;
        mode = newMode;
        Q_EMIT q->modeChanged(newMode);
    }

    // The error blink code and the power-off are terminal: nothing else may start.
    bool halted() const { return mode == MainClass::Mode::Error || mode == MainClass::Mode::PoweredOff; }

    /**
     * A bookshelf, player, menu or main-mode start queued just before the
     * device went into shutdown or idle mode (a medium pulled, a timer): a
     * device that looks switched off must never start talking.
     */
    bool dropsModeStart(const char *slot) const
    {
        if (!shuttingDown && mode != MainClass::Mode::Shutdown && mode != MainClass::Mode::Idle)
            return false;
        qCDebug(lcApp, "%s: dropped, the device is %s", slot, mode == MainClass::Mode::Idle ? "in idle mode" : "shutting down");
        return true;
    }

    void fail(int code)
    {
        errorCode = code;
        schedule(100, &MainClass::runErrorHandler);
    }

    bool isRev6() const { return Board::getInstance()->revision() == s_rev6Revision; }
    // A medium being read into books still says "please wait", as one being mounted does.
    bool mediaBusy() const { return (mediaClass && mediaClass->isBusy()) || (bookShelf && bookShelf->pendingSearches() > 0); }

    void presetVolume()
    {
        if (audioSettings && audioSubsystem)
            audioSettings->presetVolume(audioSubsystem->audioEndpointDevice());
    }

    /**
     * The hand-over: main mode gives the keys back, and no other mode may
     * still hold them when the next one starts; one that does (a menu left
     * open by a mode that was ended) is ended by the next mode's takeKeys().
     */
    void leaveMainMode(const char *slot)
    {
        if (mainMode)
            mainMode->leave();
        if (messages)
            messages->stop();
        if (ModeBase *holder = ModeBase::keyHolder())
            qCWarning(lcApp).noquote() << slot << ": the" << holder->modeName() << "mode still holds the keys";
    }

    // The media are unmounted here, and the shelf's books go with them: the
    // next power-up, after charging, starts from an empty shelf.
    void dropMedia()
    {
        delete mediaClass;
        mediaClass = nullptr;
        delete bookShelf;
        bookShelf = nullptr;
        booksAddedConnection = {};
    }

    /**
     * Schedules the next mode once the visit's object (a player, a menu) is
     * gone. Deleted later, never here: a shutdown may come from a nested wait
     * of that very object (a player's power hold, a battery-empty warning).
     * Idle mode must not begin beside a player that still holds a book.
     */
    void afterVisit(int msec, void (MainClass::*slot)())
    {
        QObject *visit = modeObject.data();
        if (!visit) {
            schedule(msec, slot);
            return;
        }
        QObject::connect(visit, &QObject::destroyed, q, [this, msec, slot] { schedule(msec, slot); });
        visit->deleteLater();
    }

    void connectBooksAdded()
    {
        if (bookShelf && !booksAddedConnection)
            booksAddedConnection = QObject::connect(bookShelf, &BookShelf::audioBooksAdded, q, &MainClass::runBookShelf, Qt::QueuedConnection);
    }

    // Update and log backup run before power-up has created the media class.
    QList<MediaSource> mediaSources(int mask)
    {
        if (mediaClass)
            return mediaClass->mediaSources(mask);
        MediaClass scanner;
        return scanner.mediaSources(mask);
    }

    void nextBlinkStep()
    {
        if (blinkSteps.isEmpty())
            return;
        blinkIndex = (blinkIndex + 1) % blinkSteps.size();
        const BlinkStep &step = blinkSteps.at(blinkIndex);
        Board::getInstance()->switchLed(0, step.on);
        blinkTimer->start(Platform::scaledMsec(step.msec));
    }

    MainClass *const q;

    bool updateFinished = false;
    int errorCode = MainClass::NoError;
    AudioSubsystem *audioSubsystem = nullptr;
    AudioSettings *audioSettings = nullptr;
    PowerManager *powerManager = nullptr;
    BookShelf *bookShelf = nullptr;
    MediaClass *mediaClass = nullptr;
    Input *input = nullptr;
    Messages *messages = nullptr;
    Notifier *notifier = nullptr;
    MainMode *mainMode = nullptr;
    RunTimerClass *runTimer = nullptr;
    Sound *doubleBeep = nullptr;
    Sound *shutdownSound = nullptr;
    int usbFaultFd = -1;
    QSocketNotifier *usbFaultNotifier = nullptr;

    MainClass::Mode mode = MainClass::Mode::Starting;
    bool audioInitialized = false;
    bool shuttingDown = false;
    int idleVisits = 0;
    QProcess *warmUpPlayer = nullptr;
    QMetaObject::Connection booksAddedConnection;
    QPointer<QObject> modeObject; // the player, settings menu or idle mode of the current visit
    QTimer *blinkTimer = nullptr;
    QVector<BlinkStep> blinkSteps;
    int blinkIndex = -1;
};

MainClass::MainClass(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<MainClassPrivate>(this))
{
    d->audioSubsystem = new AudioSubsystem(this);
    d->audioSettings = new AudioSettings(this);
    d->powerManager = new PowerManager(this);
    d->input = new Input(this);
    d->messages = new Messages(this);
    d->notifier = Notifier::instance();
    d->runTimer = new RunTimerClass(this);
    // The simulator's status: the mode, whether keys are taken, main mode's standby countdown.
    Platform::provideStatus(this, QStringLiteral("mode"), [this] { return QString::fromLatin1(QMetaEnum::fromType<Mode>().valueToKey(int(d->mode))); });
    Platform::provideStatus(this, QStringLiteral("keys"), [this] { return QString::fromLatin1(d->input && d->input->isEnabled() ? "on" : "off"); });

    // Starting the sound player once early makes the first voice message come quicker.
    d->warmUpPlayer = new QProcess(this);
    // "play -qn" never ends by itself; whatever way this process goes (a crash,
    // a kill), the player must go with it.
    d->warmUpPlayer->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    d->warmUpPlayer->start(QStringLiteral("play"), QStringList{QStringLiteral("-qn")});
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        finishProcess(d->warmUpPlayer);
        delete d->warmUpPlayer;
        d->warmUpPlayer = nullptr;
    });

    Platform::systemActions()->runShell(QStringLiteral("dmesg > ") + Platform::path(QStringLiteral("/root/quimbo/dmesg_startup")));

    Board *board = Board::getInstance();
    d->audioSubsystem->setBoardRevision(board->revisionString());

    if (!d->powerManager->initialize()) {
        d->fail(PowerManagerError);
        return;
    }
    d->powerManager->resetAudioSubsystem();
    if (!d->audioSubsystem->initialize()) {
        d->fail(AudioInitError);
        return;
    }
    d->audioInitialized = true;
    if (!d->audioSubsystem->powerUp()) {
        d->fail(AudioPowerUpError);
        return;
    }
    if (!d->input->initialize()) {
        d->fail(InputError);
        return;
    }

    if (board->revision() == s_rev6Revision) {
        d->usbFaultFd = Platform::gpio()->openValue(s_usbFaultLine);
        if (d->usbFaultFd > 0) {
            d->usbFaultNotifier = new QSocketNotifier(d->usbFaultFd, Platform::gpio()->edgeNotifierType(), this);
            d->usbFaultNotifier->setEnabled(false);
            connect(d->usbFaultNotifier, &QSocketNotifier::activated, this, &MainClass::usbFaultEvent);
        }
        qCDebug(lcApp) << "USB Fault notifier is" << (d->usbFaultNotifier ? "active" : "not active");
    }

    SoundManager *sounds = SoundManager::instance();
    for (const char *name : {"normalBeep", "bookshelfAdded", "bookshelfRemoved", "chargerConnect", "chargerDisconnect", "beep", "shortBeep",
                             "alarmBeep", "tickBeep"})
        sounds->effect(QString::fromLatin1(name));
    d->doubleBeep = sounds->effect(QStringLiteral("doubleBeep"));
    d->shutdownSound = sounds->effect(QStringLiteral("shutdown"));

    connect(d->audioSettings, &AudioSettings::pauseTimerReady, this, [this] {
        if (d->doubleBeep)
            d->doubleBeep->play();
    });
    connect(d->audioSettings, &AudioSettings::rs2DurationTimeout, this, &MainClass::rs2TimerTimeoutEvent);
    connect(d->audioSubsystem, &AudioSubsystem::audioEnpointDeviceChange, d->audioSettings, &AudioSettings::presetVolume);
    connect(d->notifier, &Notifier::startNotify, d->messages, &Messages::stop);
    connect(d->notifier, &Notifier::batteryEmpty, this, &MainClass::runShutdown);
    // The device's sleep timer may still run from a controller before this one (tests).
    ModeBase::sleepTimer()->stop();
    d->mainMode = new MainMode(d->input, d->audioSettings, [this] { return d->mediaBusy(); }, this);
    connect(d->mainMode, &MainMode::shutdown, this, &MainClass::runShutdown, Qt::QueuedConnection);
    connect(d->mainMode, &MainMode::menuRequested, this, &MainClass::runSystemSettings);
    d->runTimer->start();
}

MainClass::~MainClass()
{
    delete d->modeObject.data();
    if (d->notifier)
        d->notifier->clear();
    if (d->usbFaultFd >= 0)
        Platform::gpio()->closeValue(d->usbFaultFd);
    finishProcess(d->warmUpPlayer);
}

int MainClass::bootStatus() const
{
    Delay::msec(1000);
    // A failed construction has already started the error blink code, which never ends.
    if (d->errorCode != NoError || d->halted())
        return -1;

    QSettings settings;
    if (d->powerManager->adapterStatus() != PowerManager::AdapterConnected) {
        if (!settings.value(QStringLiteral("batteryEmpty"), false).toBool()) {
            // A run on battery counts as a hard shutdown until the orderly power-off says otherwise.
            settings.setValue(QStringLiteral("shutdownGood"), false);
            return 0;
        }
        qCDebug(lcApp) << "Quimbo batteryEmpty shutdown. Startup with adapter!";
        AudioSettings::setVolume(9);
        d->messages->play(Message::battery_empty, true);
        d->messages->play(Message::device_will_power_off, true);
        return 4;
    }

    if (d->powerManager->bootSource() != 0)
        return 0;

    Board *board = Board::getInstance();
    switch (d->input->keyPressed()) {
    case BUTTON_SLEEP_MENU:
        return 2;
    case BUTTON_FAST_FORWARD:
        return 3;
    case BUTTON_EJECT:
        qCDebug(lcApp) << "Emergency eject media from cd-rom player";
        board->switchUsbDrive(0, true);
        AudioSettings::setVolume(9);
        d->messages->play(Message::eject, true);
        Delay::msec(5000);
        if (CdRomWorker::emergencyEject()) {
            if (settings.value(QStringLiteral("lastPlayedMedia"), 0).toInt() == MediaSource::MediaTypeCdRom)
                settings.setValue(QStringLiteral("lastPlayedMedia"), 0);
        } else {
            d->messages->play(Message::cd_not_detectable, true);
            Delay::msec(2000);
        }
        board->switchUsbDrive(0, false);
        return 1;
    case BUTTON_REWIND: {
        const unsigned int minutes = d->runTimer->currentRunTime();
        AudioSettings::setVolume(9);
        d->messages->play(Message::battery_status, true);
        d->messages->play(QString::number(minutes / 60), true);
        d->messages->play(Message::hour, true);
        d->messages->play(QString::number(minutes % 60), true);
        d->messages->play(Message::minute, true);
        qCDebug(lcApp, "Last run time: %d:%d in minutes: %d", int(minutes / 60), int(minutes % 60), int(minutes));
        return 1;
    }
    default:
        return 1;
    }
}

void MainClass::start(int bootStatus)
{
    if (d->errorCode != NoError || d->halted())
        return;
    // The start slot of each boot status, after its delay.
    static const struct {
        int msec;
        void (MainClass::*slot)();
    } starts[] = {{500, &MainClass::runPowerUp}, {1000, &MainClass::runIdleMode}, {1000, &MainClass::runUpdate},
                  {1000, &MainClass::runLogBackup}, {500, &MainClass::runShutdown}};
    if (bootStatus >= 0 && bootStatus < int(std::size(starts)))
        d->schedule(starts[bootStatus].msec, starts[bootStatus].slot);
    else
        d->schedule(500, &MainClass::runErrorHandler);
}

int MainClass::errorCode() const
{
    return d->errorCode;
}

MainClass::Mode MainClass::mode() const
{
    return d->mode;
}

PowerManager *MainClass::powerManager() const
{
    return d->powerManager;
}

Input *MainClass::input() const
{
    return d->input;
}

AudioSettings *MainClass::audioSettings() const
{
    return d->audioSettings;
}

MediaClass *MainClass::mediaClass() const
{
    return d->mediaClass;
}

BookShelf *MainClass::bookShelf() const
{
    return d->bookShelf;
}

void MainClass::runPowerUp()
{
    qCDebug(lcApp) << Q_FUNC_INFO;
    if (d->halted())
        return;
    d->setMode(Mode::PowerUp);
    FirmwareTrial::countThisStart(true);

    if (!d->audioInitialized) {
        d->powerManager->resetAudioSubsystem();
        d->audioInitialized = d->audioSubsystem->initialize();
    }
    if (!d->audioSubsystem->powerUp()) {
        d->errorCode = AudioPowerUpError;
        d->schedule(10, &MainClass::runErrorHandler);
        return;
    }

    Board *board = Board::getInstance();
    d->presetVolume();
    board->switchUsbDrive(0, true);
    Delay::msec(250);
    d->powerManager->setChargerLed(false);
    board->switchLed(1, true);

    if (!d->bookShelf) {
        d->bookShelf = new BookShelf(d->audioSettings, d->input, this);
        connect(d->bookShelf, &BookShelf::shutdown, this, &MainClass::runShutdown, Qt::QueuedConnection);
        connect(d->bookShelf, &BookShelf::quit, this, &MainClass::runMainClass, Qt::QueuedConnection);
        connect(d->bookShelf, &BookShelf::audioBookSelected, this, qOverload<bool>(&MainClass::runPlayer), Qt::QueuedConnection);
        connect(d->bookShelf, &BookShelf::audioBookInUseRemoved, this, &MainClass::audioBookInUseRemoved, Qt::QueuedConnection);
        d->connectBooksAdded();
    }
    if (!d->mediaClass) {
        d->mediaClass = new MediaClass(this);
        connect(d->bookShelf, &BookShelf::ejectCd, d->mediaClass, &MediaClass::ejectCd);
        connect(d->mediaClass, &MediaClass::mediaSourceInserted, d->bookShelf, &BookShelf::addMediaSource);
        connect(d->mediaClass, &MediaClass::mediaSourceRemoved, d->bookShelf, &BookShelf::removeMediaSource);
        connect(d->mediaClass, &MediaClass::ejectFailed, d->bookShelf, &BookShelf::ejectFailed);
        // The player quit for the disc, which stayed: back to the shelf, where
        // the reader chooses. A player reading another medium says it itself.
        connect(d->mediaClass, &MediaClass::ejectFailed, this, [this] {
            if (d->mode != Mode::Player)
                return;
            if (auto *player = qobject_cast<AudioBookPlayer *>(d->modeObject.data())) {
                player->ejectFailed();
            } else if (!d->modeObject && d->bookShelf) {
                d->bookShelf->runNormal();
                runBookShelf();
            }
        });
    }
    d->notifier->setPowerManager(d->powerManager);
    d->notifier->setMediaClass(d->mediaClass);
    if (d->usbFaultNotifier)
        d->usbFaultNotifier->setEnabled(true);

    d->messages->play(Message::welcome, true);
    if (FirmwareTrial::confirmGoodStart())
        d->messages->play(Message::update_failed, true);
    d->powerManager->refresh();
    QPointer<MediaClass> mediaClass = d->mediaClass;
    d->schedule(1000, [mediaClass] {
        if (mediaClass)
            mediaClass->waitForPriorityDevice();
    });
    d->schedule(10, &MainClass::runMainClass);
}

void MainClass::runMainClass()
{
    if (d->halted() || d->dropsModeStart(Q_FUNC_INFO)) {
        qCDebug(lcApp) << Q_FUNC_INFO;
        return;
    }
    d->leaveMainMode(Q_FUNC_INFO);
    d->setMode(Mode::Main);
    d->mainMode->run();
    // Logged once the keys are on: scripts wait for this line before they press one.
    qCDebug(lcApp) << Q_FUNC_INFO;
}

void MainClass::runUpdate()
{
    qCDebug(lcApp) << Q_FUNC_INFO;
    if (d->halted())
        return;
    d->setMode(Mode::Update);

    auto updateManager = std::make_unique<KalUpdateManager>();
    d->audioSubsystem->powerUp();
    d->presetVolume();
    Delay::msec(250);
    d->messages->play(Message::start_update, true);

    bool found = false;
    const QList<MediaSource> media = d->mediaSources(MediaSource::MediaTypeUsb | MediaSource::MediaTypeMmc);
    for (const MediaSource &mediaSource : media) {
        MediaSourceManager manager(mediaSource);
        if (!manager.mount())
            continue;
        if (updateManager->checkForUpdates(Platform::path(manager.mediaSource().mountPath())) == KalUpdateManager::KalUpdateFound) {
            found = true;
            break;
        }
    }

    if (!found) {
        qCDebug(lcApp).nospace() << Q_FUNC_INFO << ": no updates/datapackages files found";
        d->messages->play(Message::no_update_found, true);
        d->schedule(10, &MainClass::runIdleMode);
        return;
    }

    qCDebug(lcApp).nospace() << Q_FUNC_INFO << ": update/datapackges files found.. start update";
    d->messages->play(Message::update_found, true);
    d->messages->play(Message::update_started, true);
    Board *board = Board::getInstance();
    d->powerManager->setChargerLed(false);
    board->switchLed(1, true);
    board->switchLed(0, true);
    Delay::msec(500);
    const KalUpdateManager::Status status = updateManager->runUpdate();
    qCDebug(lcApp).nospace() << Q_FUNC_INFO << ": update status: " << KalUpdateManager::statusToString(status);
    Platform::systemActions()->sync();
    d->messages->play(status == KalUpdateManager::NoError ? Message::update_completed : Message::update_failed, true);
    d->updateFinished = true;
    d->messages->play(Message::device_will_power_off, true);
    d->messages->play(Message::remove_usb_key, true);
    d->schedule(1000, &MainClass::runShutdown);
}

void MainClass::runLogBackup()
{
    qCDebug(lcApp) << Q_FUNC_INFO;
    if (d->halted())
        return;
    d->setMode(Mode::LogBackup);

    d->audioSubsystem->powerUp();
    d->presetVolume();
    Delay::msec(250);

    QList<MediaSource> media = d->mediaSources(MediaSource::MediaTypeUsb);
    media += d->mediaSources(MediaSource::MediaTypeMmc);
    bool copied = false;
    for (const MediaSource &mediaSource : std::as_const(media)) {
        MediaSourceManager manager(mediaSource);
        copied = manager.systemBackup();
        manager.unmount();
        if (copied)
            break;
    }

    QString tone;
    if (copied) {
        qCDebug(lcApp) << "[MainClass::runLogBackup] succesfull";
        tone = s_logBackupSuccessTone;
    } else {
        qCDebug(lcApp) << "[MainClass::runLogBackup] failed";
        tone = s_logBackupFailureTone;
    }
    QStringList arguments = QProcess::splitCommand(tone);
    const QString program = arguments.takeFirst();
    QProcess player;
    player.start(program, arguments);
    if (player.waitForStarted())
        player.waitForFinished(30000);
    finishProcess(&player);
    d->schedule(200, &MainClass::runIdleMode);
}

void MainClass::runIdleMode()
{
    qCDebug(lcApp) << Q_FUNC_INFO;
    if (d->halted())
        return;
    d->leaveMainMode(Q_FUNC_INFO);
    d->setMode(Mode::Idle);
    // Charging is no try of a new firmware: only the way to the welcome is.
    FirmwareTrial::countThisStart(false);

    d->powerManager->setChargerLed(true);
    d->presetVolume();
    d->audioSubsystem->powerDown();
    if (d->usbFaultNotifier)
        d->usbFaultNotifier->setEnabled(false);

    auto *idleMode = new IdleMode(d->input);
    d->modeObject = idleMode;
    connect(idleMode, &IdleMode::shutdown, this, &MainClass::runShutdown, Qt::QueuedConnection);
    // The start-up tune (a wait of two seconds) plays here, after idle mode's
    // key handler has returned: waited for within that handler, an adapter
    // pulled meanwhile shut the device down and deleted idle mode under it.
    connect(
        idleMode, &IdleMode::quit, this,
        [this, visit = ++d->idleVisits] {
            d->powerManager->playStartupSound();
            // Unless a shutdown came during the tune.
            if (d->mode == Mode::Idle && d->idleVisits == visit)
                runPowerUp();
        },
        Qt::QueuedConnection);
    connect(idleMode, &IdleMode::shutdown, idleMode, &QObject::deleteLater);
    connect(idleMode, &IdleMode::quit, idleMode, &QObject::deleteLater);
    connect(d->powerManager, &PowerManager::adapterStatusChanged, idleMode, &IdleMode::adapterStatusChanged);
    connect(d->powerManager, &PowerManager::batteryStatusChanged, idleMode, &IdleMode::batteryStatusChanged);
    QTimer::singleShot(Platform::scaledMsec(10), idleMode, &IdleMode::run);
}

void MainClass::runShutdown()
{
    qCDebug(lcApp) << Q_FUNC_INFO;
    // The waits below keep the event loop running; a second request meanwhile changes nothing.
    if (d->halted() || d->shuttingDown)
        return;
    d->shuttingDown = true;
    d->setMode(Mode::Shutdown);

    Q_EMIT aboutToShutdown();
    // A device switched off (or charging, looking switched off) sets no alarm.
    ModeBase::sleepTimer()->stop();

    d->leaveMainMode(Q_FUNC_INFO);
    d->input->setEnabled(false);
    d->notifier->clear();
    d->messages->stop();
    AudioSettings::setVolume(5);
    if (d->shutdownSound)
        d->shutdownSound->play(true);
    d->audioSubsystem->powerDown();

    d->dropMedia();
    Delay::msec(500);
    Board *board = Board::getInstance();
    board->switchUsbDrive(0, false);
    board->switchLed(0, false);
    board->switchLed(1, false);
    d->powerManager->setChargerLed(true);

    if (d->powerManager->batteryStatus() == 1 && !d->updateFinished) {
        qCDebug(lcApp).nospace() << Q_FUNC_INFO << ": we are charging.. so we are going in idle mode";
        d->powerManager->shutdownTurnedIntoCharging();
        d->shuttingDown = false;
        d->afterVisit(50, &MainClass::runIdleMode);
        return;
    }

    Platform::systemActions()->runShell(QStringLiteral("dmesg > ") + Platform::path(QStringLiteral("/root/quimbo/dmesg_shutdown")));
    SoundManager::destroy();
    d->doubleBeep = d->shutdownSound = nullptr;
    delete d->mainMode;
    d->mainMode = nullptr;
    delete d->runTimer;
    d->runTimer = nullptr;
    delete d->modeObject.data();
    delete d->input;
    d->input = nullptr;
    delete d->messages;
    d->messages = nullptr;
    delete d->audioSettings;
    d->audioSettings = nullptr;
    delete d->audioSubsystem;
    d->audioSubsystem = nullptr;
    if (d->usbFaultFd >= 0) {
        delete d->usbFaultNotifier;
        d->usbFaultNotifier = nullptr;
        Platform::gpio()->closeValue(d->usbFaultFd);
        d->usbFaultFd = -1;
    }
    d->setMode(Mode::PoweredOff);
    d->powerManager->shutdown(true);
}

void MainClass::runErrorHandler()
{
    qCDebug(lcApp) << Q_FUNC_INFO;
    if (d->mode == Mode::Error)
        return;
    d->leaveMainMode(Q_FUNC_INFO);
    d->setMode(Mode::Error);

    Board *board = Board::getInstance();
    board->switchLed(0, false);
    board->switchLed(1, false);
    board->switchUsbDrive(0, false);

    int pulses = d->errorCode;
    if (pulses == NoError || pulses > InputError)
        pulses = 7;
    // One cycle: a long flash, then one short flash per unit of the code, then a pause.
    d->blinkSteps = {{true, 1000}, {false, 1000}};
    for (int i = 0; i < pulses; ++i)
        d->blinkSteps << BlinkStep{true, 250} << BlinkStep{false, 250};
    d->blinkSteps << BlinkStep{false, 1000};
    d->blinkIndex = -1;

    // Timer steps rather than a loop of waits: the blinking goes on for ever
    // while the event loop stays free for whatever else still arrives.
    d->blinkTimer = new QTimer(this);
    d->blinkTimer->setSingleShot(true);
    d->blinkTimer->setTimerType(Qt::PreciseTimer);
    connect(d->blinkTimer, &QTimer::timeout, this, [this] { d->nextBlinkStep(); });
    d->blinkTimer->start(Platform::scaledMsec(500));
}

void MainClass::systemSettingsIsFinished()
{
    const int count = d->bookShelf ? d->bookShelf->count() : 0;
    qCDebug(lcApp) << "systemSettingsIsFinished" << ": bookshelf count:" << count;
    if (count == 0) {
        d->schedule(10, &MainClass::runMainClass);
    } else if (count == 1) {
        if (d->bookShelf->bookAt(0).mimeType() != AudioBook::Undefined)
            d->schedule(10, [this] { runPlayer(false); });
        else
            d->schedule(10, &MainClass::runMainClass);
    } else {
        d->schedule(10, &MainClass::runBookShelf);
    }
}

void MainClass::runSystemSettings()
{
    qCDebug(lcApp) << Q_FUNC_INFO;
    if (d->halted() || d->dropsModeStart(Q_FUNC_INFO))
        return;
    d->leaveMainMode(Q_FUNC_INFO);
    d->setMode(Mode::SystemSettings);
    // A medium inserted while the menu is open must not pull the device into the bookshelf.
    if (d->booksAddedConnection) {
        disconnect(d->booksAddedConnection);
        d->booksAddedConnection = {};
    }

    auto *menu = new SystemSettings(d->audioSettings, d->input);
    d->modeObject = menu;
    connect(menu, &SystemSettings::shutdown, this, &MainClass::runShutdown, Qt::QueuedConnection);
    connect(menu, &SystemSettings::finished, this, &MainClass::systemSettingsIsFinished, Qt::QueuedConnection);
    connect(menu, &SystemSettings::quitToBookshelf, this, &MainClass::runBookShelf, Qt::QueuedConnection);
    if (d->bookShelf)
        connect(menu, &SystemSettings::quitToBookshelf, d->bookShelf, &BookShelf::runNormal);
    for (auto signal : std::initializer_list<void (SystemSettings::*)()>{&SystemSettings::shutdown, &SystemSettings::finished, &SystemSettings::quitToBookshelf}) {
        connect(menu, signal, menu, &QObject::deleteLater);
        connect(menu, signal, this, [this] { d->connectBooksAdded(); });
    }
    QTimer::singleShot(Platform::scaledMsec(10), menu, &SystemSettings::run);
}

void MainClass::runBookShelf()
{
    qCDebug(lcApp) << Q_FUNC_INFO;
    if (d->halted() || d->dropsModeStart(Q_FUNC_INFO) || !d->bookShelf)
        return;
    d->leaveMainMode(Q_FUNC_INFO);
    d->setMode(Mode::BookShelf);
    QTimer::singleShot(Platform::scaledMsec(10), d->bookShelf, &BookShelf::run);
}

void MainClass::runPlayer(bool autoPlay)
{
    qCDebug(lcApp) << "runPlayer"
             << "autoPlay:" << autoPlay;
    if (d->halted() || d->dropsModeStart(Q_FUNC_INFO) || !d->bookShelf)
        return;
    d->leaveMainMode(Q_FUNC_INFO);
    d->setMode(Mode::Player);

    // Back from the menu with one book on the shelf: that book, though the shelf never handed it over.
    if (!d->bookShelf->bookInUse().isDefined() && d->bookShelf->count() == 1)
        d->bookShelf->setBookInUse(d->bookShelf->bookAt(0));
    const AudioBook audioBook = d->bookShelf->bookInUse();
    auto *player = new AudioBookPlayer(d->audioSettings, d->input);
    if (!player->open(audioBook)) {
        qCDebug(lcApp).nospace() << Q_FUNC_INFO << ": player can't open audio book";
        delete player;
        // Back on the shelf the reader chooses: a book that cannot be opened
        // must not be started by itself again and again.
        d->bookShelf->runNormal();
        d->schedule(10, &MainClass::runBookShelf);
        return;
    }

    d->modeObject = player;
    d->bookShelf->setLastPlayedAudioBook(audioBook);
    for (auto signal : std::initializer_list<void (AudioBookPlayer::*)()>{&AudioBookPlayer::quit, &AudioBookPlayer::shutdown, &AudioBookPlayer::ejectCdAndQuit, &AudioBookPlayer::quitToBookshelf})
        connect(player, signal, player, &QObject::deleteLater);
    connect(player, &AudioBookPlayer::shutdown, this, &MainClass::runShutdown, Qt::QueuedConnection);
    connect(player, &AudioBookPlayer::quitToBookshelf, this, &MainClass::runBookShelf, Qt::QueuedConnection);
    if (d->mediaClass) {
        connect(player, &AudioBookPlayer::ejectCd, d->mediaClass, &MediaClass::ejectCd);
        connect(player, &AudioBookPlayer::ejectCdAndQuit, d->mediaClass, &MediaClass::ejectCd);
    }
    // Direct, so that the player saves its position before anything is torn down.
    connect(this, &MainClass::aboutToShutdown, player, &AudioBookPlayer::aboutToQuit, Qt::DirectConnection);
    connect(d->bookShelf, &BookShelf::audioBookInUseRemoved, player, &AudioBookPlayer::aboutToQuit, Qt::DirectConnection);
    if (autoPlay)
        QTimer::singleShot(Platform::scaledMsec(10), player, &AudioBookPlayer::run);
    else
        QTimer::singleShot(Platform::scaledMsec(10), player, &AudioBookPlayer::runIdle);
}

void MainClass::runPlayer()
{
    runPlayer(false);
}

void MainClass::audioBookInUseRemoved()
{
    qCDebug(lcApp) << Q_FUNC_INFO;
    if (d->bookShelf && d->bookShelf->count() > 0)
        d->schedule(1000, &MainClass::runBookShelf);
    else
        d->schedule(10, &MainClass::runMainClass);
}

void MainClass::rs2TimerTimeoutEvent()
{
    qCDebug(lcApp) << Q_FUNC_INFO;
    if (!d->messages || !d->input)
        return;
    d->messages->stop();
    if (d->doubleBeep)
        d->doubleBeep->play();
    d->input->setEnabled(false);
    d->schedule(500, &MainClass::runShutdown);
}

void MainClass::usbFaultEvent()
{
    if (!d->isRev6() || d->usbFaultFd < 0)
        return;
    qCDebug(lcApp) << "usbFaultEvent";
    Platform::Gpio *gpio = Platform::gpio();
    // Reading the value file re-arms the edge report.
    gpio->rearm(d->usbFaultFd);
    int value = gpio->readValue(s_usbFaultLine);
    if (value == 0) {
        Delay::msec(10);
        value = gpio->readValue(s_usbFaultLine);
    }
    // A line back at 1 at either read was a glitch.
    if (value == 0) {
        qCDebug(lcApp).nospace() << Q_FUNC_INFO << ": external usb fault event triggered";
        d->notifier->message(Message::usb_error_remove_usb_device);
    }
}
