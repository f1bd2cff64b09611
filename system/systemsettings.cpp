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
#include "system/keydescriber.h"
#include "speech/messages.h"
#include "system/logcategory.h"
#include "system/systemmanual.h"
#include "system/systemsettingslocale.h"

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

const QString kMainLevel = QStringLiteral("main");
const QString kLanguageKey = QStringLiteral("systemLanguage");
const QString kNavigationKey = QStringLiteral("navigationMode");
const QString kAutomaticPlayKey = QStringLiteral("automaticPlay");
const QString kBookshelfKey = QStringLiteral("bookshelfMenuItem");
// Turn off what the player keeps per book (read where the book is opened).
const QString kBookSoundKey = QStringLiteral("bookSound");
const QString kRecapKey = QStringLiteral("recapOnResume");
// Navigation modes by their stored number; the fourth walks the bookmarks and
// is said by its name: a mode of its own, so no key changes its meaning.
const QStringList kNavigationModes = {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), Message::bookmarks};

/** The settings items whose choices are no and yes, with their key and default. */
struct YesNoItem {
    const QString *item;
    const QString *key;
    bool byDefault;
};
const YesNoItem kYesNoItems[] = {
    {&Message::automatic_play, &kAutomaticPlayKey, true},
    {&Message::book_sound, &kBookSoundKey, true},
    {&Message::recap, &kRecapKey, true},
};
const YesNoItem *yesNoItem(const QString &level)
{
    for (const YesNoItem &item : kYesNoItems) {
        if (*item.item == level)
            return &item;
    }
    return nullptr;
}

} // namespace

class SystemSettingsPrivate
{
public:
    SystemSettingsPrivate(SystemSettings *q, Messages *messages)
        : q(q)
        , messages(messages)
    {
    }

    bool atMainLevel() const { return level == kMainLevel; }
    QString currentItem() const { return mainList.value(mainIndex); }
    QString currentOption() const { return optionList.value(optionIndex); }

    void buildOptionMap();
    void buildMainList();

    void step(int delta);
    void backToMain();
    void selectMainItem();
    void selectItem();
    void watchSettingsFile();

    SystemSettings *const q;
    QMap<QString, QStringList> optionMap;
    QStringList mainList;
    QStringList optionList;
    QString level = kMainLevel;
    int mainIndex = 0;
    int optionIndex = 0;
    SystemSettingsLocale locale;
    Messages *messages;
    QPointer<VlcMediaPlayer> mediaPlayer;

    QFileSystemWatcher *watcher = nullptr;
};

void SystemSettingsPrivate::buildOptionMap()
{
    optionMap.clear();
    if (Board::getInstance()->revision() == kRev6Revision)
        optionMap.insert(Message::manual, {});
    optionMap.insert(Message::languages, locale.keys());
    optionMap.insert(Message::key_describer, {});
    optionMap.insert(Message::navigation_mode, kNavigationModes);
    for (const YesNoItem &item : kYesNoItems)
        optionMap.insert(*item.item, {Message::no, Message::yes});
    optionMap.insert(Message::factory_defaults, {Message::no, Message::yes});
    optionMap.insert(Message::firmware, {});
    optionMap.insert(Message::bookshelf, {});
}

