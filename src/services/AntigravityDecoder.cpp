// Bounded decoding of the Antigravity credits value.
#include "services/AntigravityDecoder.h"

#include "services/AIUsageText.h"

namespace AntigravityDecoder {

namespace {

// Reads a varint at `at`; on success sets `value` and `next` (the index after it). False when the data
// ends inside it. Bits past the 64th are dropped instead of shifted out of range.
bool readVarint(const QByteArray& b, qsizetype at, quint64* value, qsizetype* next) {
    quint64 v = 0;
    unsigned shift = 0;
    for (qsizetype i = at; i < b.size(); ++i) {
        const quint8 byte = quint8(b[i]);
        if (shift < 64)
            v |= quint64(byte & 0x7F) << shift;
        shift += 7;
        if (!(byte & 0x80)) {
            *value = v;
            *next = i + 1;
            return true;
        }
    }
    return false;
}

QString utf8OrEmpty(QByteArrayView bytes) {
    return AIUsageText::strictUtf8(bytes).value_or(QString());
}

} // namespace

QList<QPair<QString, QString>> parseProtobufStringMap(const QByteArray& b) {
    QList<QPair<QString, QString>> pairs;
    const qsizetype n = b.size();
    qsizetype i = 0;
    while (i < n) {
        if (quint8(b[i]) != 0x0A || i == n - 1)
            break;
        quint64 length;
        qsizetype entryStart;
        if (!readVarint(b, i + 1, &length, &entryStart))
            break;
        // A length past the data runs the entry to the end of the data, and the walk stops after it.
        const qsizetype entryEnd = length > quint64(n - entryStart) ? n : entryStart + qsizetype(length);
        QString key;
        QString value;
        qsizetype q = entryStart;
        while (q < entryEnd) {
            const quint8 tag = quint8(b[q]);
            if (q == n - 1)
                break;
            quint64 fieldLength;
            qsizetype fieldStart;
            if (!readVarint(b, q + 1, &fieldLength, &fieldStart))
                break;
            if (fieldLength > quint64(n - fieldStart))
                break;
            const qsizetype fieldEnd = fieldStart + qsizetype(fieldLength);
            if (tag == 0x0A) {
                key = utf8OrEmpty(QByteArrayView(b).sliced(fieldStart, fieldEnd - fieldStart));
            } else if (tag == 0x12) {
                const QByteArrayView f = QByteArrayView(b).sliced(fieldStart, fieldEnd - fieldStart);
                if (f.size() >= 2 && quint8(f[0]) == 0x0A && f.size() >= qsizetype(quint8(f[1])) + 2)
                    value = utf8OrEmpty(f.sliced(2, quint8(f[1])));
            }
            q = fieldEnd;
        }
        if (!key.isEmpty())
            pairs.append({key, value});
        i = entryEnd;
    }
    return pairs;
}

std::optional<qint64> firstVarint(const QByteArray& data) {
    const qsizetype at = data.indexOf(char(0x10));
    if (at < 0 || at == data.size() - 1)
        return std::nullopt;
    quint64 value;
    qsizetype next;
    if (!readVarint(data, at + 1, &value, &next))
        return std::nullopt;
    return qint64(value);
}

std::optional<QByteArray> strictBase64(QByteArrayView text) {
    if (text.size() % 4 != 0)
        return std::nullopt;
    for (char c : text) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                        c == '+' || c == '/' || c == '=';
        if (!ok)
            return std::nullopt;
    }
    // Padding only at the very end, at most two characters of it.
    const qsizetype firstPad = text.indexOf('=');
    if (firstPad >= 0 &&
        (text.size() - firstPad > 2 || text.sliced(firstPad).count('=') != text.size() - firstPad))
        return std::nullopt;
    auto result = QByteArray::fromBase64Encoding(text.toByteArray(), QByteArray::AbortOnBase64DecodingErrors);
    if (!result)
        return std::nullopt;
    return *result;
}

QMap<QString, qint64> credits(const QByteArray& decodedValue) {
    QMap<QString, qint64> numbers;
    for (const auto& [key, text] : parseProtobufStringMap(decodedValue)) {
        const std::optional<QByteArray> inner = strictBase64(text.toLatin1());
        if (!inner)
            continue;
        if (const std::optional<qint64> number = firstVarint(*inner))
            numbers.insert(key, *number);
    }
    return numbers;
}

} // namespace AntigravityDecoder
