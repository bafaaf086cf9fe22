// A followed source and the codec of the "<prefix>-feeds.json" store.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

struct Feed {
    QUuid id;
    QString title;
    QString siteURL; // shown for the source
    QString feedURL; // fetched on every refresh; unique within one service
    bool operator==(const Feed&) const = default;
};

namespace Feeds {

// A UUID only in its plain 36-character hyphenated form (braces and other spellings are refused).
std::optional<QUuid> uuidFromJson(const QJsonValue& value);
QString uuidToJson(const QUuid& id);

std::optional<Feed> fromJson(const QJsonValue& value);
QJsonObject toJson(const Feed& feed);

// The whole list, or nothing when any record is unreadable: one broken record makes the store
// unreadable so that it is set aside instead of being thinned out by the next save.
std::optional<QList<Feed>> decode(const QByteArray& bytes);
QByteArray encode(const QList<Feed>& feeds);

} // namespace Feeds
