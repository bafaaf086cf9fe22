// Reads an RSS 2.0, RSS 1.0 (RDF) or Atom document into its title and entries, in one streaming pass.
// Hostile documents (declared entities, deep nesting, oversized bodies) are refused, never expanded.
#pragma once

#include "model/RawItem.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

struct ParsedFeed {
    QString title;
    QList<RawItem> items;
};

class FeedParser {
public:
    // Larger bodies are refused before parsing; the network side stops reading at the same size.
    static constexpr qsizetype kMaxBodyBytes = 10 * 1024 * 1024;
    // Real feeds nest a handful of levels; anything deeper than this is not a feed.
    static constexpr int kMaxDepth = 256;

    // The title and entries, or nothing for a document that is malformed, hostile, or holds neither a
    // title nor an entry. `error` (when given) receives why nothing came out.
    static std::optional<ParsedFeed> parse(const QByteArray& bytes, QString* error = nullptr);

    // RFC 822 dates ("Tue, 03 Jun 2008 11:05:30 GMT", with or without the weekday or the seconds, a
    // two-digit year, a numeric offset or a named zone) and ISO 8601 date-times with a zone and whole
    // seconds. Anything else gives nothing.
    static std::optional<QDateTime> parseDate(QStringView text);

    // An HTML fragment as one line of plain text: tags dropped, block ends leave a word gap, entities
    // decoded, runs of spaces collapsed.
    static QString semHTML(const QString& html);
};
