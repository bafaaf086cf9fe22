// The feed reader on fixture documents written for this test, its date and HTML readers, and hostile XML.
#include "services/FeedParser.h"

#include <QFile>
#include <QtTest>

#include <optional>

namespace {

QByteArray fixture(const char* name) {
    QFile f(QStringLiteral(QUILLBAY_FIXTURES_DIR "/feeds/") + QLatin1String(name));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", name);
    return f.readAll();
}

QDateTime utc(int y, int mo, int d, int h, int mi, int s = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
}

using OptDate = std::optional<QDateTime>;

} // namespace

Q_DECLARE_METATYPE(OptDate)

class tst_FeedParser : public QObject {
    Q_OBJECT
private slots:
    void rss2() {
        const auto feed = FeedParser::parse(fixture("rss2.xml"));
        QVERIFY(feed);
        QCOMPARE(feed->title, QStringLiteral("Harbour Notes"));
        QCOMPARE(feed->items.size(), 5); // the entry with only a guid is dropped
        const RawItem& first = feed->items[0];
        QCOMPARE(first.id, QStringLiteral("harbour-1"));
        QCOMPARE(first.title, QStringLiteral("Tides & currents"));
        QCOMPARE(first.link, QStringLiteral("https://harbour.example/tides"));
        QCOMPARE(first.published, OptDate(utc(2008, 6, 3, 11, 5, 30)));
        QCOMPARE(first.summary, QStringLiteral("One Two & three"));
        const RawItem& cdata = feed->items[1];
        QCOMPARE(cdata.title, QStringLiteral("Knots <and> ropes"));
        QCOMPARE(cdata.summary, QStringLiteral("Bowline Hitch")); // description wins over content:encoded
        QCOMPARE(cdata.published, OptDate(utc(2008, 6, 4, 9, 0)));
        const RawItem& noId = feed->items[2];
        QCOMPARE(noId.id, QStringLiteral("https://harbour.example/no-id")); // keyed by its link
        QCOMPARE(noId.published, OptDate(utc(2008, 6, 5, 10, 0)));          // bad pubDate, good dc:date
        QCOMPARE(feed->items[3].id, QStringLiteral("Only a title"));
        QCOMPARE(feed->items[4].id, QString());
        QCOMPARE(feed->items[4].title, QString());
        QCOMPARE(feed->items[4].summary, QStringLiteral("Only a summary"));
    }

    void rss1() {
        const auto feed = FeedParser::parse(fixture("rss1.rdf"));
        QVERIFY(feed);
        QCOMPARE(feed->title, QStringLiteral("Lighthouse Log"));
        QCOMPARE(feed->items.size(), 2);
        QCOMPARE(feed->items[0].id, QStringLiteral("https://lighthouse.example/a"));
        QCOMPARE(feed->items[0].published, OptDate(utc(2024, 3, 1, 7, 30)));
        QCOMPARE(feed->items[1].published, OptDate()); // fractional seconds give no date
    }

    void atom() {
        const auto feed = FeedParser::parse(fixture("atom.xml"));
        QVERIFY(feed);
        QCOMPARE(feed->title, QStringLiteral("Quay Journal"));
        QCOMPARE(feed->items.size(), 3);
        QCOMPARE(feed->items[0].link, QStringLiteral("https://quay.example/1"));
        QCOMPARE(feed->items[0].id, QStringLiteral("urn:quay:1"));
        QCOMPARE(feed->items[0].summary, QStringLiteral("Bold move"));
        QCOMPARE(feed->items[1].link, QString());
        QCOMPARE(feed->items[1].id, QStringLiteral("urn:quay:2"));
        QCOMPARE(feed->items[1].published, OptDate(utc(2024, 5, 2, 15, 0)));
        QCOMPARE(feed->items[2].link, QStringLiteral("https://quay.example/3"));
        QCOMPARE(feed->items[2].id, QStringLiteral("https://quay.example/3"));
        QCOMPARE(feed->items[2].summary, QStringLiteral("Body"));
    }

