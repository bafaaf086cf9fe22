// The expat-based feed reader against the earlier QXmlStreamReader-based one: the same title, entries and
// refusals on generated RSS 2.0, RSS 1.0 and Atom documents, on damaged copies of them, and on odd or
// hostile documents picked by hand.
#include "fakes/StreamReaderFeedParser.h"
#include "services/FeedParser.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

// The refusals this program words itself; Qt's own wording for malformed XML may differ.
bool ownReason(const QString& error) {
    for (const char* r : {"declares entities", "nested deeper", "larger than", "no feed title",
                          "unsupported encoding", "undeclared entity"})
        if (error.contains(QLatin1String(r)))
            return true;
    return false;
}

QString describe(const std::optional<ParsedFeed>& feed, const QString& error) {
    if (!feed)
        return QStringLiteral("refused: ") + error;
    QString out = QStringLiteral("title «%1», %2 entries").arg(feed->title).arg(feed->items.size());
    for (const RawItem& i : feed->items)
        out += QStringLiteral("\n  id «%1» title «%2» link «%3» date %4 summary «%5»")
                   .arg(i.id, i.title, i.link,
                        i.published ? i.published->toString(Qt::ISODate) : QStringLiteral("none"), i.summary);
    return out;
}

// Empty when both readers agree, else both outcomes side by side.
QString difference(const QByteArray& doc) {
    QString newError, oldError;
    const auto now = FeedParser::parse(doc, &newError);
    const auto before = StreamReaderFeedParser::parse(doc, &oldError);
    bool same = bool(now) == bool(before);
    if (same && now)
        same = now->title == before->title && now->items == before->items;
    if (same && !now && (ownReason(oldError) || ownReason(newError)))
        same = newError == oldError;
    if (same)
        return {};
    return QStringLiteral("new: %1\nold: %2\ndocument: %3")
        .arg(describe(now, newError), describe(before, oldError),
             QString::fromUtf8((qEnvironmentVariableIsSet("SAMENESS_FULL") ? doc : doc.left(600))
                                   .toPercentEncoding(" <>/=\"':;&#!?[]-_.,()")));
}

// Random documents in the three formats, each field in one of the shapes feeds really send.
class Generator {
public:
    explicit Generator(quint32 seed)
        : m_rng(seed) {}

    QByteArray feed() {
        const int format = pick(3);
        QByteArray doc;
        if (pick(4) == 0)
            doc += "\xEF\xBB\xBF";
        if (pick(5) != 0)
            doc += pick(2) ? "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n" : "<?xml version='1.0'?>";
        if (pick(8) == 0)
            doc += "<!-- generated -->\n<?xml-stylesheet href=\"s.xsl\" type=\"text/xsl\"?>\n";
        if (pick(10) == 0)
            doc += "<!DOCTYPE rss PUBLIC \"-//Netscape Communications//DTD RSS 0.91//EN\" "
                   "\"http://my.netscape.com/publish/formats/rss-0.91.dtd\">\n";
        const int entries = pick(6);
        if (format == 0) {
            doc += "<rss version=\"2.0\" xmlns:content=\"http://purl.org/rss/1.0/modules/content/\" "
                   "xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><channel>";
            doc += feedTitle() + "<link>https://gen.example/</link>";
            if (pick(3) == 0)
                doc += "<image><title>Logo</title><url>https://gen.example/l.png</url></image>";
            for (int i = 0; i < entries; ++i)
                doc += entry("item");
            doc += "</channel></rss>";
        } else if (format == 1) {
            doc += "<feed xmlns=\"http://www.w3.org/2005/Atom\">" + feedTitle();
            doc += "<link rel=\"self\" href=\"https://gen.example/atom\"/>";
            for (int i = 0; i < entries; ++i)
                doc += entry("entry");
            doc += "</feed>";
        } else {
            doc += "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" "
                   "xmlns=\"http://purl.org/rss/1.0/\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
                   "<channel rdf:about=\"https://gen.example/\">" +
                   feedTitle() + "</channel>";
            for (int i = 0; i < entries; ++i)
                doc += entry("item");
            doc += "</rdf:RDF>";
        }
        if (pick(6) == 0)
            doc += "\n<!-- end -->\n";
        return pick(5) == 0 ? doc.replace("\n", "\r\n") : doc;
    }

