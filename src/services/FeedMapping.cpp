// Element names are compared lower-cased, prefix included; entries are kept only when they hold
// something to show.
#include "services/FeedMapping.h"

#include "services/FeedDates.h"
#include "services/HtmlText.h"

#include <cstring>

namespace {

// Valid UTF-8 as text, a leading U+FEFF kept (QString::fromUtf8 would drop it as a byte-order mark).
QString textOf(QByteArrayView utf8) {
    if (!utf8.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(utf8);
    return QChar(0xFEFF) + QString::fromUtf8(utf8.sliced(3));
}

// The value of attribute `name`, or null.
const char* attributeValue(const char* const* attributes, const char* name) {
    for (const char* const* a = attributes; *a; a += 2)
        if (strcmp(*a, name) == 0)
            return a[1];
    return nullptr;
}

} // namespace

FeedMapping::Role FeedMapping::roleOf(QByteArrayView name) {
    static const struct {
        QByteArrayView name;
        Role role;
    } roles[] = {{"item", Role::item},
                 {"entry", Role::item},
                 {"title", Role::title},
                 {"link", Role::link},
                 {"guid", Role::id},
                 {"id", Role::id},
                 {"description", Role::summary},
                 {"summary", Role::summary},
                 {"content", Role::summary},
                 {"content:encoded", Role::summary},
                 {"pubdate", Role::date},
                 {"published", Role::date},
                 {"updated", Role::date},
                 {"dc:date", Role::date}};
    char lower[16];
    if (name.size() > qsizetype(sizeof lower))
        return Role::other;
    bool ascii = true;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char c = name[i];
        ascii = ascii && uchar(c) < 0x80;
        lower[i] = c >= 'A' && c <= 'Z' ? char(c + 32) : c;
    }
    if (!ascii) {
        // Full lower-casing can turn a non-ASCII letter into an ASCII one (the Kelvin sign into "k").
        const QString folded = textOf(name).toLower();
        for (const auto& r : roles)
            if (folded == QLatin1StringView(r.name.data(), r.name.size()))
                return r.role;
        return Role::other;
    }
    // By length first: most names are none of these, and the rest are told apart by one comparison.
    auto is = [&lower](const char* word, size_t n) { return memcmp(lower, word, n) == 0; };
    switch (name.size()) {
    case 2:
        return is("id", 2) ? Role::id : Role::other;
    case 4:
        return is("item", 4)   ? Role::item
               : is("link", 4) ? Role::link
               : is("guid", 4) ? Role::id
                               : Role::other;
    case 5:
        return is("entry", 5) ? Role::item : is("title", 5) ? Role::title : Role::other;
    case 7:
        if (is("summary", 7) || is("content", 7))
            return Role::summary;
        return is("pubdate", 7) || is("updated", 7) || is("dc:date", 7) ? Role::date : Role::other;
    case 9:
        return is("published", 9) ? Role::date : Role::other;
    case 11:
        return is("description", 11) ? Role::summary : Role::other;
    case 15:
        return is("content:encoded", 15) ? Role::summary : Role::other;
    default:
        return Role::other;
    }
}

void FeedMapping::start(Role role, const char* const* attributes) {
    m_text.clear();
    m_escapedMarkup = false;
    if (role == Role::title) {
        // Atom says how its titles are written; RSS titles carry no such word.
        const char* type = attributeValue(attributes, "type");
        m_titleType = !type                        ? TitleType::unsaid
                      : strcmp(type, "html") == 0  ? TitleType::html
                      : strcmp(type, "xhtml") == 0 ? TitleType::xhtml
                                                   : TitleType::text;
    } else if (role == Role::item) {
        m_inItem = true;
        m_beforeFirstItem = false;
        m_itemTitle.clear();
        m_itemRawTitle.clear();
        m_itemLink.clear();
        m_itemID.clear();
        m_itemSummary.clear();
        m_itemDate.reset();
    } else if (role == Role::link && m_inItem && *attributes) {
        const char* href = attributeValue(attributes, "href");
        if (!href)
            return;
        const char* rel = attributeValue(attributes, "rel");
        if (rel && strcmp(rel, "alternate") != 0)
            return;
        m_itemLink = textOf(QByteArrayView(href));
    }
}

void FeedMapping::end(Role role) {
    if (!m_inItem) {
        if (role == Role::title && m_beforeFirstItem && m_feedTitle.isEmpty())
            m_feedTitle = shownTitle(takeText());
        m_text.clear();
        m_escapedMarkup = false;
        return;
    }
    switch (role) {
    case Role::title:
        m_itemRawTitle = takeText();
        m_itemTitle = shownTitle(m_itemRawTitle);
        break;
    case Role::link:
        if (m_itemLink.isEmpty())
            m_itemLink = takeText();
        break;
    case Role::id:
        m_itemID = takeText();
        break;
    case Role::summary:
        if (m_itemSummary.isEmpty())
            m_itemSummary = HtmlText::plainLine(takeText());
        break;
    case Role::date:
        if (!m_itemDate)
            m_itemDate = FeedDates::parse(takeText());
        break;
    case Role::item:
        m_inItem = false;
        if (!m_itemTitle.isEmpty() || !m_itemLink.isEmpty() || !m_itemSummary.isEmpty()) {
            // Keyed by the title as written, so that entries stored before titles were read as HTML
            // keep their identity (and their read state).
            const QString id = !m_itemID.isEmpty()     ? m_itemID
                               : !m_itemLink.isEmpty() ? m_itemLink
                                                       : m_itemRawTitle;
            m_items.append(RawItem{id, m_itemTitle, m_itemLink, m_itemDate, m_itemSummary});
        }
        break;
    case Role::other:
        break;
    }
    m_text.clear();
    m_escapedMarkup = false;
}

std::optional<ParsedFeed> FeedMapping::result() const {
    if (m_items.isEmpty() && m_feedTitle.isEmpty())
        return std::nullopt;
    return ParsedFeed{m_feedTitle, m_items};
}

QString FeedMapping::shownTitle(const QString& text) const {
    // HTML titles (Atom's type="html", and RSS titles that hold escaped tags or entities) are shown as
    // the text they mark up; a plain title, one Atom calls text, or one written in a CDATA section
    // ("Knots <and> ropes") stays as written.
    switch (m_titleType) {
    case TitleType::html:
        return HtmlText::plainLine(text);
    case TitleType::unsaid:
        return m_escapedMarkup && HtmlText::hasMarkup(text) ? HtmlText::plainLine(text) : text;
    case TitleType::text:
    case TitleType::xhtml:
        break;
    }
    return text;
}

QString FeedMapping::takeText() const {
    return textOf(QByteArrayView(m_text.data(), qsizetype(m_text.size()))).trimmed();
}
