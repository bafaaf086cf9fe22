// One pass over the document's UTF-8 bytes; element names are compared as written, prefix included
// ("dc:date"), lower-cased.
#include "services/FeedParser.h"

#include "services/FeedDates.h"
#include "services/FeedEncoding.h"
#include "services/HtmlText.h"

#include <QByteArrayView>
#include <QRegularExpression>
#include <QStringConverter>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace {

using FeedEncoding::declaredEncoding;
using FeedEncoding::kCp1252High;
using FeedEncoding::Source;
using FeedEncoding::sourceOf;

// Latin 1 or windows-1252 bytes as UTF-8, written directly: no character takes more than three bytes,
// and no text copy of the whole body is made on the way.
QByteArray singleByteToUtf8(const QByteArray& bytes, bool cp1252) {
    QByteArray out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (const char c : bytes) {
        const uchar b = uchar(c);
        if (b < 0x80) {
            out.append(c);
            continue;
        }
        const char16_t u = cp1252 && b <= 0x9F && kCp1252High[b - 0x80] != 0 ? kCp1252High[b - 0x80] : b;
        if (u < 0x800) {
            out.append(char(0xC0 | (u >> 6)));
        } else {
            out.append(char(0xE0 | (u >> 12)));
            out.append(char(0x80 | ((u >> 6) & 0x3F)));
        }
        out.append(char(0x80 | (u & 0x3F)));
    }
    return out;
}

// ---- the document as UTF-8

// A leading byte-order mark or a UTF-16 / UTF-32 shape gives the encoding; otherwise the declared one
// (read by sourceOf) does. Everything is handed on as UTF-8, so the reader below knows one encoding.
struct Utf8Doc {
    QByteArray bytes;
    QString error;
};

Utf8Doc utf8Of(const QByteArray& bytes, const Source& source) {
    switch (source.kind) {
    case Source::Kind::latin1:
        return {singleByteToUtf8(bytes, false), {}};
    case Source::Kind::cp1252:
        return {singleByteToUtf8(bytes, true), {}};
    case Source::Kind::text:
        return {source.text.toUtf8(), {}};
    case Source::Kind::bytes:
        break;
    }
    const auto detected = QStringConverter::encodingForData(bytes, u'<');
    const QByteArray declared = declaredEncoding(bytes);
    if (!detected || *detected == QStringConverter::Utf8) {
        // A wide encoding declared over narrow bytes cannot be read as declared.
        if (declared.startsWith("utf-16"))
            return {{}, QStringLiteral("Start tag expected.")};
        return {bytes, {}};
    }
    const bool bom = bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF");
    QStringDecoder decoder =
        bom || declared.isEmpty() ? QStringDecoder(*detected) : QStringDecoder(declared.constData());
    if (!decoder.isValid())
        return {{}, QStringLiteral("Start tag expected.")};
    const QString text = decoder(bytes);
    if (decoder.hasError())
        return {{}, QStringLiteral("Encountered incorrectly encoded content.")};
    return {text.toUtf8(), {}};
}

