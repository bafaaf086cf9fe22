// How a feed's bytes are to be read: the encoding its XML declaration names, and the form the readers
// take the document in.
#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

namespace FeedEncoding {

// Bytes 0x80..0x9F of windows-1252; 0 where the code page leaves a hole.
inline constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The encoding named in the XML declaration, lower-cased; empty when none is declared.
QByteArray declaredEncoding(const QByteArray& bytes);

// The document as the bytes themselves (UTF-8 or UTF-16), in a single-byte encoding read by hand, or
// (for rarer encodings Qt knows) as text decoded beforehand.
struct Source {
    enum class Kind { bytes, latin1, cp1252, text };
    Kind kind = Kind::bytes;
    QString text; // Kind::text only
};

// Nothing, with `unsupported` set, when the declared encoding cannot be read.
std::optional<Source> sourceOf(const QByteArray& bytes, QString* unsupported);

} // namespace FeedEncoding
