// The items store's JSON form: "summary" and "published" may be missing or null, the rest is required.
#include "model/NewsItem.h"

#include "model/Feed.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>

namespace NewsItems {

namespace {
// 2001-01-01 00:00:00 UTC in Unix seconds.
constexpr qint64 kReferenceUnixSeconds = 978307200;
} // namespace

double dateToJson(const QDateTime& date) {
    return double(date.toMSecsSinceEpoch() - kReferenceUnixSeconds * 1000) / 1000.0;
}

QDateTime dateFromJson(double seconds) {
    return QDateTime::fromMSecsSinceEpoch(
        kReferenceUnixSeconds * 1000 + qint64(std::llround(seconds * 1000.0)), Qt::UTC);
}

std::optional<NewsItem> fromJson(const QJsonValue& value) {
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject o = value.toObject();
    NewsItem item;
    const QJsonValue summary = o.value(QLatin1String("summary"));
    if (summary.isString())
        item.summary = summary.toString();
    else if (!summary.isUndefined() && !summary.isNull())
        return std::nullopt;
    const QJsonValue published = o.value(QLatin1String("published"));
    if (published.isDouble()) {
        const double s = published.toDouble();
        // Beyond this a date cannot be held; such a number was never written by us.
        if (!std::isfinite(s) || std::fabs(s) > 1e14)
            return std::nullopt;
        item.published = dateFromJson(s);
    } else if (!published.isUndefined() && !published.isNull()) {
        return std::nullopt;
    }
    const QJsonValue id = o.value(QLatin1String("id"));
    const auto feedID = Feeds::uuidFromJson(o.value(QLatin1String("feedID")));
    const QJsonValue feedTitle = o.value(QLatin1String("feedTitle"));
    const QJsonValue title = o.value(QLatin1String("title"));
    const QJsonValue link = o.value(QLatin1String("link"));
    const QJsonValue seen = o.value(QLatin1String("seen"));
    if (!id.isString() || !feedID || !feedTitle.isString() || !title.isString() || !link.isString() ||
        !seen.isBool())
        return std::nullopt;
    item.id = id.toString();
    item.feedID = *feedID;
    item.feedTitle = feedTitle.toString();
    item.title = title.toString();
    item.link = link.toString();
    item.seen = seen.toBool();
    return item;
}

QJsonObject toJson(const NewsItem& item) {
    QJsonObject o{{QStringLiteral("id"), item.id},
                  {QStringLiteral("feedID"), Feeds::uuidToJson(item.feedID)},
                  {QStringLiteral("feedTitle"), item.feedTitle},
                  {QStringLiteral("title"), item.title},
                  {QStringLiteral("link"), item.link},
                  {QStringLiteral("seen"), item.seen}};
    if (item.summary)
        o.insert(QStringLiteral("summary"), *item.summary);
    if (item.published)
        o.insert(QStringLiteral("published"), dateToJson(*item.published));
    return o;
}

std::optional<QList<NewsItem>> decode(const QByteArray& bytes) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return std::nullopt;
    QList<NewsItem> items;
    for (const QJsonValue& v : doc.array()) {
        auto item = fromJson(v);
        if (!item)
            return std::nullopt;
        items.append(*item);
    }
    return items;
}

QByteArray encode(const QList<NewsItem>& items) {
    QJsonArray array;
    for (const NewsItem& i : items)
        array.append(toJson(i));
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

} // namespace NewsItems
