// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/texttitle.h"

#include "speech/messages.h"
#include "audio/ttssynthesizer.h"
#include "formats/textbook.h"
#include "library/logcategory.h"
#include "platform/paths.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QDir>

namespace TextTitle {

AudioBook textBook(const QFileInfo &info, int mediaType)
{
    const QString path = info.absoluteFilePath();
    QString reason;
    const std::unique_ptr<TextBook> text = TextBook::open(path, &reason, TextBook::MetadataOnly);
    if (!text) {
        qCWarning(lcLibrary).noquote() << "Book to read aloud left out:" << reason;
        return AudioBook();
    }
    AudioBook book;
    book.setMimeType(AudioBook::Text);
    book.setMediaType(mediaType);
    book.setUrl(path);
    book.setTitleFilename(Message::other_audio);
    const QString folder = Platform::path(QStringLiteral("/tmp/ttsTitles/"));
    QDir().mkpath(folder);
    const QString wav = folder + QString::fromLatin1(QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha1).toHex()) + QStringLiteral(".wav");
    const QString language = text->language().isEmpty() ? TtsSynthesizer::deviceLanguage() : text->language();
    const qint64 length = TtsSynthesizer::synthesize(text->title(), language, wav);
    if (length > 0) {
        book.setTitleFilename(wav);
        book.setTitleStopTime(int(qMin<qint64>(length, INT_MAX)));
    }
    qCDebug(lcLibrary).noquote() << "Added book to read aloud:" << text->title() << "-" << path;
    return book;
}

QString kindMessage(const AudioBook &book)
{
    return book.url().endsWith(QLatin1String(".epub"), Qt::CaseInsensitive) ? Message::epub : Message::daisy;
}

} // namespace TextTitle