// Well-formed UTF-8 holding only characters XML allows: no C0 controls besides tab and line ends, no
// U+FFFE or U+FFFF. Checked once up front, so the reader never looks at encoding again. A character cut
// off by the end of the body is dropped (`end` moves before it), as a streaming decoder leaves it unread.
QString badCharacters(const char* p, const char*& end) {
    const auto* s = reinterpret_cast<const uchar*>(p);
    const auto* e = reinterpret_cast<const uchar*>(end);
    while (s < e) {
        // Eight plain ASCII bytes at a time: no high bit and nothing below 0x20.
        while (e - s >= 8) {
            quint64 w;
            memcpy(&w, s, 8);
            const quint64 high = w & 0x8080808080808080ULL;
            const quint64 low = (w - 0x2020202020202020ULL) & ~w & 0x8080808080808080ULL;
            if (high | low)
                break;
            s += 8;
        }
        if (s >= e)
            break;
        const uchar c = *s;
        if (c < 0x80) {
            if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
                return QStringLiteral("Invalid XML character.");
            ++s;
            continue;
        }
        int n = 0;
        char32_t cp = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            n = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 3;
            cp = c & 0x07;
        } else {
            return QStringLiteral("Encountered incorrectly encoded content.");
        }
        if (e - s <= n) {
            for (const uchar* k = s + 1; k < e; ++k)
                if ((*k & 0xC0) != 0x80)
                    return QStringLiteral("Encountered incorrectly encoded content.");
            end = reinterpret_cast<const char*>(s);
            break;
        }
        for (int k = 1; k <= n; ++k) {
            if ((s[k] & 0xC0) != 0x80)
                return QStringLiteral("Encountered incorrectly encoded content.");
            cp = (cp << 6) | (s[k] & 0x3F);
        }
        if ((n == 2 && cp < 0x800) || (n == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return QStringLiteral("Encountered incorrectly encoded content.");
        if (cp == 0xFFFE || cp == 0xFFFF)
            return QStringLiteral("Invalid XML character.");
        s += n + 1;
    }
    return {};
}

// Valid UTF-8 as text, a leading U+FEFF kept (QString::fromUtf8 would drop it as a byte-order mark).
QString textOf(QByteArrayView utf8) {
    if (!utf8.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(utf8);
    return QChar(0xFEFF) + QString::fromUtf8(utf8.sliced(3));
}

// ---- names

// The code point starting at `p` (valid UTF-8, checked beforehand) and its length in bytes.
char32_t decodeAt(const char* p, int* len) {
    const auto* s = reinterpret_cast<const uchar*>(p);
    if (s[0] < 0x80) {
        *len = 1;
        return s[0];
    }
    if (s[0] < 0xE0) {
        *len = 2;
        return char32_t(s[0] & 0x1F) << 6 | (s[1] & 0x3F);
    }
    if (s[0] < 0xF0) {
        *len = 3;
        return char32_t(s[0] & 0x0F) << 12 | char32_t(s[1] & 0x3F) << 6 | (s[2] & 0x3F);
    }
    *len = 4;
    return char32_t(s[0] & 0x07) << 18 | char32_t(s[1] & 0x3F) << 12 | char32_t(s[2] & 0x3F) << 6 |
           (s[3] & 0x3F);
}

bool isNameStart(char32_t c) {
    if (c < 0x80)
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    return (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
           (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) ||
           (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
           (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

bool isNameChar(char32_t c) {
    if (c < 0x80)
        return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
    return isNameStart(c) || c == 0xB7 || (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

// Letters, digits, '-', '_' and '.': what names are made of after their first character, in ASCII.
constexpr std::array<bool, 256> kAsciiNameChar = [] {
    std::array<bool, 256> t{};
    for (int c = 0; c < 128; ++c)
        t[size_t(c)] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || c == '.';
    return t;
}();

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// What the handler does with an element, decided once from its lower-cased name.
enum class Role : quint8 { other, item, title, link, id, summary, date };

Role roleOf(QByteArrayView name) {
    static const struct {
        QByteArrayView name;
        Role role;
    } roles[] = {{"item", Role::item},
                 {"entry", Role::item},
                 {"title", Role::title},
                 {"link", Role::link},
                 {"guid", Role::id},
                 {"id", Role::id},
                 {"description", Role::summary},
                 {"summary", Role::summary},
                 {"content", Role::summary},
                 {"content:encoded", Role::summary},
                 {"pubdate", Role::date},
                 {"published", Role::date},
                 {"updated", Role::date},
                 {"dc:date", Role::date}};
    char lower[16];
    if (name.size() > qsizetype(sizeof lower))
        return Role::other;
    bool ascii = true;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char c = name[i];
        ascii = ascii && uchar(c) < 0x80;
        lower[i] = c >= 'A' && c <= 'Z' ? char(c + 32) : c;
    }
    if (!ascii) {
        // Full lower-casing can turn a non-ASCII letter into an ASCII one (the Kelvin sign into "k").
        const QString folded = textOf(name).toLower();
        for (const auto& r : roles)
            if (folded == QLatin1StringView(r.name.data(), r.name.size()))
                return r.role;
        return Role::other;
    }
    // By length first: most names are none of these, and the rest are told apart by one comparison.
    auto is = [&lower](const char* word, size_t n) { return memcmp(lower, word, n) == 0; };
    switch (name.size()) {
    case 2:
        return is("id", 2) ? Role::id : Role::other;
    case 4:
        return is("item", 4)   ? Role::item
               : is("link", 4) ? Role::link
               : is("guid", 4) ? Role::id
                               : Role::other;
    case 5:
        return is("entry", 5) ? Role::item : is("title", 5) ? Role::title : Role::other;
    case 7:
        if (is("summary", 7) || is("content", 7))
            return Role::summary;
        return is("pubdate", 7) || is("updated", 7) || is("dc:date", 7) ? Role::date : Role::other;
    case 9:
        return is("published", 9) ? Role::date : Role::other;
    case 11:
        return is("description", 11) ? Role::summary : Role::other;
    case 15:
        return is("content:encoded", 15) ? Role::summary : Role::other;
    default:
        return Role::other;
    }
}

// ---- what a feed is made of

struct Attribute {
    QByteArrayView name;
    qsizetype valueStart;
    qsizetype valueSize;
};

class Handler {
public:
    QString feedTitle;
    QList<RawItem> items;
    // Character data since the last start or end tag, references already replaced.
    std::string text;

    void start(Role role, const std::vector<Attribute>& attributes, const std::string& values) {
        text.clear();
        if (role == Role::item) {
            inItem = true;
            beforeFirstItem = false;
            itemTitle.clear();
            itemLink.clear();
            itemID.clear();
            itemSummary.clear();
            itemDate.reset();
        } else if (role == Role::link && inItem && !attributes.empty()) {
            const Attribute* href = find(attributes, "href");
            if (!href)
                return;
            const Attribute* rel = find(attributes, "rel");
            if (rel && valueOf(*rel, values) != QByteArrayView("alternate"))
                return;
            const QByteArrayView v = valueOf(*href, values);
            itemLink = textOf(v);
        }
    }

    void end(Role role) {
        if (!inItem) {
            if (role == Role::title && beforeFirstItem && feedTitle.isEmpty())
                feedTitle = takeText();
            text.clear();
            return;
        }
        switch (role) {
        case Role::title:
            itemTitle = takeText();
            break;
        case Role::link:
            if (itemLink.isEmpty())
                itemLink = takeText();
            break;
        case Role::id:
            itemID = takeText();
            break;
        case Role::summary:
            if (itemSummary.isEmpty())
                itemSummary = HtmlText::plainLine(takeText());
            break;
        case Role::date:
            if (!itemDate)
                itemDate = FeedDates::parse(takeText());
            break;
        case Role::item:
            inItem = false;
            if (!itemTitle.isEmpty() || !itemLink.isEmpty() || !itemSummary.isEmpty()) {
                const QString id = !itemID.isEmpty() ? itemID : !itemLink.isEmpty() ? itemLink : itemTitle;
                items.append(RawItem{id, itemTitle, itemLink, itemDate, itemSummary});
            }
            break;
        case Role::other:
            break;
        }
        text.clear();
    }

private:
    static const Attribute* find(const std::vector<Attribute>& attributes, const char* name) {
        for (const Attribute& a : attributes)
            if (a.name == QByteArrayView(name))
                return &a;
        return nullptr;
    }
    static QByteArrayView valueOf(const Attribute& a, const std::string& values) {
        return QByteArrayView(values.data() + a.valueStart, a.valueSize);
    }
    QString takeText() const { return textOf(QByteArrayView(text.data(), qsizetype(text.size()))).trimmed(); }

    bool inItem = false;
    bool beforeFirstItem = true;
    QString itemTitle, itemLink, itemID, itemSummary;
    std::optional<QDateTime> itemDate;
};

// ---- the reader

// A small XML reader over UTF-8 bytes for what feeds use: elements, attributes, text, CDATA, comments,
// processing instructions, the predefined entities and character references. A document type is read
// only to be skipped; one that declares entities or notations is refused, and references to entities
// nobody declared fail, so nothing is ever expanded. Open elements live on an explicit stack, so depth
// costs no recursion.
class Reader {
public:
    Reader(const char* begin, const char* end, Handler& handler)
        : m_p(begin)
        , m_end(end)
        , m_h(handler) {}

    QString error;

    bool run() {
        if (m_end - m_p >= 3 && memcmp(m_p, "\xEF\xBB\xBF", 3) == 0)
            m_p += 3;
        if (startsWith("<?xml") && m_end - m_p > 5 && (isSpace(m_p[5]) || m_p[5] == '?') && !xmlDeclaration())
            return false;
        while (m_p < m_end) {
            if (*m_p != '<') {
                if (m_open.empty()) {
                    if (!isSpace(*m_p))
                        return fail(m_rootSeen ? "Extra content at end of document." : "Start tag expected.");
                    ++m_p;
                    continue;
                }
                if (!content())
                    return false;
                continue;
            }
            bool ok = true;
            const char next = m_end - m_p > 1 ? m_p[1] : 0;
            if (next != '?' && next != '!' && next != '/')
                ok = m_rootSeen && m_open.empty() ? fail("Extra content at end of document.") : startTag();
            else if (next == '/')
                ok = endTag();
            else if (next == '?')
                ok = processingInstruction();
            else if (startsWith("<!--"))
                ok = comment();
            else if (startsWith("<![CDATA["))
                ok = !m_open.empty() ? cdata() : fail("Unexpected '<![CDATA['.");
            else if (startsWith("<!DOCTYPE"))
                ok = doctype();
            else
                ok = fail("Expected '-', '[CDATA[', or 'DOCTYPE'.");
            if (!ok)
                return false;
        }
        if (!m_open.empty() || !m_rootSeen)
            return premature();
        return true;
    }

private:
    struct Open {
        QByteArrayView name;
        Role role;
    };

    bool fail(const char* why) {
        error = QString::fromLatin1(why);
        return false;
    }
    bool premature() { return fail("Premature end of document."); }
    // Literals only, so that their length is known when compiling.
    template <size_t N> bool startsWith(const char (&s)[N]) const {
        return size_t(m_end - m_p) >= N - 1 && memcmp(m_p, s, N - 1) == 0;
    }
    void spaces() {
        while (m_p < m_end && isSpace(*m_p))
            ++m_p;
    }
    // Moves past `s` if it comes next.
    template <size_t N> bool eat(const char (&s)[N]) {
        if (!startsWith(s))
            return false;
        m_p += N - 1;
        return true;
    }

    // A name with at most one colon, which neither starts nor ends it.
    bool name(QByteArrayView* out) {
        const char* start = m_p;
        bool colon = false;
        bool needStart = true;
        while (m_p < m_end) {
            if (!needStart && kAsciiNameChar[uchar(*m_p)]) {
                ++m_p; // the usual case, ASCII inside a name
                continue;
            }
            int len = 1;
            const char32_t c = decodeAt(m_p, &len);
            if (needStart) {
                if (!isNameStart(c))
                    break;
                needStart = false;
            } else if (c == ':') {
                if (colon)
                    return fail("Invalid XML name.");
                colon = true;
                needStart = true;
            } else if (!isNameChar(c)) {
                break;
            }
            m_p += len;
        }
        if (m_p >= m_end)
            return premature();
        if (m_p == start || needStart)
            return fail("Invalid XML name.");
        *out = QByteArrayView(start, m_p - start);
        return true;
    }

    // A reference after '&' (already passed), appended to `out`. Under an external document type an
    // unknown entity in an attribute value stays as written, as Qt's reader leaves it.
    bool reference(std::string& out, bool inAttribute = false) {
        if (m_p >= m_end)
            return premature();
        if (*m_p == '#') {
            ++m_p;
            const bool hex = m_p < m_end && *m_p == 'x';
            if (hex)
                ++m_p;
            char32_t code = 0;
            int digits = 0;
            while (m_p < m_end && *m_p != ';') {
                const char c = *m_p;
                int v = -1;
                if (c >= '0' && c <= '9')
                    v = c - '0';
                else if (hex && c >= 'a' && c <= 'f')
                    v = c - 'a' + 10;
                else if (hex && c >= 'A' && c <= 'F')
                    v = c - 'A' + 10;
                if (v < 0)
                    return fail("Invalid character reference.");
                code = code > 0x10FFFF ? code : code * (hex ? 16 : 10) + char32_t(v);
                ++digits;
                ++m_p;
            }
            if (m_p >= m_end)
                return premature();
            ++m_p; // ';'
            const bool allowed = code == 0x9 || code == 0xA || code == 0xD ||
                                 (code >= 0x20 && code <= 0xD7FF) || (code >= 0xE000 && code <= 0xFFFD) ||
                                 (code >= 0x10000 && code <= 0x10FFFF);
            if (digits == 0 || !allowed)
                return fail("Invalid character reference.");
            appendUtf8(out, code);
            return true;
        }
        QByteArrayView entity;
        if (!name(&entity))
            return false;
        if (m_p >= m_end)
            return premature();
        if (*m_p != ';')
            return fail("Expected ';'.");
        ++m_p;
        const char* e = entity.data();
        char predefined = 0;
        switch (entity.size()) {
        case 2:
            if (e[1] == 't')
                predefined = e[0] == 'l' ? '<' : e[0] == 'g' ? '>' : 0;
            break;
        case 3:
            predefined = memcmp(e, "amp", 3) == 0 ? '&' : 0;
            break;
        case 4:
            predefined = memcmp(e, "quot", 4) == 0 ? '"' : memcmp(e, "apos", 4) == 0 ? '\'' : 0;
            break;
        default:
            break;
        }
        if (predefined) {
            out.push_back(predefined);
            return true;
        }
        if (m_externalSubset && inAttribute) {
            out.push_back('&');
            out.append(entity.data(), size_t(entity.size()));
            out.push_back(';');
            return true;
        }
        if (m_externalSubset)
            return fail("document refers to an undeclared entity");
        error = QStringLiteral("Entity '%1' not declared.").arg(QString::fromUtf8(entity));
        return false;
    }

    static void appendUtf8(std::string& out, char32_t c) {
        if (c < 0x80) {
            out.push_back(char(c));
        } else if (c < 0x800) {
            out.push_back(char(0xC0 | (c >> 6)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(char(0xE0 | (c >> 12)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (c >> 18)));
            out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        }
    }

    // Character data up to the next '<', line ends normalised to '\n'.
    bool content() {
        std::string& out = m_h.text;
        while (m_p < m_end) {
            const char* run = m_p;
            while (m_p < m_end && *m_p != '<' && *m_p != '&' && *m_p != '\r' && *m_p != ']')
                ++m_p;
            out.append(run, size_t(m_p - run));
            if (m_p >= m_end || *m_p == '<')
                return true;
            if (*m_p == '&') {
                ++m_p;
                if (!reference(out))
                    return false;
            } else if (*m_p == '\r') {
                out.push_back('\n');
                ++m_p;
                if (m_p < m_end && *m_p == '\n')
                    ++m_p;
            } else { // ']'
                if (startsWith("]]>"))
                    return fail("Sequence ']]>' not allowed in content.");
                out.push_back(']');
                ++m_p;
            }
        }
        return true;
    }

    bool cdata() {
        m_p += 9;
        const char* close = findText("]]>");
        if (!close)
            return premature();
        std::string& out = m_h.text;
        for (const char* q = m_p; q < close; ++q) {
            if (*q != '\r') {
                out.push_back(*q);
                continue;
            }
            out.push_back('\n');
            if (q + 1 < close && q[1] == '\n')
                ++q;
        }
        m_p = close + 3;
        return true;
    }

    const char* findText(const char* s) const {
        const QByteArrayView hay(m_p, m_end - m_p);
        const qsizetype at = hay.indexOf(QByteArrayView(s));
        return at < 0 ? nullptr : m_p + at;
    }

    bool comment() {
        m_p += 4;
        const char* dashes = findText("--");
        if (!dashes || m_end - dashes < 3)
            return premature();
        if (dashes[2] != '>')
            return fail("Expected '>'.");
        m_p = dashes + 3;
        return true;
    }

    bool processingInstruction() {
        m_p += 2;
        QByteArrayView target;
        if (!name(&target))
            return false;
        if (target.size() == 3 && QByteArrayView(target).compare("xml", Qt::CaseInsensitive) == 0)
            return fail("XML declaration not at start of document.");
        if (eat("?>"))
            return true;
        if (m_p < m_end && !isSpace(*m_p))
            return fail("Expected '?>'.");
        const char* close = findText("?>");
        if (!close)
            return premature();
        m_p = close + 2;
        return true;
    }

    // version="1.0", then optionally an encoding and a standalone yes or no, in that order.
    bool xmlDeclaration() {
        m_p += 5;
        auto pseudo = [this](const char* key, QByteArrayView* value) {
            const char* save = m_p;
            const char* before = m_p;
            spaces();
            const QByteArrayView k(key);
            if (m_p == before || m_end - m_p < k.size() || QByteArrayView(m_p, k.size()) != k) {
                m_p = save;
                return false;
            }
            m_p += k.size();
            spaces();
            if (!eat("=")) {
                m_p = save;
                return false;
            }
            spaces();
            if (m_p >= m_end || (*m_p != '"' && *m_p != '\'')) {
                m_p = save;
                return false;
            }
            const char quote = *m_p++;
            const char* start = m_p;
            while (m_p < m_end && *m_p != quote)
                ++m_p;
            if (m_p >= m_end) {
                m_p = save;
                return false;
            }
            *value = QByteArrayView(start, m_p - start);
            ++m_p;
            return true;
        };
        QByteArrayView version, encoding, standalone;
        if (!pseudo("version", &version))
            return fail("Expected 'version'.");
        if (version != QByteArrayView("1.0"))
            return fail("Unsupported XML version.");
        if (pseudo("encoding", &encoding)) {
            static const QRegularExpression encName(QStringLiteral("^[A-Za-z][A-Za-z0-9._-]*$"));
            if (!encName.match(QString::fromUtf8(encoding)).hasMatch()) {
                error = QStringLiteral("%1 is an invalid encoding name.").arg(QString::fromUtf8(encoding));
                return false;
            }
        }
        if (pseudo("standalone", &standalone) && standalone != QByteArrayView("yes") &&
            standalone != QByteArrayView("no"))
            return fail("Standalone accepts only yes or no.");
        spaces();
        if (eat("?>"))
            return true;
        return m_p >= m_end - 1 ? premature() : fail("Invalid attribute in XML declaration.");
    }

    bool startTag() {
        ++m_p;
        QByteArrayView tag;
        if (!name(&tag))
            return false;
        m_attributes.clear();
        m_values.clear();
        for (;;) {
            const char* before = m_p;
            spaces();
            if (m_p >= m_end)
                return premature();
            if (*m_p == '>' || *m_p == '/')
                break;
            if (m_p == before)
                return fail("Expected '>' or '/'.");
            if (!attribute())
                return false;
        }
        const bool empty = *m_p == '/';
        if (empty) {
            ++m_p;
            if (m_p >= m_end)
                return premature();
            if (*m_p != '>')
                return fail("Expected '>'.");
        }
        ++m_p;
        // Defaults declared for this element's attributes count as written, as they do for Qt's reader.
        for (const Default& d : m_defaults)
            if (d.element == tag && std::none_of(m_attributes.begin(), m_attributes.end(),
                                                 [&](const Attribute& a) { return a.name == d.attribute; })) {
                const qsizetype start = qsizetype(m_values.size());
                m_values += d.value;
                m_attributes.push_back(Attribute{d.attribute, start, qsizetype(d.value.size())});
            }
        if (int(m_open.size()) >= FeedParser::kMaxDepth) {
            error = QStringLiteral("document nested deeper than %1 levels").arg(FeedParser::kMaxDepth);
            return false;
        }
        const Role role = roleOf(tag);
        m_rootSeen = true;
        m_h.start(role, m_attributes, m_values);
        if (empty) {
            m_h.end(role);
            return true;
        }
        m_open.push_back(Open{tag, role});
        return true;
    }

    bool attribute() {
        QByteArrayView key;
        if (!name(&key))
            return false;
        spaces();
        if (m_p >= m_end)
            return premature();
        if (*m_p != '=')
            return fail("Expected '='.");
        ++m_p;
        spaces();
        if (m_p >= m_end)
            return premature();
        const qsizetype start = qsizetype(m_values.size());
        if (!attributeValue(m_values))
            return false;
        if (std::any_of(m_attributes.begin(), m_attributes.end(),
                        [&](const Attribute& a) { return a.name == key; })) {
            error = QStringLiteral("Attribute '%1' redefined.").arg(textOf(key));
            return false;
        }
        m_attributes.push_back(Attribute{key, start, qsizetype(m_values.size()) - start});
        return true;
    }

    // A quoted value with references replaced and each tab or line end turned into a space.
    bool attributeValue(std::string& out) {
        if (*m_p != '"' && *m_p != '\'')
            return fail("Expected a quote.");
        const char quote = *m_p++;
        for (;;) {
            if (m_p >= m_end)
                return premature();
            const char c = *m_p;
            if (c == quote) {
                ++m_p;
                break;
            }
            if (c == '<')
                return fail("Unexpected '<'.");
            if (c == '&') {
                ++m_p;
                if (!reference(out, true))
                    return false;
                continue;
            }
            if (c == '\r') {
                out.push_back(' ');
                ++m_p;
                if (m_p < m_end && *m_p == '\n')
                    ++m_p;
                continue;
            }
            out.push_back(c == '\t' || c == '\n' ? ' ' : c);
            ++m_p;
        }
        return true;
    }

    bool endTag() {
        m_p += 2;
        // The usual case: exactly the open element's name, then '>'.
        if (!m_open.empty()) {
            const QByteArrayView open = m_open.back().name;
            if (m_end - m_p > open.size() && m_p[open.size()] == '>' &&
                memcmp(m_p, open.data(), size_t(open.size())) == 0) {
                m_p += open.size() + 1;
                const Role role = m_open.back().role;
                m_open.pop_back();
                m_h.end(role);
                return true;
            }
        }
        QByteArrayView tag;
        if (!name(&tag))
            return false;
        spaces();
        if (m_p >= m_end)
            return premature();
        if (*m_p != '>')
            return fail("Expected '>'.");
        ++m_p;
        if (m_open.empty() || m_open.back().name != tag)
            return fail("Opening and ending tag mismatch.");
        const Role role = m_open.back().role;
        m_open.pop_back();
        m_h.end(role);
        return true;
    }

    // The document type is skipped; any entity or notation it declares is a refusal.
    bool doctype() {
        m_p += 9;
        const char* before = m_p;
        spaces();
        if (m_p == before)
            return m_p >= m_end ? premature() : fail("Expected ' '.");
        QByteArrayView root;
        if (!name(&root))
            return false;
        before = m_p;
        spaces();
        const bool gap = m_p != before;
        if (gap && (startsWith("SYSTEM") || startsWith("PUBLIC"))) {
            const bool isPublic = startsWith("PUBLIC");
            m_p += 6;
            if (isPublic && !literal(true))
                return false;
            if (!literal(false))
                return false;
            m_externalSubset = true;
            spaces();
        }
        if (m_p >= m_end)
            return premature();
        if (*m_p == '[') {
            ++m_p;
            if (!internalSubset())
                return false;
            spaces();
        }
        if (m_p >= m_end)
            return premature();
        if (*m_p != '>')
            return fail("Expected '>' or '['.");
        ++m_p;
        return true;
    }

    // A quoted system or public identifier, after at least one space.
    bool literal(bool isPublic) {
        const char* before = m_p;
        spaces();
        if (m_p >= m_end)
            return premature();
        if (m_p == before)
            return fail("Expected ' '.");
        if (*m_p != '"' && *m_p != '\'')
            return fail("Expected a quote.");
        const char quote = *m_p++;
        static const QByteArrayView pubidExtra(" \r\n-'()+,./:=?;!*#@$_%");
        while (m_p < m_end && *m_p != quote) {
            const char c = *m_p;
            if (isPublic && !((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                              pubidExtra.contains(c)))
                return fail("Invalid PUBLIC identifier.");
            if (c == '<' || c == '&')
                return fail("Unexpected character in a system identifier.");
            ++m_p;
        }
        if (m_p >= m_end)
            return premature();
        ++m_p;
        return true;
    }

    bool internalSubset() {
        for (;;) {
            spaces();
            if (m_p >= m_end)
                return premature();
            if (*m_p == ']') {
                ++m_p;
                return true;
            }
            if (startsWith("<!ENTITY") || startsWith("<!NOTATION"))
                return fail("document declares entities");
            bool ok = true;
            if (startsWith("<!--"))
                ok = comment();
            else if (startsWith("<?"))
                ok = processingInstruction();
            else if (startsWith("<!ELEMENT"))
                ok = markupDeclaration();
            else if (startsWith("<!ATTLIST"))
                ok = attributeList();
            else if (*m_p == '%') {
                ++m_p;
                QByteArrayView entity;
                if (!name(&entity))
                    return false;
                error = QStringLiteral("Entity '%1' not declared.").arg(QString::fromUtf8(entity));
                return false;
            } else
                ok = fail("Unexpected markup in the document type.");
            if (!ok)
                return false;
        }
    }

    // <!ELEMENT name spec> or <!ATTLIST name ...>: a name and something after it, quotes respected.
    bool markupDeclaration() {
        m_p += 9;
        const char* before = m_p;
        spaces();
        if (m_p == before)
            return m_p >= m_end ? premature() : fail("Expected ' '.");
        QByteArrayView declared;
        if (!name(&declared))
            return false;
        before = m_p;
        spaces();
        if (m_p >= m_end)
            return premature();
        if (*m_p == '>')
            return fail("Expected ' '.");
        if (m_p == before)
            return fail("Expected ' '.");
        while (m_p < m_end && *m_p != '>') {
            if (*m_p == '"' || *m_p == '\'') {
                const char quote = *m_p++;
                while (m_p < m_end && *m_p != quote)
                    ++m_p;
                if (m_p >= m_end)
                    return premature();
            }
            ++m_p;
        }
        if (m_p >= m_end)
            return premature();
        ++m_p;
        return true;
    }

    // <!ATTLIST element (name type default)*>; only the defaults given as values are kept.
    bool attributeList() {
        m_p += 9;
        const char* before = m_p;
        spaces();
        if (m_p == before)
            return m_p >= m_end ? premature() : fail("Expected ' '.");
        QByteArrayView element;
        if (!name(&element))
            return false;
        for (;;) {
            spaces();
            if (m_p >= m_end)
                return premature();
            if (*m_p == '>') {
                ++m_p;
                return true;
            }
            QByteArrayView attribute;
            if (!name(&attribute))
                return false;
            spaces();
            if (m_p >= m_end)
                return premature();
            if (*m_p == '(' || eat("NOTATION")) {
                spaces();
                const char* close = findText(")");
                if (!close)
                    return premature();
                if (*m_p != '(')
                    return fail("Expected '('.");
                m_p = close + 1;
            } else {
                QByteArrayView type;
                if (!name(&type))
                    return false;
            }
            spaces();
            if (eat("#REQUIRED") || eat("#IMPLIED"))
                continue;
            if (eat("#FIXED"))
                spaces();
            if (m_p >= m_end)
                return premature();
            std::string value;
            if (!attributeValue(value))
                return false;
            m_defaults.push_back(Default{element, attribute, std::move(value)});
        }
    }

    struct Default {
        QByteArrayView element;
        QByteArrayView attribute;
        std::string value;
    };

    const char* m_p;
    const char* m_end;
    std::vector<Default> m_defaults;
    Handler& m_h;
    std::vector<Open> m_open;
    std::vector<Attribute> m_attributes;
    std::string m_values;
    bool m_rootSeen = false;
    bool m_externalSubset = false;
};

} // namespace

std::optional<ParsedFeed> FeedParser::parse(const QByteArray& bytes, QString* error) {
    auto fail = [error](const QString& why) -> std::optional<ParsedFeed> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (bytes.size() > kMaxBodyBytes)
        return fail(QStringLiteral("document larger than %1 bytes").arg(kMaxBodyBytes));

    QString unsupported;
    const std::optional<Source> source = sourceOf(bytes, &unsupported);
    if (!source)
        return fail(unsupported);
    const Utf8Doc doc = utf8Of(bytes, *source);
    if (!doc.error.isEmpty())
        return fail(doc.error);
    const char* begin = doc.bytes.constData();
    const char* end = begin + doc.bytes.size(); // may move back, see badCharacters
    if (const QString bad = badCharacters(begin, end); !bad.isEmpty())
        return fail(bad);

    Handler h;
    Reader reader(begin, end, h);
    if (!reader.run())
        return fail(reader.error);
    if (h.items.isEmpty() && h.feedTitle.isEmpty())
        return fail(QStringLiteral("no feed title and no entries"));
    return ParsedFeed{h.feedTitle, h.items};
}

std::optional<QDateTime> FeedParser::parseDate(QStringView text) {
    return FeedDates::parse(text);
}

QString FeedParser::semHTML(const QString& html) {
    return HtmlText::plainLine(html);
}
