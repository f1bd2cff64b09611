// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/textbook.h"

#include "formats/epubparser.h"
#include "formats/logcategory.h"
#include "formats/referenceresolver.h"
#include "formats/xhtmlentities.h"
#include "formats/xmlrecovery.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QXmlStreamReader>

#include <algorithm>

namespace {

// Real chapters are well below a megabyte; a document far beyond that is not
// worth holding up the shelf or the player for.
constexpr qint64 kMaxDocumentBytes = 32 * 1024 * 1024;
constexpr qint64 kMaxPackageBytes = 4 * 1024 * 1024;
constexpr int kMaxDepth = 256;
// A sentence is synthesized whole before it sounds: a run-on "sentence" of a
// whole page (tables of numbers, text without full stops) would delay the
// start of play, so long ones are cut at a blank.
constexpr int kMaxSentence = 300;

const QString kOpsNamespace = QStringLiteral("http://www.idpf.org/2007/ops");

bool isBlock(QStringView name)
{
    static const QSet<QString> blocks = {
        QStringLiteral("p"), QStringLiteral("div"), QStringLiteral("li"), QStringLiteral("tr"), QStringLiteral("blockquote"),
        QStringLiteral("dt"), QStringLiteral("dd"), QStringLiteral("section"), QStringLiteral("article"), QStringLiteral("caption"),
        QStringLiteral("figcaption"), QStringLiteral("pre"), QStringLiteral("body"), QStringLiteral("table"), QStringLiteral("ul"),
        QStringLiteral("ol"), QStringLiteral("dl"), QStringLiteral("list"), QStringLiteral("line"), QStringLiteral("doctitle"),
        QStringLiteral("docauthor"), QStringLiteral("author"), QStringLiteral("byline"), QStringLiteral("dateline"),
        QStringLiteral("bridgehead"), QStringLiteral("sidebar"), QStringLiteral("prodnote"), QStringLiteral("poem"),
        QStringLiteral("linegroup"), QStringLiteral("frontmatter"), QStringLiteral("bodymatter"), QStringLiteral("rearmatter"),
        QStringLiteral("figure"), QStringLiteral("header"), QStringLiteral("footer"), QStringLiteral("main"),
        QStringLiteral("address"), QStringLiteral("hr"), QStringLiteral("lic"),
    };
    return blocks.contains(name.toString());
}

bool isSkipped(QStringView name)
{
    static const QSet<QString> skipped = {
        QStringLiteral("script"), QStringLiteral("style"), QStringLiteral("head"), QStringLiteral("noscript"),
        QStringLiteral("template"), QStringLiteral("nav"), QStringLiteral("note"), QStringLiteral("noteref"),
        QStringLiteral("annoref"), QStringLiteral("annotation"), QStringLiteral("svg"), QStringLiteral("math"),
        QStringLiteral("rt"), QStringLiteral("rp"),
    };
    return skipped.contains(name.toString());
}

/** 1-6 for h1-h6, 0 otherwise. */
int headingLevel(QStringView name)
{
    if (name.size() == 2 && name.at(0) == QLatin1Char('h') && name.at(1) >= QLatin1Char('1') && name.at(1) <= QLatin1Char('6'))
        return name.at(1).unicode() - '0';
    return 0;
}

/** The file's bytes, or empty with a log line when it is missing, unreadable or absurdly large. */
QByteArray readFile(const QString &path, qint64 limit)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcFormats).noquote() << "Text book: cannot read" << path << "-" << file.errorString();
        return {};
    }
    if (file.size() > limit) {
        qCWarning(lcFormats).noquote() << "Text book:" << path << "is" << file.size() << "bytes, more than" << limit << "- skipped";
        return {};
    }
    return file.readAll();
}

QString attribute(const QXmlStreamReader &reader, QLatin1String name)
{
    const QXmlStreamAttributes attributes = reader.attributes();
    for (const QXmlStreamAttribute &a : attributes) {
        if (a.name() == name)
            return a.value().toString();
    }
    return {};
}

/** The words of epub:type (or role, class) as one lower-case string with blanks around, for " word " tests. */
QString semantics(const QXmlStreamReader &reader)
{
    QString words = QStringLiteral(" ");
    const QXmlStreamAttributes attributes = reader.attributes();
    for (const QXmlStreamAttribute &a : attributes) {
        const bool epubType = a.name() == QLatin1String("type") && (a.namespaceUri() == kOpsNamespace || a.prefix() == QLatin1String("epub"));
        if (epubType || a.name() == QLatin1String("role") || a.name() == QLatin1String("class"))
            words += a.value().toString().toLower().replace(QStringLiteral("doc-"), QString()) + QLatin1Char(' ');
    }
    return words;
}

bool hasWord(const QString &words, const char *word)
{
    return words.contains(QLatin1Char(' ') + QLatin1String(word) + QLatin1Char(' '));
}

