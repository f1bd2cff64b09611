// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/bookshelf.h"

#include "audio/audiosettings.h"
#include "input/input.h"
#include "input/keys.h"
#include "library/bookcollection.h"
#include "library/bookfinder.h"
#include "library/lastplayedmarker.h"
#include "library/markerfile.h"
#include "library/logcategory.h"
#include "library/texttitle.h"
#include "library/resumemarkmanager.h"
#include "platform/devicestatus.h"
#include "platform/paths.h"
#include "platform/platform.h"
#include "platform/systemactions.h"
#include "speech/messages.h"
#include "system/notifier.h"
#include "system/systemsettings.h"

#include <QDebug>
#include <QPointer>
#include <QSettings>
#include <QThread>
#include <QTimer>

#include <memory>
#include <utility>

namespace {

const QString LastPlayedFile = QStringLiteral("/lastPlayed.xml");

bool automaticPlay()
{
    return QSettings().value(QStringLiteral("automaticPlay"), true).toBool();
}

QString mediumWord(int mediaType)
{
    switch (mediaType) {
    case MediaSource::MediaTypeUsb:
        return Message::usb;
    case MediaSource::MediaTypeMmc:
        return Message::sd_card;
    default:
        return Message::cd;
    }
}

} // namespace

class BookShelfPrivate
{
public:
    BookShelfPrivate(BookShelf *q, Messages *messages)
        : q(q)
        , messages(messages)
    {
    }

    // Ejecting the CD disables the keys until the disc is out.
    void setKeysEnabled(bool enabled)
    {
        if (q->holdsKeys())
            q->input()->setEnabled(enabled);
    }

    // Stops the shelf's speech, including whatever was to follow it.
    void stopMessages()
    {
        QObject::disconnect(afterSpeech);
        afterSpeech = {};
        q->stopAnswer();
    }

    void stopNotifications() { q->stopNotifier(); }

    void leave()
    {
        active = false;
        q->releaseKeys();
    }

    // Runs once when the current speech ends by itself.
    template<typename Function>
    void whenSpoken(Function function)
    {
        QObject::disconnect(afterSpeech);
        afterSpeech = QObject::connect(messages, &Messages::finished, q, [this, function] {
            QObject::disconnect(afterSpeech);
            afterSpeech = {};
            function();
        });
    }

    // The word "bookshelf", then the title of the book under the cursor.
    void speakBookshelfAndTitle()
    {
        if (std::exchange(ejectFailedUnsaid, false)) {
            messages->append(Message::eject, true);
            messages->append(Message::failed);
            messages->append(Message::bookshelf);
            messages->playMessages();
        } else {
            messages->play(Message::bookshelf);
        }
        whenSpoken([this] { q->playTitle(collection.audioBook(index)); });
    }

    void playTitle(const AudioBook &book, const char *function)
    {
        if (!book.isDefined()) {
            qCDebug(lcLibrary).nospace() << function << ": undefined audio book";
            return;
        }
        const QString medium = mediumWord(book.mediaType());
        if (book.mimeType() == AudioBook::Text && book.titleStopTime() > 0) {
            // The title in the synthetic voice that will read the book.
            messages->playDaisyTitle(medium, book.titleFilename(), 0, float(book.titleStopTime()) / 1000, TextTitle::kindMessage(book));
        } else if (book.mimeType() != AudioBook::Daisy) {
            messages->append(book.titleFilename(), true);
            messages->append(medium);
            messages->append(QString::number(book.number()));
            messages->playMessages();
        } else if (book.titleFilename() == Message::undefined) {
            messages->append(Message::daisy, true);
            messages->append(medium);
            messages->append(Message::undefined);
            messages->playMessages();
        } else {
            const float start = float(book.titleStartTime()) / 1000;
            const float length = float(book.titleStopTime() - book.titleStartTime()) / 1000;
            messages->playDaisyTitle(medium, book.titleFilename(), start, length);
        }
    }

