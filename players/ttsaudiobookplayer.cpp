// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "players/ttsaudiobookplayer.h"

#include "audio/audiosettings.h"
#include "audio/ttssynthesizer.h"
#include "audio/vlcmediaplayer.h"
#include "formats/epubparser.h"
#include "formats/textbook.h"
#include "library/resumemark.h"
#include "platform/paths.h"
#include "players/logcategory.h"

#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QThread>

#include <atomic>

namespace {

// Sentences spoken ahead of the one playing: at 3x speed a sentence lasts about
// a second and espeak-ng needs a tenth of that, so four keep well ahead.
constexpr int kAhead = 4;
constexpr int kShortJumpSeconds = 10;

void removeFiles(const QString &folder)
{
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System);
    while (it.hasNext()) {
        const QString file = it.next();
        if (!QFile::remove(file))
            qCWarning(lcPlayers).noquote() << "Tts Player: temporary file not removed:" << file;
    }
}

} // namespace

class TtsAudioBookPlayerPrivate
{
public:
    explicit TtsAudioBookPlayerPrivate(TtsAudioBookPlayer *q)
        : q(q)
    {
    }

    bool opened() const { return book && !book->sentences().isEmpty(); }
    int count() const { return book ? int(book->sentences().size()) : 0; }
    QString fileOf(int sentence) const { return tempDir + QStringLiteral("sentence-%1.wav").arg(sentence); }
    QString languageOf(int sentence) const;
    /** Speaks @p sentence now unless a file of it is ready; false when it cannot be spoken. */
    bool ensureSpoken(int sentence);
    /** The narration of a recorded part, copied out of the archive; false when it cannot be. */
    bool copyRecording(int sentence, const QString &audio);
    /** What the engine plays for a sentence made ready by ensureSpoken(). */
    QString playable(int sentence) const;
    void speakAhead();
    void spoken(int gen, int sentence, bool ok);
    /** Keeps the files of the sentences just before and ahead of the current one, removes the others. */
    void prune();
    /** Plays sentence @p index (each one that cannot be spoken is skipped); a result code. */
    int playFrom(int index);
    void halt();
    /** Lets the synthesis thread finish what it is doing and forget the rest. */
    void drain();
    ResumemarkData freshMark() const;
    /** The stored position as a sentence; 0 when there is none or it does not fit the book. */
    int storedSentence();
    bool writeMark();
    /** Where the sentence @p index starts, in characters from the start of the book. */
    qint64 charactersBefore(int index) const { return starts.value(qBound(0, index, int(starts.size()) - 1)); }
    int paragraphStart(int index) const;
    int maxLevel() const;

    TtsAudioBookPlayer *const q;
    std::unique_ptr<TextBook> book;
    EpubParser archive; ///< the recordings of a book with narrated parts
    QVector<qint64> starts;
    int sentence = 0;
    int navigationLevel = 1;
    bool resume = true;
    bool playing = false;
    bool endOfBook = false;
    QHash<int, QString> files; ///< sentences spoken into files, ready to play
    QSet<int> requested; ///< handed to the synthesis thread, not back yet
    std::atomic<int> generation{0}; ///< a jump makes earlier requests pointless
    QString tempDir = Platform::path(QStringLiteral("/tmp/ttsAudioFiles/"));
    AudioSettings audioSettings;
    std::unique_ptr<VlcMediaPlayer> engine = std::make_unique<VlcMediaPlayer>();
    QThread thread;
    QObject *speaker = nullptr; ///< lives on the synthesis thread
};

QString TtsAudioBookPlayerPrivate::languageOf(int index) const
{
    const TextSentence &s = book->sentences().at(index);
    QString language = book->languages().value(s.language);
    if (language.isEmpty())
        language = book->language();
    return language.isEmpty() ? TtsSynthesizer::deviceLanguage() : language;
}

