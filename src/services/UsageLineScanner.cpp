// Skimming a log line's JSON.
#include "services/UsageLineScanner.h"

#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace UsageLineScanner {

namespace {

constexpr int kMaxDepth = 200;

// Where the walk is: which of the taken members the value being read belongs to.
enum class Slot { none, timestamp, message, messageId, requestId, usage, input, output, creation };

class Walker {
public:
    Walker(QByteArrayView line, UsageLineFields* out)
        : p(line.data())
        , end(line.data() + line.size())
        , f(out) {}

    // False: not strict JSON, or a case left to the full parse.
    bool document() {
        ws();
        if (p >= end || *p != '{' || !object(0, 0))
            return false;
        ws();
        return p == end;
    }

private:
    const char* p;
    const char* end;
    UsageLineFields* f;

    void ws() {
        while (p < end && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n'))
            ++p;
    }

    // A string; `out` gets its bytes when it holds no escape (else the string is unsure when wanted).
    bool string(QByteArrayView* out, bool* escaped) {
        ++p; // the opening quotation mark
        const char* start = p;
        *escaped = false;
#ifdef __SSE2__
        // Most strings are names and short values, over within sixteen bytes: one look settles them.
        if (end - p >= 16) {
            const unsigned mask = specialIn16(p);
            if (!mask) {
                p += 16;
            } else {
                p += __builtin_ctz(mask);
                if (*p == '"') {
                    *out = QByteArrayView(start, p - start);
                    ++p;
                    return true;
                }
            }
        }
#endif
        while (p < end) {
            skipPlain();
            if (p >= end)
                break;
            const unsigned char c = static_cast<unsigned char>(*p);
            if (c == '"') {
                *out = QByteArrayView(start, p - start);
                ++p;
                return true;
            }
            if (c == '\\') {
                *escaped = true;
                if (++p >= end)
                    return false;
                switch (*p) {
                case '"':
                case '\\':
                case '/':
                case 'b':
                case 'f':
                case 'n':
                case 'r':
                case 't':
                    ++p;
                    break;
                case 'u':
                    if (end - p < 5)
                        return false;
                    for (int i = 1; i <= 4; ++i) {
                        const char h = p[i];
                        if (!((h >= '0' && h <= '9') || (h >= 'a' && h <= 'f') || (h >= 'A' && h <= 'F')))
                            return false;
                    }
                    p += 5;
                    break;
                default:
                    return false;
                }
                continue;
            }
            if (c < 0x20)
                return false;
            if (c < 0x80) {
                ++p;
                continue;
            }
            if (!utf8())
                return false;
        }
        return false;
    }

#ifdef __SSE2__
    // Bit k: at[k] is a quotation mark, a backslash, a control character or not ASCII. A signed comparison
    // with the space finds the last two together.
    static unsigned specialIn16(const char* at) {
        const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        const __m128i special = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(w, _mm_set1_epi8('"')), _mm_cmpeq_epi8(w, _mm_set1_epi8('\\'))),
            _mm_cmplt_epi8(w, _mm_set1_epi8(0x20)));
        return unsigned(_mm_movemask_epi8(special));
    }
#endif

    // Passes over plain ASCII text inside a string sixteen (or eight) bytes at a time: any byte that is a
    // quotation mark, a backslash, a control character or not ASCII stops it.
    void skipPlain() {
#ifdef __SSE2__
        while (end - p >= 16) {
            const unsigned mask = specialIn16(p);
            if (mask) {
                p += __builtin_ctz(mask);
                return;
            }
            p += 16;
        }
#endif
        constexpr quint64 ones = 0x0101010101010101ULL;
        constexpr quint64 highs = 0x8080808080808080ULL;
        auto hasZero = [](quint64 v) { return (v - ones) & ~v & highs; };
        while (end - p >= 8) {
            quint64 w;
            std::memcpy(&w, p, 8);
            const quint64 special = (w & highs) | hasZero(w ^ (ones * '"')) | hasZero(w ^ (ones * '\\')) |
                                    ((w - ones * 0x20) & ~w & highs);
            if (special)
                break;
            p += 8;
        }
        while (p < end) {
            const unsigned char c = static_cast<unsigned char>(*p);
            if (c == '"' || c == '\\' || c < 0x20 || c >= 0x80)
                return;
            ++p;
        }
    }