    static const char *modeText(int mode)
    {
        switch (mode) {
        case BookShelf::SingleMode:
            return "single";
        case BookShelf::LastPlayedMode:
            return "last played";
        default:
            return "normal";
        }
    }

    // A move the shelf cannot make is answered by a double beep.
    void refuseBrowsing(const char *function, const char *reason)
    {
        qCDebug(lcLibrary).nospace() << function << reason;
        BookShelf::playSound(QStringLiteral("doubleBeep"));
    }

    bool browsingAllowed()
    {
        if (mode == BookShelf::NormalMode && collection.count() > 1)
            return true;
        refuseBrowsing("[BookShelf::browse]", ": empty or one book in collection");
        return false;
    }

    void walkAudioBook(int step, const char *function)
    {
        if (!browsingAllowed())
            return;
        stopMessages();
        stopNotifications();
        const int target = index + step;
        if (target < 0 || target >= collection.count()) {
            qCDebug(lcLibrary).nospace() << function << (target < 0 ? ": we are the first book" : ": we are at the last book");
            BookShelf::playSound(QStringLiteral("doubleBeep"));
            q->playTitle(collection.audioBook(index));
            return;
        }
        const AudioBook book = collection.audioBook(target);
        if (!book.isDefined()) {
            refuseBrowsing(function, ": undefined audiobook.. strange error!");
            return;
        }
        index = target;
        q->playTitle(book);
    }

    void walkAudioBookMediaType(int step, const char *function)
    {
        if (!browsingAllowed())
            return;
        const AudioBook current = collection.audioBook(index);
        if (!current.isDefined()) {
            refuseBrowsing(function, ": undefined audiobook");
            return;
        }
        const AudioBook target = step > 0 ? collection.nextMediaType(current) : collection.previousMediaType(current);
        if (!target.isDefined()) {
            refuseBrowsing(function, ": invalid audio book index");
            return;
        }
        stopMessages();
        stopNotifications();
        index = collection.indexOf(target);
        q->playTitle(target);
    }

    void selectAudioBook(const AudioBook &book, const char *function)
    {
        if (!book.isDefined()) {
            qCDebug(lcLibrary).nospace() << function << ": undefined audio book";
            return;
        }
        if (mode == BookShelf::LastPlayedMode)
            mode = BookShelf::NormalMode;
        bookInUse = book;
        leave();
        stopMessages();
        stopNotifications();
        qCDebug(lcLibrary).noquote() << "[BookShelf::selectAudioBook] selected:" << book.url();
        Q_EMIT q->audioBookSelected(true);
    }

    // The file that remembers a medium's last book: on the stick or card itself,
    // and one file on the device for all CDs, told apart by their identifiers.
    static QString lastPlayedPath(const MediaSource &mediaSource)
    {
        if (mediaSource.mediaType() == MediaSource::MediaTypeCdRom)
            return Platform::path(QStringLiteral("/root/quimbo") + LastPlayedFile);
        return mediaSource.mountPath() + LastPlayedFile;
    }

    /**
     * A stick or card is read in any slot: its marker names the book by its
     * path below the medium's root, not through the mount point of one slot.
     */
    static QString pathOnMedium(const QString &url, const MediaSource &mediaSource)
    {
        for (const QString &root : {MarkerFile::hostPath(mediaSource.mountPath()), mediaSource.mountPath()}) {
            if (url.startsWith(root + QLatin1Char('/')))
                return url.mid(root.size() + 1);
        }
        return url;
    }

    /** The url of a marker's book on @p mediaSource; a full path, as markers were written before, is moved onto it. */
    static QString urlOnMedium(const QString &source, const MediaSource &mediaSource)
    {
        const QString root = MarkerFile::hostPath(mediaSource.mountPath());
        if (source.isEmpty() || source.contains(QLatin1String("://")))
            return source;
        if (!source.startsWith(QLatin1Char('/')))
            return root + QLatin1Char('/') + source;
        for (const char *mountPoint : {"/media/usb", "/media/mmc", "/media/cd"}) {
            for (const QString &slot : {Platform::path(QLatin1String(mountPoint)), QString::fromLatin1(mountPoint)}) {
                if (source.startsWith(slot + QLatin1Char('/')))
                    return root + source.mid(slot.size());
            }
        }
        return source;
    }

