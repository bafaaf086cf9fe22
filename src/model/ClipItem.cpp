// The clipboard store's codec. Written by hand: the stored key order is fixed, which QJsonDocument
// (sorted keys) cannot keep.
#include "model/ClipItem.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <cmath>

namespace ClipItemCodec {

namespace {

constexpr qint64 kReferenceOffsetSeconds = 978307200; // 2001-01-01 00:00:00 UTC in Unix seconds
constexpr double kLargestReferenceSeconds = 1e11;

bool isHex(QChar c) {
    const char16_t u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
}

void appendString(QByteArray& out, const QString& s) {
    static const char hex[] = "0123456789abcdef";
    const QByteArray utf8 = s.toUtf8();
    out.reserve(out.size() + utf8.size() + 2);
    out.append('"');
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"':
            out.append("\\\"", 2);
            break;
        case '\\':
            out.append("\\\\", 2);
            break;
        case '\n':
            out.append("\\n", 2);
            break;
        case '\r':
            out.append("\\r", 2);
            break;
        case '\t':
            out.append("\\t", 2);
            break;
        default:
            if (c < 0x20) {
                const char esc[] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 15]};
                out.append(esc, 6);
            } else {
                out.append(ch);
            }
        }
    }
    out.append('"');
}

} // namespace

double toReferenceSeconds(const QDateTime& date) {
    return double(date.toMSecsSinceEpoch()) / 1000.0 - double(kReferenceOffsetSeconds);
}

QDateTime fromReferenceSeconds(double seconds) {
    return QDateTime::fromMSecsSinceEpoch(qRound64((seconds + double(kReferenceOffsetSeconds)) * 1000.0),
                                          Qt::UTC);
}

std::optional<QUuid> parseUuid(const QString& text) {
    if (text.size() != 36)
        return std::nullopt;
    for (int i = 0; i < 36; ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? text.at(i) != u'-' : !isHex(text.at(i)))
            return std::nullopt;
    }
    const QUuid id = QUuid::fromString(text);
    if (id.isNull() && text != QStringLiteral("00000000-0000-0000-0000-000000000000"))
        return std::nullopt;
    return id;
}

QByteArray encode(const QList<ClipItem>& items) {
    QByteArray out;
    qsizetype estimate = 2;
    for (const ClipItem& item : items)
        estimate += item.text.size() + 96;
    out.reserve(estimate);
    out.append('[');
    bool first = true;
    for (const ClipItem& item : items) {
        if (!first)
            out.append(',');
        first = false;
        out.append("{\"id\":\"");
        out.append(item.id.toString(QUuid::WithoutBraces).toUpper().toLatin1());
        out.append("\",\"text\":");
        appendString(out, item.text);
        out.append(",\"date\":");
        out.append(QByteArray::number(toReferenceSeconds(item.date), 'g', QLocale::FloatingPointShortest));
        out.append(",\"pinned\":");
        out.append(item.pinned ? "true" : "false");
        out.append('}');
    }
    out.append(']');
    return out;
}

std::optional<QList<ClipItem>> decode(const QByteArray& json) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return std::nullopt;
    const QJsonArray array = doc.array();
    QList<ClipItem> items;
    items.reserve(array.size());
    for (const QJsonValue& value : array) {
        if (!value.isObject())
            return std::nullopt;
        const QJsonObject o = value.toObject();
        const QJsonValue id = o.value(QLatin1String("id"));
        const QJsonValue text = o.value(QLatin1String("text"));
        const QJsonValue date = o.value(QLatin1String("date"));
        const QJsonValue pinned = o.value(QLatin1String("pinned"));
        if (!id.isString() || !text.isString() || !date.isDouble() || !pinned.isBool())
            return std::nullopt;
        const std::optional<QUuid> uuid = parseUuid(id.toString());
        // Beyond some thousands of years a date cannot be held in milliseconds: a damaged file.
        const double seconds = date.toDouble();
        if (!uuid || !std::isfinite(seconds) || std::abs(seconds) > kLargestReferenceSeconds)
            return std::nullopt;
        items.append(ClipItem{*uuid, text.toString(), fromReferenceSeconds(seconds), pinned.toBool()});
    }
    return items;
}

} // namespace ClipItemCodec
