// The feeds store's JSON form: an array of {"id", "title", "siteURL", "feedURL"}, all required.
#include "model/Feed.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

namespace Feeds {

std::optional<QUuid> uuidFromJson(const QJsonValue& value) {
    if (!value.isString())
        return std::nullopt;
    static const QRegularExpression plain(QRegularExpression::anchoredPattern(
        QStringLiteral("[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}")));
    const QString text = value.toString();
    if (!plain.match(text).hasMatch())
        return std::nullopt;
    const QUuid id = QUuid::fromString(text);
    if (id.isNull() && text != QStringLiteral("00000000-0000-0000-0000-000000000000"))
        return std::nullopt;
    return id;
}

QString uuidToJson(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<Feed> fromJson(const QJsonValue& value) {
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject o = value.toObject();
    const auto id = uuidFromJson(o.value(QLatin1String("id")));
    const QJsonValue title = o.value(QLatin1String("title"));
    const QJsonValue site = o.value(QLatin1String("siteURL"));
    const QJsonValue feed = o.value(QLatin1String("feedURL"));
    if (!id || !title.isString() || !site.isString() || !feed.isString())
        return std::nullopt;
    return Feed{*id, title.toString(), site.toString(), feed.toString()};
}

QJsonObject toJson(const Feed& feed) {
    return QJsonObject{{QStringLiteral("id"), uuidToJson(feed.id)},
                       {QStringLiteral("title"), feed.title},
                       {QStringLiteral("siteURL"), feed.siteURL},
                       {QStringLiteral("feedURL"), feed.feedURL}};
}

std::optional<QList<Feed>> decode(const QByteArray& bytes) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return std::nullopt;
    QList<Feed> feeds;
    for (const QJsonValue& v : doc.array()) {
        auto feed = fromJson(v);
        if (!feed)
            return std::nullopt;
        feeds.append(*feed);
    }
    return feeds;
}

QByteArray encode(const QList<Feed>& feeds) {
    QJsonArray array;
    for (const Feed& f : feeds)
        array.append(toJson(f));
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

} // namespace Feeds
