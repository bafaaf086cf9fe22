// The feed reader as it was built on QXmlStreamReader, kept for tests only: the expat-based reader in
// FeedParser must give the same entries, the same title and the same refusals on every document.
#include "fakes/StreamReaderFeedParser.h"

#include "services/FeedEncoding.h"
#include "services/HtmlText.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QXmlStreamReader>

#include <algorithm>
#include <array>
#include <utility>

namespace {

using FeedEncoding::kCp1252High;
using FeedEncoding::Source;
using FeedEncoding::sourceOf;

QString decodeCp1252(const QByteArray& bytes) {
    QString out(bytes.size(), Qt::Uninitialized);
    QChar* d = out.data();
    for (const char c : bytes) {
        const uchar b = uchar(c);
        if (b >= 0x80 && b <= 0x9F && kCp1252High[b - 0x80] != 0)
            *d++ = QChar(kCp1252High[b - 0x80]);
        else
            *d++ = QChar(b);
    }
    return out;
}

// Hands the document to the reader one slice at a time, as the reader asks for more. The reader then
// holds a slice, never the whole document, as text: a 10 MB body no longer costs 20 MB more of UTF-16
// (nor the time to copy it). Text handed over keeps its declared encoding from being applied again.
class Feeder {
public:
    static constexpr qsizetype kSliceBytes = 64 * 1024;

    Feeder(const QByteArray& bytes, const Source& source)
        : m_bytes(bytes)
        , m_source(source) {}

    bool more() const { return m_offset < total(); }

    void feed(QXmlStreamReader& r) {
        const qsizetype n = std::min(kSliceBytes, total() - m_offset);
        switch (m_source.kind) {
        case Source::Kind::bytes:
            r.addData(m_bytes.mid(m_offset, n));
            break;
        case Source::Kind::latin1:
            r.addData(QString::fromLatin1(m_bytes.constData() + m_offset, n));
            break;
        case Source::Kind::cp1252:
            r.addData(decodeCp1252(QByteArray::fromRawData(m_bytes.constData() + m_offset, n)));
            break;
        case Source::Kind::text:
            r.addData(m_source.text.mid(m_offset, n));
            break;
        }
        m_offset += n;
    }

private:
    qsizetype total() const {
        return m_source.kind == Source::Kind::text ? m_source.text.size() : m_bytes.size();
    }

    const QByteArray& m_bytes;
    const Source& m_source;
    qsizetype m_offset = 0;
};

// The element name lower-cased, as the handler compares it. ASCII names (all real feeds) are lowered
// into a reused buffer; anything else takes Qt's full lower-casing, as every name once did.
QStringView lowerName(QStringView name, QString& buffer) {
    const qsizetype n = name.size();
    buffer.resize(n);
    QChar* out = buffer.data();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = name[i].unicode();
        if (c >= 0x80) {
            buffer = name.toString().toLower();
            return buffer;
        }
        out[i] = QChar(c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c);
    }
    return buffer;
}

class Handler {
public:
    QString feedTitle;
    QList<RawItem> items;

    void start(const QXmlStreamReader& r) {
        const QStringView name = lowerName(r.qualifiedName(), nameBuffer);
        atual.resize(0); // keeps the buffer for the next text
        escapedMarkup = false;
        if (name == QLatin1String("title")) {
            const QXmlStreamAttributes a = r.attributes();
            titleType =
                a.hasAttribute(QLatin1String("type")) ? a.value(QLatin1String("type")).toString() : QString();
            titleTypeSaid = a.hasAttribute(QLatin1String("type"));
        } else if (name == QLatin1String("item") || name == QLatin1String("entry")) {
            emItem = true;
            emFeedTitle = false;
            itemTitle.clear();
            itemRawTitle.clear();
            itemLink.clear();
            itemID.clear();
            itemSummary.clear();
            itemDate.reset();
        } else if (name == QLatin1String("link") && emItem && !r.attributes().isEmpty()) {
            const QXmlStreamAttributes a = r.attributes();
            if (!a.hasAttribute(QLatin1String("href")))
                return;
            if (a.hasAttribute(QLatin1String("rel")) &&
                a.value(QLatin1String("rel")) != QLatin1String("alternate"))
                return;
            itemLink = a.value(QLatin1String("href")).toString();
        }
    }

    // The title rule the program reads titles by: HTML when Atom says so, or when an untyped title
    // holds markup written escaped (outside CDATA); otherwise as written.
    void characters(QStringView text, bool cdata) {
        atual.append(text);
        if (!cdata && (text.contains(u'<') || text.contains(u'&')))
            escapedMarkup = true;
    }
    QString shownTitle(const QString& text, bool escaped) const {
        if (titleTypeSaid)
            return titleType == QLatin1String("html") ? HtmlText::plainLine(text) : text;
        return escaped && HtmlText::hasMarkup(text) ? HtmlText::plainLine(text) : text;
    }
    qsizetype pending() const { return atual.size(); }

