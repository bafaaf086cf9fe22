// X profiles: handle parsing, the timeline page's embedded data, request spacing and the rate-limit path.
#include "fakes/FakeClock.h"
#include "fakes/LoopbackHttp.h"
#include "fakes/TestSupport.h"
#include "services/AppPaths.h"
#include "services/ProfilesService.h"

#include <QDir>
#include <QtTest>

namespace {

QByteArray fixture(const char* name) {
    QFile f(QStringLiteral(QUILLBAY_FIXTURES_DIR "/x/") + QLatin1String(name));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", name);
    return f.readAll();
}

QByteArray timelinePage(const QByteArray& json) {
    return "<html><script id=\"__NEXT_DATA__\" type=\"application/json\">" + json + "</script></html>";
}

} // namespace

class tst_ProfilesService : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_home;
    NewsWriter m_writer;

private slots:
    void initTestCase() { m_home = TestSupport::isolateHome(); }
    void init() {
        QDir support(TestSupport::folders().supportDir());
        for (const QString& f : support.entryList(QDir::Files))
            support.remove(f);
    }

    void handles_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("handle"); // empty: refused
        QTest::newRow("plain") << "nasa"
                               << "nasa";
        QTest::newRow("with @") << "@nasa"
                                << "nasa";
        QTest::newRow("full address") << "https://www.x.com/nasa"
                                      << "nasa";
        QTest::newRow("post address") << "https://x.com/nasa/status/123?s=20"
                                      << "nasa";
        QTest::newRow("former host") << "http://twitter.com/nasa"
                                     << "nasa";
        QTest::newRow("query") << "nasa?ref=1"
                               << "nasa";
        QTest::newRow("15 characters") << "abcdefghijklmno"
                                       << "abcdefghijklmno";
        QTest::newRow("16 characters") << "abcdefghijklmnop"
                                       << "";
        QTest::newRow("accented, digits, underscore") << "joão_42"
                                                      << "joão_42";
        QTest::newRow("case kept") << "NASA"
                                   << "NASA";
        QTest::newRow("@ alone") << "@"
                                 << "";
        QTest::newRow("slash alone") << "/"
                                     << "";
        QTest::newRow("question mark alone") << "?"
                                             << "";
        QTest::newRow("capital scheme is not removed") << "HTTPS://nasa"
                                                       << "";
        QTest::newRow("dash") << "na-sa"
                              << "";
    }
    void handles() {
        QFETCH(QString, typed);
        QFETCH(QString, handle);
        const auto address = ProfilesService::x(typed);
        if (handle.isEmpty()) {
            QVERIFY(!address);
            return;
        }
        QVERIFY(address);
        QCOMPARE(address->site, QUrl("https://x.com/" + handle));
        QCOMPARE(address->feed,
                 QUrl("https://syndication.twitter.com/srv/timeline-profile/screen-name/" + handle));
    }

    void timelineFixture() {
        const auto got = ProfilesService::readTimeline(fixture("timeline.html"));
        QVERIFY(std::holds_alternative<ParsedFeed>(got));
        const ParsedFeed feed = std::get<ParsedFeed>(got);
        QCOMPARE(feed.title, QStringLiteral("@harbourmaster"));
        QCOMPARE(feed.items.size(), 3);
        QCOMPARE(feed.items[0].id, QStringLiteral("x:100"));
        QCOMPARE(feed.items[0].title, QString());
        QCOMPARE(feed.items[0].summary, QStringLiteral("  First post — with <b>markup</b>  ")); // unchanged
        QCOMPARE(feed.items[0].link, QStringLiteral("https://x.com/harbourmaster/status/100"));
        QCOMPARE(feed.items[0].published,
                 std::optional<QDateTime>(QDateTime(QDate(2018, 10, 10), QTime(20, 19, 24), Qt::UTC)));
        QCOMPARE(feed.items[1].link, QStringLiteral("https://x.com//status/101"));
        QVERIFY(!feed.items[1].published); // ISO form is not the timeline's
        // A permalink that is not a path on the web host is not used.
        QCOMPARE(feed.items[2].link, QStringLiteral("https://x.com/harbourmaster/status/102"));
    }

    void timelineRefusals_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("no script element") << QByteArray("<html></html>");
        QTest::newRow("no closing tag")
            << QByteArray("<script id=\"__NEXT_DATA__\" type=\"application/json\">{\"props\":{}}");
        QTest::newRow("bad json") << timelinePage("{oops");
        QTest::newRow("top level array") << timelinePage("[]");
        QTest::newRow("missing timeline") << timelinePage(R"({"props":{"pageProps":{}}})");
        QTest::newRow("entries not array")
            << timelinePage(R"({"props":{"pageProps":{"timeline":{"entries":{}}}}})");
        QTest::newRow("empty entries")
            << timelinePage(R"({"props":{"pageProps":{"timeline":{"entries":[]}}}})");
        QTest::newRow("no full_text") << timelinePage(
            R"({"props":{"pageProps":{"timeline":{"entries":[{"content":{"tweet":{"id_str":"1"}}}]}}}})");
        QTest::newRow("invalid utf-8") << QByteArray("\xff\xfe<script id=\"__NEXT_DATA__\"");
        QTest::newRow("single quotes in tag")
            << QByteArray("<script id='__NEXT_DATA__' type='application/json'>{}</script>");
    }
    void timelineRefusals() {
        QFETCH(QByteArray, body);
        const auto got = ProfilesService::readTimeline(body);
        QVERIFY(std::holds_alternative<NewsError>(got));
        QCOMPARE(int(std::get<NewsError>(got).kind), int(NewsError::PerfilNaoEncontrado));
    }

    void xDates_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("timeline form") << "Wed Oct 10 20:19:24 +0000 2018" << true;
        QTest::newRow("negative offset") << "Wed Oct 10 20:19:24 -0300 2018" << true;
        QTest::newRow("iso") << "2018-10-10T20:19:24Z" << false;
        QTest::newRow("bad month") << "Wed Foo 10 20:19:24 +0000 2018" << false;
        QTest::newRow("no such day") << "Wed Feb 30 20:19:24 +0000 2018" << false;
        QTest::newRow("empty") << "" << false;
    }
    void xDates() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QCOMPARE(ProfilesService::parseXDate(text).has_value(), valid);
    }

    // Timeline requests run at least 5 s apart on the injected clock; other feeds are not spaced.
    void spacing() {
        LoopbackHttp server;
        server.set("/srv/timeline-profile/screen-name/a", 200, fixture("timeline.html"), "text/html");
        server.set("/srv/timeline-profile/screen-name/b", 200, fixture("timeline.html"), "text/html");
        FakeClock clock;
        ProfilesService::Hosts hosts;
        hosts.timelineOrigin = server.url(QString()).toString();
        ProfilesService s(clock, m_writer, TestSupport::folders().supportDir(), hosts);
        QList<qint64> waits;
        s.setScheduler([&](qint64 ms, std::function<void()> fn) {
            waits.append(ms);
            clock.advanceMs(ms);
            fn();
        });
        QCOMPARE(s.spacingWaitMs(), 0); // the first request after start is never delayed
        s.addFeed(QStringLiteral("a"));
        QVERIFY(TestSupport::waitUntil([&] { return !s.adding(); }, 10000));
        QVERIFY2(!s.hasAddError(), qPrintable(s.addError()));
        QCOMPARE(waits, QList<qint64>());
        QCOMPARE(s.feeds()[0].title, QStringLiteral("@harbourmaster"));
        clock.advanceSeconds(2);
        QCOMPARE(s.spacingWaitMs(), 3000);
        s.addFeed(QStringLiteral("b"));
        QVERIFY(TestSupport::waitUntil([&] { return !s.adding(); }, 10000));
        QCOMPARE(waits, QList<qint64>{3000});
        clock.advanceSeconds(6);
        QCOMPARE(s.spacingWaitMs(), 0);
        s.refresh(true);
        QVERIFY(TestSupport::waitUntil([&] { return !s.refreshing(); }, 10000));
        // Two profiles refreshed one after another: the second waits the full 5 s.
        QCOMPARE(waits, (QList<qint64>{3000, 5000}));
    }

    void rateLimitedFollowAddsWithoutEntries_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("feeds");
        QTest::newRow("429") << 429 << QString() << 1;
        QTest::newRow("204") << 204 << "The site answered with an error (204)." << 0;
        QTest::newRow("500") << 500 << "The site answered with an error (500)." << 0;
    }
    void rateLimitedFollowAddsWithoutEntries() {
        QFETCH(int, status);
        QFETCH(QString, error);
        QFETCH(int, feeds);
        LoopbackHttp server;
        server.set("/srv/timeline-profile/screen-name/nasa", status, "busy", "text/plain");
        FakeClock clock;
        ProfilesService::Hosts hosts;
        hosts.timelineOrigin = server.url(QString()).toString();
        ProfilesService s(clock, m_writer, TestSupport::folders().supportDir(), hosts);
        s.addFeed(QStringLiteral("@nasa"));
        QVERIFY(TestSupport::waitUntil([&] { return !s.adding(); }, 10000));
        QCOMPARE(s.addError(), error);
        QCOMPARE(s.feeds().size(), feeds);
        if (feeds) {
            QCOMPARE(s.feeds()[0].title, QStringLiteral("nasa")); // named from its address
            QVERIFY(s.items().isEmpty());
        }
    }

    void invalidHandleMessages() {
        FakeClock clock;
        ProfilesService s(clock, m_writer, TestSupport::folders().supportDir());
        s.addFeed(QStringLiteral("not a handle!"));
        QVERIFY(TestSupport::waitUntil([&] { return !s.adding(); }, 10000));
        QCOMPARE(s.addError(), QStringLiteral("Type an X handle, like @nasa."));
    }
};

QTEST_GUILESS_MAIN(tst_ProfilesService)
#include "tst_ProfilesService.moc"