    // The document damaged in one place: cut short, a byte changed, or something spliced in.
    QByteArray damaged(QByteArray doc) {
        if (doc.isEmpty())
            return doc;
        const qsizetype at = pick(int(doc.size()));
        static const char* splices[] = {"<",         "&",   ">",      "]]>",  "\xFF",  "\"",
                                        "</",        "<a>", "&foo;",  "&#0;", "<!--",  "\xC3",
                                        "<![CDATA[", "'",   "<x:y:z", "&#x;", "&#65;", "<?xml?>"};
        switch (pick(3)) {
        case 0:
            return doc.left(at);
        case 1:
            doc[at] = splices[pick(int(std::size(splices)))][0];
            return doc;
        default:
            return doc.insert(at, splices[pick(int(std::size(splices)))]);
        }
    }

private:
    int pick(int n) { return int(m_rng.bounded(quint32(n))); }

    QByteArray text() {
        static const char* words[] = {"Tides",
                                      "café",
                                      "&amp;",
                                      "&lt;b&gt;",
                                      "&#233;",
                                      "&#x1F600;",
                                      "&quot;q&apos;",
                                      "  padded  ",
                                      "line\nbreak",
                                      "tab\there",
                                      "\xC2\xA0nbsp\xC2\xA0",
                                      "日本",
                                      "a]b]]c",
                                      "<![CDATA[<b>bold</b> & raw]]>",
                                      "<!-- note -->",
                                      "<?pi data?>",
                                      "<b>nested</b>",
                                      "x&#13;y",
                                      "&#xA0;"};
        QByteArray out;
        const int n = pick(4);
        for (int i = 0; i < n; ++i)
            out += QByteArray(words[pick(int(std::size(words)))]) + (pick(2) ? " " : "");
        return out;
    }

    QByteArray element(const QByteArray& name, const QByteArray& body) {
        if (body.isEmpty() && pick(3) == 0)
            return "<" + name + "/>";
        return "<" + name + ">" + body + "</" + name + ">";
    }

    QByteArray feedTitle() {
        switch (pick(5)) {
        case 0:
            return {};
        case 1:
            return element("title", {});
        case 2:
            return element("TITLE", text());
        default:
            return element("title", text());
        }
    }

    QByteArray date() {
        static const char* dates[] = {"Tue, 03 Jun 2008 11:05:30 GMT",
                                      "03 Jun 2008 11:05 +0200",
                                      " Tue, 3 Jun 08 11:05:30 EST ",
                                      "2024-03-01T07:30:00Z",
                                      "2024-03-01T07:30:00.5Z",
                                      "2024-03-01T09:30:00+02:00",
                                      "yesterday",
                                      "Fri, 30 Feb 2024 18:04:05 +0000",
                                      "",
                                      "<![CDATA[Tue, 03 Jun 2008 11:05:30 GMT]]>",
                                      "2024-03-01T07:30:00&#x5A;"};
        return dates[pick(int(std::size(dates)))];
    }

    QByteArray entry(const QByteArray& tag) {
        QByteArray body;
        const int fields = 1 + pick(7);
        for (int f = 0; f < fields; ++f) {
            switch (pick(12)) {
            case 0:
                body += element(pick(4) ? "title" : "Title", text());
                break;
            case 1:
                body +=
                    element("link", pick(3) ? QByteArray("https://gen.example/") + text().trimmed() : text());
                break;
            case 2: {
                static const char* links[] = {
                    "<link href=\"https://gen.example/a\"/>",
                    "<link rel=\"alternate\" href=\"https://gen.example/b?x=1&amp;y=2\"/>",
                    "<link rel=\"self\" href=\"https://gen.example/self\"/>",
                    "<link rel='enclosure' type='audio/mpeg' href='https://gen.example/c.mp3'/>",
                    "<link type=\"text/html\"/>",
                    "<link href=\" spaced\tand\nbroken \"></link>",
                    "<link href=\"https://gen.example/d\">text too</link>",
                    "<link xmlns=\"http://www.w3.org/2005/Atom\" href=\"https://gen.example/e\"/>"};
                body += links[pick(int(std::size(links)))];
                break;
            }
            case 3:
                body += pick(2) ? "<guid isPermaLink=\"false\">" + text() + "</guid>" : element("id", text());
                break;
            case 4:
                body += element(pick(2) ? "description" : "summary", text());
                break;
            case 5:
                body += element("content:encoded", "<![CDATA[<p>Para one</p><p>Two &amp; <br/>three</p>]]>");
                break;
            case 6:
                body += "<content type=\"xhtml\"><div xmlns=\"http://www.w3.org/1999/xhtml\"><p>X</p>" +
                        text() + "</div></content>";
                break;
            case 7: {
                static const char* names[] = {"pubDate", "published", "updated", "dc:date", "PUBDATE"};
                body += element(names[pick(int(std::size(names)))], date());
                break;
            }
            case 8:
                body += "<media:content url=\"https://gen.example/m.jpg\" medium=\"image\"/>";
                break;
            case 9:
                body += element("category", text());
                break;
            case 10:
                body += "<author><name>" + text() + "</name><title>Author title</title></author>";
                break;
            default:
                body += text();
                break;
            }
        }
        return element(tag, body);
    }

