#include "model/KanbanCard.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <cmath>

namespace {

// Dates are seconds since 2001-01-01 UTC, as the board has always been stored.
const QDateTime kReferenceDate(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
// Beyond this a date no longer fits QDateTime's milliseconds; such a value is not a date we wrote.
constexpr double kMaxSeconds = 1e13;

} // namespace

namespace KanbanCards {

QString rawValue(KanbanColumn column) {
    switch (column) {
    case KanbanColumn::todo:
        return QStringLiteral("todo");
    case KanbanColumn::doing:
        return QStringLiteral("doing");
    case KanbanColumn::done:
        return QStringLiteral("done");
    }
    return {};
}

std::optional<KanbanColumn> columnFromRaw(const QString& raw) {
    for (KanbanColumn c : kColumns)
        if (rawValue(c) == raw)
            return c;
    return std::nullopt;
}

QString title(KanbanColumn column) {
    switch (column) {
    case KanbanColumn::todo:
        return QStringLiteral("A fazer");
    case KanbanColumn::doing:
        return QStringLiteral("Em andamento");
    case KanbanColumn::done:
        return QStringLiteral("Concluído");
    }
    return {};
}

QString symbol(KanbanColumn column) {
    switch (column) {
    case KanbanColumn::todo:
        return QStringLiteral("circle");
    case KanbanColumn::doing:
        return QStringLiteral("circle.lefthalf.filled");
    case KanbanColumn::done:
        return QStringLiteral("checkmark.circle.fill");
    }
    return {};
}

std::optional<QUuid> parseId(const QString& text) {
    static const QRegularExpression shape(
        QStringLiteral("^[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}$"));
    if (!shape.match(text).hasMatch())
        return std::nullopt;
    return QUuid::fromString(text);
}

QString idString(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QList<KanbanCard>> decode(const QJsonValue& stored) {
    QJsonArray array;
    if (stored.isArray()) {
        array = stored.toArray();
    } else if (stored.isString()) {
        const QJsonDocument doc = QJsonDocument::fromJson(stored.toString().toUtf8());
        if (!doc.isArray())
            return std::nullopt;
        array = doc.array();
    } else {
        return std::nullopt;
    }
    QList<KanbanCard> cards;
    cards.reserve(array.size());
    for (const QJsonValue& v : array) {
        if (!v.isObject())
            return std::nullopt;
        const QJsonObject o = v.toObject();
        const QJsonValue id = o.value(QLatin1String("id")), title = o.value(QLatin1String("title")),
                         details = o.value(QLatin1String("details")),
                         column = o.value(QLatin1String("column")),
                         created = o.value(QLatin1String("createdAt"));
        if (!id.isString() || !title.isString() || !column.isString() || !created.isDouble())
            return std::nullopt;
        if (!(details.isUndefined() || details.isNull() || details.isString()))
            return std::nullopt;
        const std::optional<QUuid> uuid = parseId(id.toString());
        const std::optional<KanbanColumn> stage = columnFromRaw(column.toString());
        const double seconds = created.toDouble();
        if (!uuid || !stage || !std::isfinite(seconds) || std::fabs(seconds) > kMaxSeconds)
            return std::nullopt;
        KanbanCard card;
        card.id = *uuid;
        card.title = title.toString();
        if (details.isString())
            card.details = details.toString();
        card.column = *stage;
        card.createdAt = kReferenceDate.addMSecs(qint64(std::llround(seconds * 1000.0)));
        cards.append(std::move(card));
    }
    return cards;
}

QJsonArray encode(const QList<KanbanCard>& cards) {
    QJsonArray array;
    for (const KanbanCard& card : cards) {
        QJsonObject o;
        o.insert(QLatin1String("id"), idString(card.id));
        o.insert(QLatin1String("title"), card.title);
        if (card.details)
            o.insert(QLatin1String("details"), *card.details);
        o.insert(QLatin1String("column"), rawValue(card.column));
        o.insert(QLatin1String("createdAt"), double(kReferenceDate.msecsTo(card.createdAt)) / 1000.0);
        array.append(o);
    }
    return array;
}

} // namespace KanbanCards
