// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/markerxml.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QXmlStreamReader>

#include <cstring>

namespace MarkerXml {

QString Node::allText() const
{
    if (isText || children.empty())
        return text;
    QString result = text;
    for (const Node &c : children)
        result += c.allText();
    return result;
}

Node *Node::child(const QString &childName)
{
    for (Node &c : children) {
        if (!c.isText && c.name == childName)
            return &c;
    }
    return nullptr;
}

const Node *Node::child(const QString &childName) const
{
    return const_cast<Node *>(this)->child(childName);
}

QString Node::attribute(const QString &attributeName) const
{
    for (const auto &a : attributes) {
        if (a.first == attributeName)
            return a.second;
    }
    return QString();
}

namespace {

    // Reads the subset of XML that our writers produce: a declaration, elements,
    // attributes, text with character references. Anything else, and any fault,
    // makes it give up, and the full reader takes over. Both give the same tree
    // for every file that this one accepts.
    class FastParser
    {
    public:
        explicit FastParser(const QByteArray &content) : m_p(content.constData()), m_end(content.constData() + content.size()) { }

        bool parse(Node *root)
        {
            if (startsWith("<?xml") && m_end - m_p > 5 && isSpace(m_p[5])) {
                const char *close = find("?>");
                if (!close || !declarationAccepted(m_p, close))
                    return false;
                m_p = close + 2;
            }
            skipSpace();
            // The document element holds one child per book, each some 100 bytes.
            root->children.reserve((m_end - m_p) / 100);
            if (m_p >= m_end || *m_p != '<' || !element(root, 0))
                return false;
            skipSpace();
            return m_p == m_end;
        }