    QRandomGenerator m_rng;
};

} // namespace

class tst_FeedParserSameness : public QObject {
    Q_OBJECT
private slots:
    void generated_data() {
        QTest::addColumn<quint32>("firstSeed");
        for (quint32 first = 0; first < 2000; first += 250)
            QTest::newRow(qPrintable(QStringLiteral("seeds %1..").arg(first))) << first;
    }
    // Whole generated documents, then damaged copies of each.
    void generated() {
        QFETCH(quint32, firstSeed);
        int parsed = 0;
        for (quint32 seed = firstSeed; seed < firstSeed + 250; ++seed) {
            Generator g(seed);
            const QByteArray doc = g.feed();
            const QString diff = difference(doc);
            QVERIFY2(diff.isEmpty(), qPrintable(QStringLiteral("seed %1\n%2").arg(seed).arg(diff)));
            parsed += FeedParser::parse(doc).has_value();
            for (int d = 0; d < 4; ++d) {
                const QByteArray bad = g.damaged(doc);
                const QString badDiff = difference(bad);
                QVERIFY2(badDiff.isEmpty(),
                         qPrintable(QStringLiteral("seed %1 damage %2\n%3").arg(seed).arg(d).arg(badDiff)));
            }
        }
        QVERIFY(parsed > 150); // most generated documents hold a feed
    }

