// The shelf's store: a JSON list of {id, path, addedAt}.
#include "model/ShelfItem.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// Dates are stored as seconds since 2001-01-01 UTC, as the shelf's file has always held them.
const QDateTime kReferenceDate(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);

} // namespace

namespace ShelfItems {

std::optional<QList<ShelfItem>> decode(const QByteArray& bytes) {
    const QJsonDocument doc = QJsonDocument::fromJson(bytes);
    if (!doc.isArray())
        return std::nullopt;
    QList<ShelfItem> loaded;
    for (const QJsonValue& v : doc.array()) {
        const QJsonObject o = v.toObject();
        const QJsonValue id = o.value("id"), path = o.value("path"), added = o.value("addedAt");
        if (!id.isString() || !path.isString() || !added.isDouble())
            return std::nullopt; // one broken entry makes the whole store unreadable
        const QUuid uuid = QUuid::fromString(id.toString());
        if (uuid.isNull())
            return std::nullopt;
        loaded.append({uuid, path.toString(), kReferenceDate.addMSecs(qint64(added.toDouble() * 1000.0))});
    }
    return loaded;
}

QByteArray encode(const QList<ShelfItem>& items) {
    QJsonArray array;
    for (const ShelfItem& item : items) {
        QJsonObject o;
        o.insert("id", item.id.toString(QUuid::WithoutBraces).toUpper());
        o.insert("path", item.path);
        o.insert("addedAt", double(kReferenceDate.msecsTo(item.addedAt)) / 1000.0);
        array.append(o);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

} // namespace ShelfItems
