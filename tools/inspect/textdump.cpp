// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "bookdump.h"
#include "jsonwriter.h"

#include "formats/textbook.h"

namespace {

QByteArray marks(const QVector<TextMark> &list, const TextBook &book, bool withLevel)
{
    if (list.isEmpty())
        return QByteArrayLiteral("[]");
    QList<QByteArray> items;
    for (const TextMark &mark : list) {
        const TextSentence &s = book.sentences().at(mark.sentence);
        QByteArray item = "{";
        if (withLevel)
            item += "\"level\": " + Json::number(qint64(mark.level)) + ", ";
        item += "\"label\": " + Json::string(mark.label) + ", \"document\": " + Json::number(qint64(s.document))
            + ", \"offset\": " + Json::number(qint64(s.offset)) + "}";
        items.append(item);
    }
    return "[\n    " + items.join(",\n    ") + "\n  ]";
}

} // namespace

namespace BookDump {

bool isTextBook(const QString &path)
{
    return TextBook::isTextOnly(path);
}

bool dumpText(const QString &path, QByteArray *json, QString *error)
{
    const std::unique_ptr<TextBook> book = TextBook::open(path, error);
    if (!book)
        return false;
    static const char *const kinds[] = {"epub3-text", "daisy202-text", "daisy3-text"};
    QList<QByteArray> documents;
    for (const QString &document : book->documents())
        documents.append(Json::string(document));
    QByteArray out = "{\n";
    out += "  \"format\": \"" + QByteArray(kinds[book->kind()]) + "\",\n";
    out += "  \"title\": " + Json::string(book->title()) + ",\n";
    out += "  \"language\": " + Json::string(book->language()) + ",\n";
    out += "  \"identifier\": " + Json::string(book->identifier()) + ",\n";
    out += "  \"characters\": " + Json::number(book->characters()) + ",\n";
    out += "  \"sentences\": " + Json::number(qint64(book->sentences().size())) + ",\n";
    out += "  \"paragraphs\": " + Json::number(qint64(book->paragraphs())) + ",\n";
    out += "  \"languages\": [" + [&] {
        QList<QByteArray> names;
        for (const QString &language : book->languages())
            names.append(Json::string(language));
        return names.join(", ");
    }() + "],\n";
    out += "  \"documents\": [" + documents.join(", ") + "],\n";
    out += "  \"headings\": " + marks(book->headings(), *book, true) + ",\n";
    out += "  \"pages\": " + marks(book->pages(), *book, false) + "\n";
    out += "}\n";
    *json = out;
    return true;
}

} // namespace BookDump
