// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/mainmode.h"

#include "app/logcategory.h"
#include "input/board.h"
#include "input/keys.h"
#include "platform/platform.h"
#include "speech/messages.h"

#include <QDebug>
#include <QTimer>

#include <utility>

namespace {

constexpr int s_rev6Revision = 7;

// The simulator's scripts wait for these lines: they keep the controller's names.
const char *const s_press = "void MainClass::keyPressEvent(int)";
const char *const s_release = "void MainClass::keyReleaseEvent(int)";
const char *const s_hold = "void MainClass::keyHoldEvent(int)";

} // namespace

MainMode::MainMode(Input *input, AudioSettings *audioSettings, std::function<bool()> mediaBusy, QObject *parent)
    : ModeBase(QStringLiteral("main"), input, audioSettings, parent)
    , m_mediaBusy(std::move(mediaBusy))
{
    // While a medium is still read the keys act on nothing; a press says "please wait".
    const auto unlessBusy = [this](const char *event, const Action &action) -> Action {
        return [this, event, action](int key) {
            qCDebug(lcApp) << event;
            if (!busy(event))
                action(key);
            else if (event == s_press)
                messages()->play(Message::please_wait, false);
        };
    };
    // Power, sleep/menu and the knob act on release or hold; their press only clicks.
    onKeys(Press, allKeys(), unlessBusy(s_press, [](int) { playSound(QStringLiteral("beep")); }));
    onKey(Press, BUTTON_EJECT, unlessBusy(s_press, [this](int) {
              stopNotifier();
              say({Message::eject, Message::cd_not_detectable});
          }));
    onKeys(Press, settingKeys(), unlessBusy(s_press, [this](int key) { answerSettingKey(key); }));
    onKeys(Press, {BUTTON_REWIND, BUTTON_FAST_FORWARD, BUTTON_PLAY_STOP}, unlessBusy(s_press, [this](int key) {
               QStringList words{key == BUTTON_REWIND ? Message::rewind : key == BUTTON_FAST_FORWARD ? Message::fast_forward : Message::play_stop};
               if (std::exchange(m_firstPress, false))
                   words << (Board::getInstance()->revision() == s_rev6Revision ? Message::no_media : Message::cd_not_detectable);
               stopNotifier();
               say(words);
           }));
    onKeys(Release, allKeys(), unlessBusy(s_release, [](int) { }));
    onKey(Release, BUTTON_POWER, unlessBusy(s_release, [this](int) { answerBatteryStatus(); }));
    onKey(Release, BUTTON_SLEEP_MENU, unlessBusy(s_release, [this](int) {
              stopNotifier();
              say({Message::sleep_timer});
          }));
    // Main mode answers the upper range with the short beep.
    onKeys(Release, {BUTTON_VOLUME_UP, BUTTON_VOLUME_DOWN},
           unlessBusy(s_release, [this](int key) { answerVolume(step(key), QStringLiteral("shortBeep")); }));
    onKeys(Hold, allKeys(), [](int) { qCDebug(lcApp) << s_hold; });
    onKey(Hold, BUTTON_POWER, [this](int) {
        qCDebug(lcApp) << s_hold;
        QTimer::singleShot(Platform::scaledMsec(100), this, [this] { Q_EMIT shutdown(); });
    });
    onKey(Hold, BUTTON_SLEEP_MENU,
          unlessBusy(s_hold, [this](int) { QTimer::singleShot(Platform::scaledMsec(10), this, &MainMode::menuRequested); }));
}

MainMode::~MainMode() = default;

void MainMode::run()
{
    m_firstPress = true;
    takeKeys();
}

void MainMode::leave()
{
    releaseKeys();
    stopAnswer();
}

bool MainMode::busy(const char *function) const
{
    if (!m_mediaBusy || !m_mediaBusy())
        return false;
    qCDebug(lcApp).nospace() << function << ": mediaClass is busy.";
    return true;
}
