// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/bookcollection.h"

#include "library/logcategory.h"

#include <QDebug>
#include <QList>

#include <map>

class BookCollectionPrivate
{
public:
    using Groups = std::map<int, QList<AudioBook>>;

    static int numberOfBooks(const Groups &groups)
    {
        int n = 0;
        for (const auto &group : groups)
            n += group.second.size();
        return n;
    }
    int numberOfDaisyBooks() const { return numberOfBooks(daisyBooks); }
    int numberOfOtherBooks() const { return numberOfBooks(otherBooks); }

    // Every group of both maps in collection order.
    QList<const QList<AudioBook> *> groups() const
    {
        QList<const QList<AudioBook> *> result;
        for (const Groups *map : {&daisyBooks, &otherBooks}) {
            for (const auto &group : *map) {
                if (!group.second.isEmpty())
                    result.append(&group.second);
            }
        }
        return result;
    }

    Groups daisyBooks;
    Groups otherBooks;
};

BookCollection::BookCollection()
    : d(std::make_unique<BookCollectionPrivate>())
{
}

BookCollection::BookCollection(const BookCollection &other)
    : d(std::make_unique<BookCollectionPrivate>(*other.d))
{
}

BookCollection &BookCollection::operator=(const BookCollection &other)
{
    *d = *other.d;
    return *this;
}

BookCollection::~BookCollection() = default;

int BookCollection::count() const
{
    return d->numberOfDaisyBooks() + d->numberOfOtherBooks();
}

void BookCollection::addAudioBook(AudioBook &audioBook)
{
    if (audioBook.mimeType() == AudioBook::Daisy) {
        d->daisyBooks[audioBook.mediaType()].append(audioBook);
        return;
    }
    QList<AudioBook> &group = d->otherBooks[audioBook.mediaType()];
    audioBook.setNumber(group.size() + 1);
    group.append(audioBook);
}

AudioBook BookCollection::audioBook(int index) const
{
    if (index < 0)
        return AudioBook();
    for (const QList<AudioBook> *group : d->groups()) {
        if (index < group->size())
            return group->at(index);
        index -= group->size();
    }
    return AudioBook();
}

AudioBook BookCollection::audioBook(const QString &url, int mediaType) const
{
    const auto find = [&](const BookCollectionPrivate::Groups &groups) -> const AudioBook * {
        const auto it = groups.find(mediaType);
        if (it == groups.end())
            return nullptr;
        for (const AudioBook &book : it->second) {
            if (book.url() == url)
                return &book;
        }
        return nullptr;
    };
    if (const AudioBook *book = find(d->daisyBooks)) {
        qCDebug(lcLibrary).nospace() << Q_FUNC_INFO << ": daisybook found with url: " << url;
        return *book;
    }
    if (const AudioBook *book = find(d->otherBooks)) {
        qCDebug(lcLibrary).nospace() << Q_FUNC_INFO << ": other book found with url: " << url;
        return *book;
    }
    return AudioBook();
}

int BookCollection::indexOf(const AudioBook &audioBook) const
{
    int offset = 0;
    for (const QList<AudioBook> *group : d->groups()) {
        const int i = group->indexOf(audioBook);
        if (i >= 0)
            return offset + i;
        offset += group->size();
    }
    return -1;
}

void BookCollection::removeAudioBook(const AudioBook &audioBook)
{
    BookCollectionPrivate::Groups &groups = audioBook.mimeType() == AudioBook::Daisy ? d->daisyBooks : d->otherBooks;
    const auto it = groups.find(audioBook.mediaType());
    if (it == groups.end())
        return;
    it->second.removeOne(audioBook);
    if (it->second.isEmpty())
        groups.erase(it);
}

void BookCollection::removeAudioBooksByMediaType(int mediaType)
{
    d->daisyBooks.erase(mediaType);
    d->otherBooks.erase(mediaType);
}

bool BookCollection::containsMediaType(int mediaType) const
{
    return countByMediaType(mediaType) > 0;
}

int BookCollection::countByMediaType(int mediaType) const
{
    if (mediaType == -1)
        return 0;
    int n = 0;
    for (const BookCollectionPrivate::Groups *groups : {&d->daisyBooks, &d->otherBooks}) {
        const auto it = groups->find(mediaType);
        if (it != groups->end())
            n += it->second.size();
    }
    return n;
}

AudioBook BookCollection::nextMediaType(const AudioBook &audioBook) const
{
    return walkMediaType(audioBook, +1);
}

AudioBook BookCollection::previousMediaType(const AudioBook &audioBook) const
{
    return walkMediaType(audioBook, -1);
}

AudioBook BookCollection::walkMediaType(const AudioBook &audioBook, int step) const
{
    const QList<const QList<AudioBook> *> groups = d->groups();
    // A book that belongs to no group counts as standing one past the last.
    int position = groups.size();
    for (int i = 0; i < groups.size(); ++i) {
        const AudioBook &first = groups.at(i)->first();
        if (first.mediaType() == audioBook.mediaType() && first.mimeType() == audioBook.mimeType()) {
            position = i;
            break;
        }
    }
    const int target = position + step;
    if (target < 0 || target >= groups.size()) {
        qCDebug(lcLibrary).nospace() << Q_FUNC_INFO << ": no audiobook found with: " << audioBook.url();
        return AudioBook();
    }
    return groups.at(target)->first();
}

void BookCollection::clear()
{
    d->daisyBooks.clear();
    d->otherBooks.clear();
}