    private:
        static bool isSpace(char c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r'; }
        // No ':' here: prefixed names need namespace declarations the full reader checks.
        static bool isNameStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
        static bool isNameChar(char c) { return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

        bool startsWith(const char *text) const
        {
            const size_t n = std::strlen(text);
            return size_t(m_end - m_p) >= n && std::memcmp(m_p, text, n) == 0;
        }

        const char *find(const char *text) const
        {
            const size_t n = std::strlen(text);
            for (const char *q = m_p; size_t(m_end - q) >= n; ++q) {
                if (std::memcmp(q, text, n) == 0)
                    return q;
            }
            return nullptr;
        }

        static bool declarationAccepted(const char *from, const char *to)
        {
            static const QRegularExpression form(QStringLiteral("\\A<\\?xml[ \t\r\n]+version[ \t\r\n]*=[ \t\r\n]*([\"'])1\\.0\\1"
                                                                "([ \t\r\n]+encoding[ \t\r\n]*=[ \t\r\n]*([\"'])(?i:utf-8)\\3)?"
                                                                "([ \t\r\n]+standalone[ \t\r\n]*=[ \t\r\n]*([\"'])(yes|no)\\5)?[ \t\r\n]*\\z"));
            return form.match(QString::fromLatin1(from, to - from)).hasMatch();
        }

        void skipSpace()
        {
            while (m_p < m_end && isSpace(*m_p))
                ++m_p;
        }

        bool name(QString *out)
        {
            const char *start = m_p;
            if (m_p >= m_end || !isNameStart(*m_p))
                return false;
            while (m_p < m_end && isNameChar(*m_p))
                ++m_p;
            // A store repeats a handful of names thousands of times: share them.
            const QByteArrayView bytes(start, m_p - start);
            for (const auto &known : std::as_const(m_names)) {
                if (known.first == bytes) {
                    *out = known.second;
                    return true;
                }
            }
            *out = QString::fromLatin1(bytes);
            if (m_names.size() < 32)
                m_names.append({ bytes, *out });
            return true;
        }

        static bool appendReference(const char *from, const char *to, QString *out)
        {
            const QByteArray ref(from, to - from);
            if (ref == "lt")
                *out += QLatin1Char('<');
            else if (ref == "gt")
                *out += QLatin1Char('>');
            else if (ref == "amp")
                *out += QLatin1Char('&');
            else if (ref == "quot")
                *out += QLatin1Char('"');
            else if (ref == "apos")
                *out += QLatin1Char('\'');
            else if (ref.size() > 1 && ref.at(0) == '#') {
                const bool hex = ref.at(1) == 'x';
                const QByteArray digits = ref.mid(hex ? 2 : 1);
                if (digits.isEmpty() || digits.size() > 8)
                    return false;
                for (const char d : digits) {
                    const bool digit = (d >= '0' && d <= '9') || (hex && ((d >= 'a' && d <= 'f') || (d >= 'A' && d <= 'F')));
                    if (!digit)
                        return false;
                }
                bool ok = false;
                const uint code = digits.toUInt(&ok, hex ? 16 : 10);
                const bool xmlChar = code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) || (code >= 0xE000 && code <= 0xFFFD)
                    || (code >= 0x10000 && code <= 0x10FFFF);
                // A reference to a white-space character changes what the full reader
                // does with it; leave such files to it.
                if (!ok || !xmlChar || code < 0x20)
                    return false;
                const char32_t c = code;
                *out += QString::fromUcs4(&c, 1);
            } else {
                return false;
            }
            return true;
        }

        // Text or attribute value between from and to, references resolved.
        static bool decode(const char *from, const char *to, bool attribute, QString *out)
        {
            bool plain = true;
            for (const char *q = from; q < to; ++q) {
                const uchar c = uchar(*q);
                if (c < 0x20) {
                    // Attribute values have their line breaks normalised by XML: leave them to the full reader.
                    // Carriage returns are folded by it in text too.
                    if (attribute || (c != '\n' && c != '\t'))
                        return false;
                } else if (c == '&' || c >= 0x80) {
                    plain = false;
                } else if (c == '>' && !attribute && q - from >= 2 && q[-1] == ']' && q[-2] == ']') {
                    return false;
                }
            }
            if (plain) {
                *out = QString::fromLatin1(from, to - from);
                return true;
            }
            out->clear();
            const char *q = from;
            while (q < to) {
                const char *amp = static_cast<const char *>(std::memchr(q, '&', to - q));
                const char *stop = amp ? amp : to;
                if (stop > q) {
                    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
                    *out += utf8.decode(QByteArrayView(q, stop - q));
                    if (utf8.hasError())
                        return false;
                }
                if (!amp)
                    break;
                const char *semicolon = static_cast<const char *>(std::memchr(amp, ';', to - amp));
                if (!semicolon || !appendReference(amp + 1, semicolon, out))
                    return false;
                q = semicolon + 1;
            }
            return true;
        }

        static bool isBlank(const char *from, const char *to)
        {
            for (const char *q = from; q < to; ++q) {
                if (!isSpace(*q))
                    return false;
            }
            return true;
        }

        bool element(Node *node, int depth)
        {
            if (depth >= kMaxDepth)
                return false;
            ++m_p; // '<'
            if (!name(&node->name))
                return false;
            for (;;) {
                const bool spaced = m_p < m_end && isSpace(*m_p);
                skipSpace();
                if (m_p >= m_end)
                    return false;
                if (*m_p == '/') {
                    if (m_end - m_p < 2 || m_p[1] != '>')
                        return false;
                    m_p += 2;
                    return true;
                }
                if (*m_p == '>') {
                    ++m_p;
                    break;
                }
                QString attributeName;
                if (!spaced || !name(&attributeName))
                    return false;
                skipSpace();
                if (m_p >= m_end || *m_p != '=')
                    return false;
                ++m_p;
                skipSpace();
                if (m_p >= m_end || (*m_p != '"' && *m_p != '\''))
                    return false;
                const char quote = *m_p++;
                const char *close = static_cast<const char *>(std::memchr(m_p, quote, m_end - m_p));
                if (!close || std::memchr(m_p, '<', close - m_p))
                    return false;
                QString value;
                if (!decode(m_p, close, true, &value))
                    return false;
                m_p = close + 1;
                for (const auto &a : std::as_const(node->attributes)) {
                    if (a.first == attributeName)
                        return false;
                }
                node->attributes.append({ attributeName, value });
            }

            for (;;) {
                const char *lt = static_cast<const char *>(std::memchr(m_p, '<', m_end - m_p));
                if (!lt)
                    return false;
                if (lt > m_p && !isBlank(m_p, lt)) {
                    // Text mixed with elements is left to the full reader.
                    if (!node->children.empty() || !node->text.isEmpty() || !decode(m_p, lt, false, &node->text))
                        return false;
                }
                m_p = lt;
                if (m_end - m_p < 2)
                    return false;
                if (m_p[1] == '/') {
                    m_p += 2;
                    QString endName;
                    if (!name(&endName) || endName != node->name)
                        return false;
                    skipSpace();
                    if (m_p >= m_end || *m_p != '>')
                        return false;
                    ++m_p;
                    return true;
                }
                if (m_p[1] == '!' || m_p[1] == '?' || !node->text.isEmpty())
                    return false;
                node->children.emplace_back();
                if (!element(&node->children.back(), depth + 1))
                    return false;
            }
        }

        const char *m_p;
        const char *const m_end;
        QList<std::pair<QByteArrayView, QString>> m_names;
    };

} // namespace

namespace {

