// Usage statistics against a loopback stand-in for the maker's web service: counting, the 20-hour rule,
// what each answer does to the counts, the report's body, the opt-out, and the counts kept on disk.
#include "fakes/FakeClock.h"
#include "fakes/FakeSaveTimer.h"
#include "fakes/FakeTicker.h"
#include "fakes/LoopbackHttp.h"
#include "fakes/TestSupport.h"
#include "services/Defaults.h"
#include "services/TelemetryService.h"
#include "services/UpdateService.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QString kPath = QStringLiteral("/api/telemetry");
const QStringList kStoredKeys{"telemetryAnonID", "telemetrySeconds", "telemetryOpens", "telemetryTabs",
                              "telemetryLastSent"};

QString stamp(const QDateTime& t) {
    return t.toUTC().toString(Qt::ISODateWithMs);
}
} // namespace

class tst_TelemetryService : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    FakeSaveTimer* m_saveTimer = nullptr; // owned by m_defaults
    std::unique_ptr<Defaults> m_defaults;
    std::unique_ptr<FakeClock> m_clock;
    std::unique_ptr<FakeTickerFactory> m_tickers;
    std::unique_ptr<LoopbackHttp> m_server;
    std::unique_ptr<TelemetryService> m_service;

    void make(const QUrl& endpoint) {
        m_service.reset();
        m_service = std::make_unique<TelemetryService>(*m_defaults, *m_clock, *m_tickers, endpoint);
        // Set when this run goes through the fetch helper.
        m_service->setFetchHelper(qEnvironmentVariable("QUILLBAY_TEST_FETCH_HELPER"));
    }
    Defaults& d() { return *m_defaults; }
    TelemetryService& t() { return *m_service; }

    // Fires the 30-minute check and waits for the report's answer when one was sent.
    bool tickAndWait() {
        QSignalSpy finished(m_service.get(), &TelemetryService::reportFinished);
        if (m_tickers->fire(TelemetryService::checkIntervalMs) != 1)
            return false;
        if (!t().sending())
            return true;
        return TestSupport::waitUntil([&] { return finished.count() == 1; }, 15000);
    }
    void countSomething() {
        t().islandOpened();
        m_clock->advanceSeconds(150);
        t().islandClosed();
        t().tabUsed("kit");
        t().tabUsed("kit");
        t().tabUsed("custom");
    }