    AudioBook readLastPlayed(const MediaSource &mediaSource) const
    {
        const bool cd = mediaSource.mediaType() == MediaSource::MediaTypeCdRom;
        const QString id = cd ? QString::number(mediaSource.mediaId()) : QString();
        const std::unique_ptr<LastPlayedMarker> marker(ResumeMarkManager::loadLastPlayedMarker(lastPlayedPath(mediaSource), id));
        if (!marker) {
            qCDebug(lcLibrary) << "[BookShelf::readlastPlayed]: no last played marker found";
            return AudioBook();
        }
        const AudioBook book = collection.audioBook(urlOnMedium(marker->source(), mediaSource), mediaSource.mediaType());
        if (book.isDefined())
            qCDebug(lcLibrary).noquote() << "[BookShelf::readlastPlayed]: last played audiobook:" << book.url();
        else
            qCDebug(lcLibrary).noquote() << "[BookShelf::readlastPlayed]: last played audiobook:" << marker->source() << "is undefined";
        return book;
    }

    void applyFoundBooks(const MediaSource &mediaSource, const QList<AudioBook> &found);

    BookShelf *const q;
    bool active = false;
    int mode = BookShelf::NormalMode;
    int index = 0;
    AudioBook bookInUse;
    BookCollection collection;
    Messages *messages;
    QList<MediaSource> mediaSources;

    QMetaObject::Connection afterSpeech;

    // The search thread and the media handed to it, in arrival order.
    QThread searchThread;
    BookFinder *finder = nullptr;
    QList<std::pair<int, MediaSource>> pending;
    int lastSerial = 0;
    bool startRequested = false; // audioBooksAdded() went out; run() has not come yet
    bool ejectFailedUnsaid = false; // the player quit for an eject that failed
};

void BookShelfPrivate::applyFoundBooks(const MediaSource &mediaSource, const QList<AudioBook> &found)
{
    // The second half of addMediaSource, after the search thread: the log
    // names the slot the medium came in by, which Q_FUNC_INFO cannot here.
    const char *const function = "void BookShelf::addMediaSource(MediaSource)";
    if (mediaSource.mediaType() == MediaSource::MediaTypeCdRom) {
        // A CD put back in: its content identifies it, so it replaces the old entry.
        const quint64 id = mediaSource.mediaId();
        for (int i = mediaSources.size() - 1; i >= 0; --i) {
            const MediaSource &known = mediaSources.at(i);
            if (known.mediaType() != MediaSource::MediaTypeCdRom || known.mediaId() != id)
                continue;
            qCDebug(lcLibrary).nospace() << function << ": same cd-media id exists.. remove it";
            collection.removeAudioBooksByMediaType(known.mediaType());
            if (bookInUse.isDefined() && bookInUse.mediaType() == known.mediaType())
                bookInUse = AudioBook();
            mediaSources.removeAt(i);
        }
    }

    const AudioBook underCursor = collection.audioBook(index);
    const int before = collection.count();
    for (AudioBook book : found)
        collection.addAudioBook(book);

    mediaSources.append(mediaSource);
    QSettings().setValue(QStringLiteral("bookshelfMenuItem"), collection.count() > 1);

    const int added = collection.count() - before;
    if (added == 0) {
        qCDebug(lcLibrary).nospace() << function << ": no books are added to the collection";
        return;
    }

    if (startRequested && !active && !bookInUse.isDefined()) {
        // Media arriving together at power-up: the shelf opens once, as the
        // first medium (the one read last) decided, so its book resumes; the
        // others wait on the shelf. Two media would otherwise mean normal mode.
        qCDebug(lcLibrary).nospace() << function << ": " << added << " books added, the shelf opens already in mode " << modeText(mode);
        if (added > 1)
            BookShelf::playSound(QStringLiteral("bookshelfAdded"));
        return;
    }
    if (mediaSources.size() == 1)
        mode = collection.count() == 1 ? BookShelf::SingleMode : BookShelf::LastPlayedMode;
    else
        mode = BookShelf::NormalMode;
    qCDebug(lcLibrary).nospace() << function << ": " << added << " books added, mode " << modeText(mode);

    if (active || bookInUse.isDefined()) {
        BookShelf::playSound(QStringLiteral("bookshelfAdded"));
        if (active) {
            setKeysEnabled(true);
            if (mode == BookShelf::LastPlayedMode)
                mode = BookShelf::NormalMode;
            index = qMax(0, collection.indexOf(underCursor));
        }
        return;
    }
    if (added > 1)
        BookShelf::playSound(QStringLiteral("bookshelfAdded"));
    startRequested = true;
    Q_EMIT q->audioBooksAdded();
}

