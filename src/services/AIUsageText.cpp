// Texts and dates shared by the AI usage readers.
#include "services/AIUsageText.h"

#include <QStringDecoder>

#include <unicode/locid.h>
#include <unicode/reldatefmt.h>
#include <unicode/unistr.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace AIUsageText {

QString relative(const QDateTime& date, const QDateTime& now) {
    const double seconds = double(now.msecsTo(date)) / 1000.0;
    struct Unit {
        double seconds;
        URelativeDateTimeUnit unit;
    };
    static constexpr Unit units[] = {{365.0 * 86400, UDAT_REL_UNIT_YEAR}, {30.0 * 86400, UDAT_REL_UNIT_MONTH},
                                     {7.0 * 86400, UDAT_REL_UNIT_WEEK},   {86400, UDAT_REL_UNIT_DAY},
                                     {3600, UDAT_REL_UNIT_HOUR},          {60, UDAT_REL_UNIT_MINUTE}};
    // The largest unit of which at least one whole lies between the two moments.
    double amount = std::trunc(seconds);
    URelativeDateTimeUnit unit = UDAT_REL_UNIT_SECOND;
    for (const Unit& u : units) {
        if (std::fabs(seconds) >= u.seconds) {
            amount = std::trunc(seconds / u.seconds);
            unit = u.unit;
            break;
        }
    }
    UErrorCode status = U_ZERO_ERROR;
    icu::RelativeDateTimeFormatter formatter(icu::Locale("pt", "BR"), nullptr, UDAT_STYLE_SHORT,
                                             UDISPCTX_CAPITALIZATION_NONE, status);
    icu::UnicodeString out;
    if (U_SUCCESS(status))
        formatter.formatNumeric(amount, unit, out, status);
    if (U_FAILURE(status))
        return QString::number(qint64(amount));
    return QString(reinterpret_cast<const QChar*>(out.getBuffer()), out.length());
}

QString renews(const QDateTime& date, const QDateTime& now) {
    return QStringLiteral("renova ") + relative(date, now);
}

namespace {

// printf's "%.<decimals>f" with the C locale: the exact value rounded, a tie to the even digit (2.5 → 2),
// whatever locale the process runs in. Qt's own formatting rounds ties up.
QString fixed(double value, int decimals) {
    char buffer[64];
    const std::to_chars_result r =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (r.ec != std::errc())
        return QString();
    return QString::fromLatin1(buffer, r.ptr - buffer);
}

} // namespace

QString compact(qint64 n) {
    if (n < 1000)
        return QString::number(n);
    if (n < 1000000)
        return fixed(double(n) / 1000.0, 0) + QLatin1Char('k');
    return fixed(double(n) / 1000000.0, 1) + QLatin1Char('M');
}

QString capitalised(const QString& text) {
    QString out = text.toLower();
    bool wordStart = true;
    for (QChar& c : out) {
        if (c.isSpace()) {
            wordStart = true;
        } else if (wordStart) {
            c = c.toUpper();
            wordStart = false;
        }
    }
    return out;
}

namespace {

bool digits(QByteArrayView s, qsizetype at, qsizetype count, int* value) {
    if (at + count > s.size())
        return false;
    int v = 0;
    for (qsizetype i = at; i < at + count; ++i) {
        const char c = s[i];
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    *value = v;
    return true;
}

} // namespace

namespace {

struct DateFields {
    int year, month, day, hour, minute, second, ms, offsetSeconds;
};

std::optional<DateFields> dateFields(QByteArrayView s, bool withFraction) {
    DateFields f{};
    if (!digits(s, 0, 4, &f.year) || s.size() < 19 || s[4] != '-' || !digits(s, 5, 2, &f.month) ||
        s[7] != '-' || !digits(s, 8, 2, &f.day) || (s[10] != 'T' && s[10] != 't') ||
        !digits(s, 11, 2, &f.hour) || s[13] != ':' || !digits(s, 14, 2, &f.minute) || s[16] != ':' ||
        !digits(s, 17, 2, &f.second))
        return std::nullopt;
    qsizetype i = 19;
    if (i < s.size() && s[i] == '.') {
        if (!withFraction)
            return std::nullopt;
        qsizetype start = ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9')
            ++i;
        const qsizetype count = i - start;
        if (count < 1 || count > 9)
            return std::nullopt;
        int scale = 100;
        for (qsizetype k = start; k < start + std::min<qsizetype>(count, 3); ++k, scale /= 10)
            f.ms += (s[k] - '0') * scale;
    } else if (withFraction) {
        return std::nullopt;
    }
    if (i < s.size() && (s[i] == 'Z' || s[i] == 'z')) {
        ++i;
    } else if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        int oh, om;
        if (!digits(s, i + 1, 2, &oh) || i + 3 >= s.size() || s[i + 3] != ':' || !digits(s, i + 4, 2, &om) ||
            oh > 23 || om > 59)
            return std::nullopt;
        f.offsetSeconds = (oh * 3600 + om * 60) * (s[i] == '-' ? -1 : 1);
        i += 6;
    } else {
        return std::nullopt;
    }
    if (i != s.size() || f.second > 60)
        return std::nullopt;
    return f;
}

} // namespace

std::optional<QDateTime> parseInternetDate(QByteArrayView s, bool withFraction) {
    const std::optional<DateFields> f = dateFields(s, withFraction);
    if (!f)
        return std::nullopt;
    const QDate date(f->year, f->month, f->day);
    // A leap second is not a time Qt can hold; it is read as the last moment of its minute.
    const QTime time(f->hour, f->minute, std::min(f->second, 59), f->ms);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time, Qt::UTC).addSecs(-f->offsetSeconds);
}

