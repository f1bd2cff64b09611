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
    onKeys(Press, allKeys(), [this](int key) {
        qCDebug(lcApp) << s_press;
        if (busy(s_press)) {
            messages()->play(Message::please_wait, false);
            return;
        }
        switch (key) {
        case BUTTON_EJECT:
            stopNotifier();
            say({Message::eject, Message::cd_not_detectable});
            break;
        case BUTTON_PITCH_UP:
        case BUTTON_PITCH_DOWN:
            answerSetting(Pitch, key == BUTTON_PITCH_UP ? 1 : -1);
            break;
        case BUTTON_SPEED_UP:
        case BUTTON_SPEED_DOWN:
            answerSetting(Speed, key == BUTTON_SPEED_UP ? 1 : -1);
            break;
        case BUTTON_REWIND:
        case BUTTON_FAST_FORWARD:
        case BUTTON_PLAY_STOP: {
            QStringList words{key == BUTTON_REWIND ? Message::rewind : key == BUTTON_FAST_FORWARD ? Message::fast_forward : Message::play_stop};
            if (m_firstPress)
                words << (Board::getInstance()->revision() == s_rev6Revision ? Message::no_media : Message::cd_not_detectable);
            m_firstPress = false;
            stopNotifier();
            say(words);
            break;
        }
        default:
            // Power, sleep/menu and the knob act on release or hold; the press only clicks.
            playSound(QStringLiteral("beep"));
            break;
        }
    });
    onKeys(Release, allKeys(), [this](int key) {
        qCDebug(lcApp) << s_release;
        if (busy(s_release))
            return;
        switch (key) {
        case BUTTON_POWER:
            answerBatteryStatus();
            break;
        case BUTTON_SLEEP_MENU:
            stopNotifier();
            say({Message::sleep_timer});
            break;
        case BUTTON_VOLUME_UP:
        case BUTTON_VOLUME_DOWN:
            // Main mode answers the upper range with the short beep.
            answerVolume(key == BUTTON_VOLUME_UP ? 1 : -1, QStringLiteral("shortBeep"));
            break;
        default:
            break;
        }
    });
    onKeys(Hold, allKeys(), [this](int key) {
        qCDebug(lcApp) << s_hold;
        if (key == BUTTON_POWER) {
            QTimer::singleShot(Platform::scaledMsec(100), this, [this] { Q_EMIT shutdown(); });
        } else if (key == BUTTON_SLEEP_MENU && !busy(s_hold)) {
            QTimer::singleShot(Platform::scaledMsec(10), this, &MainMode::menuRequested);
        }
    });
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
