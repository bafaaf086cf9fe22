// Hand-written readers for the two date shapes, since Qt's own accept more than a feed may send.
#include "services/FeedDates.h"

namespace {

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

} // namespace

std::optional<QDateTime> FeedDates::parse(QStringView text) {
    text = text.trimmed();
    if (text.isEmpty() || text.size() > 64)
        return std::nullopt;
    if (auto d = parseRfc822(text))
        return d;
    return parseIso(text);
}