BookShelf::BookShelf(AudioSettings *audioSettings, Input *input, QObject *parent)
    : ModeBase(QStringLiteral("shelf"), input, audioSettings, parent)
    , d(std::make_unique<BookShelfPrivate>(this, messages()))
{
    qRegisterMetaType<MediaSource>("MediaSource");
    qRegisterMetaType<AudioBook>("AudioBook");
    qRegisterMetaType<QList<AudioBook>>();
    QSettings().setValue(QStringLiteral("bookshelfMenuItem"), false);
    buildKeyTable();
    // The simulator's status: the books listed.
    Platform::provideStatus(this, QStringLiteral("shelf"), [this] { return QString::number(count()); });

    d->searchThread.setObjectName(QStringLiteral("BookSearch"));
    d->finder = new BookFinder;
    d->finder->moveToThread(&d->searchThread);
    connect(&d->searchThread, &QThread::finished, d->finder, &QObject::deleteLater);
    connect(d->finder, &BookFinder::found, this, &BookShelf::audioBooksFound, Qt::QueuedConnection);
    d->searchThread.start(QThread::LowPriority);
}

BookShelf::~BookShelf()
{
    // A search in progress finishes its medium first; there is no way to cut
    // a book's parse short, and each is bounded by the parsers' own caps.
    d->searchThread.quit();
    d->searchThread.wait();
}

int BookShelf::count() const
{
    return d->collection.count();
}

AudioBook BookShelf::bookInUse() const
{
    return d->bookInUse;
}

void BookShelf::setBookInUse(const AudioBook &audioBook)
{
    d->bookInUse = audioBook;
}

AudioBook BookShelf::bookAt(int index) const
{
    if (index < 0 || index >= d->collection.count()) {
        qCDebug(lcLibrary).nospace() << Q_FUNC_INFO << ": invalid index number";
        return AudioBook();
    }
    const AudioBook book = d->collection.audioBook(index);
    if (!book.isDefined())
        qCDebug(lcLibrary).nospace() << Q_FUNC_INFO << ": undefined audioBook";
    return book;
}

int BookShelf::mode() const
{
    return d->mode;
}

int BookShelf::index() const
{
    return d->index;
}

bool BookShelf::isActive() const
{
    return d->active;
}

int BookShelf::pendingSearches() const
{
    return d->pending.size();
}