    constexpr char16_t Escape = 0xE000;

    bool storable(const QString &text, qsizetype i)
    {
        const char16_t u = text.at(i).unicode();
        if (u < 0x20)
            return u == 0x9 || u == 0xA || u == 0xD;
        if (u == Escape || u == 0xFFFE || u == 0xFFFF)
            return false;
        if (QChar::isHighSurrogate(u))
            return i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        if (QChar::isLowSurrogate(u))
            return i > 0 && text.at(i - 1).isHighSurrogate();
        return true;
    }

    bool needsEncoding(const QString &text)
    {
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (!storable(text, i))
                return true;
        }
        return false;
    }

    void decodeTree(Node *node)
    {
        if (node->text.contains(QChar(Escape)))
            node->text = decodeText(node->text);
        for (auto &attribute : node->attributes) {
            if (attribute.second.contains(QChar(Escape)))
                attribute.second = decodeText(attribute.second);
        }
        // The parsers stop at kMaxDepth, so this recursion is bounded.
        for (Node &child : node->children)
            decodeTree(&child);
    }

} // namespace

QString encodeText(const QString &text)
{
    if (!needsEncoding(text))
        return text;
    QString result;
    result.reserve(text.size() + 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (storable(text, i)) {
            result += text.at(i);
        } else {
            result += QChar(Escape);
            result += QStringLiteral("%1").arg(uint(text.at(i).unicode()), 4, 16, QLatin1Char('0'));
        }
    }
    return result;
}

QString decodeText(const QString &text)
{
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i).unicode() == Escape && i + 4 < text.size()) {
            bool ok = false;
            const uint unit = QStringView(text).mid(i + 1, 4).toUInt(&ok, 16);
            if (ok) {
                result += QChar(char16_t(unit));
                i += 4;
                continue;
            }
        }
        result += text.at(i);
    }
    return result;
}

