// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/systemsettings.h"

#include "audio/audiosettings.h"
#include "audio/vlcmediaplayer.h"
#include "input/board.h"
#include "input/input.h"
#include "input/keys.h"
#include "library/bookmemory.h"
#include "platform/platform.h"
#include "speech/messages.h"
#include "system/logcategory.h"
#include "system/notifier.h"
#include "system/sound.h"
#include "system/soundmanager.h"
#include "system/systemmanual.h"
#include "system/systemsettingslocale.h"
#include "system/timerclass.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QList>
#include <QMap>
#include <QPointer>
#include <QSettings>
#include <QTimer>

namespace {

constexpr int kRev6Revision = 7;
constexpr int kStandbySeconds = 1800;

const QString kMainLevel = QStringLiteral("main");
const QString kLanguageKey = QStringLiteral("systemLanguage");
const QString kNavigationKey = QStringLiteral("navigationMode");
const QString kAutomaticPlayKey = QStringLiteral("automaticPlay");
const QString kBookshelfKey = QStringLiteral("bookshelfMenuItem");

Sound *sound(const QString &name)
{
    return SoundManager::instance()->effect(name);
}

} // namespace

class SystemSettingsPrivate
{
public:
    SystemSettingsPrivate(SystemSettings *q, AudioSettings *audioSettings, Input *input)
        : q(q)
        , audioSettings(audioSettings)
        , messages(new Messages(q))
        , notifier(Notifier::instance())
        , input(input)
        , standbyTimer(new TimerClass(q))
        , beep(sound(QStringLiteral("beep")))
        , doubleBeep(sound(QStringLiteral("doubleBeep")))
        , alarmBeep(sound(QStringLiteral("alarmBeep")))
        , tickBeep(sound(QStringLiteral("tickBeep")))
    {
    }

    bool atMainLevel() const { return level == kMainLevel; }
    QString currentItem() const { return mainList.value(mainIndex); }
    QString currentOption() const { return optionList.value(optionIndex); }

    void buildOptionMap();
    void buildMainList();
    void connectKeys();
    void disconnectKeys();
    void setInputEnabled(bool enabled);

    void nextItem();
    void previousItem();
    void step(int delta);
    void backToMain();
    void selectMainItem();
    void selectItem();
    void quit();
    void changeVolume(int delta);
    void watchSettingsFile();

    SystemSettings *const q;
    QMap<QString, QStringList> optionMap;
    QStringList mainList;
    QStringList optionList;
    QString level = kMainLevel;
    int mainIndex = 0;
    int optionIndex = 0;
    SystemSettingsLocale locale;
    AudioSettings *audioSettings;
    Messages *messages;
    Notifier *notifier;
    Input *input;
    TimerClass *standbyTimer;
    Sound *beep;
    Sound *doubleBeep;
    Sound *alarmBeep;
    Sound *tickBeep;
    QPointer<VlcMediaPlayer> mediaPlayer;

    QFileSystemWatcher *watcher = nullptr;
    QList<QMetaObject::Connection> keyConnections;
};