void BookShelf::setLastPlayedAudioBook(const AudioBook &audioBook)
{
    if (!audioBook.isDefined()) {
        qCDebug(lcLibrary).nospace() << Q_FUNC_INFO << ": undefined audiobook";
        return;
    }
    if (d->collection.countByMediaType(audioBook.mediaType()) <= 1) {
        qCDebug(lcLibrary).nospace() << Q_FUNC_INFO << ": no multi audiobooks on media";
        return;
    }
    const MediaSource *medium = nullptr;
    for (const MediaSource &source : std::as_const(d->mediaSources)) {
        if (source.mediaType() == audioBook.mediaType()) {
            medium = &source;
            break;
        }
    }
    if (!medium) {
        qCDebug(lcLibrary).nospace() << Q_FUNC_INFO << ": no media source found for: " << audioBook.mediaType();
        return;
    }
    LastPlayedMarker marker;
    marker.setSource(BookShelfPrivate::pathOnMedium(audioBook.url(), *medium));
    marker.setMediaId(medium->mediaId());
    marker.setSingle(medium->mediaType() != MediaSource::MediaTypeCdRom);
    if (ResumeMarkManager::saveLastPlayedMarker(BookShelfPrivate::lastPlayedPath(*medium), &marker))
        Platform::systemActions()->syncDetached();
}

void BookShelf::run()
{
    d->startRequested = false;
    d->active = true;

    if (d->bookInUse.isDefined()) {
        d->index = qMax(0, d->collection.indexOf(d->bookInUse));
        d->bookInUse = AudioBook();
    } else {
        qCDebug(lcLibrary).nospace() << Q_FUNC_INFO << ": no audio book in use, start at pos 0";
        d->index = 0;
    }

    const AudioBook book = d->collection.audioBook(d->index);
    if (!book.isDefined()) {
        qCDebug(lcLibrary).nospace() << Q_FUNC_INFO << ": unexpected error!";
        d->active = false;
        Q_EMIT quit();
        return;
    }

    d->stopMessages();
    bool titleFirst = true;
    switch (d->mode) {
    case SingleMode:
        d->bookInUse = book;
        break;
    case LastPlayedMode: {
        const AudioBook last = d->mediaSources.isEmpty() ? AudioBook() : d->readLastPlayed(d->mediaSources.first());
        if (!last.isDefined()) {
            qCDebug(lcLibrary).nospace() << Q_FUNC_INFO << ": undefined last played book";
            d->mode = NormalMode;
            titleFirst = false;
        } else if (d->collection.indexOf(last) < 0) {
            qCDebug(lcLibrary).nospace() << Q_FUNC_INFO << ": couldn't find audio book index.. mode to normal";
            d->mode = NormalMode;
        } else {
            d->index = d->collection.indexOf(last);
            if (automaticPlay()) {
                d->bookInUse = last;
            } else {
                d->mode = NormalMode;
                titleFirst = false;
            }
        }
        break;
    }
    default:
        titleFirst = false;
        break;
    }
    qCDebug(lcLibrary).nospace() << Q_FUNC_INFO << ": mode " << BookShelfPrivate::modeText(d->mode);

    if (titleFirst) {
        playTitle(d->collection.audioBook(d->index));
        if (d->bookInUse.isDefined())
            d->whenSpoken([this] { playTitleFinished(); });
    } else {
        d->speakBookshelfAndTitle();
    }

    takeKeys();
}

void BookShelf::runNormal()
{
    d->startRequested = false;
    d->mode = NormalMode;
}

void BookShelf::ejectFailed()
{
    qCDebug(lcLibrary) << Q_FUNC_INFO;
    // Ejecting disabled the keys; the disc and its books stay.
    if (d->active) {
        d->stopMessages();
        d->messages->append(Message::eject, true);
        d->messages->append(Message::failed);
        d->messages->playMessages();
        d->setKeysEnabled(true);
    } else if (d->bookInUse.mediaType() == MediaSource::MediaTypeCdRom) {
        d->ejectFailedUnsaid = true;
    }
}

void BookShelf::playTitleFinished()
{
    if (d->mode == LastPlayedMode)
        d->mode = NormalMode;
    if (!d->bookInUse.isDefined())
        return;
    qCDebug(lcLibrary).nospace() << Q_FUNC_INFO << ": bookshelf was started in single mode.. select audio book for playing";
    d->leave();
    Q_EMIT audioBookSelected(automaticPlay());
}

