// One entry as a source delivers it, before it belongs to a followed source. Never stored.
#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

struct RawItem {
    QString id;
    QString title;
    QString link;
    std::optional<QDateTime> published;
    QString summary;
    bool operator==(const RawItem&) const = default;
};
