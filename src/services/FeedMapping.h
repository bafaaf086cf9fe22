// What the elements of an RSS 2.0, RSS 1.0 (RDF) or Atom document mean: the feed's title and its
// entries, gathered while the XML reader walks the document.
#pragma once

#include "services/FeedParser.h"

#include <QByteArrayView>

#include <cstring>
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
    // Character data since the last start or end tag, references already replaced; `cdata` tells
    // whether it stood in a CDATA section. Outside one, a "<" or "&" can only have been written
    // escaped: the feed marked the text up on purpose.
    void text(const char* utf8, qsizetype size, bool cdata = false) {
        m_text.append(utf8, size_t(size));
        if (!cdata && !m_escapedMarkup)
            m_escapedMarkup = std::memchr(utf8, '<', size_t(size)) || std::memchr(utf8, '&', size_t(size));
    }
    void end(Role role);

    // The title and entries, or nothing when the document held neither.
    std::optional<ParsedFeed> result() const;

private:
    // How the title being read is written: as Atom says (text, html or xhtml), or unsaid.
    enum class TitleType : quint8 { unsaid, text, html, xhtml };

    QString takeText() const;
    QString shownTitle(const QString& text) const;

    QString m_feedTitle;
    QList<RawItem> m_items;
    std::string m_text;
    bool m_inItem = false;
    bool m_beforeFirstItem = true;
    QString m_itemTitle, m_itemLink, m_itemID, m_itemSummary;
    QString m_itemRawTitle; // the title as the feed wrote it
    TitleType m_titleType = TitleType::unsaid;
    bool m_escapedMarkup = false; // of the text gathered since the last start or end tag
    std::optional<QDateTime> m_itemDate;
};