void BookShelf::buildKeyTable()
{
    onKeys(Press, allKeys(), [](int) { playSound(QStringLiteral("beep")); });
    onKey(Press, BUTTON_EJECT, [this](int) {
        if (!d->collection.containsMediaType(MediaSource::MediaTypeCdRom)) {
            // Silence would leave the reader wondering whether the key worked:
            // the answer main mode and the player give without a disc, or the
            // player's double beep where a book is about to start by itself.
            if (d->mode != NormalMode) {
                playSound(QStringLiteral("doubleBeep"));
                return;
            }
            d->stopMessages();
            d->stopNotifications();
            say({Message::eject, Message::cd_not_detectable});
            return;
        }
        d->setKeysEnabled(false);
        d->stopNotifications();
        d->stopMessages();
        messages()->play(Message::eject);
        Q_EMIT ejectCd();
    });
    onKeys(Press, settingKeys(), [this](int key) {
        if (d->mode == NormalMode)
            d->stopMessages();
        answerSettingKey(key);
    });

    onKey(Release, BUTTON_POWER, [this](int) {
        if (d->mode == SingleMode)
            return;
        d->stopMessages();
        answerBatteryStatus();
    });
    onKeys(Release, {BUTTON_VOLUME_UP, BUTTON_VOLUME_DOWN}, [this](int key) { answerVolume(step(key)); });
    onKeys(Release, {BUTTON_REWIND, BUTTON_FAST_FORWARD}, [this](int key) { walkAudioBook(step(key)); });
    onKey(Release, BUTTON_PLAY_STOP, [this](int) { selectAudioBook(d->collection.audioBook(d->index)); });

    onKey(Hold, BUTTON_POWER, [this](int) {
        qCDebug(lcLibrary) << "Shutdown from BookShelf";
        d->leave();
        d->stopMessages();
        d->stopNotifications();
        Q_EMIT shutdown();
    });
    onKey(Hold, BUTTON_SLEEP_MENU, [this](int) {
        if (d->mode == SingleMode)
            return;
        d->stopMessages();
        d->stopNotifications();
        QTimer::singleShot(Platform::scaledMsec(10), this, &BookShelf::runSystemSettings);
    });
    onKeys(Hold, {BUTTON_REWIND, BUTTON_FAST_FORWARD}, [this](int key) { walkAudioBookMediaType(step(key)); });
}

bool BookShelf::answersWithBeeps() const
{
    // Where a book starts by itself a beep does not hold up its announcement.
    return d->mode != NormalMode;
}

void BookShelf::keysTakenAway()
{
    d->stopMessages();
    d->active = false;
    ModeBase::keysTakenAway();
}

void BookShelf::sleepExpired()
{
    d->stopMessages();
    d->active = false;
    ModeBase::sleepExpired();
}

void BookShelf::standbyExpired()
{
    qCDebug(lcLibrary) << "void BookShelf::standbyTimerTimeout()";
    d->stopMessages();
    d->active = false;
    ModeBase::standbyExpired();
}

void BookShelf::runSystemSettings()
{
    if (d->mode != NormalMode) {
        qCDebug(lcLibrary).nospace() << Q_FUNC_INFO << ": system settings only available in normal mode";
        return;
    }
    d->stopMessages();
    d->leave();
    // run() comes back to this book.
    d->bookInUse = d->collection.audioBook(d->index);

    // No nested event loop: the menu's end signals start the follow-up from
    // the event loop, as the main controller does with its modes.
    auto *menu = new SystemSettings(audioSettings(), input());
    connect(menu, &SystemSettings::shutdown, this, &BookShelf::shutdown, Qt::QueuedConnection);
    connect(menu, &SystemSettings::finished, this, &BookShelf::run, Qt::QueuedConnection);
    connect(menu, &SystemSettings::quitToBookshelf, this, &BookShelf::run, Qt::QueuedConnection);
    for (auto signal : std::initializer_list<void (SystemSettings::*)()>{&SystemSettings::shutdown, &SystemSettings::finished, &SystemSettings::quitToBookshelf})
        connect(menu, signal, menu, &QObject::deleteLater);
    QTimer::singleShot(Platform::scaledMsec(10), menu, &SystemSettings::run);
}