std::optional<QDateTime> parseInternetDate(QByteArrayView text) {
    if (auto d = parseInternetDate(text, true))
        return d;
    return parseInternetDate(text, false);
}

std::optional<qint64> internetDateMsecs(QByteArrayView text) {
    // The two forms differ in whether a fraction follows the seconds, so at most one of them accepts.
    std::optional<DateFields> f = dateFields(text, text.size() > 19 && text[19] == '.');
    if (!f)
        return std::nullopt;
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = f->year % 4 == 0 && (f->year % 100 != 0 || f->year % 400 == 0);
    // Year 0 does not exist in Qt's calendar.
    if (f->year < 1 || f->month < 1 || f->month > 12 || f->day < 1 ||
        f->day > kDays[f->month - 1] + (f->month == 2 && leap) || f->hour > 23 || f->minute > 59)
        return std::nullopt;
    // Days since 1970-01-01 in the proleptic Gregorian calendar, counted from March so that the leap day
    // ends the year.
    const int y = f->year - (f->month <= 2);
    const int era = y / 400;
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (f->month + (f->month > 2 ? -3 : 9)) + 2) / 5 + f->day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const qint64 days = qint64(era) * 146097 + dayOfEra - 719468;
    const qint64 seconds =
        days * 86400 + f->hour * 3600 + f->minute * 60 + std::min(f->second, 59) - f->offsetSeconds;
    return seconds * 1000 + f->ms;
}

namespace {

#ifdef __SSE2__
// The places among sixteen or thirty-two where a match may start: those where two of the needle's bytes are
// where they belong. The markers start and end with a quotation mark, common in JSON, so the bytes next to
// them are the ones compared.
class Probe {
public:
    explicit Probe(QByteArrayView needle)
        : m_needle(needle)
        , m_a(needle.size() >= 4 ? 1 : 0)
        , m_b(needle.size() >= 4 ? size_t(needle.size()) - 2 : size_t(needle.size()) - 1)
        , m_first(_mm_set1_epi8(needle[qsizetype(m_a)]))
        , m_second(_mm_set1_epi8(needle[qsizetype(m_b)])) {}

    // Bit k: a match may start at h + at + k. Reads up to h + at + 15 + needle's length - 1.
    unsigned sixteen(const char* h, size_t at) const {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + at + m_a));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + at + m_b));
        return unsigned(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(x, m_first), _mm_cmpeq_epi8(y, m_second))));
    }
    // Two blocks a step: where nothing is found, as almost everywhere, that costs one branch.
    unsigned thirtyTwo(const char* h, size_t at) const {
        return sixteen(h, at) | (sixteen(h, at + 16) << 16);
    }

    // The first place of `mask` (bit k: h + at + k) where the needle is, or -1.
    qsizetype first(const char* h, size_t at, unsigned mask) const {
        for (; mask; mask &= mask - 1) {
            const size_t place = at + size_t(__builtin_ctz(mask));
            if (std::memcmp(h + place, m_needle.data(), size_t(m_needle.size())) == 0)
                return qsizetype(place);
        }
        return -1;
    }

private:
    QByteArrayView m_needle;
    size_t m_a, m_b;
    __m128i m_first, m_second;
};
#endif

} // namespace

qsizetype indexOfBytes(QByteArrayView haystack, QByteArrayView needle) {
    const char* h = haystack.data();
    const size_t n = size_t(haystack.size());
    const size_t m = size_t(needle.size());
    if (m == 0)
        return 0;
    if (n < m)
        return -1;
    if (m == 1) {
        const void* hit = std::memchr(h, needle[0], n);
        return hit ? static_cast<const char*>(hit) - h : -1;
    }
    size_t i = 0;
#ifdef __SSE2__
    const Probe probe(needle);
    for (; i + 31 + m <= n; i += 32) {
        if (const qsizetype at = probe.first(h, i, probe.thirtyTwo(h, i)); at >= 0)
            return at;
    }
    for (; i + 15 + m <= n; i += 16) {
        if (const qsizetype at = probe.first(h, i, probe.sixteen(h, i)); at >= 0)
            return at;
    }
#endif
    // glibc's memmem is several times faster than Qt's own search on lines of kilobytes.
    const void* hit = ::memmem(h + i, n - i, needle.data(), m);
    return hit ? static_cast<const char*>(hit) - h : -1;
}

bool containsBytesFromEnd(QByteArrayView haystack, QByteArrayView needle) {
    const char* h = haystack.data();
    const size_t n = size_t(haystack.size());
    const size_t m = size_t(needle.size());
    if (m < 2 || n < m)
        return containsBytes(haystack, needle);
    // Places a match may start at, before `end`, not yet looked at.
    size_t end = n - m + 1;
#ifdef __SSE2__
    const Probe probe(needle);
    for (; end >= 32; end -= 32) {
        if (probe.first(h, end - 32, probe.thirtyTwo(h, end - 32)) >= 0)
            return true;
    }
    for (; end >= 16; end -= 16) {
        if (probe.first(h, end - 16, probe.sixteen(h, end - 16)) >= 0)
            return true;
    }
#endif
    return ::memmem(h, end + m - 1, needle.data(), m) != nullptr;
}

std::optional<QString> strictUtf8(QByteArrayView bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace AIUsageText