    void encodings_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("itemTitle");
        QTest::newRow("utf-8 with byte-order mark")
            << QByteArray("bom.xml") << QStringLiteral("Bom été") << QStringLiteral("Café");
        QTest::newRow("iso-8859-1") << QByteArray("latin1.xml") << QStringLiteral("Revista São Paulo")
                                    << QStringLiteral("Coração");
        QTest::newRow("windows-1252") << QByteArray("cp1252.xml") << QStringLiteral("Quotes “here”")
                                      << QStringLiteral("Euro € and dash – done");
    }
    void encodings() {
        QFETCH(QByteArray, file);
        QFETCH(QString, title);
        QFETCH(QString, itemTitle);
        const auto feed = FeedParser::parse(fixture(file.constData()));
        QVERIFY(feed);
        QCOMPARE(feed->title, title);
        QCOMPARE(feed->items.value(0).title, itemTitle);
    }

    // Documents far longer than the reader takes at once, shifted byte by byte so that characters of
    // several bytes, entities and tags fall across the places where the reader is handed more.
    void longDocumentsReadWhole_data() {
        QTest::addColumn<QByteArray>("encoding");
        QTest::addColumn<int>("shift");
        for (const char* enc : {"utf-8", "iso-8859-1", "windows-1252"})
            for (int shift = 0; shift < 4; ++shift)
                QTest::newRow(qPrintable(QStringLiteral("%1 +%2").arg(QLatin1String(enc)).arg(shift)))
                    << QByteArray(enc) << shift;
    }
    void longDocumentsReadWhole() {
        QFETCH(QByteArray, encoding);
        QFETCH(int, shift);
        constexpr int kEntries = 3000; // about 300 KB
        const bool cp1252 = encoding == "windows-1252";
        auto encode = [&](const QString& text) {
            return encoding == "utf-8" ? text.toUtf8() : text.toLatin1();
        };
        QByteArray doc = "<?xml version=\"1.0\" encoding=\"" + encoding +
                         "\"?><rss version=\"2.0\"><channel>" + QByteArray(shift, ' ') +
                         "<title>Longa</title>";
        for (int i = 0; i < kEntries; ++i) {
            doc += encode(QStringLiteral("<item><title>Entrada %1 ação ü</title><guid>g%1</guid>").arg(i));
            if (cp1252)
                doc += "<category>\x80</category>";
            doc += "<description>&lt;p&gt;Caf&amp;eacute; &#233; " + encode(QStringLiteral("é")) +
                   "&lt;/p&gt;</description></item>\n";
        }
        doc += "</channel></rss>";
        QVERIFY(doc.size() > 4 * 64 * 1024);
        const auto feed = FeedParser::parse(doc);
        QVERIFY(feed);
        QCOMPARE(feed->title, QStringLiteral("Longa"));
        QCOMPARE(feed->items.size(), kEntries);
        for (int i = 0; i < kEntries; ++i) {
            const RawItem& item = feed->items[i];
            QCOMPARE(item.title, QStringLiteral("Entrada %1 ação ü").arg(i));
            QCOMPARE(item.id, QStringLiteral("g%1").arg(i));
            QCOMPARE(item.summary, QStringLiteral("Caf&eacute; é é"));
        }
    }

    void documentsWithoutResult_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("malformed after two entries") << fixture("malformed-after-entries.xml");
        QTest::newRow("well-formed, not a feed") << fixture("not-a-feed.xhtml");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("html page") << QByteArray("<html><body><p>hi<br></body></html>");
        QTest::newRow("undeclared entity")
            << QByteArray("<rss><channel><title>a&nbsp;b</title></channel></rss>");
        QTest::newRow("unknown encoding") << QByteArray(
            "<?xml version=\"1.0\" encoding=\"x-martian\"?><rss><channel><title>t</title></channel></rss>");
    }
    void documentsWithoutResult() {
        QFETCH(QByteArray, bytes);
        QString error;
        QVERIFY(!FeedParser::parse(bytes, &error));
        QVERIFY(!error.isEmpty());
    }

    void titleOnly() {
        const auto feed = FeedParser::parse(fixture("title-only.xml"));
        QVERIFY(feed);
        QCOMPARE(feed->title, QStringLiteral("Quiet Channel"));
        QVERIFY(feed->items.isEmpty());
    }

    // Hostile documents are refused with a reason, without expanding or descending into them.
    void hostile_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        QByteArray laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE rss [\n<!ENTITY l0 \"ha\">\n";
        for (int i = 1; i < 10; ++i)
            laughs += QStringLiteral("<!ENTITY l%1 \"&l%2;&l%2;&l%2;&l%2;&l%2;&l%2;&l%2;&l%2;&l%2;&l%2;\">\n")
                          .arg(i)
                          .arg(i - 1)
                          .toUtf8();
        laughs += "]>\n<rss><channel><title>&l9;</title></channel></rss>";
        QTest::newRow("billion laughs") << laughs << QStringLiteral("declares entities");
        // Many references to one wide entity: small to send, huge once expanded.
        QByteArray wide =
            "<!DOCTYPE rss [<!ENTITY a \"" + QByteArray(4000, 'x') + "\">]><rss><channel><title>";
        for (int i = 0; i < 100000; ++i)
            wide += "&a;";
        wide += "</title></channel></rss>";
        QTest::newRow("wide entity amplification") << wide << QStringLiteral("declares entities");
        QTest::newRow("external entity")
            << QByteArray("<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>"
                          "<rss><channel><title>&x;</title></channel></rss>")
            << QStringLiteral("declares entities");
        QTest::newRow("external parameter entity")
            << QByteArray(
                   "<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY % p SYSTEM \"http://127.0.0.1:9/x\"> %p;]>"
                   "<rss><channel><title>t</title></channel></rss>")
            << QString();
        QByteArray deep;
        for (int i = 0; i < 100000; ++i)
            deep += "<a>";
        QTest::newRow("100000 levels deep") << deep << QStringLiteral("nested deeper");
        QByteArray huge = "<rss><channel><title>t</title><item><description>";
        huge += QByteArray(FeedParser::kMaxBodyBytes, 'y');
        huge += "</description></item></channel></rss>";
        QTest::newRow("body over the cap") << huge << QStringLiteral("larger than");
    }
    void hostile() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        QString error;
        QVERIFY(!FeedParser::parse(bytes, &error));
        QVERIFY2(error.contains(reason), qPrintable(error));
    }

    // A document type out of place is taken, as the earlier reader took it, but each costs the parser a
    // whole pass: past eight the document is refused, and one that declares an entity is refused
    // wherever it stands.
    void misplacedDocumentTypes_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("read");
        QTest::newRow("one") << 1 << true;
        QTest::newRow("eight") << 8 << true;
        QTest::newRow("nine") << 9 << false;
        QTest::newRow("five thousand") << 5000 << false;
    }
    void misplacedDocumentTypes() {
        QFETCH(int, count);
        QFETCH(bool, read);
        QByteArray doc = "<rss><channel><title>t</title>";
        for (int i = 0; i < count; ++i)
            doc += "<!DOCTYPE rss><item><title>i</title></item>";
        doc += "</channel></rss>";
        QString error;
        const std::optional<ParsedFeed> feed = FeedParser::parse(doc, &error);
        QCOMPARE(bool(feed), read);
        if (feed)
            QCOMPARE(feed->items.size(), qsizetype(count));
        else
            QVERIFY(!error.isEmpty());
    }
    void entityInAMisplacedDocumentTypeIsRefused() {
        QString error;
        QVERIFY(!FeedParser::parse("<rss><channel><title>t</title><!DOCTYPE rss [<!ENTITY a \"x\">]>"
                                   "<item><title>&a;</title></item></channel></rss>",
                                   &error));
        QVERIFY2(error.contains(QLatin1String("declares entities")), qPrintable(error));
    }

    void dates_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<OptDate>("date");
        const OptDate t = utc(2024, 2, 29, 18, 4, 5);
        const OptDate noSecs = utc(2024, 2, 29, 18, 4);
        QTest::newRow("weekday, offset") << "Thu, 29 Feb 2024 20:04:05 +0200" << t;
        QTest::newRow("weekday, no seconds") << "Thu, 29 Feb 2024 18:04 +0000" << noSecs;
        QTest::newRow("no weekday") << "29 Feb 2024 13:04:05 -0500" << t;
        QTest::newRow("no weekday, no seconds") << "29 Feb 2024 18:04 +0000" << noSecs;
        QTest::newRow("GMT") << "Thu, 29 Feb 2024 18:04:05 GMT" << t;
        QTest::newRow("UT") << "Thu, 29 Feb 2024 18:04:05 UT" << t;
        QTest::newRow("Z") << "Thu, 29 Feb 2024 18:04:05 Z" << t;
        QTest::newRow("EST") << "Thu, 29 Feb 2024 13:04:05 EST" << t;
        QTest::newRow("one-digit day")
            << "Sat, 2 Mar 2024 18:04:05 +0000" << OptDate(utc(2024, 3, 2, 18, 4, 5));
        QTest::newRow("two-digit year") << "Thu, 29 Feb 24 18:04:05 +0000" << t;
        QTest::newRow("two-digit year, last century")
            << "Fri, 31 Dec 99 23:59:59 +0000" << OptDate(utc(1999, 12, 31, 23, 59, 59));
        QTest::newRow("surrounding whitespace") << "\n  Thu, 29 Feb 2024 18:04:05 +0000 \t" << t;
        QTest::newRow("lower-case month") << "29 feb 2024 18:04:05 +0000" << t;
        QTest::newRow("iso Z") << "2024-02-29T18:04:05Z" << t;
        QTest::newRow("iso offset") << "2024-02-29T20:04:05+02:00" << t;
        QTest::newRow("iso fractional seconds") << "2024-02-29T18:04:05.123Z" << OptDate();
        QTest::newRow("iso without zone") << "2024-02-29T18:04:05" << OptDate();
        QTest::newRow("iso date only") << "2024-02-29" << OptDate();
        QTest::newRow("no such day") << "Fri, 30 Feb 2024 18:04:05 +0000" << OptDate();
        QTest::newRow("hour 24") << "29 Feb 2024 24:00:00 +0000" << OptDate();
        QTest::newRow("bad weekday") << "Xyz, 29 Feb 2024 18:04:05 +0000" << OptDate();
        QTest::newRow("unknown zone") << "29 Feb 2024 18:04:05 XYZ" << OptDate();
        QTest::newRow("trailing text") << "29 Feb 2024 18:04:05 +0000 extra" << OptDate();
        QTest::newRow("three-digit year") << "29 Feb 202 18:04:05 +0000" << OptDate();
        QTest::newRow("empty") << "" << OptDate();
        QTest::newRow("words") << "yesterday" << OptDate();
    }
    void dates() {
        QFETCH(QString, text);
        QFETCH(OptDate, date);
        QCOMPARE(FeedParser::parseDate(text), date);
    }

    // Titles the feed marks up are shown as their text, by the summaries' rule; plain ones as written.
    // An entry keyed by its title keeps the title as written, as entries stored before did.
    void titles_data() {
        QTest::addColumn<QByteArray>("doc");
        QTest::addColumn<QString>("feedTitle");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("id");
        auto atom = [](const QByteArray& title) {
            return "<feed xmlns=\"http://www.w3.org/2005/Atom\"><title>f</title><entry><id>e1</id>" + title +
                   "</entry></feed>";
        };
        auto rss = [](const QByteArray& title) {
            return "<rss><channel><title>f</title><item><guid>e1</guid><title>" + title +
                   "</title></item></channel></rss>";
        };
        QTest::newRow("Atom html")
            << atom("<title type=\"html\">&lt;em&gt;parser&lt;/em&gt; … &amp;amp;</title>") << "f"
            << "parser … &"
            << "e1";
        QTest::newRow("Atom html in CDATA")
            << atom("<title type=\"html\"><![CDATA[<b>Breaking</b> news]]></title>") << "f"
            << "Breaking news"
            << "e1";
        QTest::newRow("Atom text stays as written")
            << atom("<title type=\"text\">&lt;b&gt;Breaking&lt;/b&gt;</title>") << "f"
            << "<b>Breaking</b>"
            << "e1";
        QTest::newRow("RSS escaped tags") << rss("&lt;b&gt;Breaking&lt;/b&gt; news") << "f"
                                          << "Breaking news"
                                          << "e1";
        QTest::newRow("RSS escaped entity") << rss("AT&amp;amp;T &amp;#8217;s") << "f"
                                            << "AT&T ’s"
                                            << "e1";
        QTest::newRow("RSS ampersand") << rss("Tides &amp; currents") << "f"
                                       << "Tides & currents"
                                       << "e1";
        QTest::newRow("RSS less-than") << rss("a &lt; b and c &gt; d") << "f"
                                       << "a < b and c > d"
                                       << "e1";
        QTest::newRow("RSS CDATA stays as written") << rss("<![CDATA[Knots <and> ropes]]>") << "f"
                                                    << "Knots <and> ropes"
                                                    << "e1";
        QTest::newRow("feed title")
            << QByteArray("<rss><channel><title>&lt;i&gt;Harbour&lt;/i&gt; Notes</title></channel></rss>")
            << "Harbour Notes" << QString() << QString();
        QTest::newRow("keyed by the title as written")
            << QByteArray("<rss><channel><title>f</title><item><title>&lt;b&gt;x&lt;/b&gt; y</title></item>"
                          "</channel></rss>")
            << "f"
            << "x y"
            << "<b>x</b> y";
    }
    void titles() {
        QFETCH(QByteArray, doc);
        QFETCH(QString, feedTitle);
        QFETCH(QString, title);
        QFETCH(QString, id);
        const auto feed = FeedParser::parse(doc);
        QVERIFY(feed);
        QCOMPARE(feed->title, feedTitle);
        if (title.isNull()) {
            QVERIFY(feed->items.isEmpty());
            return;
        }
        QCOMPARE(feed->items.size(), 1);
        QCOMPARE(feed->items[0].title, title);
        QCOMPARE(feed->items[0].id, id);
    }

    void semHTML_data() {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("text");
        QTest::newRow("two paragraphs") << "<p>One</p><p>Two</p>"
                                        << "One Two";
        QTest::newRow("two nbsp") << "a&nbsp;&nbsp;b"
                                  << "a b";
        QTest::newRow("lone greater-than") << "a > b"
                                           << "a b";
        QTest::newRow("unclosed less-than") << "keep <drop the rest"
                                            << "keep";
        QTest::newRow("line break tags") << "a<br>b<BR/>c<br />d"
                                         << "a b c d";
        QTest::newRow("list items") << "<ul><li>x</li><li>y</li></ul>"
                                    << "x y";
        QTest::newRow("inline tags leave no gap") << "<b>bo</b>ld"
                                                  << "bold";
        QTest::newRow("newlines") << "a\nb\n\nc"
                                  << "a b c";
        QTest::newRow("tabs stay") << "a\tb"
                                   << "a\tb";
        QTest::newRow("entities decoded") << "Tom &amp; Jerry &lt;3 &#8212; &#x41;"
                                          << "Tom & Jerry <3 — A";
        QTest::newRow("unknown entity kept") << "a &bogus; b"
                                             << "a &bogus; b";
        QTest::newRow("bad numeric entity kept") << "&#xD800; &#0;"
                                                 << "&#xD800; &#0;";
        QTest::newRow("empty") << ""
                               << "";
    }
    void semHTML() {
        QFETCH(QString, html);
        QFETCH(QString, text);
        QCOMPARE(FeedParser::semHTML(html), text);
    }
};

QTEST_GUILESS_MAIN(tst_FeedParser)
#include "tst_FeedParser.moc"