QString metaContent(const QByteArray &data, const QString &name)
{
    const QRegularExpression meta(QStringLiteral("<meta\\b[^>]*>"), QRegularExpression::CaseInsensitiveOption);
    const QRegularExpression content(QStringLiteral("\\bcontent\\s*=\\s*[\"']([^\"']*)[\"']"), QRegularExpression::CaseInsensitiveOption);
    const QString text = QString::fromUtf8(data);
    auto it = meta.globalMatch(text);
    while (it.hasNext()) {
        const QString tag = it.next().captured(0);
        if (tag.contains(QLatin1Char('"') + name + QLatin1Char('"'), Qt::CaseInsensitive)
            || tag.contains(QLatin1Char('\'') + name + QLatin1Char('\''), Qt::CaseInsensitive))
            return content.match(tag).captured(1).trimmed();
    }
    return {};
}

} // namespace

/** Reads documents into a TextBook: one streaming pass each, no DOM. */
class TextBookBuilder
{
public:
    struct Options
    {
        bool headings = true; ///< h1-h6 (and DTBook's hd) become headings
        bool markerPages = true; ///< page-number markers become pages
    };
    struct Reference
    {
        QString target; ///< "document#id"
        QString label;
        int level = 0;
    };

    explicit TextBookBuilder(TextBook &book)
        : m_book(book)
    {
    }

    /** A narrated document: one entry per audio file, under one heading. */
    void addRecorded(const QString &name, const QStringList &audio, const QString &label);
    /**
     * A recorded part of a DAISY book with text-only parts: its audio files
     * play where the text they narrate (the targets "document#id") stands,
     * in place of that text.
     */
    void addRecordedPart(const QStringList &audio, const QStringList &targets, const QString &label);
    /** Recorded parts whose text no document held: each becomes a document of its own, at the end. */
    void addUnplacedParts();
    /** Reads one document; false (and the book unchanged) when it was skipped. */
    bool readDocument(const QByteArray &data, const QString &name, Options options);
    /** The sentence an anchor "document#id" (or a document alone) leads to; -1 when unknown. */
    int anchor(const QString &target) const;
    /** Puts references (headings or pages) into @p marks at the sentences they lead to. */
    void resolve(const QVector<Reference> &references, QVector<TextMark> &marks) const;
    QVector<Reference> pageList; ///< entries of page-list navigation blocks met so far
    void finish();

private:
    struct Frame
    {
        int language = 0;
        enum Kind { Plain, Skip, Heading, Page, PageList, PageListLink, Cell, Recorded } kind = Plain;
        bool block = false;
        bool level = false; ///< a DTBook level element, which gives "hd" its depth
    };
    enum Result { Read, Malformed, TooDeep };

    Result parse(const QByteArray &data, int document, Options options);
    int languageIndex(const QString &language);
    void append(const QString &text);
    void setLanguage(int language);
    void endSegment();
    void flush();
    void emitSentence(const QString &text, int language);
    void placePart(int part);

    struct RecordedPart
    {
        QStringList audio;
        QString label;
        int start = -1; ///< its first sentence once placed
    };

    TextBook &m_book;
    QVector<RecordedPart> m_parts;
    QHash<QString, int> m_recordedTargets; ///< "document#id" to its part
    int m_recordedHeading = -1; ///< the heading of a recorded part whose label is being read
    QHash<QString, int> m_anchors;
    QHash<QString, int> m_documentStart;
    // The paragraph being gathered: stretches of text, each in one language.
    QString m_segment;
    int m_segmentLanguage = 0;
    QVector<QPair<QString, int>> m_segments;
    QStringList m_pendingAnchors;
    int m_pendingHeading = 0;
    QString m_headingLabel;
    QStringList m_pendingPages;
    QString m_documentName;
    int m_document = 0;
    int m_documentChars = 0;
    int m_paragraph = 0;
    bool m_paragraphOpen = false;
    bool m_inHeading = false;
};

