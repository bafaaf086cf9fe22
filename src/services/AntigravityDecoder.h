// The small wire-format walk that turns Antigravity's stored credits value into numbers per key. Input is
// another program's data: every length is checked against what is there, so no value can make the walk
// loop or read outside the buffer.
#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

#include <optional>

namespace AntigravityDecoder {

// The (key, text) pairs of a message of repeated map entries (field 1), each holding its key in field 1
// and, in field 2, a message whose field 1 is the text (with a one-byte length). In the data's order.
QList<QPair<QString, QString>> parseProtobufStringMap(const QByteArray& data);

// The varint after the first 0x10 byte of `data`; nothing when there is none or it is cut short. Groups
// past 64 bits are dropped.
std::optional<qint64> firstVarint(const QByteArray& data);

// The number per key of the Base64 map value: each entry's text is Base64 of a message holding the
// number. A later entry with the same key replaces an earlier one.
QMap<QString, qint64> credits(const QByteArray& decodedValue);

// Strict standard Base64 (padding required, no stray characters); nothing when the text is not that.
std::optional<QByteArray> strictBase64(QByteArrayView text);

} // namespace AntigravityDecoder
