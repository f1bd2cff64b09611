// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_SPEECH_MESSAGES_H
#define QUIMBO_SPEECH_MESSAGES_H

#include <QObject>
#include <QString>
#include <QStringList>

class QProcess;

/**
 * The names of the recorded voice messages, shared by everything that speaks.
 * Each is the file name of the recording in the language directory. The
 * numbers follow tools/prompts/messages.tsv, from which the English prompt set
 * is generated; keep the two in step.
 */
namespace Message {

inline const QString battery_empty = QStringLiteral("message001.wav");
inline const QString battery_fully_charged = QStringLiteral("message002.wav");
inline const QString battery_low_connect_the_power_adapter = QStringLiteral("message003.wav");
inline const QString battery_status = QStringLiteral("message004.wav");
inline const QString charging = QStringLiteral("message005.wav");
inline const QString device_will_power_off = QStringLiteral("message006.wav");
inline const QString eject = QStringLiteral("message007.wav");
inline const QString end_of_book = QStringLiteral("message008.wav");
inline const QString exit_menu = QStringLiteral("message009.wav");
inline const QString fast_forward = QStringLiteral("message010.wav");
inline const QString firmware = QStringLiteral("message012.wav");
inline const QString hour = QStringLiteral("message013.wav");
inline const QString languages = QStringLiteral("message015.wav");
inline const QString media_not_supported = QStringLiteral("message017.wav");
inline const QString menu = QStringLiteral("message018.wav");
inline const QString minus = QStringLiteral("message020.wav");
inline const QString minute = QStringLiteral("message021.wav");
inline const QString minutes = QStringLiteral("message022.wav");
inline const QString cd_not_detectable = QStringLiteral("message023.wav");
inline const QString no_update_found = QStringLiteral("message024.wav");
inline const QString normal = QStringLiteral("message025.wav");
inline const QString off = QStringLiteral("message026.wav");
inline const QString play_stop = QStringLiteral("message029.wav");
inline const QString please_wait = QStringLiteral("message030.wav");
inline const QString remove_usb_key = QStringLiteral("message031.wav");
inline const QString rewind = QStringLiteral("message032.wav");
inline const QString settings_saved = QStringLiteral("message033.wav");
inline const QString sleep_timer = QStringLiteral("message034.wav");
inline const QString speed = QStringLiteral("message036.wav");
inline const QString start_of_book = QStringLiteral("message037.wav");
inline const QString start_update = QStringLiteral("message038.wav");
inline const QString time_remaining = QStringLiteral("message040.wav");
inline const QString pitch = QStringLiteral("message041.wav");
inline const QString update_completed = QStringLiteral("message042.wav");
inline const QString update_failed = QStringLiteral("message043.wav");
inline const QString update_found = QStringLiteral("message044.wav");
inline const QString update_started = QStringLiteral("message045.wav");
inline const QString welcome = QStringLiteral("message047.wav");
inline const QString level = QStringLiteral("message048.wav");
inline const QString navigation_mode = QStringLiteral("message049.wav");
inline const QString mode = QStringLiteral("message050.wav");
inline const QString automatic_play = QStringLiteral("message051.wav");
inline const QString factory_defaults = QStringLiteral("message052.wav");
inline const QString yes = QStringLiteral("message053.wav");
inline const QString no = QStringLiteral("message054.wav");
inline const QString other_audio = QStringLiteral("message055.wav");
inline const QString track = QStringLiteral("message056.wav");
inline const QString info = QStringLiteral("message057.wav");
inline const QString current_position = QStringLiteral("message058.wav");
inline const QString total_time = QStringLiteral("message063.wav");
inline const QString second = QStringLiteral("message064.wav");
inline const QString seconds = QStringLiteral("message065.wav");
inline const QString hours = QStringLiteral("message066.wav");
inline const QString undefined = QStringLiteral("message068.wav");
inline const QString begin_of_cd = QStringLiteral("message069.wav");
inline const QString end_of_cd = QStringLiteral("message070.wav");
inline const QString high = QStringLiteral("message071.wav");
inline const QString low = QStringLiteral("message072.wav");
inline const QString battery_level = QStringLiteral("message073.wav");
inline const QString bookshelf = QStringLiteral("message074.wav");
inline const QString cd = QStringLiteral("message075.wav");
inline const QString usb = QStringLiteral("message076.wav");
inline const QString sd_card = QStringLiteral("message077.wav");
inline const QString daisy = QStringLiteral("message078.wav");
inline const QString epub = QStringLiteral("message088.wav");
inline const QString manual = QStringLiteral("message079.wav");
inline const QString close = QStringLiteral("message080.wav");
inline const QString start = QStringLiteral("message081.wav");
inline const QString not_available = QStringLiteral("message082.wav");
inline const QString end_of_manual = QStringLiteral("message083.wav");
inline const QString failed = QStringLiteral("message084.wav");
inline const QString power_adapter = QStringLiteral("message085.wav");
inline const QString usb_error_remove_usb_device = QStringLiteral("message086.wav");
inline const QString no_media = QStringLiteral("message087.wav");
inline const QString bookmark = QStringLiteral("message089.wav");
inline const QString bookmark_deleted = QStringLiteral("message090.wav");
inline const QString no_bookmark = QStringLiteral("message091.wav");
inline const QString bookmarks_full = QStringLiteral("message092.wav");
inline const QString bookmarks = QStringLiteral("message093.wav");
inline const QString book_sound = QStringLiteral("message094.wav");
inline const QString recap = QStringLiteral("message095.wav");
inline const QString key_describer = QStringLiteral("message096.wav");
inline const QString describer_help = QStringLiteral("message097.wav");
inline const QString describe_menu = QStringLiteral("message098.wav");
inline const QString describe_eject = QStringLiteral("message099.wav");
inline const QString describe_pitch_up = QStringLiteral("message100.wav");
inline const QString describe_rewind = QStringLiteral("message101.wav");
inline const QString describe_play = QStringLiteral("message102.wav");
inline const QString describe_fast_forward = QStringLiteral("message103.wav");
inline const QString describe_speed_down = QStringLiteral("message104.wav");
inline const QString describe_pitch_down = QStringLiteral("message105.wav");
inline const QString describe_speed_up = QStringLiteral("message106.wav");
inline const QString describe_volume = QStringLiteral("message107.wav");
inline const QString describe_power = QStringLiteral("message108.wav");

// Language names, offered by the settings menu

inline const QString arabic = QStringLiteral("message501.wav");
inline const QString danish = QStringLiteral("message502.wav");
inline const QString dutch = QStringLiteral("message503.wav");
inline const QString us_english = QStringLiteral("message504.wav");
inline const QString british_english = QStringLiteral("message505.wav");
inline const QString irish_english = QStringLiteral("message506.wav");
inline const QString scottish_english = QStringLiteral("message507.wav");
inline const QString australian_english = QStringLiteral("message508.wav");
inline const QString indian_english = QStringLiteral("message509.wav");
inline const QString sa_english = QStringLiteral("message510.wav");
inline const QString finnish = QStringLiteral("message511.wav");
inline const QString flemish = QStringLiteral("message512.wav");
inline const QString french = QStringLiteral("message513.wav");
inline const QString waloon = QStringLiteral("message514.wav");
inline const QString canandian_french = QStringLiteral("message515.wav");
inline const QString german = QStringLiteral("message516.wav");
inline const QString italian = QStringLiteral("message517.wav");
inline const QString norwegian = QStringLiteral("message518.wav");
inline const QString polish = QStringLiteral("message519.wav");
inline const QString russian = QStringLiteral("message520.wav");
inline const QString spanish = QStringLiteral("message521.wav");
inline const QString chilean_spanish = QStringLiteral("message522.wav");
inline const QString argentinian_spanish = QStringLiteral("message523.wav");
inline const QString colombian_spanish = QStringLiteral("message524.wav");
inline const QString mexican_spanish = QStringLiteral("message525.wav");
inline const QString swedish = QStringLiteral("message526.wav");
inline const QString turkish = QStringLiteral("message527.wav");
inline const QString portugues = QStringLiteral("message528.wav");
inline const QString brazilian_portugues = QStringLiteral("message529.wav");
inline const QString hungarian = QStringLiteral("message530.wav");
inline const QString czech = QStringLiteral("message531.wav");
inline const QString greek = QStringLiteral("message532.wav");
inline const QString catalan = QStringLiteral("message533.wav");
inline const QString bulgarian = QStringLiteral("message534.wav");
inline const QString croatian = QStringLiteral("message535.wav");
inline const QString romanian = QStringLiteral("message536.wav");
inline const QString slovak = QStringLiteral("message537.wav");
inline const QString japanees = QStringLiteral("message538.wav");

} // namespace Message