void SystemSettingsPrivate::buildMainList()
{
    mainList.clear();
    if (Board::getInstance()->revision() == kRev6Revision)
        mainList << Message::manual;
    mainList << Message::languages << Message::navigation_mode << Message::automatic_play << Message::factory_defaults << Message::book_sound << Message::recap
             << Message::key_describer << Message::firmware;
    if (QSettings().value(kBookshelfKey, false).toBool() && !mainList.contains(Message::bookshelf))
        mainList.prepend(Message::bookshelf);
    // Coming back from the manual the list may have lost the bookshelf item meanwhile.
    if (mainIndex >= mainList.size())
        mainIndex = int(mainList.size()) - 1;
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
    if (level == Message::key_describer) {
        optionList.clear();
        level = kMainLevel;
        QTimer::singleShot(Platform::scaledMsec(10), q, &SystemSettings::runKeyDescriber);
        return;
    }
    if (level == Message::bookshelf) {
        qCDebug(lcSystem) << "Quit menu and start bookshelf";
        level = kMainLevel;
        q->releaseKeys();
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
    } else if (const YesNoItem *item = yesNoItem(level)) {
        optionIndex = int(optionList.indexOf(settings.value(*item->key, item->byDefault).toBool() ? Message::yes : Message::no));
        messages->append(level, true);
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
        const int mode = int(kNavigationModes.indexOf(option)) + 1;
        if (mode >= 1)
            settings.setValue(kNavigationKey, mode);
        else
            qCDebug(lcSystem).nospace() << Q_FUNC_INFO << ": wrong mode value: " << option;
        messages->append(Message::settings_saved, true);
        messages->append(Message::navigation_mode, false);
        messages->append(option, false);
    } else if (const YesNoItem *item = yesNoItem(level)) {
        const bool enabled = option == Message::yes;
        settings.setValue(*item->key, enabled);
        qCDebug(lcSystem).nospace() << Q_FUNC_INFO << ": " << *item->key << " enabled: " << enabled;
        messages->append(Message::settings_saved, true);
        messages->append(level, false);
        messages->append(option, false);
    } else if (level == Message::factory_defaults && option == Message::yes) {
        settings.setValue(kLanguageKey, QStringLiteral("eng"));
        settings.setValue(kNavigationKey, 2);
        settings.setValue(kAutomaticPlayKey, true);
        settings.setValue(kBookSoundKey, true);
        settings.setValue(kRecapKey, true);
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
    : ModeBase(QStringLiteral("menu"), input, audioSettings, parent)
    , d(std::make_unique<SystemSettingsPrivate>(this, messages()))
{
    onKeys(Press, allKeys(), [](int) { playSound(QStringLiteral("beep")); });
    onKeys(Press, {BUTTON_REWIND, BUTTON_FAST_FORWARD}, [this](int key) {
        playSound(QStringLiteral("beep"));
        d->step(step(key));
    });
    onKey(Press, BUTTON_EJECT, [this](int) {
        playSound(QStringLiteral("beep"));
        d->backToMain();
    });
    onKey(Release, BUTTON_PLAY_STOP, [this](int) { d->selectItem(); });
    onKey(Release, BUTTON_SLEEP_MENU, [this](int) {
        qCDebug(lcSystem) << "Quit menu!";
        releaseKeys();
        messages()->play(Message::exit_menu, true);
        Q_EMIT finished();
    });
    onKeys(Release, {BUTTON_VOLUME_UP, BUTTON_VOLUME_DOWN}, [this](int key) { answerVolume(step(key)); });
    onKey(Hold, BUTTON_POWER, [this](int) {
        qCDebug(lcSystem) << "Quit menu and shutdown the Quimbo!";
        releaseKeys();
        messages()->stop();
        Q_EMIT shutdown();
    });
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
    messages()->append(Message::menu, true);
    messages()->append(d->currentItem(), false);
    messages()->playMessages();
    takeKeys();
}

void SystemSettings::keysTakenAway()
{
    ModeBase::keysTakenAway();
    // Whatever opened the menu has been left for another mode: the visit is over.
    deleteLater();
}

void SystemSettings::runHelp()
{
    releaseKeys();
    messages()->stop();

    SystemManual *manual = SystemManual::createManual(audioSettings(), input(), d->mediaPlayer, nullptr);
    if (!manual) {
        qCDebug(lcSystem) << "Help could not be created!";
        messages()->play(Message::manual, true);
        messages()->play(Message::not_available, true);
        QTimer::singleShot(Platform::scaledMsec(1000), this, &SystemSettings::run);
        return;
    }
    messages()->play(Message::start, true);
    messages()->play(Message::manual, true);
    // The menu's own signals end the menu's visit; the manual goes with them
    // or with its own end, whichever comes first.
    connect(manual, &SystemManual::shutdown, this, &SystemSettings::shutdown);
    connect(manual, &SystemManual::quit, this, &SystemSettings::finished);
    connect(manual, &SystemManual::quitToMenu, this, &SystemSettings::run, Qt::QueuedConnection);
    connect(manual, &SystemManual::keysLost, this, [this] { keysTakenAway(); });
    for (auto signal : {&ModeBase::shutdown, &ModeBase::keysLost})
        connect(manual, signal, manual, &QObject::deleteLater);
    for (auto signal : {&SystemManual::quit, &SystemManual::quitToMenu})
        connect(manual, signal, manual, &QObject::deleteLater);
    connect(this, &QObject::destroyed, manual, &QObject::deleteLater);
    QTimer::singleShot(Platform::scaledMsec(500), manual, &SystemManual::run);
}

void SystemSettings::runKeyDescriber()
{
    releaseKeys();
    messages()->stop();
    auto *describer = new KeyDescriber(audioSettings(), input(), this);
    connect(describer, &ModeBase::shutdown, this, &SystemSettings::shutdown);
    connect(describer, &KeyDescriber::quitToMenu, this, &SystemSettings::run, Qt::QueuedConnection);
    connect(describer, &ModeBase::keysLost, this, [this] { keysTakenAway(); });
    for (auto signal : {&ModeBase::shutdown, &ModeBase::keysLost})
        connect(describer, signal, describer, &QObject::deleteLater);
    connect(describer, &KeyDescriber::quitToMenu, describer, &QObject::deleteLater);
    describer->run();
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
                messages()->play(d->currentItem(), false);
        } else {
            --d->mainIndex;
        }
    }
}