Result parseWithReader(const QByteArray &content, Node *root, QString *errorString)
{
    *root = Node();
    QXmlStreamReader xml(content);
    std::vector<Node> open;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement: {
            if (open.size() >= size_t(kMaxDepth)) {
                *root = Node();
                if (errorString)
                    *errorString = QStringLiteral("elements nested deeper than %1 levels").arg(kMaxDepth);
                return Result::TooDeep;
            }
            Node node;
            node.name = xml.name().toString();
            for (const QXmlStreamAttribute &a : xml.attributes())
                node.attributes.append({ a.qualifiedName().toString(), a.value().toString() });
            open.push_back(std::move(node));
            break;
        }
        case QXmlStreamReader::EndElement: {
            Node node = std::move(open.back());
            open.pop_back();
            if (node.children.size() == 1 && node.children.front().isText) {
                node.text = node.children.front().text;
                node.children.clear();
            }
            if (open.empty())
                *root = std::move(node);
            else
                open.back().children.push_back(std::move(node));
            break;
        }
        case QXmlStreamReader::Characters:
            if (!open.empty() && !xml.isWhitespace()) {
                std::vector<Node> &siblings = open.back().children;
                if (!siblings.empty() && siblings.back().isText) {
                    siblings.back().text += xml.text();
                } else {
                    Node text;
                    text.isText = true;
                    text.text = xml.text().toString();
                    siblings.push_back(std::move(text));
                }
            }
            break;
        default:
            break;
        }
    }
    if (!xml.hasError()) {
        decodeTree(root);
        return Result::Ok;
    }
    // Keep the document element with the children that were complete.
    if (!open.empty())
        *root = std::move(open.front());
    decodeTree(root);
    if (errorString)
        *errorString = xml.errorString();
    return Result::Damaged;
}

namespace {

    void appendEscaped(QByteArray &out, const QString &text, bool attribute)
    {
        const QByteArray utf8 = encodeText(text).toUtf8();
        const char *p = utf8.constData();
        const char *const end = p + utf8.size();
        const char *plain = p; // start of the bytes not yet copied
        for (; p < end; ++p) {
            const char *replacement = nullptr;
            switch (*p) {
            case '&':
                replacement = "&amp;";
                break;
            case '<':
                replacement = "&lt;";
                break;
            case '>':
                replacement = "&gt;";
                break;
            case '\r':
                replacement = "&#xd;";
                break;
            case '"':
                replacement = attribute ? "&quot;" : nullptr;
                break;
            case '\n':
                replacement = attribute ? "&#xa;" : nullptr;
                break;
            case '\t':
                replacement = attribute ? "&#x9;" : nullptr;
                break;
            default:
                break;
            }
            if (replacement) {
                out.append(plain, p - plain).append(replacement);
                plain = p + 1;
            }
        }
        out.append(plain, end - plain);
    }

    void writeNode(QByteArray &out, const Node &node, int depth, int indent)
    {
        out.append(qsizetype(depth) * indent, ' ');
        if (node.isText) {
            appendEscaped(out, node.text, false);
            out.append('\n');
            return;
        }
        const QByteArray name = node.name.toUtf8();
        out.append('<').append(name);
        for (const auto &a : node.attributes) {
            out.append(' ').append(a.first.toUtf8()).append("=\"");
            appendEscaped(out, a.second, true);
            out.append('"');
        }
        if (node.children.empty() && node.text.isEmpty()) {
            out.append("/>\n");
            return;
        }
        out.append('>');
        if (node.children.empty()) {
            appendEscaped(out, node.text, false);
            out.append("</").append(name).append(">\n");
            return;
        }
        out.append('\n');
        if (!node.text.isEmpty()) {
            out.append(qsizetype(depth + 1) * indent, ' ');
            appendEscaped(out, node.text, false);
            out.append('\n');
        }
        for (const Node &c : node.children)
            writeNode(out, c, depth + 1, indent);
        out.append(qsizetype(depth) * indent, ' ').append("</").append(name).append(">\n");
    }

} // namespace

Result parse(const QByteArray &content, Node *root, QString *errorString)
{
    *root = Node();
    if (FastParser(content).parse(root)) {
        decodeTree(root);
        return Result::Ok;
    }
    return parseWithReader(content, root, errorString);
}

QByteArray write(const Node &root, const QByteArray &declaration, int indent)
{
    QByteArray out;
    out.reserve(qsizetype(root.children.size()) * 200 + 256);
    out.append(declaration);
    writeNode(out, root, 0, indent);
    return out;
}

} // namespace MarkerXml
