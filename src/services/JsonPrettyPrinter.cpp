// Two passes over the text and no tree: the first checks it, measures the output and notes, for each object
// whose keys are not already in order, where its members start in sorted order; the second writes into a
// string of exactly the measured size. Memory beyond the output is a few bytes per member of such objects,
// which matters as much as the arithmetic: fresh pages are what a large document costs most.
// Anything outside plain JSON is declined rather than guessed at.
#include "services/JsonPrettyPrinter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Unit = char16_t;

// Past this many characters of output the printer declines; the caller's general path decides.
constexpr qsizetype kMaxOutput = qsizetype(1) << 28;
// Number texts longer than this are declined: they only ever come from generated data.
constexpr qsizetype kMaxNumberLength = 400;
// Written as it stands (not escaped) in a string, Qt sometimes drops it.
constexpr Unit kByteOrderMark = 0xFEFF;
// Room for any number Qt's notation gives a double or a 64-bit integer.
constexpr int kNumberBuffer = 48;

bool isSpace(Unit c) {
    return c == u' ' || c == u'\n' || c == u'\r' || c == u'\t';
}

int hexDigit(Unit c) {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

qsizetype escapedLength(Unit c) {
    switch (c) {
    case u'"':
    case u'\\':
    case u'\b':
    case u'\f':
    case u'\n':
    case u'\r':
    case u'\t':
        return 2;
    default:
        return c < 0x20 ? 6 : 1;
    }
}

// The characters of a string from just after its opening quote, escapes decoded, each handed to `unit`;
// false on a raw control character or byte order mark, an unknown escape or a missing end. Leaves `p` after
// the closing quote.
template <typename F> bool decodeString(const Unit*& p, const Unit* end, F&& unit) {
    while (p != end) {
        Unit c = *p++;
        if (c == u'"')
            return true;
        if (c < 0x20 || c == kByteOrderMark)
            return false;
        if (c == u'\\') {
            if (p == end)
                return false;
            switch (*p++) {
            case u'"':
                c = u'"';
                break;
            case u'\\':
                c = u'\\';
                break;
            case u'/':
                c = u'/';
                break;
            case u'b':
                c = u'\b';
                break;
            case u'f':
                c = u'\f';
                break;
            case u'n':
                c = u'\n';
                break;
            case u'r':
                c = u'\r';
                break;
            case u't':
                c = u'\t';
                break;
            case u'u': {
                if (end - p < 4)
                    return false;
                int code = 0;
                for (int i = 0; i < 4; ++i) {
                    const int d = hexDigit(*p++);
                    if (d < 0)
                        return false;
                    code = code * 16 + d;
                }
                c = Unit(code);
                break;
            }
            default:
                return false;
            }
        }
        unit(c);
    }
    return false;
}

// Escaped halves of a surrogate pair must still make a pair; fed one decoded character at a time.
struct SurrogateCheck {
    bool pendingHigh = false;
    bool broken = false;
    void operator()(Unit c) {
        const bool high = c >= 0xD800 && c <= 0xDBFF;
        const bool low = c >= 0xDC00 && c <= 0xDFFF;
        if (pendingHigh != low)
            broken = true;
        pendingHigh = high;
    }
    bool ok() const { return !broken && !pendingHigh; }
};

// The end of a number that starts at `p` in plain JSON form, and whether it is written as an integer;
// null when it is not one.
const Unit* numberEnd(const Unit* p, const Unit* end, bool* integer, qsizetype* intDigits) {
    const auto digits = [&] {
        const Unit* from = p;
        while (p != end && *p >= u'0' && *p <= u'9')
            ++p;
        return p - from;
    };
    if (p != end && *p == u'-')
        ++p;
    if (p == end || *p < u'0' || *p > u'9')
        return nullptr;
    if (*p == u'0') {
        ++p;
        *intDigits = 1;
    } else {
        *intDigits = digits();
    }
    *integer = true;
    if (p != end && *p == u'.') {
        ++p;
        *integer = false;
        if (digits() == 0)
            return nullptr;
    }
    if (p != end && (*p == u'e' || *p == u'E')) {
        ++p;
        *integer = false;
        if (p != end && (*p == u'+' || *p == u'-'))
            ++p;
        if (digits() == 0)
            return nullptr;
    }
    return p;
}

// Up to 18 digits is always a 64-bit integer, which Qt prints as written ("-0" aside).
bool printedAsWritten(const Unit* start, qsizetype length, bool integer, qsizetype intDigits) {
    return integer && intDigits <= 18 && !(length == 2 && start[0] == u'-');
}

// Qt's notation: integers (and doubles with an integer value in the 64-bit range) in full; other doubles in
// the shortest digits that read back the same, in exponent form only when that is shorter. The length
// written to `out`, or -1 for a number Qt would refuse or that is not worth the risk.
int formatNumber(const Unit* start, qsizetype length, char (&out)[kNumberBuffer]) {
    if (length > kMaxNumberLength)
        return -1;
    char in[kMaxNumberLength];
    bool integer = true;
    bool nonZeroDigit = false;
    bool inExponent = false;
    for (qsizetype i = 0; i < length; ++i) {
        in[i] = char(start[i]);
        if (in[i] == '.' || in[i] == 'e' || in[i] == 'E')
            integer = false;
        if (in[i] == 'e' || in[i] == 'E')
            inExponent = true;
        if (!inExponent && in[i] >= '1' && in[i] <= '9')
            nonZeroDigit = true;
    }
    if (integer) {
        qint64 v = 0;
        const auto [end, ec] = std::from_chars(in, in + length, v);
        if (ec == std::errc() && end == in + length)
            return int(std::to_chars(out, out + kNumberBuffer, v).ptr - out);
    }
    double d = 0;
    const auto [end, ec] = std::from_chars(in, in + length, d);
    // Out of range either way: Qt calls it an illegal number.
    if (ec != std::errc() || end != in + length || !std::isfinite(d) || (d == 0 && nonZeroDigit))
        return -1;
    if (d == std::trunc(d) && d >= -0x1p63 && d < 0x1p63)
        return int(std::to_chars(out, out + kNumberBuffer, qint64(d)).ptr - out);
    char sci[kNumberBuffer];
    const int sciLength =
        int(std::to_chars(sci, sci + sizeof sci, d, std::chars_format::scientific).ptr - sci);
    // sci is [-]d[.ddd]e±xx: the digits and the power of ten of the first one.
    const std::string_view s(sci, size_t(sciLength));
    const size_t e = s.find('e');
    const bool negative = s.front() == '-';
    char digits[kNumberBuffer];
    int count = 0;
    for (size_t i = negative ? 1 : 0; i < e; ++i)
        if (s[i] != '.')
            digits[count++] = s[i];
    int exponent = 0;
    std::from_chars(s.data() + e + (s[e + 1] == '+' ? 2 : 1), s.data() + s.size(), exponent);
    // The fixed form's length decides; it is only built when it is the shorter (or as short).
    const int fixedLength =
        int(negative) + (exponent >= 0 ? std::max(count, exponent + 1) + (count > exponent + 1)
                                       : 2 + (-exponent - 1) + count);
    if (sciLength < fixedLength) {
        std::copy(sci, sci + sciLength, out);
        return sciLength;
    }
    char* w = out;
    if (negative)
        *w++ = '-';
    if (exponent >= 0) {
        for (int i = 0; i < std::max(count, exponent + 1); ++i) {
            if (i == exponent + 1)
                *w++ = '.';
            *w++ = i < count ? digits[i] : '0';
        }
    } else {
        *w++ = '0';
        *w++ = '.';
        w = std::fill_n(w, -exponent - 1, '0');
        w = std::copy(digits, digits + count, w);
    }
    return int(w - out);
}

// An object whose members are printed in another order than written: where each kept member's key starts,
// in printing order, and where the object ends.
struct Reordered {
    quint32 offset = 0;
    quint32 end = 0;
    quint32 first = 0;
    quint32 count = 0;
};

class Printer {
public:
    explicit Printer(QStringView text)
        : m_begin(reinterpret_cast<const Unit*>(text.utf16()))
        , m_end(m_begin + text.size()) {}

    // The first pass: the exact output length, or -1 when declined.
    qsizetype measure() {
        const Unit* p = m_begin;
        qsizetype length = 0;
        if (!measureValue(p, 0, &length))
            return -1;
        skipSpace(p);
        if (p != m_end)
            return -1;
        // Objects are noted as they end; the writer looks them up by where they start.
        std::sort(m_reordered.begin(), m_reordered.end(),
                  [](const Reordered& a, const Reordered& b) { return a.offset < b.offset; });
        return length;
    }

    // The second pass, over a text the first one accepted.
    Unit* write(Unit* w) {
        const Unit* p = m_begin;
        return writeValue(p, 0, w);
    }

private:
    // A member as the first pass saw it: where its key starts, the key itself (in the text, or decoded into
    // m_keys) and its printed length without indentation and separator.
    struct Pending {
        quint32 offset = 0;
        quint32 keyOffset = 0;
        quint32 keyLength = 0;
        bool keyDecoded = false;
        qsizetype length = 0;
    };

    void skipSpace(const Unit*& p) const {
        while (p != m_end && isSpace(*p))
            ++p;
    }

    std::u16string_view key(const Pending& m) const {
        return {(m.keyDecoded ? m_keys.data() : m_begin) + m.keyOffset, m.keyLength};
    }

    bool measureValue(const Unit*& p, int level, qsizetype* length) {
        skipSpace(p);
        if (p == m_end)
            return false;
        switch (*p) {
        case u'{':
            return measureObject(p, level, length);
        case u'[':
            return measureArray(p, level, length);
        case u'"':
            ++p;
            return measureString(p, length);
        case u't':
            return literal(p, u"true", length);
        case u'f':
            return literal(p, u"false", length);
        case u'n':
            return literal(p, u"null", length);
        default: {
            const Unit* start = p;
            bool integer = false;
            qsizetype intDigits = 0;
            p = numberEnd(p, m_end, &integer, &intDigits);
            if (!p)
                return false;
            if (printedAsWritten(start, p - start, integer, intDigits)) {
                *length = p - start;
                return true;
            }
            char out[kNumberBuffer];
            const int n = formatNumber(start, p - start, out);
            *length = n;
            return n >= 0;
        }
        }
    }

    bool literal(const Unit*& p, std::u16string_view word, qsizetype* length) const {
        if (size_t(m_end - p) < word.size() || std::u16string_view(p, word.size()) != word)
            return false;
        p += word.size();
        *length = qsizetype(word.size());
        return true;
    }

    // From just after the opening quote: the printed length, quotes included.
    bool measureString(const Unit*& p, qsizetype* length) const {
        const Unit* start = p;
        while (p != m_end && *p != u'"' && *p != u'\\' && *p >= 0x20 && *p != kByteOrderMark)
            ++p;
        if (p != m_end && *p == u'"') {
            *length = p - start + 2;
            ++p;
            return true;
        }
        p = start;
        qsizetype total = 2;
        SurrogateCheck check;
        if (!decodeString(p, m_end, [&](Unit c) {
                total += escapedLength(c);
                check(c);
            }))
            return false;
        *length = total;
        return check.ok();
    }

    // From just after the opening quote: the key as compared, and its printed length.
    bool measureKey(const Unit*& p, Pending* m) {
        const Unit* start = p;
        while (p != m_end && *p != u'"' && *p != u'\\' && *p >= 0x20 && *p != kByteOrderMark)
            ++p;
        if (p != m_end && *p == u'"') {
            *m = Pending{m->offset, quint32(start - m_begin), quint32(p - start), false, p - start + 2};
            ++p;
            return true;
        }
        p = start;
        const size_t from = m_keys.size();
        qsizetype total = 2;
        SurrogateCheck check;
        if (!decodeString(p, m_end, [&](Unit c) {
                total += escapedLength(c);
                check(c);
                m_keys.push_back(c);
            }))
            return false;
        *m = Pending{m->offset, quint32(from), quint32(m_keys.size() - from), true, total};
        return check.ok();
    }

    bool measureArray(const Unit*& p, int level, qsizetype* length) {
        if (level >= JsonPrettyPrinter::kMaxDepth)
            return false;
        ++p;
        qsizetype total = 2 + qsizetype(level) * 4 + 1;
        skipSpace(p);
        if (p != m_end && *p == u']') {
            ++p;
            *length = total;
            return true;
        }
        for (;;) {
            qsizetype item = 0;
            if (!measureValue(p, level + 1, &item))
                return false;
            total += qsizetype(level + 1) * 4 + item + 1;
            if (total > kMaxOutput)
                return false;
            skipSpace(p);
            if (p == m_end)
                return false;
            if (*p == u']') {
                ++p;
                *length = total;
                return true;
            }
            if (*p != u',')
                return false;
            ++p;
            ++total;
        }
    }

    bool measureObject(const Unit*& p, int level, qsizetype* length) {
        if (level >= JsonPrettyPrinter::kMaxDepth)
            return false;
        const quint32 offset = quint32(p - m_begin);
        ++p;
        const size_t mark = m_pending.size();
        const size_t keysMark = m_keys.size();
        // Qt orders such keys now by code point, now by UTF-16 unit, depending on how they were written.
        bool surrogates = false;
        bool aboveSurrogates = false;
        skipSpace(p);
        if (p != m_end && *p == u'}') {
            ++p;
        } else {
            for (;;) {
                skipSpace(p);
                if (p == m_end || *p != u'"')
                    return false;
                Pending m;
                m.offset = quint32(p - m_begin);
                ++p;
                if (!measureKey(p, &m))
                    return false;
                for (Unit c : key(m)) {
                    surrogates = surrogates || (c >= 0xD800 && c <= 0xDFFF);
                    aboveSurrogates = aboveSurrogates || c >= 0xE000;
                }
                skipSpace(p);
                if (p == m_end || *p != u':')
                    return false;
                ++p;
                qsizetype value = 0;
                if (!measureValue(p, level + 1, &value))
                    return false;
                m.length += 2 + value;
                if (m.length > kMaxOutput)
                    return false;
                m_pending.push_back(m);
                skipSpace(p);
                if (p == m_end)
                    return false;
                if (*p == u'}') {
                    ++p;
                    break;
                }
                if (*p != u',')
                    return false;
                ++p;
            }
        }
        if (surrogates && aboveSurrogates)
            return false;
        const auto first = m_pending.begin() + qsizetype(mark);
        const auto last = m_pending.end();
        const auto less = [this](const Pending& a, const Pending& b) { return key(a) < key(b); };
        // Written in order without repeats is the common case; otherwise the last of equal keys wins.
        if (std::adjacent_find(first, last,
                               [&](const Pending& a, const Pending& b) { return !less(a, b); }) != last) {
            std::stable_sort(first, last, less);
            Reordered r{offset, quint32(p - m_begin), quint32(m_order.size()), 0};
            for (auto it = first; it != last; ++it) {
                if (it + 1 != last && key(*it) == key(*(it + 1)))
                    continue;
                *(first + qsizetype(r.count++)) = *it;
                m_order.push_back(it->offset);
            }
            m_pending.resize(mark + r.count);
            m_reordered.push_back(r);
        }
        qsizetype total = 2 + qsizetype(level) * 4 + 1;
        for (auto it = m_pending.begin() + qsizetype(mark); it != m_pending.end(); ++it)
            total += qsizetype(level + 1) * 4 + it->length + 2;
        if (m_pending.size() > mark)
            --total;
        m_pending.resize(mark);
        m_keys.resize(keysMark);
        *length = total;
        return total <= kMaxOutput;
    }

    Unit* indent(Unit* w, int level) const { return std::fill_n(w, qsizetype(level) * 4, u' '); }

    static Unit* latin(Unit* w, const char* s, int n) { return std::copy(s, s + n, w); }

    Unit* writeString(const Unit*& p, Unit* w) const {
        ++p;
        *w++ = u'"';
        const Unit* start = p;
        while (*p != u'"' && *p != u'\\')
            ++p;
        w = std::copy(start, p, w);
        if (*p == u'\\') {
            static constexpr char kHex[] = "0123456789abcdef";
            decodeString(p, m_end, [&](Unit c) {
                Unit named = 0;
                switch (c) {
                case u'"':
                case u'\\':
                    named = c;
                    break;
                case u'\b':
                    named = u'b';
                    break;
                case u'\f':
                    named = u'f';
                    break;
                case u'\n':
                    named = u'n';
                    break;
                case u'\r':
                    named = u'r';
                    break;
                case u'\t':
                    named = u't';
                    break;
                default:
                    break;
                }
                if (named) {
                    *w++ = u'\\';
                    *w++ = named;
                } else if (c < 0x20) {
                    w = latin(w, "\\u00", 4);
                    *w++ = Unit(kHex[c >> 4]);
                    *w++ = Unit(kHex[c & 0xf]);
                } else {
                    *w++ = c;
                }
            });
        } else {
            ++p;
        }
        *w++ = u'"';
        return w;
    }

    // A member from its key's opening quote.
    Unit* writeMember(const Unit*& p, int level, Unit* w) const {
        w = writeString(p, w);
        *w++ = u':';
        *w++ = u' ';
        skipSpace(p);
        ++p; // the colon
        return writeValue(p, level, w);
    }

    Unit* writeValue(const Unit*& p, int level, Unit* w) const {
        skipSpace(p);
        switch (*p) {
        case u'{':
            return writeObject(p, level, w);
        case u'[': {
            ++p;
            *w++ = u'[';
            *w++ = u'\n';
            skipSpace(p);
            while (*p != u']') {
                w = indent(w, level + 1);
                w = writeValue(p, level + 1, w);
                skipSpace(p);
                if (*p == u',') {
                    ++p;
                    *w++ = u',';
                }
                *w++ = u'\n';
                skipSpace(p);
            }
            ++p;
            w = indent(w, level);
            *w++ = u']';
            return w;
        }
        case u'"':
            return writeString(p, w);
        case u't':
            p += 4;
            return latin(w, "true", 4);
        case u'f':
            p += 5;
            return latin(w, "false", 5);
        case u'n':
            p += 4;
            return latin(w, "null", 4);
        default: {
            const Unit* start = p;
            bool integer = false;
            qsizetype intDigits = 0;
            p = numberEnd(p, m_end, &integer, &intDigits);
            if (printedAsWritten(start, p - start, integer, intDigits))
                return std::copy(start, p, w);
            char out[kNumberBuffer];
            const int n = formatNumber(start, p - start, out);
            return latin(w, out, n);
        }
        }
    }

    Unit* writeObject(const Unit*& p, int level, Unit* w) const {
        const quint32 offset = quint32(p - m_begin);
        *w++ = u'{';
        *w++ = u'\n';
        const auto found = std::lower_bound(m_reordered.begin(), m_reordered.end(), offset,
                                            [](const Reordered& r, quint32 o) { return r.offset < o; });
        if (found != m_reordered.end() && found->offset == offset) {
            for (quint32 i = 0; i < found->count; ++i) {
                const Unit* member = m_begin + m_order[found->first + i];
                w = indent(w, level + 1);
                w = writeMember(member, level + 1, w);
                if (i + 1 < found->count)
                    *w++ = u',';
                *w++ = u'\n';
            }
            p = m_begin + found->end;
        } else {
            ++p;
            skipSpace(p);
            while (*p != u'}') {
                w = indent(w, level + 1);
                w = writeMember(p, level + 1, w);
                skipSpace(p);
                if (*p == u',') {
                    ++p;
                    *w++ = u',';
                }
                *w++ = u'\n';
                skipSpace(p);
            }
            ++p;
        }
        w = indent(w, level);
        *w++ = u'}';
        return w;
    }

    const Unit* const m_begin;
    const Unit* const m_end;
    std::vector<Pending> m_pending;
    std::u16string m_keys;
    std::vector<quint32> m_order;
    std::vector<Reordered> m_reordered;
};

} // namespace

namespace JsonPrettyPrinter {

std::optional<QString> indented(QStringView text) {
    if (text.size() >= qsizetype(std::numeric_limits<quint32>::max() / 2))
        return std::nullopt;
    Printer printer(text);
    const qsizetype length = printer.measure();
    if (length < 0)
        return std::nullopt;
    QString out(length, Qt::Uninitialized);
    Unit* const begin = reinterpret_cast<Unit*>(out.data());
    [[maybe_unused]] const Unit* end = printer.write(begin);
    Q_ASSERT(end == begin + length);
    return out;
}

} // namespace JsonPrettyPrinter
