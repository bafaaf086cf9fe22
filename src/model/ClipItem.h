// One entry of the clipboard history, and the codec of "clipboard.json" (a compact array, newest first).
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QUuid>

#include <optional>

struct ClipItem {
    QUuid id;
    QString text;
    QDateTime date;
    bool pinned = false;

    bool operator==(const ClipItem& o) const {
        return id == o.id && text == o.text && date == o.date && pinned == o.pinned;
    }
};
Q_DECLARE_METATYPE(ClipItem)

namespace ClipItemCodec {

// Dates are stored as seconds since 2001-01-01 00:00:00 UTC, the reference date of the stored format.
double toReferenceSeconds(const QDateTime& date);
QDateTime fromReferenceSeconds(double seconds);

// The canonical 8-4-4-4-12 hexadecimal form, either case, nothing around it (no braces).
std::optional<QUuid> parseUuid(const QString& text);

// Keys in the order id, text, date, pinned; ids in upper case; no white space.
QByteArray encode(const QList<ClipItem>& items);
// Nothing when anything is wrong: not an array, an element that is not an object, a missing key, a key of
// the wrong JSON type or a malformed id. Unknown keys are ignored.
std::optional<QList<ClipItem>> decode(const QByteArray& json);

} // namespace ClipItemCodec
