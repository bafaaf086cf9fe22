// What the elements of an RSS 2.0, RSS 1.0 (RDF) or Atom document mean: the feed's title and its
// entries, gathered while the XML reader walks the document.
#pragma once

#include "services/FeedParser.h"

#include <QByteArrayView>

#include <optional>
#include <string>

class FeedMapping {
public:
    // What an element stands for, decided once from its name.
    enum class Role : quint8 { other, item, title, link, id, summary, date };

    // The role of an element by its name as written (UTF-8, prefix included, "dc:date"), without
    // regard to case.
    static Role roleOf(QByteArrayView name);

    // An element opens. `attributes` holds names and values in turn (UTF-8, references replaced) and
    // ends with a null.
    void start(Role role, const char* const* attributes);
    // Character data since the last start or end tag, references already replaced.
    void text(const char* utf8, qsizetype size) { m_text.append(utf8, size_t(size)); }
    void end(Role role);

    // The title and entries, or nothing when the document held neither.
    std::optional<ParsedFeed> result() const;

private:
    QString takeText() const;

    QString m_feedTitle;
    QList<RawItem> m_items;
    std::string m_text;
    bool m_inItem = false;
    bool m_beforeFirstItem = true;
    QString m_itemTitle, m_itemLink, m_itemID, m_itemSummary;
    std::optional<QDateTime> m_itemDate;
};