bool TtsAudioBookPlayerPrivate::ensureSpoken(int index)
{
    if (files.contains(index) && QFile::exists(files.value(index)))
        return true;
    const QString audio = book->sentences().at(index).audio;
    if (!audio.isEmpty() && book->kind() != TextBook::Epub) {
        // A DAISY book's recordings are files of their own, played where they are.
        if (QFileInfo(audio).isFile())
            return true;
        qCWarning(lcPlayers).noquote() << "Tts Player: the recording" << audio << "is missing - skipped";
        return false;
    }
    if (!audio.isEmpty())
        return copyRecording(index, audio);
    const QString file = fileOf(index);
    if (TtsSynthesizer::synthesize(book->sentences().at(index).text, languageOf(index), file) < 0) {
        qCWarning(lcPlayers) << "Tts Player: sentence" << index << "cannot be spoken";
        return false;
    }
    files.insert(index, file);
    return true;
}

bool TtsAudioBookPlayerPrivate::copyRecording(int index, const QString &audio)
{
    const QByteArray data = archive.itemData(audio);
    if (data.isEmpty()) {
        qCWarning(lcPlayers).noquote() << "Tts Player: the recording" << audio << "is missing or empty - skipped";
        return false;
    }
    const QString file = tempDir + QStringLiteral("recorded-%1.").arg(index) + QFileInfo(audio).suffix();
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(data) != data.size()) {
        qCWarning(lcPlayers).noquote() << "Tts Player: cannot copy the recording" << audio << "-" << out.errorString();
        return false;
    }
    files.insert(index, file);
    return true;
}

QString TtsAudioBookPlayerPrivate::playable(int index) const
{
    const QString audio = book->sentences().at(index).audio;
    return !audio.isEmpty() && book->kind() != TextBook::Epub ? audio : files.value(index);
}

void TtsAudioBookPlayerPrivate::speakAhead()
{
    const int gen = generation.load();
    for (int index = sentence + 1; index <= qMin(sentence + kAhead, count() - 1); ++index) {
        if (files.contains(index) || requested.contains(index) || !book->sentences().at(index).audio.isEmpty())
            continue;
        requested.insert(index);
        const QString text = book->sentences().at(index).text;
        const QString language = languageOf(index);
        const QString file = fileOf(index);
        QMetaObject::invokeMethod(speaker, [this, gen, index, text, language, file] {
            // Runs on the synthesis thread; q outlives it (the thread is joined first).
            const bool ok = gen == generation.load() && TtsSynthesizer::synthesize(text, language, file) >= 0;
            QMetaObject::invokeMethod(q, [this, gen, index, ok] { spoken(gen, index, ok); }, Qt::QueuedConnection);
        }, Qt::QueuedConnection);
    }
}

void TtsAudioBookPlayerPrivate::spoken(int gen, int index, bool ok)
{
    if (gen != generation.load()) {
        // Spoken for a place the reader has left, or for a book since closed.
        if (!ok || files.contains(index))
            return;
        if (book && index >= sentence - 1 && index <= sentence + kAhead)
            files.insert(index, fileOf(index));
        else
            QFile::remove(fileOf(index));
        return;
    }
    requested.remove(index);
    if (ok && !files.contains(index))
        files.insert(index, fileOf(index));
    prune();
}

void TtsAudioBookPlayerPrivate::prune()
{
    for (auto it = files.begin(); it != files.end();) {
        if (it.key() < sentence - 1 || it.key() > sentence + kAhead) {
            QFile::remove(it.value());
            it = files.erase(it);
        } else {
            ++it;
        }
    }
}

int TtsAudioBookPlayerPrivate::playFrom(int index)
{
    if (!opened())
        return AudioBookPlayerInterface::NoBook;
    if (index != sentence + 1) {
        ++generation;
        requested.clear();
    }
    for (; index < count(); ++index) {
        sentence = index;
        if (!ensureSpoken(index))
            continue;
        engine->setPitch(float(audioSettings.pitch()));
        engine->setTempo(audioSettings.tempo());
        if (!engine->play(playable(index))) {
            qCWarning(lcPlayers) << "Tts Player: the engine does not play sentence" << index << "- skipped";
            continue;
        }
        playing = true;
        endOfBook = false;
        const TextSentence &s = book->sentences().at(index);
        qCDebug(lcPlayers).nospace() << "Tts Player: sentence " << index << " (document " << s.document << ", offset " << s.offset << ")";
        prune();
        speakAhead();
        Q_EMIT q->sentenceStarted(index);
        return AudioBookPlayerInterface::Done;
    }
    halt();
    sentence = count() - 1;
    endOfBook = true;
    return AudioBookPlayerInterface::EndOfBook;
}

