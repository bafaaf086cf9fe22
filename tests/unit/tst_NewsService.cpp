// The news service against a loopback HTTP server with an injected clock: discovery, follow errors, the
// refresh rules, merging, read state and how failing servers are told apart.
#include "fakes/FakeClock.h"
#include "fakes/LoopbackHttp.h"
#include "fakes/TestSupport.h"
#include "services/AppPaths.h"
#include "services/FeedLinks.h"
#include "services/NewsService.h"

#include <QDir>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

namespace {

// An RSS document with `count` entries "<prefix>1".., the first the newest, one hour apart.
QByteArray rss(const QString& title, int count, const QString& prefix = QStringLiteral("e"),
               const QDateTime& newest = QDateTime(QDate(2025, 6, 1), QTime(12, 0), Qt::UTC)) {
    QString out =
        QStringLiteral("<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>%1</title>").arg(title);
    for (int i = 1; i <= count; ++i)
        out += QStringLiteral("<item><title>%1%2</title><guid>%1%2</guid><pubDate>%3</pubDate></item>")
                   .arg(prefix)
                   .arg(i)
                   .arg(QLocale::c().toString(newest.addSecs(-3600 * (i - 1)),
                                              "ddd, dd MMM yyyy HH:mm:ss +0000"));
    out += QStringLiteral("</channel></rss>");
    return out.toUtf8();
}

QByteArray page(const QString& headExtra) {
    return ("<html><head><title>Site</title>" + headExtra + "</head><body>hello</body></html>").toUtf8();
}

// Exposes the fetch helpers, so status handling is checked without going through discovery.
class Probe : public NewsService {
public:
    using NewsService::fetchAndParse;
    using NewsService::fetchText;
    using NewsService::NewsService;
};

template <typename T>
std::optional<NewsService::Outcome<T>>
await(std::function<void(std::function<void(NewsService::Outcome<T>)>)> start) {
    std::optional<NewsService::Outcome<T>> got;
    start([&](NewsService::Outcome<T> o) { got = std::move(o); });
    TestSupport::waitUntil([&] { return got.has_value(); }, 10000);
    return got;
}

} // namespace

class tst_NewsService : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_home;
    FakeClock m_clock;
    NewsWriter m_writer;

    std::unique_ptr<NewsService> makeService() {
        auto s = std::make_unique<NewsService>(m_clock, m_writer, TestSupport::folders().supportDir(),
                                               QStringLiteral("news"));
        s->setRequestTimeoutMs(400);
        return s;
    }
    static bool settle(NewsService& s) {
        return TestSupport::waitUntil([&] { return !s.adding() && !s.refreshing(); }, 10000);
    }

