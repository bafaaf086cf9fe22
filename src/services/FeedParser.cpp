// One pass of QXmlStreamReader with namespaces off, so prefixed names ("dc:date") arrive as written.
#include "services/FeedParser.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QXmlStreamReader>

#include <algorithm>
#include <array>

namespace {

// Bytes 0x80..0x9F of windows-1252; 0 where the code page leaves a hole.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

QString decodeCp1252(const QByteArray& bytes) {
    QString out(bytes.size(), Qt::Uninitialized);
    QChar* d = out.data();
    for (const char c : bytes) {
        const uchar b = uchar(c);
        if (b >= 0x80 && b <= 0x9F && kCp1252High[b - 0x80] != 0)
            *d++ = QChar(kCp1252High[b - 0x80]);
        else
            *d++ = QChar(b);
    }
    return out;
}

// The encoding named in the XML declaration, lower-cased; empty when none is declared.
QByteArray declaredEncoding(const QByteArray& bytes) {
    QByteArray head = bytes.left(200);
    if (head.startsWith("\xEF\xBB\xBF"))
        head = head.mid(3);
    if (!head.startsWith("<?xml"))
        return {};
    const qsizetype end = head.indexOf("?>");
    if (end < 0)
        return {};
    static const QRegularExpression enc(QStringLiteral(R"(encoding\s*=\s*["']([A-Za-z0-9._-]+)["'])"));
    const auto m = enc.match(QString::fromLatin1(head.left(end)));
    return m.hasMatch() ? m.captured(1).toLatin1().toLower() : QByteArray();
}

// How the reader gets the document: as the bytes themselves, decoded from a single-byte encoding that
// the reader does not know, or (for rarer encodings Qt knows) as text decoded beforehand.
struct Source {
    enum class Kind { bytes, latin1, cp1252, text };
    Kind kind = Kind::bytes;
    QString text; // Kind::text only
};

// Nothing, with `unsupported` set, when the declared encoding cannot be read.
std::optional<Source> sourceOf(const QByteArray& bytes, QString* unsupported) {
    const QByteArray enc = declaredEncoding(bytes);
    if (enc.isEmpty() || enc == "utf-8" || enc == "utf8" || enc.startsWith("utf-16"))
        return Source{};
    if (enc == "windows-1252" || enc == "cp1252" || enc == "x-cp1252")
        return Source{Source::Kind::cp1252, {}};
    if (enc == "iso-8859-1" || enc == "latin1" || enc == "latin-1" || enc == "iso_8859-1" ||
        enc == "us-ascii" || enc == "ascii")
        return Source{Source::Kind::latin1, {}};
    // Qt may know more names on some builds; use them when it does.
    QStringDecoder decoder(enc.constData());
    if (decoder.isValid()) {
        QString text = decoder(bytes);
        if (!decoder.hasError())
            return Source{Source::Kind::text, std::move(text)};
    }
    *unsupported = QStringLiteral("unsupported encoding: ") + QString::fromLatin1(enc);
    return std::nullopt;
}

// Hands the document to the reader one slice at a time, as the reader asks for more. The reader then
// holds a slice, never the whole document, as text: a 10 MB body no longer costs 20 MB more of UTF-16
// (nor the time to copy it). Text handed over keeps its declared encoding from being applied again.
class Feeder {
public:
    static constexpr qsizetype kSliceBytes = 64 * 1024;

    Feeder(const QByteArray& bytes, const Source& source)
        : m_bytes(bytes)
        , m_source(source) {}

    bool more() const { return m_offset < total(); }

    void feed(QXmlStreamReader& r) {
        const qsizetype n = std::min(kSliceBytes, total() - m_offset);
        switch (m_source.kind) {
        case Source::Kind::bytes:
            r.addData(m_bytes.mid(m_offset, n));
            break;
        case Source::Kind::latin1:
            r.addData(QString::fromLatin1(m_bytes.constData() + m_offset, n));
            break;
        case Source::Kind::cp1252:
            r.addData(decodeCp1252(QByteArray::fromRawData(m_bytes.constData() + m_offset, n)));
            break;
        case Source::Kind::text:
            r.addData(m_source.text.mid(m_offset, n));
            break;
        }
        m_offset += n;
    }

private:
    qsizetype total() const {
        return m_source.kind == Source::Kind::text ? m_source.text.size() : m_bytes.size();
    }

