// One entry of a service's merged list, with its read state, and the codec of "<prefix>-items.json".
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

struct NewsItem {
    std::optional<QString> summary;
    QString id; // identity within the service: merging and read state go by it
    QUuid feedID;
    QString feedTitle; // the source's title when the entry was fetched
    QString title;
    QString link;
    std::optional<QDateTime> published;
    bool seen = false;
    bool operator==(const NewsItem&) const = default;
};

namespace NewsItems {

// Stored dates are seconds since 2001-01-01 00:00:00 UTC as a double, fractions kept.
double dateToJson(const QDateTime& date);
QDateTime dateFromJson(double seconds);

std::optional<NewsItem> fromJson(const QJsonValue& value);
QJsonObject toJson(const NewsItem& item);

// The whole list, or nothing when any record is unreadable (see Feeds::decode).
std::optional<QList<NewsItem>> decode(const QByteArray& bytes);
QByteArray encode(const QList<NewsItem>& items);

} // namespace NewsItems
