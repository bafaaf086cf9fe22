// A one-pass JSON pretty-printer for the kit, many times faster than a QJsonDocument round trip, whose output
// it reproduces to the byte: four spaces per level, keys sorted by UTF-16 code unit with the last of equal
// keys kept, Qt's escaping and Qt's number notation. It reads plain standard JSON only and declines the
// rest (errors, Qt's leniencies, lone surrogates, extreme numbers, deep nesting), which the caller then
// hands to Qt for its verdict and its error text.
#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace JsonPrettyPrinter {

// Deeper documents are declined; Qt refuses them itself a little further down.
inline constexpr int kMaxDepth = 512;

// One JSON value (a bare scalar included) with optional surrounding whitespace, printed; none when declined.
// The text must be valid UTF-16.
std::optional<QString> indented(QStringView text);

} // namespace JsonPrettyPrinter