int TextBookBuilder::languageIndex(const QString &language)
{
    if (language.isEmpty())
        return 0;
    for (qsizetype i = 0; i < m_book.m_languages.size(); ++i) {
        if (m_book.m_languages.at(i).compare(language, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    m_book.m_languages.append(language);
    return int(m_book.m_languages.size() - 1);
}

void TextBookBuilder::append(const QString &text)
{
    m_segment += text;
}

void TextBookBuilder::setLanguage(int language)
{
    if (language == m_segmentLanguage)
        return;
    endSegment();
    m_segmentLanguage = language;
}

void TextBookBuilder::endSegment()
{
    if (!m_segment.trimmed().isEmpty())
        m_segments.append({m_segment, m_segmentLanguage});
    m_segment.clear();
}

void TextBookBuilder::flush()
{
    endSegment();
    static const QRegularExpression boundary(QStringLiteral("(?<=[.!?\\x{2026}\\x{3002}])[\"'\\x{201D}\\x{2019})\\]]*\\s+|\\n"));
    for (const auto &[text, language] : std::as_const(m_segments)) {
        qsizetype start = 0;
        QRegularExpressionMatchIterator it = boundary.globalMatch(text);
        auto take = [&](qsizetype end) {
            QString sentence = text.mid(start, end - start).simplified();
            while (sentence.size() > kMaxSentence) {
                qsizetype cut = sentence.lastIndexOf(QLatin1Char(' '), kMaxSentence);
                if (cut <= 0)
                    cut = kMaxSentence;
                emitSentence(sentence.left(cut), language);
                sentence = sentence.mid(cut).trimmed();
            }
            if (!sentence.isEmpty())
                emitSentence(sentence, language);
        };
        while (it.hasNext()) {
            const QRegularExpressionMatch match = it.next();
            take(match.capturedStart() + (match.captured(0) == QLatin1String("\n") ? 0 : match.captured(0).indexOf(QRegularExpression(QStringLiteral("\\s")))));
            start = match.capturedEnd();
        }
        take(text.size());
    }
    m_segments.clear();
    if (m_paragraphOpen)
        ++m_paragraph;
    m_paragraphOpen = false;
}

void TextBookBuilder::emitSentence(const QString &text, int language)
{
    TextSentence sentence;
    sentence.text = text;
    sentence.document = m_document;
    sentence.offset = m_documentChars;
    sentence.paragraph = m_paragraph;
    sentence.language = language;
    const int index = int(m_book.m_sentences.size());
    for (const QString &id : std::as_const(m_pendingAnchors))
        m_anchors.insert(m_documentName + QLatin1Char('#') + id, index);
    m_pendingAnchors.clear();
    if (m_pendingHeading > 0) {
        m_book.m_headings.append({index, m_pendingHeading, m_headingLabel.simplified()});
        m_pendingHeading = 0;
    }
    for (const QString &page : std::as_const(m_pendingPages))
        m_book.m_pages.append({index, 0, page});
    m_pendingPages.clear();
    m_documentChars += int(text.size()) + 1;
    m_book.m_characters += text.size();
    m_book.m_sentences.append(sentence);
    m_paragraphOpen = true;
}

TextBookBuilder::Result TextBookBuilder::parse(const QByteArray &data, int document, Options options)
{
    QXmlStreamReader reader(data);
    XhtmlEntityResolver entities;
    reader.setEntityResolver(&entities);
    QVector<Frame> stack;
    m_document = document;
    m_documentChars = 0;
    QString pageLabel;
    Reference link;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        const Frame parent = stack.isEmpty() ? Frame() : stack.constLast();
        if (token == QXmlStreamReader::StartElement) {
            if (stack.size() >= kMaxDepth)
                return TooDeep;
            const QString name = reader.name().toString().toLower();
            Frame frame;
            frame.language = parent.language;
            QString language = attribute(reader, QLatin1String("lang"));
            if (!language.isEmpty())
                frame.language = languageIndex(language);
            const QString id = attribute(reader, QLatin1String("id"));
            if (parent.kind == Frame::Skip || parent.kind == Frame::Page || parent.kind == Frame::Recorded) {
                frame.kind = parent.kind;
                stack.append(frame);
                continue;
            }
            if (parent.kind == Frame::PageList || parent.kind == Frame::PageListLink) {
                frame.kind = Frame::PageList;
                if (name == QLatin1String("a")) {
                    frame.kind = Frame::PageListLink;
                    link = Reference();
                    const QString href = attribute(reader, QLatin1String("href"));
                    const qsizetype hash = href.lastIndexOf(QLatin1Char('#'));
                    const QString file = hash >= 0 ? href.left(hash) : href;
                    link.target = (file.isEmpty() ? m_documentName : ReferenceResolver::resolveFile(m_documentName, file)) + (hash >= 0 ? href.mid(hash) : QString());
                }
                stack.append(frame);
                continue;
            }
            if (!id.isEmpty())
                m_pendingAnchors.append(id);
            const QString words = semantics(reader);
            const int level = headingLevel(name);
            const bool pageMarker = hasWord(words, "pagebreak") || name == QLatin1String("pagenum") || hasWord(words, "page-normal")
                                 || hasWord(words, "page-front") || hasWord(words, "page-special");
            const int part = id.isEmpty() || pageMarker ? -1 : m_recordedTargets.value(m_documentName + QLatin1Char('#') + id, -1);
            if (part >= 0) {
                // Narrated text: the recording plays here instead, once, however
                // many of its elements follow.
                placePart(part);
                m_pendingAnchors.removeAll(id);
                m_anchors.insert(m_documentName + QLatin1Char('#') + id, m_parts.at(part).start);
                frame.kind = Frame::Recorded;
                if (options.headings && (level > 0 || name == QLatin1String("hd"))) {
                    int depth = level;
                    for (const Frame &f : std::as_const(stack))
                        depth += level == 0 && f.level ? 1 : 0;
                    m_book.m_headings.append({m_parts.at(part).start, qBound(1, depth, 6), QString()});
                    m_recordedHeading = int(m_book.m_headings.size() - 1);
                    frame.block = true;
                }
                stack.append(frame);
                continue;
            }
            if (name == QLatin1String("nav") && hasWord(words, "page-list")) {
                frame.kind = Frame::PageList;
            } else if (pageMarker) {
                frame.kind = Frame::Page;
                pageLabel = attribute(reader, QLatin1String("title"));
                if (pageLabel.isEmpty())
                    pageLabel = attribute(reader, QLatin1String("aria-label"));
            } else if (isSkipped(name) || hasWord(words, "footnote") || hasWord(words, "endnote") || hasWord(words, "rearnote")
                       || hasWord(words, "noteref") || hasWord(words, "note") || hasWord(words, "footnotes")
                       || hasWord(words, "endnotes")) {
                frame.kind = Frame::Skip;
            } else if (level > 0 || name == QLatin1String("hd")) {
                flush();
                frame.kind = Frame::Heading;
                frame.block = true;
                if (options.headings) {
                    int depth = level;
                    if (depth == 0) {
                        for (const Frame &f : std::as_const(stack))
                            depth += f.level ? 1 : 0;
                    }
                    m_pendingHeading = qBound(1, depth, 6);
                    m_headingLabel.clear();
                }
                m_inHeading = true;
            } else if (name == QLatin1String("br")) {
                append(QStringLiteral("\n"));
            } else if (name == QLatin1String("img") || name == QLatin1String("area")) {
                const QString alt = attribute(reader, QLatin1String("alt")).simplified();
                if (!alt.isEmpty()) {
                    setLanguage(frame.language);
                    append(QLatin1Char(' ') + alt + QLatin1Char(' '));
                }
            } else if (name == QLatin1String("td") || name == QLatin1String("th")) {
                frame.kind = Frame::Cell;
                // Cells of one row are one paragraph, each cell a pause apart.
                if (!m_segment.trimmed().isEmpty() || !m_segments.isEmpty())
                    append(QStringLiteral(", "));
            } else if (isBlock(name) || name.startsWith(QLatin1String("level"))) {
                flush();
                frame.block = true;
            }
            frame.level = name.startsWith(QLatin1String("level"));
            stack.append(frame);
        } else if (token == QXmlStreamReader::EndElement) {
            if (stack.isEmpty())
                continue;
            const Frame frame = stack.takeLast();
            const Frame outer = stack.isEmpty() ? Frame() : stack.constLast();
            if (frame.kind == Frame::Recorded && frame.block && m_recordedHeading >= 0) {
                // The heading of a narrated part names it: as the heading and as what its entries say.
                TextMark &heading = m_book.m_headings[m_recordedHeading];
                heading.label = heading.label.simplified();
                for (int i = heading.sentence; i < m_book.m_sentences.size() && !m_book.m_sentences.at(i).audio.isEmpty(); ++i) {
                    if (m_book.m_sentences.at(i).text.isEmpty())
                        m_book.m_sentences[i].text = heading.label;
                }
                m_recordedHeading = -1;
            } else if (frame.kind == Frame::Page && outer.kind != Frame::Page) {
                if (options.markerPages)
                    m_pendingPages.append(pageLabel.simplified());
                pageLabel.clear();
            } else if (frame.kind == Frame::PageListLink) {
                link.label = link.label.simplified();
                pageList.append(link);
            } else if (frame.block) {
                m_inHeading = m_inHeading && frame.kind != Frame::Heading;
                flush();
            }
        } else if (token == QXmlStreamReader::Characters || token == QXmlStreamReader::EntityReference) {
            const QString piece = token == QXmlStreamReader::Characters ? reader.text().toString()
                                  : reader.name() == QLatin1String("nbsp")  ? QString(QChar(QChar::Nbsp))
                                                                            : QStringLiteral(" ");
            if (parent.kind == Frame::Recorded) {
                if (m_recordedHeading >= 0)
                    m_book.m_headings[m_recordedHeading].label += piece;
            } else if (parent.kind == Frame::Page) {
                pageLabel += piece;
            } else if (parent.kind == Frame::PageListLink) {
                link.label += piece;
            } else if (parent.kind != Frame::Skip && parent.kind != Frame::PageList && !stack.isEmpty()) {
                if (reader.isWhitespace() && m_segment.isEmpty())
                    continue;
                setLanguage(parent.language);
                append(piece);
                if (m_inHeading)
                    m_headingLabel += piece;
            }
        }
    }
    if (reader.hasError())
        return Malformed;
    flush();
    return Read;
}

bool TextBookBuilder::readDocument(const QByteArray &data, const QString &name, Options options)
{
    if (data.size() > kMaxDocumentBytes) {
        qCWarning(lcFormats).noquote() << "Text book: document" << name << "is" << data.size() << "bytes, more than" << kMaxDocumentBytes << "- skipped";
        return false;
    }
    const int document = int(m_book.m_documents.size());
    // A document that fails half way leaves nothing behind: the marks and
    // sentences it added are taken back before it is read again or skipped.
    const auto sentences = m_book.m_sentences.size();
    const auto headings = m_book.m_headings.size();
    const auto pages = m_book.m_pages.size();
    const auto pageListSize = pageList.size();
    const qint64 characters = m_book.m_characters;
    const int paragraph = m_paragraph;
    auto rollback = [&] {
        m_book.m_sentences.resize(sentences);
        m_book.m_headings.resize(headings);
        m_book.m_pages.resize(pages);
        pageList.resize(pageListSize);
        m_book.m_characters = characters;
        m_paragraph = paragraph;
        m_segments.clear();
        m_segment.clear();
        m_pendingHeading = 0;
        m_pendingPages.clear();
        m_pendingAnchors.clear();
        m_paragraphOpen = false;
        m_inHeading = false;
        m_recordedHeading = -1;
        for (RecordedPart &part : m_parts) {
            if (part.start >= sentences)
                part.start = -1;
        }
    };
    m_documentName = name;
    m_documentStart.insert(name, int(sentences));
    Result result = parse(data, document, options);
    if (result == Malformed) {
        rollback();
        const QByteArray repaired = XmlRecovery::recoverData(data);
        qCWarning(lcFormats).noquote() << "Text book: document" << name << "is not well formed -" << (repaired.isEmpty() ? "not repaired" : "repaired");
        result = repaired.isEmpty() ? Malformed : parse(repaired, document, options);
    }
    if (result != Read) {
        rollback();
        qCWarning(lcFormats).noquote() << "Text book: document" << name << (result == TooDeep ? "nests too deep" : "cannot be read") << "- skipped";
        m_documentStart.remove(name);
        return false;
    }
    m_book.m_documents.append(name);
    return true;
}

void TextBookBuilder::addRecorded(const QString &name, const QStringList &audio, const QString &label)
{
    if (audio.isEmpty())
        return;
    const int document = int(m_book.m_documents.size());
    m_documentStart.insert(name, int(m_book.m_sentences.size()));
    m_book.m_headings.append({int(m_book.m_sentences.size()), 1, label});
    for (qsizetype i = 0; i < audio.size(); ++i) {
        TextSentence part;
        part.text = label;
        part.document = document;
        part.offset = int(i);
        part.paragraph = m_paragraph++;
        part.audio = audio.at(i);
        m_book.m_sentences.append(part);
    }
    m_book.m_documents.append(name);
}

void TextBookBuilder::addRecordedPart(const QStringList &audio, const QStringList &targets, const QString &label)
{
    if (audio.isEmpty())
        return;
    m_parts.append({audio, label, -1});
    for (const QString &target : targets) {
        if (!m_recordedTargets.contains(target))
            m_recordedTargets.insert(target, int(m_parts.size() - 1));
    }
}

void TextBookBuilder::placePart(int part)
{
    if (m_parts.at(part).start >= 0)
        return;
    flush();
    const RecordedPart &recorded = m_parts.at(part);
    m_parts[part].start = int(m_book.m_sentences.size());
    // One entry per file, each its own paragraph; the offsets only need to
    // stay distinct and ascending in the document for the resume mark.
    for (const QString &audio : recorded.audio) {
        emitSentence(recorded.label, 0);
        m_book.m_sentences.last().audio = audio;
        ++m_paragraph;
        m_paragraphOpen = false;
    }
}

void TextBookBuilder::addUnplacedParts()
{
    for (int part = 0; part < m_parts.size(); ++part) {
        if (m_parts.at(part).start >= 0)
            continue;
        const QString name = QFileInfo(m_parts.at(part).audio.constFirst()).completeBaseName();
        qCInfo(lcFormats).noquote() << "Text book: the recording" << name << "narrates no text found - played after the text";
        const QString label = m_parts.at(part).label.isEmpty() ? name : m_parts.at(part).label;
        m_parts[part].start = int(m_book.m_sentences.size());
        addRecorded(m_parts.at(part).audio.constFirst(), m_parts.at(part).audio, label);
        for (auto it = m_recordedTargets.cbegin(); it != m_recordedTargets.cend(); ++it) {
            if (it.value() == part)
                m_anchors.insert(it.key(), m_parts.at(part).start);
        }
    }
}

int TextBookBuilder::anchor(const QString &target) const
{
    const auto it = m_anchors.constFind(target);
    if (it != m_anchors.constEnd())
        return it.value();
    const qsizetype hash = ReferenceResolver::fragmentStart(target);
    return m_documentStart.value(hash >= 0 ? target.left(hash) : target, -1);
}

void TextBookBuilder::resolve(const QVector<Reference> &references, QVector<TextMark> &marks) const
{
    const int count = int(m_book.m_sentences.size());
    for (const Reference &reference : references) {
        const int sentence = anchor(reference.target);
        if (sentence < 0 || count == 0) {
            qCDebug(lcFormats).noquote() << "Text book: reference" << reference.target << "leads nowhere - left out";
            continue;
        }
        marks.append({qMin(sentence, count - 1), reference.level, reference.label});
    }
}

void TextBookBuilder::finish()
{
    // A recording no heading named is called by its file.
    for (TextSentence &sentence : m_book.m_sentences) {
        if (sentence.text.isEmpty() && !sentence.audio.isEmpty())
            sentence.text = QFileInfo(sentence.audio).completeBaseName();
    }
    // Marks collected after the last sentence point past the end; they lead to the last one.
    const int count = int(m_book.m_sentences.size());
    for (QVector<TextMark> *marks : {&m_book.m_headings, &m_book.m_pages}) {
        for (TextMark &mark : *marks)
            mark.sentence = qBound(0, mark.sentence, qMax(0, count - 1));
        std::stable_sort(marks->begin(), marks->end(), [](const TextMark &a, const TextMark &b) { return a.sentence < b.sentence; });
    }
    m_anchors.clear();
}

namespace {

bool failed(QString *errorString, const QString &reason)
{
    qCWarning(lcFormats).noquote() << "Text book:" << reason;
    if (errorString)
        *errorString = reason;
    return false;
}

/** A DAISY 2.02 NCC's headings and pages, as written (targets resolved against the NCC). */
struct NccContents
{
    QString title;
    QString language;
    QString identifier;
    QVector<TextBookBuilder::Reference> headings;
    QVector<TextBookBuilder::Reference> pages;
};

bool readNcc(const QByteArray &source, const QString &path, NccContents &ncc)
{
    for (const QByteArray &data : {source, XmlRecovery::recoverData(source)}) {
        ncc = NccContents();
        QXmlStreamReader reader(data);
        XhtmlEntityResolver entities;
        reader.setEntityResolver(&entities);
        TextBookBuilder::Reference current;
        bool inTitle = false;
        int depth = 0;
        while (!reader.atEnd() && depth < kMaxDepth) {
            const QXmlStreamReader::TokenType token = reader.readNext();
            if (token == QXmlStreamReader::StartElement) {
                ++depth;
                const QString name = reader.name().toString().toLower();
                const QString words = semantics(reader);
                if (name == QLatin1String("meta")) {
                    const QString metaName = attribute(reader, QLatin1String("name")).toLower();
                    const QString content = attribute(reader, QLatin1String("content"));
                    if (metaName == QLatin1String("dc:title"))
                        ncc.title = content;
                    else if (metaName == QLatin1String("dc:language"))
                        ncc.language = content;
                    else if (metaName == QLatin1String("dc:identifier"))
                        ncc.identifier = content;
                } else if (name == QLatin1String("title")) {
                    inTitle = ncc.title.isEmpty();
                } else if (headingLevel(name) > 0) {
                    current = TextBookBuilder::Reference();
                    current.level = headingLevel(name);
                } else if (name == QLatin1String("span") && (hasWord(words, "page-normal") || hasWord(words, "page-front") || hasWord(words, "page-special"))) {
                    current = TextBookBuilder::Reference();
                    current.level = 0;
                } else if (name == QLatin1String("a") && current.target.isEmpty()) {
                    current.target = ReferenceResolver(path).resolve(attribute(reader, QLatin1String("href")));
                }
            } else if (token == QXmlStreamReader::EndElement) {
                --depth;
                const QString name = reader.name().toString().toLower();
                inTitle = inTitle && name != QLatin1String("title");
                if ((headingLevel(name) > 0 || name == QLatin1String("span")) && !current.target.isEmpty()) {
                    current.label = current.label.simplified();
                    (current.level > 0 ? ncc.headings : ncc.pages).append(current);
                    current = TextBookBuilder::Reference();
                }
            } else if (token == QXmlStreamReader::Characters || token == QXmlStreamReader::EntityReference) {
                const QString piece = token == QXmlStreamReader::Characters ? reader.text().toString() : QStringLiteral(" ");
                if (inTitle)
                    ncc.title += piece;
                if (!current.target.isEmpty())
                    current.label += piece;
            }
        }
        if (!reader.hasError() && depth < kMaxDepth) {
            ncc.title = ncc.title.simplified();
            return true;
        }
    }
    return false;
}

/** The audio files a media overlay plays, in order, as archive paths. */
QStringList overlayAudio(const QByteArray &smil, const QString &smilPath)
{
    QStringList files;
    QXmlStreamReader reader(smil);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement || reader.name() != QLatin1String("audio"))
            continue;
        const QString src = attribute(reader, QLatin1String("src"));
        const QString file = ReferenceResolver::resolveFile(smilPath, src.left(src.indexOf(QLatin1Char('#'))));
        if (!src.isEmpty() && (files.isEmpty() || files.constLast() != file))
            files.append(file);
    }
    if (reader.hasError())
        qCWarning(lcFormats).noquote() << "Text book: media overlay" << smilPath << "is not well formed:" << reader.errorString();
    return files;
}

/** What a SMIL file of a DAISY book holds, as far as reading its text aloud needs. */
struct SmilContents
{
    QHash<QString, QString> targets; ///< every id on the way to a text element, to the element's resolved src
    QStringList texts; ///< the resolved src of every text element
    QStringList audio; ///< the audio files it plays, in order
};

SmilContents readSmil(const QString &path)
{
    SmilContents smil;
    const QByteArray data = readFile(path, kMaxPackageBytes);
    QXmlStreamReader reader(data);
    QStringList open;
    while (!reader.atEnd() && open.size() < kMaxDepth) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const QString id = attribute(reader, QLatin1String("id"));
            open.append(id);
            if (reader.name() == QLatin1String("text")) {
                const QString src = ReferenceResolver(path).resolve(attribute(reader, QLatin1String("src")));
                smil.texts.append(src);
                for (const QString &waiting : std::as_const(open)) {
                    if (!waiting.isEmpty() && !smil.targets.contains(waiting))
                        smil.targets.insert(waiting, src);
                }
            }
        } else if (token == QXmlStreamReader::EndElement && !open.isEmpty()) {
            open.removeLast();
        }
    }
    smil.audio = overlayAudio(data, path);
    return smil;
}