void TtsAudioBookPlayerPrivate::halt()
{
    if (playing)
        engine->stop();
    playing = false;
}

void TtsAudioBookPlayerPrivate::drain()
{
    // Queued requests see the new generation and do nothing; the one being
    // spoken finishes, so no file is written after this returns.
    ++generation;
    if (thread.isRunning())
        QMetaObject::invokeMethod(speaker, [] {}, Qt::BlockingQueuedConnection);
    requested.clear();
}

ResumemarkData TtsAudioBookPlayerPrivate::freshMark() const
{
    ResumemarkData data;
    data.title = book ? book->title() : QString();
    return data;
}

int TtsAudioBookPlayerPrivate::storedSentence()
{
    ResumemarkData data = freshMark();
    Resumemark store;
    if (!store.isValid() || !store.read(data))
        return 0;
    if (data.smilListPos < 0 || data.smilListPos >= book->documents().size() || data.clipNodePos < 0) {
        qCWarning(lcPlayers) << "Tts Player: the stored position" << data.smilListPos << data.clipNodePos << "does not fit the book - from the start";
        return 0;
    }
    return book->sentenceAt(data.smilListPos, data.clipNodePos);
}

bool TtsAudioBookPlayerPrivate::writeMark()
{
    ResumemarkData data = freshMark();
    const TextSentence &s = book->sentences().at(qBound(0, sentence, count() - 1));
    data.smilListPos = s.document;
    data.clipNodePos = s.offset;
    data.navListPos = navigationLevel;
    data.playerTime = charactersBefore(sentence) * 1000 / TtsAudioBookPlayer::kCharactersPerSecond;
    return Resumemark().write(data);
}

int TtsAudioBookPlayerPrivate::paragraphStart(int index) const
{
    const QVector<TextSentence> &all = book->sentences();
    index = qBound(0, index, count() - 1);
    const int paragraph = all.at(index).paragraph;
    while (index > 0 && all.at(index - 1).paragraph == paragraph)
        --index;
    return index;
}

int TtsAudioBookPlayerPrivate::maxLevel() const
{
    int level = 1;
    for (const TextMark &heading : book->headings())
        level = qMax(level, heading.level);
    return level;
}

TtsAudioBookPlayer::TtsAudioBookPlayer(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<TtsAudioBookPlayerPrivate>(this))
{
    QDir().mkpath(d->tempDir);
    // Files left by a process that did not close its book.
    removeFiles(d->tempDir);
    d->speaker = new QObject;
    d->speaker->moveToThread(&d->thread);
    connect(&d->thread, &QThread::finished, d->speaker, &QObject::deleteLater);
    d->thread.setObjectName(QStringLiteral("tts synthesis"));
    d->thread.start(QThread::LowPriority);
    connect(d->engine.get(), &VlcMediaPlayer::finished, this, &TtsAudioBookPlayer::mediaPlayerFinished);
}

TtsAudioBookPlayer::~TtsAudioBookPlayer()
{
    close();
    d->thread.quit();
    d->thread.wait();
}

QString TtsAudioBookPlayer::name()
{
    return QStringLiteral("Tts Player");
}

const TextBook *TtsAudioBookPlayer::book() const
{
    return d->book.get();
}

int TtsAudioBookPlayer::currentSentence() const
{
    return d->sentence;
}

QString TtsAudioBookPlayer::temporaryFolder() const
{
    return d->tempDir;
}