void SystemSettingsPrivate::buildOptionMap()
{
    optionMap.clear();
    if (Board::getInstance()->revision() == kRev6Revision)
        optionMap.insert(Message::manual, {});
    optionMap.insert(Message::languages, locale.keys());
    optionMap.insert(Message::navigation_mode, {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")});
    optionMap.insert(Message::automatic_play, {Message::no, Message::yes});
    optionMap.insert(Message::factory_defaults, {Message::no, Message::yes});
    optionMap.insert(Message::firmware, {});
    optionMap.insert(Message::bookshelf, {});
}

void SystemSettingsPrivate::buildMainList()
{
    mainList.clear();
    if (Board::getInstance()->revision() == kRev6Revision)
        mainList << Message::manual;
    mainList << Message::languages << Message::navigation_mode << Message::automatic_play << Message::factory_defaults << Message::firmware;
    if (QSettings().value(kBookshelfKey, false).toBool() && !mainList.contains(Message::bookshelf))
        mainList.prepend(Message::bookshelf);
    // Coming back from the manual the list may have lost the bookshelf item meanwhile.
    if (mainIndex >= mainList.size())
        mainIndex = int(mainList.size()) - 1;
}

void SystemSettingsPrivate::connectKeys()
{
    disconnectKeys();
    keyConnections << QObject::connect(notifier, &Notifier::startNotify, messages, &Messages::stop);
    keyConnections << QObject::connect(input, &Input::pressed, q, &SystemSettings::keyPressEvent);
    keyConnections << QObject::connect(input, &Input::released, q, &SystemSettings::keyReleaseEvent);
    keyConnections << QObject::connect(input, &Input::holded, q, &SystemSettings::keyHoldEvent);
    keyConnections << QObject::connect(input, &Input::released, standbyTimer, &TimerClass::restartTimer);
}

void SystemSettingsPrivate::disconnectKeys()
{
    for (const QMetaObject::Connection &connection : std::as_const(keyConnections))
        QObject::disconnect(connection);
    keyConnections.clear();
}

void SystemSettingsPrivate::setInputEnabled(bool enabled)
{
    input->setEnabled(enabled);
    if (!enabled)
        input->setAutoRepeat(false);
}

void SystemSettingsPrivate::nextItem()
{
    step(+1);
}

void SystemSettingsPrivate::previousItem()
{
    step(-1);
}

void SystemSettingsPrivate::step(int delta)
{
    if (atMainLevel()) {
        if (mainList.isEmpty())
            return;
        const int count = int(mainList.size());
        mainIndex = (mainIndex + delta + count) % count;
        messages->play(currentItem(), false);
        return;
    }
    if (optionList.isEmpty())
        return;
    const int count = int(optionList.size());
    // A stored language missing from the table leaves the index at -1: forward reaches the first entry.
    optionIndex = optionIndex + delta;
    if (optionIndex >= count)
        optionIndex = 0;
    else if (optionIndex < 0)
        optionIndex = count - 1;
    if (level == Message::navigation_mode) {
        messages->append(Message::mode, true);
        messages->append(currentOption(), false);
        messages->playMessages();
    } else {
        messages->play(currentOption(), false);
    }
}

void SystemSettingsPrivate::backToMain()
{
    if (atMainLevel())
        return;
    messages->play(currentItem(), false);
    optionIndex = 0;
    optionList.clear();
    level = kMainLevel;
    qCDebug(lcSystem) << "backToMain";
}

void SystemSettingsPrivate::selectMainItem()
{
    qCDebug(lcSystem) << "selectMainItem";
    if (mainList.isEmpty())
        return;
    level = currentItem();
    optionList = optionMap.value(level);
    QSettings settings;

    if (level == Message::manual) {
        optionList.clear();
        level = kMainLevel;
        QTimer::singleShot(Platform::scaledMsec(10), q, &SystemSettings::runHelp);
        return;
    }
    if (level == Message::bookshelf) {
        qCDebug(lcSystem) << "Quit menu and start bookshelf";
        level = kMainLevel;
        standbyTimer->stop();
        disconnectKeys();
        setInputEnabled(false);
        Q_EMIT q->quitToBookshelf();
        return;
    }
    if (level == Message::languages) {
        optionIndex = int(optionList.indexOf(locale.toNativeMessage(settings.value(kLanguageKey, QStringLiteral("eng")).toString())));
        // A code the table does not know has no name to say: the item's own name stands in.
        messages->append(optionIndex >= 0 ? currentOption() : Message::languages, true);
    } else if (level == Message::navigation_mode) {
        optionIndex = settings.value(kNavigationKey, 1).toInt() - 1;
        messages->append(Message::mode, true);
        messages->append(currentOption(), false);
    } else if (level == Message::automatic_play) {
        optionIndex = int(optionList.indexOf(settings.value(kAutomaticPlayKey, true).toBool() ? Message::yes : Message::no));
        messages->append(Message::automatic_play, true);
        messages->append(currentOption(), false);
    } else if (level == Message::factory_defaults) {
        optionIndex = 0;
        messages->append(Message::no, true);
    } else if (level == Message::firmware) {
        optionIndex = 0;
        optionList.clear();
        // Nothing to choose: the version is said and the menu stays on the main list.
        level = kMainLevel;
        const QString version = QCoreApplication::applicationVersion();
        const QStringList parts = version.split(QLatin1Char('.'));
        messages->append(parts.value(0), true);
        messages->append(parts.value(1), false);
        qCDebug(lcSystem) << "Firmware version:" << version;
    }
    messages->playMessages();
}

void SystemSettingsPrivate::selectItem()
{
    if (atMainLevel()) {
        selectMainItem();
        return;
    }
    QSettings settings;
    const QString option = currentOption();

    if (level == Message::languages) {
        const QString code = locale.toIso639(option);
        if (code.isEmpty()) {
            qCDebug(lcSystem).nospace() << Q_FUNC_INFO << ": no iso639 code found for: " << option;
        } else {
            settings.setValue(kLanguageKey, code);
            settings.sync();
        }
        // Spoken after storing: the confirmation already comes from the new language's folder.
        messages->append(Message::settings_saved, true);
        messages->append(Message::languages, false);
    } else if (level == Message::navigation_mode) {
        bool ok = false;
        const int mode = option.toInt(&ok);
        if (ok && mode >= 1 && mode <= 3)
            settings.setValue(kNavigationKey, mode);
        else
            qCDebug(lcSystem).nospace() << Q_FUNC_INFO << ": wrong mode value: " << option;
        messages->append(Message::settings_saved, true);
        messages->append(Message::navigation_mode, false);
        messages->append(QString::number(mode), false);
    } else if (level == Message::automatic_play) {
        const bool enabled = option == Message::yes;
        settings.setValue(kAutomaticPlayKey, enabled);
        qCDebug(lcSystem).nospace() << Q_FUNC_INFO << ": automatic play enabled: " << enabled;
        messages->append(Message::settings_saved, true);
        messages->append(Message::automatic_play, false);
        messages->append(option, false);
    } else if (level == Message::factory_defaults && option == Message::yes) {
        settings.setValue(kLanguageKey, QStringLiteral("eng"));
        settings.setValue(kNavigationKey, 2);
        settings.setValue(kAutomaticPlayKey, true);
        settings.setValue(QStringLiteral("daisyLevel"), 2);
        settings.sync();
        // Every book is forgotten; markers on a medium belong to the medium.
        BookMemory::forgetAll();
        qCDebug(lcSystem).nospace() << Q_FUNC_INFO << ": factor default set:";
        messages->append(Message::settings_saved, true);
        messages->append(Message::factory_defaults, false);
        messages->append(option, false);
    }
    // Factory defaults "no" stores nothing and says again the "no" queued on entering.
    optionList.clear();
    optionIndex = 0;
    level = kMainLevel;
    messages->playMessages();
}

void SystemSettingsPrivate::quit()
{
    qCDebug(lcSystem) << "Quit menu!";
    standbyTimer->stop();
    disconnectKeys();
    setInputEnabled(false);
    messages->play(Message::exit_menu, true);
    Q_EMIT q->finished();
}

void SystemSettingsPrivate::changeVolume(int delta)
{
    const int volume = audioSettings->changeVolume(delta);
    SoundManager::instance()->play(SoundManager::volumeAnswer(volume, audioSettings->volumeMaxRS1Level()));
}

void SystemSettingsPrivate::watchSettingsFile()
{
    // The store is rewritten by renaming a new file over the old one, which
    // drops the old file from the watch: the folder is watched as well, and
    // the file is added again whenever it is there.
    const QString file = QSettings().fileName();
    const QString folder = QFileInfo(file).absolutePath();
    watcher = new QFileSystemWatcher(q);
    watcher->addPath(folder);
    if (QFileInfo::exists(file))
        watcher->addPath(file);
    const auto changed = [this, file] {
        if (!watcher->files().contains(file) && QFileInfo::exists(file))
            watcher->addPath(file);
        q->settingsFileChanged();
    };
    QObject::connect(watcher, &QFileSystemWatcher::fileChanged, q, changed);
    QObject::connect(watcher, &QFileSystemWatcher::directoryChanged, q, changed);
}

SystemSettings::SystemSettings(AudioSettings *audioSettings, Input *input, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<SystemSettingsPrivate>(this, audioSettings, input))
{
    d->setInputEnabled(false);
    d->standbyTimer->publishStatus(QStringLiteral("standby"));
    d->standbyTimer->setTime(kStandbySeconds);
    d->standbyTimer->stop();
    connect(d->standbyTimer, &TimerClass::timeout, this, &SystemSettings::standbyTimerTimeout);
    d->watchSettingsFile();
}

SystemSettings::~SystemSettings() = default;

void SystemSettings::setMediaPlayer(VlcMediaPlayer *mediaPlayer)
{
    d->mediaPlayer = mediaPlayer;
}

void SystemSettings::run()
{
    qCDebug(lcSystem) << Q_FUNC_INFO;
    d->buildOptionMap();
    d->buildMainList();

    d->level = kMainLevel;
    d->optionList.clear();
    d->messages->append(Message::menu, true);
    d->messages->append(d->currentItem(), false);
    d->messages->playMessages();

    d->connectKeys();
    d->input->setEnabled(true);
    d->standbyTimer->start();
}

void SystemSettings::keyPressEvent(int key)
{
    d->beep->play();
    switch (key) {
    case BUTTON_REWIND:
        d->previousItem();
        break;
    case BUTTON_FAST_FORWARD:
        d->nextItem();
        break;
    case BUTTON_EJECT:
        d->backToMain();
        break;
    default:
        break;
    }
}

void SystemSettings::keyReleaseEvent(int key)
{
    switch (key) {
    case BUTTON_PLAY_STOP:
        d->selectItem();
        break;
    case BUTTON_SLEEP_MENU:
        d->quit();
        break;
    case BUTTON_VOLUME_UP:
        d->changeVolume(+1);
        break;
    case BUTTON_VOLUME_DOWN:
        d->changeVolume(-1);
        break;
    default:
        break;
    }
}

void SystemSettings::keyHoldEvent(int key)
{
    if (key != BUTTON_POWER)
        return;
    qCDebug(lcSystem) << "Quit menu and shutdown the Quimbo!";
    d->standbyTimer->stop();
    d->disconnectKeys();
    d->setInputEnabled(false);
    d->messages->stop();
    Q_EMIT shutdown();
}

void SystemSettings::runHelp()
{
    d->disconnectKeys();
    d->standbyTimer->stop();
    d->messages->stop();
    d->setInputEnabled(false);

    SystemManual *manual = SystemManual::createManual(d->audioSettings, d->input, d->mediaPlayer, nullptr);
    if (!manual) {
        qCDebug(lcSystem) << "Help could not be created!";
        d->messages->play(Message::manual, true);
        d->messages->play(Message::not_available, true);
        QTimer::singleShot(Platform::scaledMsec(1000), this, &SystemSettings::run);
        return;
    }
    d->messages->play(Message::start, true);
    d->messages->play(Message::manual, true);
    // The menu's own signals end the menu's visit; the manual goes with them
    // or with its own end, whichever comes first.
    connect(manual, &SystemManual::shutdown, this, &SystemSettings::shutdown);
    connect(manual, &SystemManual::quit, this, &SystemSettings::finished);
    connect(manual, &SystemManual::quitToMenu, this, &SystemSettings::run, Qt::QueuedConnection);
    for (auto signal : {&SystemManual::shutdown, &SystemManual::quit, &SystemManual::quitToMenu})
        connect(manual, signal, manual, &QObject::deleteLater);
    connect(this, &QObject::destroyed, manual, &QObject::deleteLater);
    QTimer::singleShot(Platform::scaledMsec(500), manual, &SystemManual::run);
}

void SystemSettings::standbyTimerTimeout()
{
    qCDebug(lcSystem) << Q_FUNC_INFO;
    d->disconnectKeys();
    d->messages->stop();
    d->doubleBeep->play();
    d->setInputEnabled(false);
    Q_EMIT shutdown();
}

void SystemSettings::settingsFileChanged()
{
    const bool wanted = QSettings().value(kBookshelfKey, false).toBool();
    const bool present = d->mainList.value(0) == Message::bookshelf;
    if (wanted && !present) {
        qCDebug(lcSystem).nospace() << Q_FUNC_INFO << ": add bookshelf item";
        d->mainList.prepend(Message::bookshelf);
        // The user stays on the item they were on.
        ++d->mainIndex;
    } else if (!wanted && present) {
        qCDebug(lcSystem).nospace() << Q_FUNC_INFO << ": remove bookshelf item";
        d->mainList.removeFirst();
        if (d->mainIndex == 0) {
            if (d->atMainLevel())
                d->messages->play(d->currentItem(), false);
        } else {
            --d->mainIndex;
        }
    }
}