    // One well-formed UTF-8 sequence of two to four bytes (no overlong form, no surrogate, not past
    // U+10FFFF).
    bool utf8() {
        const unsigned char c = static_cast<unsigned char>(*p);
        int more;
        unsigned char lo = 0x80, hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            if (c == 0xE0)
                lo = 0xA0;
            else if (c == 0xED)
                hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            if (c == 0xF0)
                lo = 0x90;
            else if (c == 0xF4)
                hi = 0x8F;
        } else {
            return false;
        }
        if (end - p <= more)
            return false;
        for (int i = 1; i <= more; ++i) {
            const unsigned char d = static_cast<unsigned char>(p[i]);
            if (d < (i == 1 ? lo : 0x80) || d > (i == 1 ? hi : 0xBF))
                return false;
        }
        p += more + 1;
        return true;
    }

    // A number in strict form; its value when it is an integer literal of at most 18 digits. One with a
    // fraction or an exponent is left to the full parse when it is wanted, or when it may be out of range.
    bool number(std::optional<qint64>* integer, bool* plain) {
        const char* start = p;
        bool negative = false;
        if (*p == '-') {
            negative = true;
            ++p;
        }
        if (p >= end || *p < '0' || *p > '9')
            return false;
        qint64 value = 0;
        int digits = 0;
        if (*p == '0') {
            ++p;
            digits = 1;
        } else {
            while (p < end && *p >= '0' && *p <= '9') {
                if (++digits <= 18)
                    value = value * 10 + (*p - '0');
                ++p;
            }
        }
        *plain = true;
        if (p < end && *p == '.') {
            *plain = false;
            ++p;
            if (p >= end || *p < '0' || *p > '9')
                return false;
            while (p < end && *p >= '0' && *p <= '9')
                ++p;
        }
        if (p < end && (*p == 'e' || *p == 'E'))
            return false; // an exponent may leave the range a double holds: the full parse decides
        if (digits > 18 || p - start > 40)
            return false;
        if (*plain)
            *integer = negative ? -value : value;
        return true;
    }

    bool literal(const char* word, size_t n) {
        if (size_t(end - p) < n || std::memcmp(p, word, n) != 0)
            return false;
        p += n;
        return true;
    }

    // Compared inline, length first: most names differ in length from every taken one.
    template <size_t N> static bool is(QByteArrayView key, const char (&name)[N]) {
        return key.size() == qsizetype(N - 1) && std::memcmp(key.data(), name, N - 1) == 0;
    }

    Slot slotOf(Slot parent, QByteArrayView key, int depth) const {
        if (depth == 0) {
            if (is(key, "timestamp"))
                return Slot::timestamp;
            if (is(key, "message"))
                return Slot::message;
            if (is(key, "requestId"))
                return Slot::requestId;
        } else if (parent == Slot::message) {
            if (is(key, "id"))
                return Slot::messageId;
            if (is(key, "usage"))
                return Slot::usage;
        } else if (parent == Slot::usage) {
            if (is(key, "input_tokens"))
                return Slot::input;
            if (is(key, "output_tokens"))
                return Slot::output;
            if (is(key, "cache_creation_input_tokens"))
                return Slot::creation;
        }
        return Slot::none;
    }

    // Steps over an opening mark; true when the closing one follows at once.
    bool opensEmpty(char close) {
        ++p;
        ws();
        if (p < end && *p == close) {
            ++p;
            return true;
        }
        return false;
    }

    enum class Next { more, closed, bad };
    // What follows a member or an element: a comma (stepped over), the closing mark, or anything else.
    Next after(char close) {
        ws();
        if (p < end && *p == ',') {
            ++p;
            ws();
            return Next::more;
        }
        if (p < end && *p == close) {
            ++p;
            return Next::closed;
        }
        return Next::bad;
    }

    // An object whose members belong to `self` (a taken member's object, or none) at `depth`.
    bool object(int depth, int selfTag) {
        const Slot self = static_cast<Slot>(selfTag);
        if (opensEmpty('}'))
            return true;
        unsigned seen = 0; // taken members met in this object, to leave duplicates to the full parse
        for (;;) {
            if (p >= end || *p != '"')
                return false;
            QByteArrayView key;
            bool escaped = false;
            if (!string(&key, &escaped))
                return false;
            const bool tracked = depth == 0 || self == Slot::message || self == Slot::usage;
            if (escaped && tracked)
                return false; // an escaped name might spell a taken one
            const Slot slot = escaped ? Slot::none : slotOf(self, key, depth);
            if (slot != Slot::none) {
                const unsigned bit = 1u << unsigned(slot);
                if (seen & bit)
                    return false;
                seen |= bit;
            }
            ws();
            if (p >= end || *p != ':')
                return false;
            ++p;
            ws();
            if (!value(depth + 1, slot))
                return false;
            const Next next = after('}');
            if (next != Next::more)
                return next == Next::closed;
        }
    }

    bool array(int depth) {
        if (opensEmpty(']'))
            return true;
        for (;;) {
            if (!value(depth + 1, Slot::none))
                return false;
            const Next next = after(']');
            if (next != Next::more)
                return next == Next::closed;
        }
    }

    bool value(int depth, Slot slot) {
        if (p >= end || depth > kMaxDepth)
            return false;
        switch (*p) {
        case '{':
            if (slot == Slot::message)
                f->messageIsObject = true;
            else if (slot == Slot::usage)
                f->usageIsObject = true;
            return object(depth, int(slot == Slot::message || slot == Slot::usage ? slot : Slot::none));
        case '[':
            return array(depth);
        case '"': {
            QByteArrayView text;
            bool escaped = false;
            if (!string(&text, &escaped))
                return false;
            if (slot == Slot::timestamp || slot == Slot::messageId || slot == Slot::requestId) {
                if (escaped)
                    return false; // the full parse decodes it
                (slot == Slot::timestamp   ? f->timestamp
                 : slot == Slot::messageId ? f->messageId
                                           : f->requestId) = text;
            }
            return true;
        }
        case 't':
            return literal("true", 4);
        case 'f':
            return literal("false", 5);
        case 'n':
            return literal("null", 4);
        default: {
            std::optional<qint64> integer;
            bool plain = false;
            if (!number(&integer, &plain))
                return false;
            const bool counter = slot == Slot::input || slot == Slot::output || slot == Slot::creation;
            if (counter && !plain)
                return false; // whether a fraction counts as an integer is the full parse's rule
            if (counter && integer)
                (slot == Slot::input    ? f->inputTokens
                 : slot == Slot::output ? f->outputTokens
                                        : f->cacheCreationTokens) = *integer;
            return true;
        }
        }
    }
};

} // namespace

Verdict scan(QByteArrayView line, UsageLineFields* fields) {
    *fields = UsageLineFields();
    Walker walker(line, fields);
    if (walker.document())
        return Verdict::fields;
    *fields = UsageLineFields();
    return Verdict::unsure;
}

} // namespace UsageLineScanner
