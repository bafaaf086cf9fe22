// A task on the board, its three stages, and the codec of the stored board.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

enum class KanbanColumn { todo, doing, done };

struct KanbanCard {
    QUuid id;
    QString title;
    std::optional<QString> details;
    KanbanColumn column = KanbanColumn::todo;
    QDateTime createdAt;

    bool operator==(const KanbanCard&) const = default;
};

namespace KanbanCards {

inline constexpr KanbanColumn kColumns[] = {KanbanColumn::todo, KanbanColumn::doing, KanbanColumn::done};

QString rawValue(KanbanColumn column);
std::optional<KanbanColumn> columnFromRaw(const QString& raw);
// The stage's heading, shown as written.
QString title(KanbanColumn column);
QString symbol(KanbanColumn column);

// Exactly 8-4-4-4-12 hexadecimal digits, any case; nothing for anything else (braces included).
std::optional<QUuid> parseId(const QString& text);
QString idString(const QUuid& id);

// The stored board in order; nothing when any element is not a whole card, so that one broken
// card makes the value unreadable rather than silently thinned out. Takes the array itself or a
// string holding its JSON text.
std::optional<QList<KanbanCard>> decode(const QJsonValue& stored);
QJsonArray encode(const QList<KanbanCard>& cards);

} // namespace KanbanCards
