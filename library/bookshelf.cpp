// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/bookshelf.h"

#include <QDebug>
#include <QSettings>

BookShelf::BookShelf(AudioSettings *audioSettings, Input *input, QObject *parent)
    : QObject(parent)
{
    Q_UNUSED(audioSettings)
    Q_UNUSED(input)
    QSettings().setValue(QStringLiteral("bookshelfMenuItem"), false);
}

BookShelf::~BookShelf() = default;

int BookShelf::count() const
{
    return m_books.size();
}

AudioBook BookShelf::bookInUse() const
{
    return m_bookInUse;
}

AudioBook BookShelf::bookAt(int index) const
{
    if (index < 0 || index >= m_books.size()) {
        qDebug().nospace() << Q_FUNC_INFO << ": invalid index number";
        return AudioBook();
    }
    return m_books.at(index);
}

void BookShelf::setLastPlayedAudioBook(const AudioBook &audioBook)
{
    if (!audioBook.isDefined())
        qDebug().nospace() << Q_FUNC_INFO << ": undefined audiobook";
}

void BookShelf::run()
{
    m_active = true;
    int index = 0;
    if (m_bookInUse.isDefined()) {
        index = qMax(0, int(m_books.indexOf(m_bookInUse)));
        m_bookInUse = AudioBook();
    } else {
        qDebug().nospace() << Q_FUNC_INFO << ": no audio book in use, start at pos 0";
    }
    if (!bookAt(index).isDefined()) {
        qDebug().nospace() << Q_FUNC_INFO << ": unexpected error!";
        m_active = false;
        Q_EMIT quit();
    }
}

void BookShelf::runNormal()
{
    m_mode = 0;
}

void BookShelf::keyPressEvent(int key)
{
    Q_UNUSED(key)
}

void BookShelf::keyReleaseEvent(int key)
{
    Q_UNUSED(key)
}

void BookShelf::keyHoldEvent(int key)
{
    Q_UNUSED(key)
}

void BookShelf::addMediaSource(MediaSource mediaSource)
{
    const int before = m_books.size();
    if (mediaSource.mimeType() == MediaSource::MimeTypeUndefined) {
        qDebug().nospace() << Q_FUNC_INFO << ": unknown media source";
        return;
    }
    m_mediaSources.append(mediaSource);
    QSettings().setValue(QStringLiteral("bookshelfMenuItem"), m_books.size() > 1);
    if (m_books.size() == before)
        qDebug().nospace() << Q_FUNC_INFO << ": no books are added to the collection";
}

void BookShelf::removeMediaSource(MediaSource mediaSource)
{
    m_mediaSources.removeOne(mediaSource);
    QSettings settings;
    settings.setValue(QStringLiteral("bookshelfMenuItem"), m_books.size() > 1);
    if (m_books.isEmpty()) {
        settings.setValue(QStringLiteral("lastPlayedMedia"), 0);
        if (m_active) {
            m_active = false;
            m_bookInUse = AudioBook();
            Q_EMIT quit();
        }
    }
}
