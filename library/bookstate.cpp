// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/bookstate.h"

#include "library/logcategory.h"
#include "library/resumemark.h"
#include "library/resumemarkmanager.h"

bool BookState::read(const BookKey &key, BookPlace *place, BookExtras *extras)
{
    switch (key.store) {
    case BookKey::None:
        return false;
    case BookKey::Markers:
        return ResumeMarkManager::readBook(key.title, key.identifier, place, extras);
    case BookKey::Marks:
        return Resumemark().readBook(key.title, key.identifier, place, extras);
    }
    return false;
}

bool BookState::update(const BookKey &key, const std::function<void(BookPlace &, BookExtras &)> &change)
{
    if (!key.isValid()) {
        qCWarning(lcLibrary) << "[BookState::update] the book has no key, nothing kept";
        return false;
    }
    const bool saved = key.store == BookKey::Markers ? ResumeMarkManager::updateBook(key.title, key.identifier, change)
                                                     : Resumemark().updateBook(key.title, key.identifier, change);
    if (!saved)
        qCWarning(lcLibrary).noquote() << "[BookState::update] not saved for" << key.title;
    return saved;
}