/** Whether a DAISY book's own metadata says it mixes recorded and text-only parts. */
bool mixesRecordedAndText(const QByteArray &package, const QString &metaName)
{
    return metaContent(package, metaName).compare(QLatin1String("textPartAudio"), Qt::CaseInsensitive) == 0;
}

} // namespace

std::unique_ptr<TextBook> TextBook::fromDocument(const QByteArray &data, const QString &name)
{
    std::unique_ptr<TextBook> book(new TextBook);
    TextBookBuilder builder(*book);
    builder.readDocument(data, name, {});
    builder.finish();
    return book;
}

std::unique_ptr<TextBook> TextBook::open(const QString &path, QString *errorString, Reading reading)
{
    const bool contents = reading == WholeBook;
    std::unique_ptr<TextBook> book(new TextBook);
    TextBookBuilder builder(*book);
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("epub")) {
        book->m_kind = Epub;
        EpubParser parser;
        if (!parser.open(path)) {
            failed(errorString, QStringLiteral("%1 cannot be opened: %2").arg(path, parser.errorString()));
            return nullptr;
        }
        book->m_title = parser.metadataValue(DCType::Title).simplified();
        book->m_identifier = parser.metadataValue(DCType::Identifier);
        book->m_languages[0] = parser.metadataValue(DCType::Language).trimmed();
        const QStringList spine = contents ? parser.spineItems() : QStringList();
        QSet<QString> inSpine;
        for (const QString &id : spine) {
            const ManifestItem item = parser.manifestItem(id);
            inSpine.insert(item.href);
            if (!item.mediaType.contains(QLatin1String("html")))
                continue;
            if (!item.mediaOverlay.isEmpty()) {
                // A narrated part keeps its narration, under the heading its text gives.
                const QString smil = parser.manifestItem(item.mediaOverlay).href;
                TextBook text;
                TextBookBuilder reader(text);
                reader.readDocument(parser.itemData(item.href), item.href, {});
                const QString label = !text.m_headings.isEmpty() ? text.m_headings.constFirst().label
                                    : !text.m_sentences.isEmpty() ? text.m_sentences.constFirst().text
                                                                  : item.href;
                builder.addRecorded(item.href, overlayAudio(parser.itemData(smil), smil), label);
                continue;
            }
            builder.readDocument(parser.itemData(item.href), item.href, {});
        }
        // The page list usually sits in the navigation document outside the reading order.
        const QStringList ids = contents ? parser.manifestIds() : QStringList();
        for (const QString &id : ids) {
            const ManifestItem item = parser.manifestItem(id);
            if (inSpine.contains(item.href) || !item.mediaType.contains(QLatin1String("html")))
                continue;
            TextBook scratch;
            TextBookBuilder navigation(scratch);
            navigation.readDocument(parser.itemData(item.href), item.href, {});
            builder.pageList += navigation.pageList;
        }
        if (!builder.pageList.isEmpty()) {
            book->m_pages.clear();
            builder.resolve(builder.pageList, book->m_pages);
        }
    } else if (suffix == QLatin1String("opf")) {
        book->m_kind = Daisy3;
        const QByteArray data = readFile(path, kMaxPackageBytes);
        QXmlStreamReader reader(data);
        QStringList dtbooks;
        QStringList smils;
        QString *field = nullptr;
        while (!reader.atEnd()) {
            const QXmlStreamReader::TokenType token = reader.readNext();
            if (token == QXmlStreamReader::StartElement) {
                const QString name = reader.name().toString().toLower();
                field = name == QLatin1String("title")        ? &book->m_title
                      : name == QLatin1String("language")   ? &book->m_languages[0]
                      : name == QLatin1String("identifier") ? &book->m_identifier
                                                             : nullptr;
                if (field)
                    field->clear();
                const QString type = attribute(reader, QLatin1String("media-type"));
                if (name == QLatin1String("item") && type.contains(QLatin1String("dtbook")))
                    dtbooks.append(ReferenceResolver::resolveFile(path, attribute(reader, QLatin1String("href"))));
                else if (name == QLatin1String("item") && type.contains(QLatin1String("smil")))
                    smils.append(ReferenceResolver::resolveFile(path, attribute(reader, QLatin1String("href"))));
            } else if (token == QXmlStreamReader::Characters && field) {
                *field += reader.text();
            } else if (token == QXmlStreamReader::EndElement) {
                field = nullptr;
            }
        }
        if (reader.hasError() && dtbooks.isEmpty()) {
            failed(errorString, QStringLiteral("%1 is not a readable package: %2").arg(path, reader.errorString()));
            return nullptr;
        }
        book->m_title = book->m_title.simplified();
        if (!contents)
            dtbooks.clear();
        if (contents && mixesRecordedAndText(data, QStringLiteral("dtb:multimediaType"))) {
            // The recorded parts are the SMIL files that play audio; the DTBook names them by its headings.
            for (const QString &file : std::as_const(smils)) {
                const SmilContents smil = readSmil(file);
                builder.addRecordedPart(smil.audio, smil.texts, QString());
            }
        }
        for (const QString &dtbook : std::as_const(dtbooks))
            builder.readDocument(readFile(dtbook, kMaxDocumentBytes), dtbook, {});
        builder.addUnplacedParts();
    } else {
        book->m_kind = Daisy202;
        NccContents ncc;
        const QByteArray nccData = readFile(path, kMaxPackageBytes);
        if (!readNcc(nccData, path, ncc)) {
            failed(errorString, QStringLiteral("%1 is not a readable NCC").arg(path));
            return nullptr;
        }
        book->m_title = ncc.title;
        book->m_identifier = ncc.identifier;
        book->m_languages[0] = ncc.language;
        // The NCC leads to SMIL files, whose text elements lead to the content;
        // a text-only book may also point at the content directly.
        const bool mixed = contents && mixesRecordedAndText(nccData, QStringLiteral("ncc:multimediaType"));
        QHash<QString, SmilContents> smils;
        QStringList documents;
        for (QVector<TextBookBuilder::Reference> *list : {&ncc.headings, &ncc.pages}) {
            for (TextBookBuilder::Reference &reference : *list) {
                const qsizetype hash = ReferenceResolver::fragmentStart(reference.target);
                const QString file = hash >= 0 ? reference.target.left(hash) : reference.target;
                if (file.endsWith(QLatin1String(".smil"), Qt::CaseInsensitive)) {
                    if (!smils.contains(file)) {
                        smils.insert(file, readSmil(file));
                        // A recorded part is named by the first heading that leads into it.
                        const bool named = reference.level > 0 && !reference.label.isEmpty();
                        if (mixed)
                            builder.addRecordedPart(smils[file].audio, smils[file].texts, named ? reference.label : QFileInfo(file).completeBaseName());
                    }
                    const QHash<QString, QString> &targets = smils[file].targets;
                    reference.target = hash >= 0 ? targets.value(reference.target.mid(hash + 1)) : targets.value(targets.keys().value(0));
                }
                const qsizetype at = ReferenceResolver::fragmentStart(reference.target);
                const QString content = at >= 0 ? reference.target.left(at) : reference.target;
                if (!content.isEmpty() && !documents.contains(content))
                    documents.append(content);
            }
        }
        if (!contents)
            documents.clear();
        for (const QString &content : std::as_const(documents)) {
            if (QFileInfo::exists(content))
                builder.readDocument(readFile(content, kMaxDocumentBytes), content, {false, false});
            else
                qCWarning(lcFormats).noquote() << "Text book: content document" << content << "is missing - skipped";
        }
        builder.addUnplacedParts();
        builder.resolve(ncc.headings, book->m_headings);
        builder.resolve(ncc.pages, book->m_pages);
        if (contents && book->m_sentences.isEmpty() && !ncc.headings.isEmpty()) {
            // An NCC without content documents: its headings are the text.
            QByteArray html = "<html><body>";
            for (const TextBookBuilder::Reference &heading : std::as_const(ncc.headings))
                html += "<h" + QByteArray::number(heading.level) + '>' + heading.label.toHtmlEscaped().toUtf8() + "</h" + QByteArray::number(heading.level) + '>';
            html += "</body></html>";
            builder.readDocument(html, path, {});
        }
    }
    builder.finish();
    if (contents && book->m_sentences.isEmpty()) {
        failed(errorString, QStringLiteral("%1 holds no text to read").arg(path));
        return nullptr;
    }
    if (book->m_title.isEmpty())
        book->m_title = QFileInfo(path).completeBaseName();
    return book;
}