    const QByteArray& m_bytes;
    const Source& m_source;
    qsizetype m_offset = 0;
};

// Whole-text parsers over a cursor; each returns false without moving on a mismatch.
struct Cursor {
    QStringView s;
    qsizetype i = 0;
    bool atEnd() const { return i >= s.size(); }
    bool eat(QChar c) {
        if (!atEnd() && s[i] == c) {
            ++i;
            return true;
        }
        return false;
    }
    void spaces() {
        while (!atEnd() && s[i] == u' ')
            ++i;
    }
    // Exactly `min`..`max` ASCII digits.
    bool number(int min, int max, int* out, int* count = nullptr) {
        int n = 0, v = 0;
        while (n < max && i + n < s.size() && s[i + n] >= u'0' && s[i + n] <= u'9')
            v = v * 10 + (s[i + n++].unicode() - u'0');
        if (n < min)
            return false;
        i += n;
        *out = v;
        if (count)
            *count = n;
        return true;
    }
    bool word(QStringView* out) {
        qsizetype n = 0;
        while (i + n < s.size() && s[i + n].isLetter() && s[i + n].unicode() < 128)
            ++n;
        if (n == 0)
            return false;
        *out = s.sliced(i, n);
        i += n;
        return true;
    }
};

int monthNumber(QStringView w) {
    static const char* names[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                  "jul", "aug", "sep", "oct", "nov", "dec"};
    for (int m = 0; m < 12; ++m)
        if (w.compare(QLatin1String(names[m]), Qt::CaseInsensitive) == 0)
            return m + 1;
    return 0;
}

bool isDayName(QStringView w) {
    static const char* names[] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
    for (const char* n : names)
        if (w.compare(QLatin1String(n), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// Offset in seconds of an RFC 822 zone: "+hhmm", "-hhmm", "GMT", "UT", "UTC", "Z" or a US zone name.
std::optional<int> rfcZone(Cursor& c) {
    if (c.atEnd())
        return std::nullopt;
    const QChar sign = c.s[c.i];
    if (sign == u'+' || sign == u'-') {
        ++c.i;
        int hhmm = 0;
        int digits = 0;
        if (!c.number(4, 4, &hhmm, &digits) || hhmm % 100 > 59 || hhmm / 100 > 23)
            return std::nullopt;
        const int secs = (hhmm / 100) * 3600 + (hhmm % 100) * 60;
        return sign == u'-' ? -secs : secs;
    }
    QStringView w;
    if (!c.word(&w))
        return std::nullopt;
    static const struct {
        const char* name;
        int hours;
    } zones[] = {{"GMT", 0},  {"UT", 0},   {"UTC", 0},  {"Z", 0},    {"EST", -5}, {"EDT", -4},
                 {"CST", -6}, {"CDT", -5}, {"MST", -7}, {"MDT", -6}, {"PST", -8}, {"PDT", -7}};
    for (const auto& z : zones)
        if (w.compare(QLatin1String(z.name), Qt::CaseInsensitive) == 0)
            return z.hours * 3600;
    return std::nullopt;
}

std::optional<QDateTime> build(int y, int mo, int d, int h, int mi, int s, int offsetSecs) {
    const QDate date(y, mo, d);
    if (!date.isValid() || h > 23 || mi > 59 || s > 59)
        return std::nullopt;
    QDateTime dt(date, QTime(h, mi, s), Qt::UTC);
    return dt.addSecs(-offsetSecs);
}

std::optional<QDateTime> parseRfc822(QStringView text) {
    Cursor c{text};
    QStringView w;
    const qsizetype start = c.i;
    if (c.word(&w)) {
        // A leading day name must be one, and is followed by a comma.
        if (!isDayName(w) || !c.eat(u','))
            return std::nullopt;
        c.spaces();
    } else {
        c.i = start;
    }
    int day = 0, year = 0, yearDigits = 0, h = 0, mi = 0, s = 0;
    if (!c.number(1, 2, &day))
        return std::nullopt;
    c.spaces();
    if (!c.word(&w))
        return std::nullopt;
    const int month = monthNumber(w);
    if (month == 0)
        return std::nullopt;
    c.spaces();
    if (!c.number(2, 4, &year, &yearDigits) || yearDigits == 3)
        return std::nullopt;
    if (yearDigits == 2)
        year += year < 50 ? 2000 : 1900;
    if (!c.eat(u' '))
        return std::nullopt;
    c.spaces();
    if (!c.number(1, 2, &h) || !c.eat(u':') || !c.number(2, 2, &mi))
        return std::nullopt;
    if (c.eat(u':') && !c.number(2, 2, &s))
        return std::nullopt;
    if (!c.eat(u' '))
        return std::nullopt;
    c.spaces();
    const auto zone = rfcZone(c);
    if (!zone || !c.atEnd())
        return std::nullopt;
    return build(year, month, day, h, mi, s, *zone);
}

std::optional<QDateTime> parseIso(QStringView text) {
    Cursor c{text};
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (!c.number(4, 4, &y) || !c.eat(u'-') || !c.number(2, 2, &mo) || !c.eat(u'-') || !c.number(2, 2, &d) ||
        !c.eat(u'T') || !c.number(2, 2, &h) || !c.eat(u':') || !c.number(2, 2, &mi) || !c.eat(u':') ||
        !c.number(2, 2, &s))
        return std::nullopt;
    int offset = 0;
    if (c.eat(u'Z')) {
    } else if (!c.atEnd() && (c.s[c.i] == u'+' || c.s[c.i] == u'-')) {
        const bool minus = c.s[c.i++] == u'-';
        int oh = 0, om = 0;
        if (!c.number(2, 2, &oh))
            return std::nullopt;
        c.eat(u':');
        if (!c.number(2, 2, &om) || oh > 23 || om > 59)
            return std::nullopt;
        offset = (oh * 3600 + om * 60) * (minus ? -1 : 1);
    } else {
        return std::nullopt;
    }
    if (!c.atEnd())
        return std::nullopt;
    return build(y, mo, d, h, mi, s, offset);
}

// Named HTML entities worth decoding in summaries; numeric ones are decoded in general.
QString decodeEntities(const QString& text) {
    if (!text.contains(u'&'))
        return text;
    static const struct {
        const char* name;
        char16_t ch;
    } named[] = {{"amp", u'&'},     {"lt", u'<'},      {"gt", u'>'},       {"quot", u'"'},
                 {"apos", u'\''},   {"nbsp", u' '},    {"hellip", 0x2026}, {"mdash", 0x2014},
                 {"ndash", 0x2013}, {"lsquo", 0x2018}, {"rsquo", 0x2019},  {"ldquo", 0x201C},
                 {"rdquo", 0x201D}, {"copy", 0x00A9},  {"reg", 0x00AE}};
    // Every entity is longer than what it stands for, so the text never grows.
    QString out(text.size(), Qt::Uninitialized);
    QChar* d = out.data();
    const QChar* src = text.constData();
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (src[i] != u'&') {
            *d++ = src[i];
            continue;
        }
        const qsizetype semi = text.indexOf(u';', i + 1);
        if (semi < 0 || semi - i > 12) {
            *d++ = src[i];
            continue;
        }
        const QStringView name = QStringView(text).sliced(i + 1, semi - i - 1);
        bool done = false;
        if (name.startsWith(u'#') && name.size() > 1) {
            bool ok = false;
            const uint code = (name[1] == u'x' || name[1] == u'X') ? name.sliced(2).toUInt(&ok, 16)
                                                                   : name.sliced(1).toUInt(&ok, 10);
            if (ok && code > 0 && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF)) {
                if (QChar::requiresSurrogates(code)) {
                    *d++ = QChar(QChar::highSurrogate(code));
                    *d++ = QChar(QChar::lowSurrogate(code));
                } else {
                    *d++ = QChar(char16_t(code));
                }
                done = true;
            }
        } else {
            for (const auto& e : named)
                if (name == QLatin1String(e.name)) {
                    *d++ = QChar(e.ch);
                    done = true;
                    break;
                }
        }
        if (done)
            i = semi;
        else
            *d++ = src[i];
    }
    out.truncate(d - out.constData());
    return out;
}

// The element name lower-cased, as the handler compares it. ASCII names (all real feeds) are lowered
// into a reused buffer; anything else takes Qt's full lower-casing, as every name once did.
QStringView lowerName(QStringView name, QString& buffer) {
    const qsizetype n = name.size();
    buffer.resize(n);
    QChar* out = buffer.data();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = name[i].unicode();
        if (c >= 0x80) {
            buffer = name.toString().toLower();
            return buffer;
        }
        out[i] = QChar(c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c);
    }
    return buffer;
}

class Handler {
public:
    QString feedTitle;
    QList<RawItem> items;