bool TtsAudioBookPlayer::open(const QString &url)
{
    close();
    if (!d->engine->init()) {
        qCWarning(lcPlayers) << "Tts Player: init vlc failed";
        return false;
    }
    QString reason;
    d->book = TextBook::open(url, &reason);
    if (!d->opened()) {
        qCWarning(lcPlayers).noquote() << "Tts Player: cannot read" << url << "aloud:" << reason;
        d->book.reset();
        return false;
    }
    if (!TtsSynthesizer::isAvailable()) {
        d->book.reset();
        return false;
    }
    if (d->book->kind() == TextBook::Epub)
        d->archive.open(url);
    d->starts.clear();
    d->starts.reserve(d->count());
    qint64 characters = 0;
    for (const TextSentence &s : d->book->sentences()) {
        d->starts.append(characters);
        characters += s.text.size();
    }
    d->sentence = d->storedSentence();
    d->endOfBook = false;
    qCInfo(lcPlayers).noquote() << "Tts Player: reading" << d->book->title() << "aloud:" << d->count() << "sentences,"
                                << d->book->headings().size() << "headings," << d->book->pages().size() << "pages, language"
                                << (d->book->language().isEmpty() ? QStringLiteral("of the device") : d->book->language());
    return true;
}

void TtsAudioBookPlayer::close()
{
    d->halt();
    d->drain();
    d->files.clear();
    d->book.reset();
    d->archive.close();
    removeFiles(d->tempDir);
}

bool TtsAudioBookPlayer::play()
{
    if (!d->opened()) {
        qCWarning(lcPlayers) << "Tts Player: no book opened";
        return false;
    }
    if (d->endOfBook) {
        d->endOfBook = false;
        resetResumeMark();
    }
    d->sentence = d->resume ? d->storedSentence() : 0;
    return d->playFrom(d->sentence) == Done;
}

void TtsAudioBookPlayer::stop()
{
    if (!d->playing)
        return;
    d->halt();
    ++d->generation;
    const bool written = d->opened() && d->writeMark();
    qCDebug(lcPlayers) << "Tts Player: stopped at sentence" << d->sentence << (written ? "- position stored" : "- position NOT stored");
}

void TtsAudioBookPlayer::pause() { d->engine->pause(true); }
void TtsAudioBookPlayer::unpause() { d->engine->pause(false); }
void TtsAudioBookPlayer::mute(bool muted) { d->engine->setMuted(muted); }
void TtsAudioBookPlayer::changeTempo(double tempo) { d->engine->changeTempo(float(tempo)); }
void TtsAudioBookPlayer::changePitch(int semitones) { d->engine->changePitch(float(semitones)); }
int TtsAudioBookPlayer::level() { return d->navigationLevel; }
int TtsAudioBookPlayer::trackNumber() { return -1; }
int TtsAudioBookPlayer::changeTrackNumber(int) { return -1; }
int TtsAudioBookPlayer::totalTracks() { return -1; }
bool TtsAudioBookPlayer::isPlaying() { return d->playing; }
void TtsAudioBookPlayer::setResume(bool resume) { d->resume = resume; }
VlcMediaPlayer *TtsAudioBookPlayer::mediaPlayer() { return d->engine.get(); }

bool TtsAudioBookPlayer::setLevel(int level)
{
    if (!d->opened() || level < 1 || level > d->maxLevel())
        return false;
    d->navigationLevel = level;
    return true;
}

void TtsAudioBookPlayer::mediaPlayerFinished()
{
    // A stream stopped or replaced by a jump also ends; only playing on counts.
    if (!d->playing)
        return;
    if (d->playFrom(d->sentence + 1) == Done)
        return;
    qCDebug(lcPlayers) << "Tts Player: end of book";
    d->playing = false;
    d->endOfBook = true;
    Q_EMIT finished();
}