bool TextBook::isTextOnly(const QString &path)
{
    const QFileInfo info(path);
    const QString suffix = info.suffix().toLower();
    if (suffix == QLatin1String("epub")) {
        EpubParser parser;
        if (!parser.open(path))
            return false;
        const QStringList spine = parser.spineItems();
        for (const QString &id : spine) {
            const ManifestItem item = parser.manifestItem(id);
            if (item.mediaOverlay.isEmpty() && item.mediaType.contains(QLatin1String("html")))
                return true;
        }
        return false;
    }
    const QByteArray data = readFile(path, kMaxPackageBytes);
    if (suffix == QLatin1String("opf")) {
        const QString type = metaContent(data, QStringLiteral("dtb:multimediaType"));
        if (!type.isEmpty())
            return type.compare(QLatin1String("textNCX"), Qt::CaseInsensitive) == 0 || type.compare(QLatin1String("textPartAudio"), Qt::CaseInsensitive) == 0;
        return !data.contains("media-type=\"audio/") && data.contains("dtbook");
    }
    const QString type = metaContent(data, QStringLiteral("ncc:multimediaType"));
    return type.compare(QLatin1String("textNCC"), Qt::CaseInsensitive) == 0 || type.compare(QLatin1String("textPartAudio"), Qt::CaseInsensitive) == 0;
}

int TextBook::sentenceAt(int document, int offset) const
{
    // Sentences are in document order and in offset order within one.
    const auto it = std::upper_bound(m_sentences.cbegin(), m_sentences.cend(), qMakePair(document, offset),
                                     [](const QPair<int, int> &key, const TextSentence &s) {
                                         return key.first < s.document || (key.first == s.document && key.second < s.offset);
                                     });
    return it == m_sentences.cbegin() ? 0 : int(it - m_sentences.cbegin() - 1);
}