    void start(const QXmlStreamReader& r) {
        const QStringView name = lowerName(r.qualifiedName(), nameBuffer);
        atual.resize(0); // keeps the buffer for the next text
        if (name == QLatin1String("item") || name == QLatin1String("entry")) {
            emItem = true;
            emFeedTitle = false;
            itemTitle.clear();
            itemLink.clear();
            itemID.clear();
            itemSummary.clear();
            itemDate.reset();
        } else if (name == QLatin1String("link") && emItem && !r.attributes().isEmpty()) {
            const QXmlStreamAttributes a = r.attributes();
            if (!a.hasAttribute(QLatin1String("href")))
                return;
            if (a.hasAttribute(QLatin1String("rel")) &&
                a.value(QLatin1String("rel")) != QLatin1String("alternate"))
                return;
            itemLink = a.value(QLatin1String("href")).toString();
        }
    }

    void characters(QStringView text) { atual.append(text); }
    qsizetype pending() const { return atual.size(); }

    void end(const QXmlStreamReader& r) {
        const QStringView name = lowerName(r.qualifiedName(), nameBuffer);
        const QString text = QStringView(atual).trimmed().toString();
        atual.resize(0);
        if (!emItem) {
            if (name == QLatin1String("title") && emFeedTitle && feedTitle.isEmpty())
                feedTitle = text;
            return;
        }
        if (name == QLatin1String("title")) {
            itemTitle = text;
        } else if (name == QLatin1String("link")) {
            if (itemLink.isEmpty())
                itemLink = text;
        } else if (name == QLatin1String("guid") || name == QLatin1String("id")) {
            itemID = text;
        } else if (name == QLatin1String("description") || name == QLatin1String("summary") ||
                   name == QLatin1String("content") || name == QLatin1String("content:encoded")) {
            if (itemSummary.isEmpty())
                itemSummary = FeedParser::semHTML(text);
        } else if (name == QLatin1String("pubdate") || name == QLatin1String("published") ||
                   name == QLatin1String("updated") || name == QLatin1String("dc:date")) {
            if (!itemDate)
                itemDate = FeedParser::parseDate(text);
        } else if (name == QLatin1String("item") || name == QLatin1String("entry")) {
            emItem = false;
            if (itemTitle.isEmpty() && itemLink.isEmpty() && itemSummary.isEmpty())
                return;
            const QString id = !itemID.isEmpty() ? itemID : !itemLink.isEmpty() ? itemLink : itemTitle;
            items.append(RawItem{id, itemTitle, itemLink, itemDate, itemSummary});
        }
    }

private:
    bool emItem = false;
    bool emFeedTitle = true;
    QString atual;
    QString nameBuffer;
    QString itemTitle, itemLink, itemID, itemSummary;
    std::optional<QDateTime> itemDate;
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
    Feeder feeder(bytes, *source);
    QXmlStreamReader r;
    feeder.feed(r);
    r.setNamespaceProcessing(false);
    // No declared entity is ever expanded (see the DTD rule below); this is a second fence.
    r.setEntityExpansionLimit(0);

