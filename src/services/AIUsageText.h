// Texts and dates shared by the AI usage readers: reset phrases, short token counts, plan names and the
// ISO 8601 moments the tools write.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

namespace AIUsageText {

// A short Brazilian Portuguese phrase for `date` seen from `now` ("em 2 h", "há 5 min"), as the reset
// details show it after "renova ".
QString relative(const QDateTime& date, const QDateTime& now);
// "renova " followed by the relative phrase.
QString renews(const QDateTime& date, const QDateTime& now);

// 999 → "999", 12345 → "12k", 999999 → "1000k", 3400000 → "3.4M", ties to the even digit as C's printf
// rounds them (2500 → "2k", 1250000 → "1.2M"); never with the user's decimal comma.
QString compact(qint64 n);

// First letter of each word in upper case, the others in lower case ("pro plan" → "Pro Plan").
QString capitalised(const QString& text);

// "YYYY-MM-DDTHH:MM:SS", optionally with 1 to 9 fractional digits, then "Z" or "±HH:MM". Nothing for
// any other text. `withFraction` chooses which of the two forms is accepted.
std::optional<QDateTime> parseInternetDate(QByteArrayView text, bool withFraction);
// Either form.
std::optional<QDateTime> parseInternetDate(QByteArrayView text);
// The same moment as milliseconds since 1970 (UTC), without building a date: what a log line's timestamp
// costs when every line has one.
std::optional<qint64> internetDateMsecs(QByteArrayView text);

// Where `needle` first occurs in `haystack`, or -1: the marker test every log line goes through, at memory
// speed.
qsizetype indexOfBytes(QByteArrayView haystack, QByteArrayView needle);
inline bool containsBytes(QByteArrayView haystack, QByteArrayView needle) {
    return indexOfBytes(haystack, needle) >= 0;
}

// The same answer, searching from the end: quicker where a marker, when there, is near the end.
bool containsBytesFromEnd(QByteArrayView haystack, QByteArrayView needle);

// The bytes as text when they are valid UTF-8, else nothing.
std::optional<QString> strictUtf8(QByteArrayView bytes);

} // namespace AIUsageText