int TtsAudioBookPlayer::walkHeading(int step)
{
    if (!d->opened())
        return NoBook;
    if (d->playing)
        return Refused;
    const QVector<TextMark> &headings = d->book->headings();
    int target = -1;
    if (step > 0) {
        for (const TextMark &h : headings) {
            if (h.level <= d->navigationLevel && h.sentence > d->sentence) {
                target = h.sentence;
                break;
            }
        }
        if (target < 0)
            return EndOfBook;
    } else if (step < 0) {
        for (const TextMark &h : headings) {
            if (h.level <= d->navigationLevel && h.sentence < d->sentence)
                target = h.sentence;
        }
        if (target < 0) {
            d->sentence = 0;
            resetResumeMark();
            return BeginOfBook;
        }
    } else {
        target = d->sentence;
    }
    return d->playFrom(target);
}

int TtsAudioBookPlayer::walkPage(int step, bool play)
{
    if (!d->opened())
        return NoBook;
    const QVector<TextMark> &pages = d->book->pages();
    int target = d->sentence;
    if (step > 0) {
        target = -1;
        for (const TextMark &p : pages) {
            if (p.sentence > d->sentence) {
                target = p.sentence;
                break;
            }
        }
        if (target < 0)
            return EndOfBook;
    } else if (step < 0) {
        target = -1;
        for (const TextMark &p : pages) {
            if (p.sentence < d->sentence)
                target = p.sentence;
        }
        if (target < 0)
            return BeginOfBook;
    }
    if (d->playing)
        d->halt();
    d->sentence = target;
    if (!play) {
        d->writeMark();
        return Done;
    }
    return d->playFrom(target);
}

int TtsAudioBookPlayer::fastForward(int seconds)
{
    if (!d->opened())
        return NoBook;
    if (d->endOfBook)
        return EndOfBook;
    int target = d->sentence + 1;
    if (seconds > kShortJumpSeconds) {
        // Whole paragraphs, about as much text as the voice speaks in that time.
        const qint64 wanted = d->charactersBefore(d->sentence) + qint64(seconds) * TtsAudioBookPlayer::kCharactersPerSecond;
        const auto it = std::upper_bound(d->starts.cbegin(), d->starts.cend(), wanted);
        target = wanted >= d->book->characters() ? d->count() : d->paragraphStart(int(it - d->starts.cbegin()) - 1);
        if (target <= d->paragraphStart(d->sentence)) {
            target = d->sentence;
            const int paragraph = d->book->sentences().at(target).paragraph;
            while (target < d->count() && d->book->sentences().at(target).paragraph == paragraph)
                ++target;
        }
    }
    if (target >= d->count()) {
        d->halt();
        d->sentence = d->count() - 1;
        d->endOfBook = true;
        return EndOfBook;
    }
    return d->playFrom(target);
}

int TtsAudioBookPlayer::rewind(int seconds)
{
    if (!d->opened())
        return NoBook;
    seconds = qAbs(seconds);
    d->endOfBook = false;
    int target = d->sentence - 1;
    if (seconds > kShortJumpSeconds) {
        const qint64 wanted = d->charactersBefore(d->sentence) - qint64(seconds) * TtsAudioBookPlayer::kCharactersPerSecond;
        if (wanted < 0) {
            target = -1;
        } else {
            const auto it = std::upper_bound(d->starts.cbegin(), d->starts.cend(), wanted);
            target = d->paragraphStart(int(it - d->starts.cbegin()) - 1);
            const int here = d->paragraphStart(d->sentence);
            if (target >= here)
                target = here > 0 ? d->paragraphStart(here - 1) : -1;
        }
    }
    if (target < 0) {
        d->halt();
        d->sentence = 0;
        resetResumeMark();
        return BeginOfBook;
    }
    return d->playFrom(target);
}

void TtsAudioBookPlayer::resetResumeMark()
{
    if (!d->opened())
        return;
    ResumemarkData data = d->freshMark();
    if (!Resumemark().write(data))
        qCWarning(lcPlayers) << "Tts Player: the start of the book could not be stored";
}

int TtsAudioBookPlayer::totalTime()
{
    return d->opened() ? int(d->book->characters() / kCharactersPerSecond) : -1;
}

int TtsAudioBookPlayer::elapsedTime()
{
    if (!d->opened())
        return -1;
    return int(d->charactersBefore(d->sentence) / kCharactersPerSecond);
}
