// The dates feeds write: RFC 822 in RSS, ISO 8601 in Atom and Dublin Core, read strictly into UTC.
#pragma once

#include <QDateTime>
#include <QStringView>

#include <optional>

class FeedDates {
public:
    // RFC 822 dates ("Tue, 03 Jun 2008 11:05:30 GMT", with or without the weekday or the seconds, a
    // two-digit year, a numeric offset or a named zone) and ISO 8601 date-times with a zone and whole
    // seconds. Anything else gives nothing.
    static std::optional<QDateTime> parse(QStringView text);
};