// The shelf's moves are done by its private record; these entries give
// their log lines the shelf's own names.
void BookShelf::playTitle(const AudioBook &book)
{
    d->playTitle(book, Q_FUNC_INFO);
}

void BookShelf::walkAudioBook(int step)
{
    d->walkAudioBook(step, Q_FUNC_INFO);
}

void BookShelf::walkAudioBookMediaType(int step)
{
    d->walkAudioBookMediaType(step, Q_FUNC_INFO);
}

void BookShelf::selectAudioBook(const AudioBook &book)
{
    d->selectAudioBook(book, Q_FUNC_INFO);
}

void BookShelf::addMediaSource(MediaSource mediaSource)
{
    if (mediaSource.mimeType() == MediaSource::MimeTypeUndefined) {
        qCDebug(lcLibrary).nospace() << Q_FUNC_INFO << ": unknown media source";
        return;
    }
    const int serial = ++d->lastSerial;
    d->pending.append({serial, mediaSource});
    BookFinder *finder = d->finder;
    QMetaObject::invokeMethod(finder, [finder, mediaSource, serial] { finder->find(mediaSource, serial); }, Qt::QueuedConnection);
}

void BookShelf::audioBooksFound(const MediaSource &mediaSource, int serial, const QList<AudioBook> &audioBooks)
{
    const auto it = std::find_if(d->pending.begin(), d->pending.end(), [serial](const auto &entry) { return entry.first == serial; });
    if (it == d->pending.end()) {
        qCDebug(lcLibrary).noquote() << "[BookShelf::audioBooksFound] medium" << mediaSource.device() << "was removed during its search: its books are dropped";
        return;
    }
    d->pending.erase(it);
    d->applyFoundBooks(mediaSource, audioBooks);
}

void BookShelf::removeMediaSource(MediaSource mediaSource)
{
    d->pending.removeIf([&mediaSource](const auto &entry) { return entry.second == mediaSource; });

    const AudioBook underCursor = d->collection.audioBook(d->index);
    const int mediaType = mediaSource.mediaType();
    const int before = d->collection.count();
    d->collection.removeAudioBooksByMediaType(mediaType);
    // Heard once per medium that brought books, not for every device node that goes with it.
    if (d->collection.count() < before)
        playSound(QStringLiteral("bookshelfRemoved"));
    d->mediaSources.removeOne(mediaSource);
    QSettings settings;
    settings.setValue(QStringLiteral("bookshelfMenuItem"), d->collection.count() > 1);

    if (d->collection.count() == 0) {
        d->startRequested = false;
        settings.setValue(QStringLiteral("lastPlayedMedia"), 0);
        if (d->active) {
            d->leave();
            d->stopMessages();
            d->bookInUse = AudioBook();
            Q_EMIT quit();
            return;
        }
    } else if (d->active) {
        if (underCursor.mediaType() == mediaType) {
            d->index = 0;
            d->stopMessages();
            playTitle(d->collection.audioBook(0));
        } else {
            d->index = qMax(0, d->collection.indexOf(underCursor));
        }
        // Ejecting the CD disabled the keys.
        if (mediaType == MediaSource::MediaTypeCdRom)
            d->setKeysEnabled(true);
        return;
    }

    if (!d->active && d->bookInUse.isDefined() && d->bookInUse.mediaType() == mediaType) {
        qCDebug(lcLibrary).nospace() << Q_FUNC_INFO << ": bookInUse is of this mediaType";
        d->bookInUse = AudioBook();
        Q_EMIT audioBookInUseRemoved();
    }
}