private slots:
    void initTestCase() { m_home = TestSupport::isolateHome(); }
    void init() {
        QDir support(TestSupport::folders().supportDir());
        for (const QString& f : support.entryList(QDir::Files))
            support.remove(f);
    }

    void discovery_data() {
        QTest::addColumn<QString>("typed");      // path on the server
        QTest::addColumn<QStringList>("routes"); // path, kind (feed/empty/page/<link href>), ...
        QTest::addColumn<QString>("feedPath");   // expected, or empty for "no feed"
        QTest::newRow("address is a feed") << "/blog" << QStringList{"/blog", "feed"} << "/blog";
        QTest::newRow("link tag, relative href")
            << "/site" << QStringList{"/site", "link:feeds/all.xml", "/feeds/all.xml", "feed"}
            << "/feeds/all.xml";
        QTest::newRow("link tag to an empty feed is taken")
            << "/site" << QStringList{"/site", "link:/quiet.xml", "/quiet.xml", "empty"} << "/quiet.xml";
        QTest::newRow("empty feed at the address falls through to candidates")
            << "/news" << QStringList{"/news", "empty", "/feed", "feed"} << "/feed";
        QTest::newRow("candidate replaces the last segment")
            << "/a/page" << QStringList{"/a/page", "page", "/a/rss.xml", "feed"} << "/a/rss.xml";
        QTest::newRow("candidate goes below a trailing slash")
            << "/a/" << QStringList{"/a/", "page", "/a/feed", "feed", "/feed", "feed"} << "/a/feed";
        QTest::newRow("empty candidate is skipped")
            << "/s" << QStringList{"/s", "page", "/feed", "empty", "/rss", "feed"} << "/rss";
        QTest::newRow("single-quoted rel is not a feed link")
            << "/s" << QStringList{"/s", "squote:/x.xml", "/x.xml", "feed"} << "";
        QTest::newRow("nothing anywhere") << "/s" << QStringList{"/s", "page"} << "";
    }
    void discovery() {
        QFETCH(QString, typed);
        QFETCH(QStringList, routes);
        QFETCH(QString, feedPath);
        LoopbackHttp server;
        for (int i = 0; i + 1 < routes.size(); i += 2) {
            const QString& kind = routes[i + 1];
            if (kind == "feed")
                server.set(routes[i], 200, rss("Feed", 3));
            else if (kind == "empty")
                server.set(routes[i], 200, rss("Quiet", 0));
            else if (kind == "page")
                server.set(routes[i], 200, page(QString()), "text/html");
            else if (kind.startsWith("link:"))
                server.set(
                    routes[i], 200,
                    page(QStringLiteral("<link rel=\"alternate\" type=\"application/rss+xml\" href=\"%1\">")
                             .arg(kind.mid(5))),
                    "text/html");
            else if (kind.startsWith("squote:"))
                server.set(routes[i], 200,
                           page(QStringLiteral("<link rel='alternate' type='application/rss+xml' href='%1'>")
                                    .arg(kind.mid(7))),
                           "text/html");
        }
        auto s = makeService();
        s->addFeed(server.url(typed).toString());
        QVERIFY(settle(*s));
        if (feedPath.isEmpty()) {
            QCOMPARE(s->addError(), QStringLiteral("That site doesn't publish a feed we can follow."));
            QVERIFY(s->feeds().isEmpty());
            return;
        }
        QVERIFY2(!s->hasAddError(), qPrintable(s->addError()));
        QCOMPARE(s->feeds().size(), 1);
        QCOMPARE(s->feeds()[0].feedURL, server.url(feedPath).toString());
        QCOMPARE(s->feeds()[0].siteURL, server.url(typed).toString());
        // What a source held when followed counts as read.
        QVERIFY(!s->hasUnread());
        QVERIFY(server.lastUserAgent().startsWith("Quillbay/1.0 (+https://"));
    }

    void followErrors_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("error");
        QTest::newRow("bare machine name") << "intranet"
                                           << "That doesn't look like a site address.";
        QTest::newRow("space in address") << "exa mple.com"
                                          << "That doesn't look like a site address.";
        QTest::newRow("closed port") << "http://127.0.0.1:9/feed"
                                     << "That site doesn't publish a feed we can follow.";
    }
    void followErrors() {
        QFETCH(QString, typed);
        QFETCH(QString, error);
        auto s = makeService();
        s->addFeed(typed);
        QVERIFY(settle(*s));
        QCOMPARE(s->addError(), error);
        QVERIFY(s->feeds().isEmpty());
    }

    void blankTextDoesNothing() {
        auto s = makeService();
        QSignalSpy changed(s.get(), &NewsService::changed);
        s->addFeed(QStringLiteral("  \n\t"));
        QVERIFY(!s->adding());
        QCOMPARE(changed.count(), 0);
    }

    void duplicateIsRefused() {
        LoopbackHttp server;
        server.set("/feed.xml", 200, rss("F", 2));
        auto s = makeService();
        s->addFeed(server.url("/feed.xml").toString());
        QVERIFY(settle(*s));
        QCOMPARE(s->feeds().size(), 1);
        s->addFeed(QStringLiteral("  ") + server.url("/feed.xml").toString() + QStringLiteral("\n"));
        QVERIFY(settle(*s));
        QCOMPARE(s->addError(), QStringLiteral("That site is already on your list."));
        QCOMPARE(s->feeds().size(), 1);
    }

    // How answers are told apart: a status is never "no connection", and a transport failure never a status.
    void statusClassification_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("stall");
        QTest::addColumn<int>("expectKind");
        QTest::addColumn<int>("expectStatus");
        QTest::addColumn<QString>("message");
        QTest::newRow("404") << 404 << false << int(NewsError::Http) << 404
                             << "The site answered with an error (404).";
        QTest::newRow("500") << 500 << false << int(NewsError::Http) << 500
                             << "The site answered with an error (500).";
        QTest::newRow("429") << 429 << false << int(NewsError::Http) << 429
                             << "The site answered with an error (429).";
        QTest::newRow("200 but not a feed") << 200 << false << int(NewsError::SemFeed) << 0
                                            << "That site doesn't publish a feed we can follow.";
        QTest::newRow("stalled server")
            << 200 << true << int(NewsError::Transport) << 0 << "Couldn't reach that site.";
    }
    void statusClassification() {
        QFETCH(int, status);
        QFETCH(bool, stall);
        QFETCH(int, expectKind);
        QFETCH(int, expectStatus);
        QFETCH(QString, message);
        LoopbackHttp server;
        LoopbackHttp::Answer a;
        a.status = status;
        a.body = "<html>no</html>";
        a.stall = stall;
        server.set("/x", a);
        Probe p(m_clock, m_writer, TestSupport::folders().supportDir(), QStringLiteral("probe"));
        p.setRequestTimeoutMs(300);
        const auto got = await<ParsedFeed>([&](auto done) { p.fetchAndParse(server.url("/x"), done); });
        QVERIFY(got);
        const auto* error = std::get_if<NewsError>(&*got);
        QVERIFY(error);
        QCOMPARE(int(error->kind), expectKind);
        QCOMPARE(error->status, expectStatus);
        QCOMPARE(error->mensagem(), message);
    }

    void redirectToAnotherHost() {
        LoopbackHttp other(QHostAddress(QStringLiteral("127.0.0.2")));
        if (!other.listening())
            QSKIP("127.0.0.2 is not usable here");
        other.set("/real.xml", 200, rss("Moved", 2));
        LoopbackHttp server;
        LoopbackHttp::Answer moved;
        moved.status = 301;
        moved.location = other.url("/real.xml").toEncoded();
        server.set("/old.xml", moved);
        Probe p(m_clock, m_writer, TestSupport::folders().supportDir(), QStringLiteral("probe"));
        const auto got = await<ParsedFeed>([&](auto done) { p.fetchAndParse(server.url("/old.xml"), done); });
        QVERIFY(got);
        QVERIFY(std::holds_alternative<ParsedFeed>(*got));
        QCOMPARE(std::get<ParsedFeed>(*got).title, QStringLiteral("Moved"));
        QCOMPARE(other.hits("/real.xml"), 1);
    }

    void oversizedBodyIsCutOff() {
        LoopbackHttp server;
        QByteArray body = "<rss><channel><title>t</title><item><description>";
        body += QByteArray(FeedParser::kMaxBodyBytes + 1024, 'z');
        body += "</description></item></channel></rss>";
        server.set("/big.xml", 200, body);
        Probe p(m_clock, m_writer, TestSupport::folders().supportDir(), QStringLiteral("probe"));
        const auto got = await<ParsedFeed>([&](auto done) { p.fetchAndParse(server.url("/big.xml"), done); });
        QVERIFY(got);
        const auto* error = std::get_if<NewsError>(&*got);
        QVERIFY(error);
        QCOMPARE(int(error->kind), int(NewsError::Transport));
        QVERIFY2(error->detail.contains("larger than"), qPrintable(error->detail));
    }

    void textIsUtf8ElseLatin1() {
        LoopbackHttp server;
        server.set("/u", 200, "caf\xC3\xA9", "text/plain");
        server.set("/l", 200, "caf\xE9", "text/plain");
        Probe p(m_clock, m_writer, TestSupport::folders().supportDir(), QStringLiteral("probe"));
        for (const char* path : {"/u", "/l"}) {
            const auto got = await<QString>([&](auto done) { p.fetchText(server.url(path), done); });
            QVERIFY(got && std::holds_alternative<QString>(*got));
            QCOMPARE(std::get<QString>(*got), QStringLiteral("café"));
        }
    }

    // A service that follows no source keeps no network thread (each costs a stack and a heap arena at
    // idle); the first request starts it and is answered, and a service that never asked goes cleanly.
    void theNetworkThreadWaitsForTheFirstRequest() {
        {
            Probe idle(m_clock, m_writer, TestSupport::folders().supportDir(), QStringLiteral("idle"));
            auto* thread = idle.findChild<QThread*>();
            QVERIFY(thread);
            QVERIFY(!thread->isRunning());
            idle.refresh(true); // nothing to refresh: still no thread
            QVERIFY(!thread->isRunning());
        }
        LoopbackHttp server;
        server.set("/t", 200, "text", "text/plain");
        Probe p(m_clock, m_writer, TestSupport::folders().supportDir(), QStringLiteral("probe"));
        auto* thread = p.findChild<QThread*>();
        QVERIFY(thread && !thread->isRunning());
        for (int i = 0; i < 2; ++i) {
            const auto got = await<QString>([&](auto done) { p.fetchText(server.url("/t"), done); });
            QVERIFY(got && std::holds_alternative<QString>(*got));
            QCOMPARE(std::get<QString>(*got), QStringLiteral("text"));
            QVERIFY(thread->isRunning());
        }
    }

    void refreshRules() {
        LoopbackHttp server;
        server.set("/f.xml", 200, rss("F", 2));
        auto s = makeService();
        s->refresh(true); // no sources: nothing
        QVERIFY(!s->refreshing());
        s->addFeed(server.url("/f.xml").toString());
        QVERIFY(settle(*s));
        const int afterFollow = server.hits("/f.xml");

        s->refresh(false);
        QVERIFY(s->refreshing());
        s->refresh(true); // already running: nothing more
        QVERIFY(settle(*s));
        QCOMPARE(server.hits("/f.xml"), afterFollow + 1);

        m_clock.advanceSeconds(1199);
        s->refresh(false);
        QVERIFY(!s->refreshing());
        QCOMPARE(server.hits("/f.xml"), afterFollow + 1);

        s->refresh(true);
        QVERIFY(settle(*s));
        QCOMPARE(server.hits("/f.xml"), afterFollow + 2);

        m_clock.advanceSeconds(1200); // counted from the forced refresh's start
        s->refresh(false);
        QVERIFY(settle(*s));
        QCOMPARE(server.hits("/f.xml"), afterFollow + 3);
    }

    void refreshMergesKeepsReadStateAndRenames() {
        LoopbackHttp server;
        server.set("/f.xml", 200, rss("Old name", 2));
        auto s = makeService();
        s->addFeed(server.url("/f.xml").toString());
        QVERIFY(settle(*s));
        QCOMPARE(s->feeds()[0].title, QStringLiteral("Old name"));
        QCOMPARE(s->items().size(), 2);

        // The source renames itself, changes an old entry's title and adds a newer entry.
        QByteArray next = rss("New name", 2);
        next.replace("<title>e1</title>", "<title>e1 edited</title>");
        next.replace("<channel><title>New name</title>",
                     "<channel><title>New name</title><item><title>fresh</title><guid>fresh</guid>"
                     "<pubDate>Mon, 02 Jun 2025 12:00:00 +0000</pubDate></item>");
        server.set("/f.xml", 200, next);
        s->refresh(true);
        QVERIFY(settle(*s));
        QCOMPARE(s->feeds()[0].title, QStringLiteral("New name"));
        QCOMPARE(s->items().size(), 3);
        QCOMPARE(s->items()[0].id, QStringLiteral("fresh"));
        QVERIFY(!s->items()[0].seen);
        QCOMPARE(s->items()[0].feedTitle, QStringLiteral("New name"));
        QCOMPARE(s->items()[1].title, QStringLiteral("e1")); // stored copy wins
        QVERIFY(s->items()[1].seen);
        QCOMPARE(s->items()[1].feedTitle, QStringLiteral("Old name"));
        QVERIFY(s->hasUnread());

        // The lists survive a restart.
        auto again = makeService();
        QCOMPARE(again->feeds(), s->feeds());
        QCOMPARE(again->items(), s->items());
    }

    void stalledSourceDoesNotStopTheOthers() {
        LoopbackHttp server;
        server.set("/a.xml", 200, rss("A", 1, "a"));
        server.set("/b.xml", 200, rss("B", 1, "b"));
        auto s = makeService();
        s->addFeed(server.url("/a.xml").toString());
        QVERIFY(settle(*s));
        s->addFeed(server.url("/b.xml").toString());
        QVERIFY(settle(*s));
        LoopbackHttp::Answer stall;
        stall.stall = true;
        server.set("/a.xml", stall);
        server.set("/b.xml", 200, rss("B", 2, "b", QDateTime(QDate(2025, 7, 1), QTime(0, 0), Qt::UTC)));
        const int before = server.hits("/b.xml");
        s->refresh(true);
        QVERIFY(settle(*s));
        QCOMPARE(server.hits("/b.xml"), before + 1);
        QCOMPARE(s->items().size(), 3);
        QCOMPARE(s->feeds()[0].title, QStringLiteral("A")); // failing source keeps its title
    }

    void capAt300DropsOldestAndUndated() {
        LoopbackHttp server;
        QByteArray doc = rss("Big", 300);
        doc.replace("</channel>", "<item><title>undated</title><guid>undated</guid></item></channel>");
        server.set("/big.xml", 200, doc);
        auto s = makeService();
        s->addFeed(server.url("/big.xml").toString());
        QVERIFY(settle(*s));
        QCOMPARE(s->items().size(), NewsService::kMaxItems);
        QCOMPARE(s->items().first().id, QStringLiteral("e1"));
        QCOMPARE(s->items().last().id, QStringLiteral("e300"));

        // A newer entry pushes out the oldest.
        server.set("/big.xml", 200, rss("Big", 1, "n", QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC)));
        s->refresh(true);
        QVERIFY(settle(*s));
        QCOMPARE(s->items().size(), NewsService::kMaxItems);
        QCOMPARE(s->items().first().id, QStringLiteral("n1"));
        QCOMPARE(s->items().last().id, QStringLiteral("e299"));
    }

    void readStateSavesOnlyOnChange() {
        LoopbackHttp server;
        server.set("/f.xml", 200, rss("F", 1));
        auto s = makeService();
        s->addFeed(server.url("/f.xml").toString());
        QVERIFY(settle(*s));
        server.set("/f.xml", 200, rss("F", 1, "n", QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC)));
        s->refresh(true);
        QVERIFY(settle(*s));
        const NewsItem unread = s->items().first();
        QVERIFY(!unread.seen);
        const int saves = s->saveCount();
        s->markSeen(unread);
        QCOMPARE(s->saveCount(), saves + 1);
        s->markSeen(unread);
        s->markAllSeen();
        QCOMPARE(s->saveCount(), saves + 1);
        QVERIFY(!s->hasUnread());
    }

    void removeDropsSourceAndItsEntries() {
        LoopbackHttp server;
        server.set("/a.xml", 200, rss("A", 2, "a"));
        server.set("/b.xml", 200, rss("B", 2, "b"));
        auto s = makeService();
        s->addFeed(server.url("/a.xml").toString());
        QVERIFY(settle(*s));
        s->addFeed(server.url("/b.xml").toString());
        QVERIFY(settle(*s));
        s->remove(s->feeds()[0]);
        QCOMPARE(s->feeds().size(), 1);
        QCOMPARE(s->items().size(), 2);
        QVERIFY(s->items()[0].id.startsWith('b'));
    }

    // Requests and parsing run on the service's network thread; every answer is handed over on the main
    // thread.
    void answersArriveOnTheMainThread_data() {
        QTest::addColumn<QString>("call");
        QTest::addColumn<QString>("path");
        for (const char* call : {"fetchAndParse", "fetchText"})
            for (const char* path : {"/feed.xml", "/missing", "/stall"})
                QTest::newRow(
                    qPrintable(QStringLiteral("%1 %2").arg(QLatin1String(call), QLatin1String(path))))
                    << QString::fromLatin1(call) << QString::fromLatin1(path);
    }
    void answersArriveOnTheMainThread() {
        QFETCH(QString, call);
        QFETCH(QString, path);
        LoopbackHttp server;
        server.set("/feed.xml", 200, rss("F", 2));
        server.set("/missing", 404, "gone");
        LoopbackHttp::Answer stall;
        stall.stall = true;
        server.set("/stall", stall);
        Probe p(m_clock, m_writer, TestSupport::folders().supportDir(), QStringLiteral("probe"));
        p.setRequestTimeoutMs(300);
        QThread* answeredOn = nullptr;
        bool answered = false;
        if (call == "fetchAndParse")
            p.fetchAndParse(server.url(path), [&](NewsService::Outcome<ParsedFeed>) {
                answeredOn = QThread::currentThread();
                answered = true;
            });
        else
            p.fetchText(server.url(path), [&](NewsService::Outcome<QString>) {
                answeredOn = QThread::currentThread();
                answered = true;
            });
        QVERIFY(TestSupport::waitUntil([&] { return answered; }, 10000));
        QCOMPARE(answeredOn, QCoreApplication::instance()->thread());
    }

    // A service that goes while its requests are out hears nothing more and takes nothing down with it.
    void serviceGoneWhileRequestsAreOut() {
        LoopbackHttp server;
        QByteArray big = rss("Big", 2000);
        server.set("/big.xml", 200, big);
        LoopbackHttp::Answer stall;
        stall.stall = true;
        server.set("/stall", stall);
        int answers = 0;
        auto p = std::make_unique<Probe>(m_clock, m_writer, TestSupport::folders().supportDir(),
                                         QStringLiteral("probe"));
        for (const char* path : {"/big.xml", "/stall"})
            p->fetchAndParse(server.url(path), [&](NewsService::Outcome<ParsedFeed>) { ++answers; });
        p->fetchText(server.url("/big.xml"), [&](NewsService::Outcome<QString>) { ++answers; });
        QVERIFY(TestSupport::waitUntil(
            [&] { return server.hits("/big.xml") == 2 && server.hits("/stall") == 1; }, 10000));
        const int before = answers; // an answer may have come in while waiting; none may come after
        p.reset();
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(answers, before);
    }

    void textHelpers() {
        QCOMPARE(FeedLinks::attributeValue("href", "link data-href=\"a\" href=\"b\""),
                 std::optional<QString>("a"));
        QCOMPARE(FeedLinks::attributeValue("href", "link href=  'b'"), std::optional<QString>("b"));
        QCOMPARE(FeedLinks::attributeValue("href", "link href=\"\""), std::optional<QString>(""));
        QVERIFY(!FeedLinks::attributeValue("href", "link href=\"open"));
        QVERIFY(!FeedLinks::attributeValue("href", "link href=b"));
        QVERIFY(!FeedLinks::feedLink("<LINK rel=\"alternate\" type=\"application/rss+xml\" href=\"/a\">"));
        QCOMPARE(FeedLinks::feedLink("<link rel=\"alternate\" type=\"application/atom+xml\" href='/b'>"),
                 std::optional<QString>("/b"));
        QCOMPARE(FeedLinks::feedLink("<link rel=\"stylesheet\" href=\"/c\"><link rel=alternate "
                                     "type=\"application/rss+xml\" href=\"/d\">"),
                 std::optional<QString>("/d"));
        QCOMPARE(FeedLinks::tituloOu("T", QUrl("https://a.example/b"), "x"), QStringLiteral("T"));
        QCOMPARE(FeedLinks::tituloOu("", QUrl("https://a.example/blog/"), "x"), QStringLiteral("blog"));
        QCOMPARE(FeedLinks::tituloOu("", QUrl("https://a.example/"), "x"), QStringLiteral("a.example"));
        QCOMPARE(FeedLinks::tituloOu("", QUrl(), "typed"), QStringLiteral("typed"));
        QCOMPARE(FeedLinks::normalizeURL("example.com/x"),
                 std::optional<QUrl>(QUrl("https://example.com/x")));
        QVERIFY(!FeedLinks::normalizeURL("localhost"));
    }

    // Files read after the island is up: a source followed before they were read joins them, nothing is
    // written over them meanwhile, and the refresh asked for at launch runs once they are read.
    void storesReadLate_data() {
        QTest::addColumn<bool>("endBeforeTheRead"); // the service ends before the read's result arrives
        QTest::newRow("read, then ended") << false;
        QTest::newRow("ended while reading") << true;
    }
    void storesReadLate() {
        QFETCH(bool, endBeforeTheRead);
        LoopbackHttp server;
        server.set("/a.xml", 200, rss("A", 2, "a"));
        server.set("/b.xml", 200, rss("B", 2, "b"));
        const Feed a{QUuid::createUuid(), "A", server.url("/").toString(), server.url("/a.xml").toString()};
        const QDateTime old(QDate(2025, 5, 1), QTime(9, 0), Qt::UTC);
        const QList<NewsItem> stored{{std::nullopt, "s1", a.id, "A", "s1", "", old, true},
                                     {std::nullopt, "s2", a.id, "A", "s2", "", old.addSecs(-60), false}};
        const QString feedsPath = TestSupport::folders().supportDir() + "/news-feeds.json";
        const QString itemsPath = TestSupport::folders().supportDir() + "/news-items.json";
        QVERIFY(AppPaths::writePrivate(Feeds::encode({a}), feedsPath));
        QVERIFY(AppPaths::writePrivate(NewsItems::encode(stored), itemsPath));
        auto contents = [&] {
            QFile f(feedsPath), i(itemsPath);
            return f.open(QIODevice::ReadOnly) && i.open(QIODevice::ReadOnly) ? f.readAll() + i.readAll()
                                                                              : QByteArray();
        };
        const QByteArray before = contents();

        auto s = std::make_unique<NewsService>(m_clock, m_writer, TestSupport::folders().supportDir(),
                                               QStringLiteral("news"), nullptr, StoreLoad::later);
        s->setRequestTimeoutMs(400);
        QVERIFY(s->feeds().isEmpty() && !s->isStoreLoaded());
        s->refresh(false); // the launch's: waits for the files
        QVERIFY(!s->refreshing());
        s->addFeed(server.url("/b.xml").toString());
        QVERIFY(settle(*s));
        QCOMPARE(s->feeds().size(), 1);
        // A store of the same writer reads only after every write queued before it has ended.
        NewsStore(m_writer, feedsPath + ".none", itemsPath + ".none").loadFeeds();
        QCOMPARE(contents(), before);
        QCOMPARE(server.hits("/a.xml"), 0);

        s->loadStore();
        if (endBeforeTheRead) {
            s.reset();
        } else {
            QSignalSpy loaded(s.get(), &NewsService::storeLoaded);
            QVERIFY(loaded.wait(10000));
            QCOMPARE(s->feeds().size(), 2);
            QCOMPARE(s->feeds()[0], a);
            QVERIFY(TestSupport::waitUntil([&] { return server.hits("/a.xml") == 1; }, 10000));
            QVERIFY(settle(*s));
            s.reset();
        }
        NewsService reopened(m_clock, m_writer, TestSupport::folders().supportDir(), QStringLiteral("news"));
        QCOMPARE(reopened.feeds().size(), 2);
        QSet<QString> ids;
        for (const NewsItem& item : reopened.items())
            ids.insert(item.id);
        QVERIFY2(ids.contains("s1") && ids.contains("s2") && ids.contains("b1") && ids.contains("b2"),
                 qPrintable(QStringList(ids.values()).join(',')));
        // The stored read state stands.
        for (const NewsItem& item : reopened.items())
            if (item.id == "s1" || item.id == "s2")
                QCOMPARE(item.seen, item.id == "s1");
    }

    // An items file that cannot be decoded, read late: set aside whole, never written over.
    void unreadableStoreReadLateIsSetAside() {
        const QString itemsPath = TestSupport::folders().supportDir() + "/news-items.json";
        QVERIFY(QDir().mkpath(TestSupport::folders().supportDir()));
        {
            QFile f(itemsPath);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("[{\"broken\"");
        }
        NewsService s(m_clock, m_writer, TestSupport::folders().supportDir(), QStringLiteral("news"), nullptr,
                      StoreLoad::later);
        QSignalSpy loaded(&s, &NewsService::storeLoaded);
        s.loadStore();
        QVERIFY(loaded.wait(10000));
        QVERIFY(s.items().isEmpty());
        const QStringList aside =
            QDir(TestSupport::folders().supportDir()).entryList({"news-items.json.corrupt-*"});
        QCOMPARE(aside.size(), 1);
        QFile f(TestSupport::folders().supportDir() + "/" + aside[0]);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("[{\"broken\""));
    }
};

QTEST_GUILESS_MAIN(tst_NewsService)
#include "tst_NewsService.moc"