/**
 * Speaks voice messages and numbers through the external sound player "play",
 * one at a time or as a queued sequence, in the language of the settings key
 * "systemLanguage". Every owner has its own player process, so two owners can
 * speak at once; a new playback of the same owner silently replaces the old one.
 *
 * An utterance is append(first, true), further append(x, false) calls, then
 * playMessages(); finished() tells when it has ended by itself.
 */
class Messages : public QObject
{
    Q_OBJECT

public:
    explicit Messages(QObject *parent = nullptr);
    ~Messages() override;

    /**
     * Plays one message (or a number given as its digits) at once. With wait
     * the call returns when the player has ended (at most waitLimit() ms) and
     * no finished() follows; without it the call returns once the player runs.
     */
    void play(const QString &name, bool wait = false);

    /** Adds a message (lower-cased) or a number to the queue; clear empties it first. Empty names are ignored. */
    void append(const QString &name, bool clear = false);

    /** Plays the queue as one sequence through the playlist file; finished() follows its end. */
    void playMessages();

    /**
     * Plays the book's kind (the "daisy" message unless @p kind names another),
     * the given message and then a clip of a book's audio file (start and
     * length in seconds), as one player command.
     */
    void playDaisyTitle(const QString &message, const QString &file, float start, float length, const QString &kind = QString());

    /** Full paths of the queued messages, in order. */
    QStringList queue() const { return m_queue; }

    /** Whether the player process is running. */
    bool isPlaying() const;

    /** The longest time play(name, true) waits for its message (30 000 ms unless changed). */
    int waitLimit() const { return m_waitLimit; }
    void setWaitLimit(int msec) { m_waitLimit = msec; }

public Q_SLOTS:
    /** Ends the current playback without finished(). */
    void stop();

Q_SIGNALS:
    void finished();

private Q_SLOTS:
    void messageReady();

private:
    QString resolve(const QString &name) const;
    bool startPlayer(const QStringList &arguments);

    QProcess *m_process;
    QStringList m_queue;
    bool m_waited = false;
    int m_waitLimit = 30000;
};

#endif