    void handPicked_data() {
        QTest::addColumn<QByteArray>("doc");
        auto feed = [](const QByteArray& inside) {
            return "<rss><channel><title>t</title>" + inside + "</channel></rss>";
        };
        auto titled = [](const QByteArray& title) {
            return "<rss><channel><title>" + title + "</title></channel></rss>";
        };
        const struct {
            const char* name;
            QByteArray doc;
        } rows[] = {
            {"control character in text", titled("a\x01z")},
            {"U+FFFE in text", titled("a\xEF\xBF\xBEz")},
            {"]]> in text", titled("a]]>z")},
            {"brackets without >", titled("a]]z]>]]]")},
            {"double dash in comment", titled("a<!-- x -- y -->z")},
            {"comments of dashes", titled("a<!---->z<!-- - -->q")},
            {"comment ending in three dashes", titled("a<!-- x --->z")},
            {"repeated attribute", titled("<x a='1' a='2'/>z")},
            {"two colons in a name", feed("<a:b:c>x</a:b:c>")},
            {"name starts with a colon", feed("<:a>x</:a>")},
            {"name ends with a colon", feed("<a:>x</a:>")},
            {"name starts with a digit", feed("<1a>x</1a>")},
            {"non-ASCII names", feed("<a\xC2\xB7>x</a\xC2\xB7><\xC3\xA9/>")},
            {"no-break space in a name", feed("<a\xC2\xA0"
                                              "b/>")},
            {"Kelvin sign lower-cases to k", "<rss><channel><item><lin\xE2\x84\xAA>https://k.example/</"
                                             "lin\xE2\x84\xAA></item></channel></rss>"},
            {"character references", titled("&#0065;&#x1F600;&#x9;&#xA;&#xD;&#x00000041;&#xa0;&#x10FFFF;")},
            {"bad character references", titled("&#1;")},
            {"surrogate reference", titled("&#xD800;")},
            {"upper-case X reference", titled("&#X41;")},
            {"empty hex reference", titled("&#x;")},
            {"huge reference", titled("&#99999999999;")},
            {"reference without semicolon", titled("a&amp z")},
            {"bare ampersand", titled("a & z")},
            {"upper-case entity", titled("&AMP;")},
            {"predefined entities", titled("&lt;&gt;&amp;&apos;&quot;")},
            {"undeclared entity", titled("a&nbsp;z")},
            {"undeclared entity under a DOCTYPE",
             "<!DOCTYPE rss><rss><channel><title>a&nbsp;z</title></channel></rss>"},
            {"undeclared entity under an external DTD",
             "<!DOCTYPE rss SYSTEM \"x.dtd\"><rss><channel><title>a&nbsp;z</title></channel></rss>"},
            {"public DTD",
             "<!DOCTYPE rss PUBLIC \"-//x//EN\" \"x.dtd\"><rss><channel><title>az</title></channel></rss>"},
            {"public DTD with one literal",
             "<!DOCTYPE x PUBLIC 'y'><rss><channel><title>t</title></channel></rss>"},
            {"bad public identifier",
             "<!DOCTYPE x PUBLIC 'a{b' 'c'><rss><channel><title>t</title></channel></rss>"},
            {"element declaration", "<!DOCTYPE rss [<!ELEMENT rss ANY><!-- c --><?pi "
                                    "x?>]><rss><channel><title>az</title></channel></rss>"},
            {"attribute list with a default",
             "<!DOCTYPE rss [<!ATTLIST link rel CDATA 'x'>]><rss><channel><item><link "
             "href='h'/><title>t</title></item></channel></rss>"},
            {"quoted > in a declaration",
             "<!DOCTYPE x [<!ATTLIST a b CDATA '>'>]><rss><channel><title>t</title></channel></rss>"},
            {"notation",
             "<!DOCTYPE rss [<!NOTATION n SYSTEM 'x'>]><rss><channel><title>az</title></channel></rss>"},
            {"entity declared in the middle", feed("<!DOCTYPE rss [<!ENTITY a 'b'>]>")},
            {"parameter entity reference",
             "<!DOCTYPE rss [ %p; ]><rss><channel><title>t</title></channel></rss>"},
            {"junk in the internal subset",
             "<!DOCTYPE rss [<!ELEMENT rss ANY> junk]><rss><channel><title>t</title></channel></rss>"},
            {"DOCTYPE without a name", "<!DOCTYPE><rss><channel><title>t</title></channel></rss>"},
            {"SYSTEM without a literal",
             "<!DOCTYPE rss SYSTEM><rss><channel><title>t</title></channel></rss>"},
            {"lower-case doctype", "<!doctype rss><rss><channel><title>t</title></channel></rss>"},
            {"DOCTYPE after the root", titled("az") + "<!DOCTYPE rss>"},
            {"two DOCTYPEs", "<!DOCTYPE rss><!DOCTYPE rss><rss><channel><title>az</title></channel></rss>"},
            {"text after the root", titled("az") + " x"},
            {"text before the root", "x " + titled("az")},
            {"second root", titled("az") + "<a/>"},
            {"comment and PI after the root", titled("az") + "<?pi x?><!-- c -->  \r\n"},
            {"no-break space after the root", titled("az") + "\xC2\xA0"},
            {"NUL after the root", titled("az") + QByteArray(1, '\0')},
            {"stray end tag after the root", titled("az") + "</rss>"},
            {"reference after the root", titled("az") + "&#32;"},
            {"XML 1.1", "<?xml version='1.1'?>" + titled("az")},
            {"declaration without version", "<?xml encoding='utf-8'?>" + titled("az")},
            {"standalone maybe", "<?xml version='1.0' standalone='maybe'?>" + titled("az")},
            {"unknown pseudo-attribute", "<?xml version='1.0' foo='x'?>" + titled("az")},
            {"standalone before encoding",
             "<?xml version='1.0' standalone='yes' encoding='utf-8'?>" + titled("az")},
            {"full declaration",
             "<?xml  version = \"1.0\" encoding=\"utf-8\" standalone=\"yes\" ?>" + titled("az")},
            {"pseudo-attributes without a gap", "<?xml version='1.0'encoding='utf-8'?>" + titled("az")},
            {"invalid encoding name", "<?xml version='1.0' encoding='utf 8'?>" + titled("az")},
            {"unknown encoding", "<?xml version='1.0' encoding='x-martian'?>" + titled("az")},
            {"two declarations", "<?xml version='1.0'?><?xml version='1.0'?>" + titled("az")},
            {"declaration after a space", " <?xml version='1.0'?>" + titled("az")},
            {"upper-case declaration", "<?XML version='1.0'?>" + titled("az")},
            {"empty declaration", "<?xml?>" + titled("az")},
            {"declaration alone", "<?xml version='1.0'?>"},
            {"declaration cut short", "<?xml version='1.0'"},
            {"declaration inside", titled("a<?xml x?>z")},
            {"processing instructions",
             "<?xml-stylesheet href='x'?><?xmlfoo?>" + titled("a<?pi?>z<?pi x ?>")},
            {"CDATA before the root", "<![CDATA[x]]>" + titled("az")},
            {"CDATA with line ends", titled("a<![CDATA[<b>\r\nq\rr]]>z")},
            {"CDATA ending in a bracket", titled("a<![CDATA[x]]]>z")},
            {"lower-case CDATA", titled("a<![cdata[x]]>z")},
            {"unclosed CDATA", feed("<![CDATA[")},
            {"line ends in text", titled("a\r\nb\rc\r")},
            {"attribute normalisation", "<rss><channel><item><link href=' a\tb\r\nc\nd&#10;e&#13;' "
                                        "/><title>t</title></item></channel></rss>"},
            {"< in an attribute",
             "<rss><channel><item><link href='a<b'/><title>t</title></item></channel></rss>"},
            {"unquoted attribute",
             "<rss><channel><item><link href=a/><title>t</title></item></channel></rss>"},
            {"attributes without a gap",
             "<rss><channel><item><link href='a'rel='b'/><title>t</title></item></channel></rss>"},
            {"references in an attribute", "<rss><channel><item><link href = \"a&amp;&lt;&#x41;\" "
                                           "/><title>t</title></item></channel></rss>"},
            {"undeclared entity in an attribute",
             "<rss><channel><item><link href='a&foo;'/><title>t</title></item></channel></rss>"},
            {"space inside />",
             "<rss><channel><item><link href='a'/ ><title>t</title></item></channel></rss>"},
            {"spaces in tags", "<rss ><channel\n><title >az</title\t></channel ></rss\n>"},
            {"space after </", titled("az") + "</ rss>"},
            {"mismatched end tag", "<rss><channel><title>a</channel></title></rss>"},
            {"invalid UTF-8", titled("a\xFF")},
            {"overlong UTF-8", titled("a\xC0\x80z")},
            {"UTF-8 surrogate", titled("a\xED\xA0\x80z")},
            {"beyond U+10FFFF", titled("a\xF4\x90\x80\x80z")},
            {"cut multi-byte character", titled("a\xC3z")},
            {"C1 controls and DEL", titled("a\x7Fz\xC2\x85\xC2\x80")},
            {"no-break spaces trimmed", titled("\xC2\xA0 x \xE2\x80\x83")},
            {"byte-order mark", "\xEF\xBB\xBF" + titled("bom")},
            {"two byte-order marks", "\xEF\xBB\xBF\xEF\xBB\xBF" + titled("bom")},
            {"byte-order mark inside", titled("\xEF\xBB\xBFx")},
            {"cut at the end", "<rss><channel><title>a</title></channel></rss"},
            {"root never closed", "<rss><channel><title>a</title></channel>"},
            {"empty root", "<rss/>"},
            {"empty title", feed("<title/>")},
            {"blank title then another", "<rss><channel><title>   </title><title>B</title></channel></rss>"},
            {"only text", "abc"},
            {"only spaces", "   "},
            {"lone <", "<"},
            {"nothing", ""},
            {"namespace declarations", titled("x") + "<!-- -->"},
            {"empty prefix declaration", "<rss><channel><title xmlns:='u'>x</title></channel></rss>"},
            {"undeclared prefix", "<rss><channel><title x:y='1'>x</title></channel></rss>"},
            {"two xmlns", feed("<a xmlns='x' xmlns='y'/>")},
            {"prefixed twins", feed("<a b='1' b:c='2' c:b='3'/>")},
            {"control character in a comment", titled("a<!--\x01-->z")},
            {"control character in a PI", titled("a<?pi x\x01?>z")},
            {"vertical tab", feed("\x0B")},
            {"item without anything",
             "<rss><channel><title>t</title><item><guid>g</guid></item><item></item></channel></rss>"},
            {"entry links", "<feed><title>f</title><entry><link rel='self' href='s'/><link href='a'/><link "
                            "rel='alternate' href='b'/><id>i</id></entry></feed>"},
            {"link with attributes but no href",
             "<feed><entry><link type='text/html'>text</link><title>x</title></entry></feed>"},
            {"empty href", "<feed><entry><link href=''/><link>later</link></entry></feed>"},
            {"nested items", "<rss><channel><item><title>a</title><item><title>b</title></item><title>c</"
                             "title></item></channel></rss>"},
            {"summary shapes", "<rss><channel><item><description></description><summary>  "
                               "</summary><content:encoded>&lt;p&gt;x&lt;/p&gt;</"
                               "content:encoded><description>late</description></item></channel></rss>"},
            {"dates in order",
             "<rss><channel><item><title>t</title><pubDate>junk</pubDate><updated>2024-03-01T07:30:00Z</"
             "updated><dc:date>2020-01-01T00:00:00Z</dc:date></item></channel></rss>"},
            {"feed title after the first item",
             "<rss><channel><item><title>i</title></item><title>late</title></channel></rss>"},
            {"image title first",
             "<rss><channel><image><title>img</title></image><title>chan</title></channel></rss>"},
            {"title with markup", "<rss><channel><title>a<b>bold</b>tail</title></channel></rss>"},
            {"UTF-16 with byte-order mark",
             QByteArray("\xFF\xFE", 2) +
                 QStringLiteral("<?xml version='1.0' "
                                "encoding='utf-16'?><rss><channel><title>t\u00e9</title></channel></rss>")
                     .toUtf8()},
            {"Latin-1 with a control",
             "<?xml version='1.0' "
             "encoding='iso-8859-1'?><rss><channel><title>t\xE9\x01</title></channel></rss>"},
            {"Latin-1",
             "<?xml version='1.0' encoding='latin1' ?><rss><channel><title>t\xE9</title></channel></rss>"},
            {"windows-1252", "<?xml version='1.0' encoding='windows-1252'?><rss><channel><title>\x93q\x94 "
                             "\x80</title></channel></rss>"},
            {"UTF-8 declared, Latin-1 sent",
             "<?xml version='1.0' encoding='UTF-8'?><rss><channel><title>t\xE9</title></channel></rss>"},
            {"UTF-16 declared over UTF-8", "<?xml version='1.0' encoding='utf-16'?>" + titled("t")},
            {"unknown entity in an attribute under an external DTD",
             "<!DOCTYPE rss SYSTEM \"x\"><rss><channel><item><link "
             "href=\"a&foo;b\"/><title>t</title></item></channel></rss>"},
            {"rel spelt with an unknown entity",
             "<!DOCTYPE rss SYSTEM \"x\"><rss><channel><item><link href='h' "
             "rel='alternate&bar;'/><title>t</title></item></channel></rss>"},
            {"character cut off at the end", titled("x") + "\xC3"},
            {"broken character before the end", titled("x") + "\xC3"
                                                              "A"},
        };
        for (const auto& r : rows)
            QTest::newRow(r.name) << r.doc;
        // Wide encodings, spelt out as bytes.
        const QString wide = QStringLiteral(
            "<rss><channel><title>t\u00e9</title><item><title>\U0001F600</title></item></channel></rss>");
        QByteArray le("\xFF\xFE", 2), be("\xFE\xFF", 2);
        for (const QChar c : wide) {
            le += char(c.unicode() & 0xFF);
            le += char(c.unicode() >> 8);
            be += char(c.unicode() >> 8);
            be += char(c.unicode() & 0xFF);
        }
        QTest::newRow("UTF-16LE with byte-order mark") << le;
        QTest::newRow("UTF-16BE with byte-order mark") << be;
        QTest::newRow("UTF-16LE without byte-order mark") << le.mid(2);
        // Every byte above ASCII in the single-byte encodings, the holes of windows-1252 included.
        QByteArray high;
        for (int b = 0x80; b <= 0xFF; ++b)
            high += char(b);
        for (const char* enc : {"iso-8859-1", "windows-1252", "us-ascii"})
            QTest::newRow(qPrintable(QStringLiteral("every high byte, %1").arg(QLatin1String(enc))))
                << "<?xml version=\"1.0\" encoding=\"" + QByteArray(enc) + "\"?><rss><channel><title>" +
                       high + "</title><item><link href='" + high + "'/></item></channel></rss>";
        // Deep but allowed, and one level too deep.
        QByteArray deep = "<rss><channel><title>t</title>";
        for (int i = 0; i < FeedParser::kMaxDepth - 2; ++i)
            deep += "<d>";
        QTest::newRow("nested to the limit")
            << deep + QByteArray("</d>").repeated(FeedParser::kMaxDepth - 2) + "</channel></rss>";
        QTest::newRow("nested past the limit")
            << deep + "<d>" + QByteArray("</d>").repeated(FeedParser::kMaxDepth - 1) + "</channel></rss>";
    }
    void handPicked() {
        QFETCH(QByteArray, doc);
        const QString diff = difference(doc);
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
    }
};

QTEST_GUILESS_MAIN(tst_FeedParserSameness)
#include "tst_FeedParserSameness.moc"
