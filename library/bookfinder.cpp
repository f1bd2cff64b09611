// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/bookfinder.h"

#include "formats/daisytalkingbook.h"
#include "formats/mediagroup.h"
#include "formats/medianode.h"
#include "formats/textbook.h"
#include "library/logcategory.h"
#include "speech/messages.h"
#include "library/texttitle.h"

#include <QDebug>
#include <QHash>

#include <memory>

namespace {

// The claim test is a substring test on folder paths: "Book" also claims
// "Book 2". A medium may hold tens of thousands of files in a few thousand
// folders, so each folder's answer is kept; a folder once claimed stays
// claimed, and an unclaimed one is only tested against the claims made since.
class ClaimedFolders
{
public:
    void claim(const QString &folder) { m_claims.append(folder); }

    bool isClaimed(const QString &folder)
    {
        Checked &checked = m_checked[folder];
        if (checked.claimed)
            return true;
        for (; checked.upTo < m_claims.size(); ++checked.upTo) {
            if (folder.contains(m_claims.at(checked.upTo), Qt::CaseSensitive)) {
                checked.claimed = true;
                return true;
            }
        }
        return false;
    }

private:
    struct Checked
    {
        qsizetype upTo = 0;
        bool claimed = false;
    };
    QStringList m_claims;
    QHash<QString, Checked> m_checked;
};

bool isDaisyFile(const QFileInfo &info)
{
    return info.fileName().compare(QLatin1String("ncc.html"), Qt::CaseInsensitive) == 0
        || info.suffix().compare(QLatin1String("opf"), Qt::CaseInsensitive) == 0;
}

AudioBook daisyBook(const QFileInfo &info, int mediaType)
{
    const std::unique_ptr<DaisyTalkingBook> book(DaisyTalkingBook::open(info.absoluteFilePath()));
    if (!book)
        return AudioBook();
    const MediaGroup *title = book->title();
    if (!title || !title->hasText() || title->textNode()->text().isEmpty())
        return AudioBook();

    AudioBook audioBook;
    audioBook.setMediaType(mediaType);
    audioBook.setMimeType(AudioBook::Daisy);
    audioBook.setUrl(info.absoluteFilePath());
    if (title->hasAudio()) {
        const AudioNode *clip = title->firstAudioClip();
        qCDebug(lcLibrary).noquote() << "Daisy book has audio title:" << clip->source();
        audioBook.setTitleFilename(clip->source());
        // Clip times past the range of the field would wrap into nonsense: cut them off.
        audioBook.setTitleStartTime(int(qBound(qint64(0), clip->clipBegin(), qint64(INT_MAX))));
        audioBook.setTitleStopTime(int(qBound(qint64(0), clip->clipEnd(), qint64(INT_MAX))));
    } else {
        qCDebug(lcLibrary) << "Daisy book has no audio title";
        audioBook.setTitleFilename(Message::undefined);
    }
    qCDebug(lcLibrary).noquote() << "Added Daisy book:" << title->textNode()->text();
    return audioBook;
}

} // namespace

BookFinder::BookFinder(QObject *parent)
    : QObject(parent)
{
}

QList<AudioBook> BookFinder::findAudioBooks(const MediaSource &mediaSource)
{
    QList<AudioBook> books;
    const int mediaType = mediaSource.mediaType();

    if (mediaSource.mimeType() == MediaSource::MimeTypeCdda) {
        AudioBook cd;
        cd.setMediaType(mediaType);
        cd.setMimeType(AudioBook::Cdda);
        cd.setUrl(mediaSource.mountPath());
        cd.setTitleFilename(Message::other_audio);
        books.append(cd);
        return books;
    }
    if (mediaSource.mimeType() != MediaSource::MimeTypeFileSystem)
        return books;

    const QList<QFileInfo> files = mediaSource.fileInfoList();
    ClaimedFolders claimed;
    for (const QFileInfo &info : files) {
        if (!isDaisyFile(info))
            continue;
        // A book without recorded audio is read aloud rather than refused or
        // played as silence: a kind of book beyond the recorded ones, on purpose.
        const AudioBook book = TextBook::isTextOnly(info.absoluteFilePath()) ? TextTitle::textBook(info, mediaType) : daisyBook(info, mediaType);
        if (!book.isDefined())
            continue;
        books.append(book);
        claimed.claim(info.absolutePath());
    }

    for (const QFileInfo &info : files) {
        const QString folder = info.absolutePath();
        if (claimed.isClaimed(folder))
            continue;
        AudioBook book;
        if (info.suffix().compare(QLatin1String("mp3"), Qt::CaseInsensitive) == 0) {
            book.setMimeType(AudioBook::DigitalAudio);
            book.setUrl(folder);
            claimed.claim(folder);
        } else if (info.suffix().compare(QLatin1String("epub"), Qt::CaseInsensitive) == 0) {
            if (TextBook::isTextOnly(info.absoluteFilePath())) {
                book = TextTitle::textBook(info, mediaType);
                if (book.isDefined())
                    books.append(book);
                continue;
            }
            book.setMimeType(AudioBook::Epub);
            book.setUrl(info.absoluteFilePath());
        } else {
            continue;
        }
        book.setMediaType(mediaType);
        book.setTitleFilename(Message::other_audio);
        qCDebug(lcLibrary).noquote() << "Added other audiobook:" << book.url();
        books.append(book);
    }
    return books;
}

void BookFinder::find(const MediaSource &mediaSource, int serial)
{
    Q_EMIT found(mediaSource, serial, findAudioBooks(mediaSource));
}
