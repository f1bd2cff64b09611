// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FORMATS_TEXTBOOK_H
#define QUIMBO_FORMATS_TEXTBOOK_H

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

/** One sentence of a book read aloud: where it is and what is said. */
struct TextSentence
{
    QString text;
    int document = 0; ///< index into TextBook::documents()
    int offset = 0; ///< character offset of its start in the document's read text
    int paragraph = 0; ///< paragraphs are numbered through the whole book
    int language = 0; ///< index into TextBook::languages(); 0 is the book's language
    /**
     * In a book with narrated and text-only parts: the recorded audio file
     * played in place of speech, an archive path in an EPUB, a file path in a
     * DAISY book (then text is the part's heading, and offset only orders it
     * in its document).
     */
    QString audio;
};

/** A heading (level 1-6) or a page (level 0) and the sentence it starts at. */
struct TextMark
{
    int sentence = 0;
    int level = 0;
    QString label;
};

/**
 * The text of a book without recorded audio, cut into sentences, with its
 * headings and pages: the spine's XHTML documents of an EPUB 3 book (pages
 * from the nav document's page-list, else from its page-break markers), the
 * content documents a DAISY 2.02 NCC points to (headings and pages from the
 * NCC), or the DTBook of a DAISY 3 book (its levels and page numbers).
 * In a book that mixes recorded and text-only parts (an EPUB with some media
 * overlays, a DAISY book whose metadata says "textPartAudio") the recorded
 * parts keep their recordings: an entry per audio file takes the place of the
 * text it narrates (a DAISY SMIL file that plays audio, an EPUB document with
 * an overlay).
 *
 * What is read: text, image alt texts, table rows one at a time, list items;
 * what is not: scripts, styles, the document head, navigation blocks,
 * footnotes and note references, page-number markers (which still count as
 * pages). A document that is not well formed is repaired once through
 * libxml2 or skipped with a log line. Not thread-safe; no event loop.
 */
class TextBook
{
public:
    enum Kind { Epub, Daisy202, Daisy3 };
    enum Reading { WholeBook, MetadataOnly };

    /**
     * Opens an EPUB file, a DAISY 2.02 "ncc.html" or a DAISY 3 package (".opf");
     * null and @p errorString on failure. MetadataOnly reads the title and
     * language, not the text.
     */
    static std::unique_ptr<TextBook> open(const QString &path, QString *errorString = nullptr, Reading reading = WholeBook);
    /** A book of the one XHTML or DTBook document @p data (also what quimbo-inspect and the tests read). */
    static std::unique_ptr<TextBook> fromDocument(const QByteArray &data, const QString &name);

    /**
     * Whether @p path is a book this model should read aloud: an EPUB with a
     * document in its reading order that has no media overlay (a book that
     * mixes narrated and text-only parts counts: its narration is played,
     * the rest read aloud), or a DAISY book whose metadata says it holds text only
     * or text with some recorded parts (or, for DAISY 3, whose manifest names no audio). Cheap: the content is not read.
     */
    static bool isTextOnly(const QString &path);

    Kind kind() const { return m_kind; }
    QString title() const { return m_title; }
    QString identifier() const { return m_identifier; }
    /** The book's language ("en", "de-CH"; empty when the book names none). */
    QString language() const { return m_languages.value(0); }
    /** Index 0 is the book's language; the others are passages' xml:lang values. */
    const QStringList &languages() const { return m_languages; }
    const QStringList &documents() const { return m_documents; }
    const QVector<TextSentence> &sentences() const { return m_sentences; }
    const QVector<TextMark> &headings() const { return m_headings; }
    const QVector<TextMark> &pages() const { return m_pages; }
    /** Characters of all sentences. */
    qint64 characters() const { return m_characters; }
    int paragraphs() const { return m_sentences.isEmpty() ? 0 : m_sentences.constLast().paragraph + 1; }

    /** The sentence at or before @p offset in @p document (the first one of the book when there is none). */
    int sentenceAt(int document, int offset) const;

private:
    friend class TextBookBuilder;
    TextBook() = default;

    Kind m_kind = Epub;
    QString m_title;
    QString m_identifier;
    QStringList m_languages{QString()};
    QStringList m_documents;
    QVector<TextSentence> m_sentences;
    QVector<TextMark> m_headings;
    QVector<TextMark> m_pages;
    qint64 m_characters = 0;
};

#endif