private slots:
    void init() {
        auto timer = std::make_unique<FakeSaveTimer>();
        m_saveTimer = timer.get();
        QFile::remove(m_dir.filePath("defaults.json"));
        m_defaults = std::make_unique<Defaults>(m_dir.filePath("defaults.json"), std::move(timer));
        m_clock = std::make_unique<FakeClock>();
        m_tickers = std::make_unique<FakeTickerFactory>();
        m_server = std::make_unique<LoopbackHttp>();
        QVERIFY(m_server->listening());
        make(m_server->url(kPath));
    }
    void cleanup() {
        m_service.reset();
        m_server.reset();
        m_defaults.reset();
    }

    void openPeriods_data() {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<double>("storedSeconds");
        QTest::addColumn<int>("minutes");
        QTest::newRow("0.8 s counts the open only") << 0.8 << 0.0 << 0;
        QTest::newRow("exactly 1 s is not more than 1 s") << 1.0 << 0.0 << 0;
        QTest::newRow("1.5 s") << 1.5 << 1.5 << 0;
        QTest::newRow("90 s is one minute") << 90.0 << 90.0 << 1;
        QTest::newRow("119.9 s truncates") << 119.9 << 119.9 << 1;
    }
    void openPeriods() {
        QFETCH(double, seconds);
        QFETCH(double, storedSeconds);
        QFETCH(int, minutes);
        t().islandOpened();
        m_clock->advanceSeconds(seconds);
        t().islandClosed();
        QCOMPARE(d().integer("telemetryOpens"), 1);
        QVERIFY(qAbs(d().doubleValue("telemetrySeconds") - storedSeconds) < 1e-6);
        QCOMPARE(t().montarPayload().value("minutes").toInteger(), minutes);
    }

    void openPeriodsIgnoreTheWallClockAndUnpairedCloses() {
        t().islandClosed(); // nothing open
        t().islandOpened();
        m_clock->advanceSeconds(10);
        t().islandOpened();              // a second open replaces the running period
        m_clock->suspendMs(3600 * 1000); // the wall clock jumps; the open time does not
        m_clock->advanceSeconds(5);
        t().islandClosed();
        t().islandClosed();
        QCOMPARE(d().integer("telemetryOpens"), 2);
        QCOMPARE(d().doubleValue("telemetrySeconds"), 5.0);
    }

    void tabUses_data() {
        QTest::addColumn<QJsonValue>("stored");
        QTest::addColumn<QJsonObject>("expected");
        QTest::newRow("nothing stored") << QJsonValue() << QJsonObject{{"kit", 2}, {"custom", 2}};
        QTest::newRow("earlier counts grow") << QJsonValue(QJsonObject{{"kit", 3}, {"news", 1}})
                                             << QJsonObject{{"kit", 5}, {"custom", 2}, {"news", 1}};
        QTest::newRow("a list is not a map")
            << QJsonValue(QJsonArray{1, 2}) << QJsonObject{{"kit", 2}, {"custom", 2}};
        QTest::newRow("a map of texts starts over")
            << QJsonValue(QJsonObject{{"kit", "7"}}) << QJsonObject{{"kit", 2}, {"custom", 2}};
        QTest::newRow("fractions are not counts")
            << QJsonValue(QJsonObject{{"kit", 1.5}}) << QJsonObject{{"kit", 2}, {"custom", 2}};
    }
    void tabUses() {
        QFETCH(QJsonValue, stored);
        QFETCH(QJsonObject, expected);
        if (!stored.isUndefined() && !stored.isNull())
            d().set("telemetryTabs", stored);
        // The selected tab pressed again counts again; every custom tab counts as "custom".
        for (const char* id : {"kit", "kit", "custom", "custom"})
            t().tabUsed(QString::fromLatin1(id));
        QCOMPARE(d().dictionary("telemetryTabs").value_or(QJsonObject()), expected);
        QCOMPARE(t().montarPayload().value("tabs").toObject(), expected);
    }

    void installID_data() {
        QTest::addColumn<QJsonValue>("stored");
        QTest::addColumn<bool>("kept");
        QTest::newRow("none") << QJsonValue() << false;
        QTest::newRow("16 hex digits") << QJsonValue("0123456789abcdef") << true;
        QTest::newRow("16 characters, not hex, still kept") << QJsonValue("zzzzzzzzzzzzzzzz") << true;
        QTest::newRow("15 characters") << QJsonValue("0123456789abcde") << false;
        QTest::newRow("17 characters") << QJsonValue("0123456789abcdef0") << false;
        QTest::newRow("a number") << QJsonValue(1234567890123456.0) << false;
    }
    void installID() {
        QFETCH(QJsonValue, stored);
        QFETCH(bool, kept);
        if (!stored.isUndefined())
            d().set("telemetryAnonID", stored);
        const QString id = t().anonID();
        if (kept) {
            QCOMPARE(id, stored.toString());
        } else {
            QVERIFY2(QRegularExpression("\\A[0-9a-f]{16}\\z").match(id).hasMatch(), qPrintable(id));
            QCOMPARE(d().string("telemetryAnonID").value_or(QString()), id);
        }
        QCOMPARE(t().anonID(), id); // stable once made
    }

    void installIDsDiffer() {
        QSet<QString> ids;
        for (int i = 0; i < 50; ++i) {
            d().remove("telemetryAnonID");
            ids.insert(t().anonID());
        }
        QCOMPARE(ids.size(), 50);
    }

    void twentyHourRule_data() {
        QTest::addColumn<QJsonValue>("lastSent"); // a number: seconds before the check; else stored as is
        QTest::addColumn<bool>("sends");
        QTest::newRow("never sent") << QJsonValue() << true;
        QTest::newRow("19 h 59 min ago") << QJsonValue(72000 - 60) << false;
        QTest::newRow("exactly 20 h ago") << QJsonValue(72000) << false;
        QTest::newRow("20 h and 1 s ago") << QJsonValue(72001) << true;
        QTest::newRow("not a date") << QJsonValue("yesterday") << true;
        QTest::newRow("a boolean") << QJsonValue(true) << true;
        QTest::newRow("a year ahead (clock set back)") << QJsonValue(-365 * 86400) << true;
    }
    void twentyHourRule() {
        QFETCH(QJsonValue, lastSent);
        QFETCH(bool, sends);
        m_server->set(kPath, 200, "{}", "application/json");
        countSomething();
        if (lastSent.isDouble())
            d().set("telemetryLastSent", stamp(m_clock->now().addSecs(-qint64(lastSent.toDouble()))));
        else if (!lastSent.isUndefined())
            d().set("telemetryLastSent", lastSent);
        QVERIFY(tickAndWait());
        QCOMPARE(m_server->hits(kPath), sends ? 1 : 0);
    }

    void nothingCountedSendsNothing() {
        d().set("telemetrySeconds", 0.9);
        QVERIFY(tickAndWait());
        QCOMPARE(m_server->totalHits(), 0);
        QVERIFY(!d().contains("telemetryLastSent"));
        // Forced, the empty report goes.
        QSignalSpy finished(m_service.get(), &TelemetryService::reportFinished);
        t().enviar(true);
        QVERIFY(TestSupport::waitUntil([&] { return finished.count() == 1; }, 15000));
        QCOMPARE(m_server->hits(kPath), 1);
    }

    void answers_data() {
        QTest::addColumn<int>("status"); // 0: the connection is refused
        QTest::addColumn<bool>("delivered");
        QTest::newRow("200 delivers") << 200 << true;
        QTest::newRow("204 is not 200") << 204 << false;
        QTest::newRow("400") << 400 << false;
        QTest::newRow("500") << 500 << false;
        QTest::newRow("refused connection") << 0 << false;
    }
    void answers() {
        QFETCH(int, status);
        QFETCH(bool, delivered);
        if (status == 0) {
            QTcpServer closed;
            QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
            const quint16 port = closed.serverPort();
            closed.close();
            make(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(kPath)));
        } else {
            m_server->set(kPath, status, "{}", "application/json");
        }
        d().set("telemetryAnonID", "00000000000000aa");
        countSomething();
        QVERIFY(tickAndWait());
        if (status != 0)
            QCOMPARE(m_server->hits(kPath), 1);
        QCOMPARE(d().string("telemetryAnonID").value_or(QString()), QString("00000000000000aa"));
        if (delivered) {
            QCOMPARE(d().string("telemetryLastSent").value_or(QString()), stamp(m_clock->now()));
            QCOMPARE(d().integer("telemetryOpens"), 0);
            QCOMPARE(d().doubleValue("telemetrySeconds"), 0.0);
            QVERIFY(!d().contains("telemetryTabs"));
        } else {
            QVERIFY(!d().contains("telemetryLastSent"));
            QCOMPARE(d().integer("telemetryOpens"), 1);
            QCOMPARE(d().doubleValue("telemetrySeconds"), 150.0);
            QCOMPARE(d().dictionary("telemetryTabs").value_or(QJsonObject()),
                     (QJsonObject{{"kit", 2}, {"custom", 1}}));
            // The next check tries again.
            QSignalSpy finished(m_service.get(), &TelemetryService::reportFinished);
            QCOMPARE(m_tickers->fire(TelemetryService::checkIntervalMs), 1);
            QVERIFY(t().sending());
            QVERIFY(TestSupport::waitUntil([&] { return finished.count() == 1; }, 15000));
        }
    }

    void reportBodyAndHeaders() {
        m_server->set(kPath, 200, "{}", "application/json");
        d().set("telemetryAnonID", "0123456789abcdef");
        QCoreApplication::setApplicationVersion("1.4.2");
        countSomething();
        QVERIFY(tickAndWait());
        QCoreApplication::setApplicationVersion(QString());
        const auto requests = m_server->requests(kPath);
        QCOMPARE(requests.size(), 1);
        const auto& r = requests.first();
        QCOMPARE(r.method, QByteArray("POST"));
        QCOMPARE(r.headers.value("content-type"), QByteArray("application/json"));
        const QByteArray os = QJsonDocument(QJsonArray{TelemetryService::systemName()})
                                  .toJson(QJsonDocument::Compact)
                                  .mid(1)
                                  .chopped(1);
        QCOMPARE(r.body, QByteArray("{\"anon\":\"0123456789abcdef\",\"version\":\"1.4.2\",\"macos\":") + os +
                             ",\"notch\":false,\"minutes\":2,\"opens\":1,\"tabs\":{\"custom\":1,\"kit\":2}}");
        QVERIFY(TelemetryService::systemName().startsWith(QSysInfo::productType()));
    }

    void reportBodyEscapesAndSkipsMissingKeys() {
        const QJsonObject payload{{"anon", "a\"b\\c\n"}, {"notch", true}, {"extra", 1}};
        QCOMPARE(TelemetryService::reportBody(payload),
                 QByteArray("{\"anon\":\"a\\\"b\\\\c\\n\",\"notch\":true}"));
        QCOMPARE(TelemetryService::reportBody({}), QByteArray("{}"));
        QVERIFY(!QJsonDocument::fromJson(TelemetryService::reportBody(payload)).isNull());
    }

    void previewKeysAreTheSevenOfTheReport() {
        const QJsonObject p = t().montarPayload();
        QCOMPARE(p.keys(), (QStringList{"anon", "macos", "minutes", "notch", "opens", "tabs", "version"}));
        QCOMPARE(p.value("version").toString(), QString("?"));
        QCOMPARE(p.value("notch").toBool(true), false);
        QVERIFY(p.value("tabs").isObject());
    }

    void switchedOffSendsNothingAndErases() {
        m_server->set(kPath, 200, "{}", "application/json");
        countSomething();
        d().set("telemetryLastSent", stamp(m_clock->now().addDays(-2)));
        t().anonID();
        QSignalSpy changed(m_service.get(), &TelemetryService::enabledChanged);
        t().setEnabled(false);
        t().apagarTudo();
        QCOMPARE(changed.count(), 1);
        for (const QString& key : kStoredKeys)
            QVERIFY2(!d().contains(key), qPrintable(key));
        QCOMPARE(d().object("telemetryEnabled"), QJsonValue(false));

        // Counting goes on; nothing is sent, forced or not.
        countSomething();
        QVERIFY(tickAndWait());
        t().enviar(true);
        QVERIFY(!t().sending());
        QCOMPARE(m_server->totalHits(), 0);

        // The choice survives a new service; switched on again it reports at once, with a new id.
        make(m_server->url(kPath));
        QVERIFY(!t().enabled());
        t().setEnabled(true);
        QCOMPARE(m_server->totalHits(), 0);
        QVERIFY(tickAndWait());
        QCOMPARE(m_server->hits(kPath), 1);
        QVERIFY(d().contains("telemetryAnonID"));
    }

    void countsMadeWhileTheReportTravelsAreKept() {
        LoopbackHttp::Answer stall;
        stall.stall = true;
        m_server->set(kPath, stall);
        countSomething();
        QCOMPARE(m_tickers->fire(TelemetryService::checkIntervalMs), 1);
        QVERIFY(TestSupport::waitUntil([&] { return m_server->hits(kPath) == 1; }, 15000));
        // A second check while the first report is out sends nothing more.
        QCOMPARE(m_tickers->fire(TelemetryService::checkIntervalMs), 1);
        t().enviar(true);
        t().tabUsed("kit");
        t().tabUsed("news");
        t().islandOpened();
        m_clock->advanceSeconds(30);
        t().islandClosed();
        QCOMPARE(m_server->hits(kPath), 1);

        // The stalled connection drops: not delivered, nothing lost.
        m_server.reset();
        QVERIFY(TestSupport::waitUntil([&] { return !t().sending(); }, 15000));
        QCOMPARE(d().integer("telemetryOpens"), 2);

        // Delivered: what was counted after the report left stays for the next one.
        auto server = std::make_unique<LoopbackHttp>();
        server->set(kPath, 200, "{}", "application/json");
        make(server->url(kPath));
        QSignalSpy finished(m_service.get(), &TelemetryService::reportFinished);
        t().enviar(false);
        t().tabUsed("kit"); // counted after the report left
        t().islandOpened();
        QVERIFY(TestSupport::waitUntil([&] { return finished.count() == 1; }, 15000));
        QCOMPARE(finished.first().first().toBool(), true);
        QCOMPARE(d().integer("telemetryOpens"), 1);
        QCOMPARE(d().dictionary("telemetryTabs").value_or(QJsonObject()), (QJsonObject{{"kit", 1}}));
        QCOMPARE(d().doubleValue("telemetrySeconds"), 0.0);
    }

    void anEraseDuringTheReportStaysErased() {
        m_server->set(kPath, 200, "{}", "application/json");
        countSomething();
        QSignalSpy finished(m_service.get(), &TelemetryService::reportFinished);
        t().enviar(false);
        t().setEnabled(false);
        t().apagarTudo();
        QVERIFY(TestSupport::waitUntil([&] { return finished.count() == 1; }, 15000));
        for (const QString& key : kStoredKeys)
            QVERIFY2(!d().contains(key), qPrintable(key));
    }

    void countingWritesNoFileOnTheSpot() {
        const int before = d().writesDone();
        for (int i = 0; i < 500; ++i) {
            t().islandOpened();
            m_clock->advanceSeconds(2);
            t().islandClosed();
            t().tabUsed("clip");
        }
        // Every count is in memory at once; the file is written later, once, from the writer thread.
        QCOMPARE(d().writesDone(), before);
        QVERIFY(m_saveTimer->isActive());
        QVERIFY(m_saveTimer->fire());
        QVERIFY(d().flush());
        QCOMPARE(d().writesDone(), before + 1);
        Defaults reread(m_dir.filePath("defaults.json"));
        QCOMPARE(reread.integer("telemetryOpens"), 500);
        QCOMPARE(reread.dictionary("telemetryTabs").value_or(QJsonObject()), (QJsonObject{{"clip", 500}}));
    }

    // The report and the privacy page go to the host the build sets for the update check, and follow a
    // host that is set instead (with its port).
    void oneMakerHost_data() {
        QTest::addColumn<QUrl>("endpoint");
        QTest::addColumn<QUrl>("page");
        const QString host = UpdateService::buildConfig().host;
        QTest::newRow("the build's host")
            << TelemetryService::defaultEndpoint() << QUrl("https://" + host + "/privacy.html");
        QTest::newRow("another host and port") << QUrl("https://127.0.0.1:4443/api/telemetry?x=1#y")
                                               << QUrl("https://127.0.0.1:4443/privacy.html");
    }
    void oneMakerHost() {
        QFETCH(QUrl, endpoint);
        QFETCH(QUrl, page);
        QCOMPARE(TelemetryService::defaultEndpoint(),
                 QUrl("https://" + UpdateService::buildConfig().host + "/api/telemetry"));
        make(endpoint);
        QCOMPARE(t().privacyPage(), page);
    }

    void theCheckRunsEveryHalfHour() {
        QVERIFY(m_tickers->isRunning(TelemetryService::checkIntervalMs));
        m_service.reset();
        QVERIFY(!m_tickers->isRunning(TelemetryService::checkIntervalMs));
    }
};

QTEST_GUILESS_MAIN(tst_TelemetryService)
#include "tst_TelemetryService.moc"
