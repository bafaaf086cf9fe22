// A file on the shelf, kept by path, and the codec of the shelf's store.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

struct ShelfItem {
    QUuid id;
    QString path;
    QDateTime addedAt;
    bool operator==(const ShelfItem&) const = default;
};

namespace ShelfItems {

// The store's items in file order; nothing when the text is not a list of whole entries (one broken
// entry makes the whole store unreadable, so that it is set aside rather than thinned out).
std::optional<QList<ShelfItem>> decode(const QByteArray& bytes);
QByteArray encode(const QList<ShelfItem>& items);

} // namespace ShelfItems