    void end(const QXmlStreamReader& r) {
        const QStringView name = lowerName(r.qualifiedName(), nameBuffer);
        const QString text = QStringView(atual).trimmed().toString();
        atual.resize(0);
        const bool escaped = std::exchange(escapedMarkup, false);
        if (!emItem) {
            if (name == QLatin1String("title") && emFeedTitle && feedTitle.isEmpty())
                feedTitle = shownTitle(text, escaped);
            return;
        }
        if (name == QLatin1String("title")) {
            itemRawTitle = text;
            itemTitle = shownTitle(text, escaped);
        } else if (name == QLatin1String("link")) {
            if (itemLink.isEmpty())
                itemLink = text;
        } else if (name == QLatin1String("guid") || name == QLatin1String("id")) {
            itemID = text;
        } else if (name == QLatin1String("description") || name == QLatin1String("summary") ||
                   name == QLatin1String("content") || name == QLatin1String("content:encoded")) {
            if (itemSummary.isEmpty())
                itemSummary = FeedParser::semHTML(text);
        } else if (name == QLatin1String("pubdate") || name == QLatin1String("published") ||
                   name == QLatin1String("updated") || name == QLatin1String("dc:date")) {
            if (!itemDate)
                itemDate = FeedParser::parseDate(text);
        } else if (name == QLatin1String("item") || name == QLatin1String("entry")) {
            emItem = false;
            if (itemTitle.isEmpty() && itemLink.isEmpty() && itemSummary.isEmpty())
                return;
            const QString id = !itemID.isEmpty() ? itemID : !itemLink.isEmpty() ? itemLink : itemRawTitle;
            items.append(RawItem{id, itemTitle, itemLink, itemDate, itemSummary});
        }
    }

private:
    bool emItem = false;
    bool emFeedTitle = true;
    QString atual;
    QString nameBuffer;
    QString itemTitle, itemLink, itemID, itemSummary;
    QString itemRawTitle;
    std::optional<QDateTime> itemDate;
    QString titleType;
    bool titleTypeSaid = false;
    bool escapedMarkup = false;
};

} // namespace

std::optional<ParsedFeed> StreamReaderFeedParser::parse(const QByteArray& bytes, QString* error) {
    auto fail = [error](const QString& why) -> std::optional<ParsedFeed> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (bytes.size() > FeedParser::kMaxBodyBytes)
        return fail(QStringLiteral("document larger than %1 bytes").arg(FeedParser::kMaxBodyBytes));

    QString unsupported;
    const std::optional<Source> source = sourceOf(bytes, &unsupported);
    if (!source)
        return fail(unsupported);
    Feeder feeder(bytes, *source);
    QXmlStreamReader r;
    feeder.feed(r);
    r.setNamespaceProcessing(false);
    // No declared entity is ever expanded (see the DTD rule below); this is a second fence.
    r.setEntityExpansionLimit(0);

    Handler h;
    int depth = 0;
    while (!r.atEnd() || (r.error() == QXmlStreamReader::PrematureEndOfDocumentError && feeder.more())) {
        const QXmlStreamReader::TokenType token = r.readNext();
        if (token == QXmlStreamReader::Invalid &&
            r.error() == QXmlStreamReader::PrematureEndOfDocumentError && feeder.more()) {
            feeder.feed(r); // the reader stopped at the end of a slice: hand it the next
            continue;
        }
        switch (token) {
        case QXmlStreamReader::DTD:
            // Feeds declare no entities; a declaration is how amplification and external files get in.
            if (!r.entityDeclarations().isEmpty() || !r.notationDeclarations().isEmpty())
                return fail(QStringLiteral("document declares entities"));
            break;
        case QXmlStreamReader::EntityReference:
            return fail(QStringLiteral("document refers to an undeclared entity"));
        case QXmlStreamReader::StartElement:
            if (++depth > FeedParser::kMaxDepth)
                return fail(
                    QStringLiteral("document nested deeper than %1 levels").arg(FeedParser::kMaxDepth));
            h.start(r);
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            h.end(r);
            break;
        case QXmlStreamReader::Characters:
            h.characters(r.text(), r.isCDATA());
            break;
        default:
            break;
        }
    }
    if (r.hasError())
        return fail(r.errorString());
    if (h.items.isEmpty() && h.feedTitle.isEmpty())
        return fail(QStringLiteral("no feed title and no entries"));
    return ParsedFeed{h.feedTitle, h.items};
}