    Handler h;
    int depth = 0;
    while (!r.atEnd() || (r.error() == QXmlStreamReader::PrematureEndOfDocumentError && feeder.more())) {
        const QXmlStreamReader::TokenType token = r.readNext();
        if (token == QXmlStreamReader::Invalid &&
            r.error() == QXmlStreamReader::PrematureEndOfDocumentError && feeder.more()) {
            feeder.feed(r); // the reader stopped at the end of a slice: hand it the next
            continue;
        }
        switch (token) {
        case QXmlStreamReader::DTD:
            // Feeds declare no entities; a declaration is how amplification and external files get in.
            if (!r.entityDeclarations().isEmpty() || !r.notationDeclarations().isEmpty())
                return fail(QStringLiteral("document declares entities"));
            break;
        case QXmlStreamReader::EntityReference:
            return fail(QStringLiteral("document refers to an undeclared entity"));
        case QXmlStreamReader::StartElement:
            if (++depth > kMaxDepth)
                return fail(QStringLiteral("document nested deeper than %1 levels").arg(kMaxDepth));
            h.start(r);
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            h.end(r);
            break;
        case QXmlStreamReader::Characters:
            h.characters(r.text());
            break;
        default:
            break;
        }
    }
    if (r.hasError())
        return fail(r.errorString());
    if (h.items.isEmpty() && h.feedTitle.isEmpty())
        return fail(QStringLiteral("no feed title and no entries"));
    return ParsedFeed{h.feedTitle, h.items};
}

std::optional<QDateTime> FeedParser::parseDate(QStringView text) {
    text = text.trimmed();
    if (text.isEmpty() || text.size() > 64)
        return std::nullopt;
    if (auto d = parseRfc822(text))
        return d;
    return parseIso(text);
}

QString FeedParser::semHTML(const QString& html) {
    static const char* gapTags[] = {"</p>", "<br>", "<br/>", "<br />", "</div>", "</li>"};
    // Each step writes straight into a buffer as large as its input: none of them makes text longer.
    QString stripped(html.size(), Qt::Uninitialized);
    QChar* d = stripped.data();
    const QChar* src = html.constData();
    bool inTag = false;
    qsizetype tagStart = -1;
    for (qsizetype i = 0; i < html.size(); ++i) {
        const QChar c = src[i];
        if (c == u'<') {
            inTag = true;
            tagStart = i;
        } else if (c == u'>') {
            if (inTag) {
                const QStringView tag = QStringView(html).sliced(tagStart, i - tagStart + 1);
                if (tag.size() <= 6)
                    for (const char* g : gapTags)
                        if (tag.compare(QLatin1String(g), Qt::CaseInsensitive) == 0) {
                            *d++ = u' ';
                            break;
                        }
            }
            inTag = false;
        } else if (!inTag) {
            *d++ = c == u'\n' ? QChar(u' ') : c;
        }
    }
    stripped.truncate(d - stripped.constData());
    stripped.replace(QLatin1String("&nbsp;"), QLatin1String(" "));
    const QString decoded = decodeEntities(stripped);
    QString out(decoded.size(), Qt::Uninitialized);
    QChar* o = out.data();
    QChar* const first = o;
    bool pendingSpace = false;
    for (const QChar c : decoded) {
        if (c == u' ' || c == u'\n') {
            pendingSpace = o != first;
            continue;
        }
        if (pendingSpace)
            *o++ = u' ';
        pendingSpace = false;
        *o++ = c;
    }
    out.truncate(o - first);
    return out.trimmed();
}
