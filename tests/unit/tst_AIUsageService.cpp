// The AI usage service: the 240 s window, the order and fallback of the readers, loading state and
// publication on the main thread, and the shared texts the readers use.
#include "fakes/FakeClock.h"
#include "model/AgentSession.h"
#include "services/AIUsageService.h"
#include "services/AIUsageText.h"

#include <QJsonArray>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>

namespace {

AIProviderUsage card(const QString& name) {
    return AIProviderUsage{name, QString(), {AIUsageMetric{"5 horas", 0.5, ""}}, std::nullopt};
}

struct Counting {
    std::atomic_int calls{0};
    std::atomic<QThread*> thread{nullptr};
};

AIUsageReaders::Reader reader(std::shared_ptr<Counting> counter, std::optional<AIProviderUsage> result) {
    return [counter, result](const QDateTime&, const std::atomic_bool&) {
        ++counter->calls;
        counter->thread = QThread::currentThread();
        return result;
    };
}

} // namespace

class tst_AIUsageService : public QObject {
    Q_OBJECT

private slots:
    void windowSkipsWithinTwoHundredFortySeconds_data() {
        QTest::addColumn<QList<double>>("gaps");
        QTest::addColumn<QList<bool>>("runs");
        QTest::newRow("60 to 240 skip, 300 runs")
            << QList<double>{0, 60, 60, 60, 60, 60} << QList<bool>{true, false, false, false, false, true};
        QTest::newRow("exactly 240 skips") << QList<double>{0, 240} << QList<bool>{true, false};
        QTest::newRow("240.001 runs") << QList<double>{0, 240.001} << QList<bool>{true, true};
        QTest::newRow("window counts from the last start")
            << QList<double>{0, 241, 200, 41} << QList<bool>{true, true, false, true};
    }

    void windowSkipsWithinTwoHundredFortySeconds() {
        QFETCH(QList<double>, gaps);
        QFETCH(QList<bool>, runs);
        FakeClock clock;
        auto counter = std::make_shared<Counting>();
        AIUsageReaders readers;
        readers.codex = reader(counter, card("Codex"));
        AIUsageService service(clock, readers);
        int expected = 0;
        for (int i = 0; i < gaps.size(); ++i) {
            clock.advanceSeconds(gaps[i]);
            service.refresh(false);
            QCOMPARE(service.isLoading(), runs[i]);
            QTRY_VERIFY(!service.isLoading());
            expected += runs[i] ? 1 : 0;
            QCOMPARE(counter->calls.load(), expected);
        }
    }

    void forcedRefreshIgnoresTheWindow() {
        FakeClock clock;
        auto counter = std::make_shared<Counting>();
        AIUsageReaders readers;
        readers.codex = reader(counter, card("Codex"));
        AIUsageService service(clock, readers);
        QSignalSpy started(&service, &AIUsageService::refreshStarted);
        service.refresh(false);
        QTRY_VERIFY(!service.isLoading());
        service.refresh(true);
        QTRY_VERIFY(!service.isLoading());
        QCOMPARE(counter->calls.load(), 2);
        QCOMPARE(started.count(), 2);
        QCOMPARE(started.at(1).at(0).toBool(), true);
    }

    void orderAndFallback_data() {
        QTest::addColumn<bool>("codex");
        QTest::addColumn<bool>("official");
        QTest::addColumn<bool>("local");
        QTest::addColumn<bool>("antigravity");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<bool>("localAsked");
        QTest::newRow("all") << true << true << true << true << QStringList{"Codex", "Claude", "Antigravity"}
                             << false;
        QTest::newRow("official fails, estimate used")
            << true << false << true << true << QStringList{"Codex", "Claude estimate", "Antigravity"}
            << true;
        QTest::newRow("no Claude at all")
            << true << false << false << true << QStringList{"Codex", "Antigravity"} << true;
        QTest::newRow("none") << false << false << false << false << QStringList{} << true;
        QTest::newRow("Claude only") << false << true << false << false << QStringList{"Claude"} << false;
    }

    void orderAndFallback() {
        QFETCH(bool, codex);
        QFETCH(bool, official);
        QFETCH(bool, local);
        QFETCH(bool, antigravity);
        QFETCH(QStringList, names);
        QFETCH(bool, localAsked);
        FakeClock clock;
        auto counter = std::make_shared<Counting>();
        auto localCounter = std::make_shared<Counting>();
        auto maybe = [](bool present, const QString& name) {
            return present ? std::optional<AIProviderUsage>(card(name)) : std::nullopt;
        };
        AIUsageReaders readers;
        readers.codex = reader(counter, maybe(codex, "Codex"));
        readers.claudeOfficial = reader(counter, maybe(official, "Claude"));
        readers.claudeLocal = reader(localCounter, maybe(local, "Claude estimate"));
        readers.antigravity = reader(counter, maybe(antigravity, "Antigravity"));
        AIUsageService service(clock, readers);
        // A stale list is replaced whole, never merged.
        service.setProviders({card("Old")});
        service.refresh(false);
        QTRY_VERIFY(!service.isLoading());
        QStringList got;
        for (const AIProviderUsage& p : service.providers())
            got << p.name;
        QCOMPARE(got, names);
        QCOMPARE(localCounter->calls.load() == 1, localAsked);
        // Readers run off the main thread.
        QVERIFY(counter->thread.load() != QThread::currentThread());
    }

    // A second call during a run is skipped and loading stays on until the first run publishes.
    void loadingHoldsUntilPublished() {
        FakeClock clock;
        auto gate = std::make_shared<std::atomic_bool>(false);
        auto calls = std::make_shared<std::atomic_int>(0);
        AIUsageReaders readers;
        readers.codex = [gate, calls](const QDateTime&, const std::atomic_bool& stop) {
            ++*calls;
            while (!gate->load() && !stop.load())
                QThread::msleep(2); // polls the gate and the stop flag
            return std::optional<AIProviderUsage>(card("Codex"));
        };
        AIUsageService service(clock, readers);
        QSignalSpy loading(&service, &AIUsageService::isLoadingChanged);
        QSignalSpy providers(&service, &AIUsageService::providersChanged);
        service.refresh(false);
        QVERIFY(service.isLoading());
        clock.advanceSeconds(30);
        service.refresh(false);
        QTest::qWait(20); // proves the second call starts no run of its own
        QVERIFY(service.isLoading());
        QCOMPARE(providers.count(), 0);
        gate->store(true);
        QTRY_VERIFY(!service.isLoading());
        QCOMPARE(providers.count(), 1);
        QCOMPARE(loading.count(), 2);
        QCOMPARE(calls->load(), 1);
    }

    // A service destroyed while its readers run drops their result and does not wait out a slow request.
    void destroyedServiceDropsLateResult() {
        FakeClock clock;
        auto entered = std::make_shared<std::atomic_bool>(false);
        AIUsageReaders readers;
        readers.claudeOfficial = [entered](const QDateTime&, const std::atomic_bool& stop) {
            entered->store(true);
            while (!stop.load())
                QThread::msleep(2); // polls the stop flag
            return std::optional<AIProviderUsage>(card("Claude"));
        };
        auto service = std::make_unique<AIUsageService>(clock, readers);
        service->refresh(false);
        QTRY_VERIFY(entered->load());
        service.reset();
        QCoreApplication::processEvents();
    }

    // Quitting: the read under way is told to stop, what it found is dropped, and no read begins after.
    void cancelledRefreshPublishesNothing() {
        FakeClock clock;
        auto entered = std::make_shared<std::atomic_bool>(false);
        auto calls = std::make_shared<std::atomic_int>(0);
        AIUsageReaders readers;
        readers.codex = [entered, calls](const QDateTime&, const std::atomic_bool& stop) {
            ++*calls;
            entered->store(true);
            while (!stop.load())
                QThread::msleep(2); // polls the stop flag
            return std::optional<AIProviderUsage>(card("Codex"));
        };
        AIUsageService service(clock, readers);
        service.setProviders({card("Old")});
        QSignalSpy providers(&service, &AIUsageService::providersChanged);
        service.refresh(false);
        QTRY_VERIFY(entered->load());
        service.refresh(true); // waits behind the first: dropped with it
        service.cancelRefresh();
        QVERIFY(service.waitForRead(60000));
        QCoreApplication::processEvents();
        QCOMPARE(providers.count(), 0);
        QCOMPARE(service.providers().value(0).name, QString("Old"));
        service.refresh(true);
        QVERIFY(service.waitForRead(60000));
        QCoreApplication::processEvents();
        QCOMPARE(calls->load(), 1);
        QCOMPARE(providers.count(), 0);
    }

    // Forced refreshes during a read wait for it: one read at a time (the readers' caches are never
    // shared), in the order asked, each published, the last one's last.
    void readsRunOneAtATimeInOrder() {
        FakeClock clock;
        struct Seen {
            std::atomic_bool gate{false};
            std::atomic_int running{0};
            std::atomic_int most{0};
            std::mutex mutex;
            QList<QDateTime> moments;
        };
        auto seen = std::make_shared<Seen>();
        AIUsageReaders readers;
        readers.codex = [seen](const QDateTime& now, const std::atomic_bool& stop) {
            const int running = ++seen->running;
            seen->most = std::max(seen->most.load(), running);
            while (!seen->gate.load() && !stop.load())
                QThread::msleep(2); // polls the gate and the stop flag
            {
                const std::lock_guard lock(seen->mutex);
                seen->moments << now;
            }
            --seen->running;
            return std::optional<AIProviderUsage>(card(now.toString(Qt::ISODate)));
        };
        AIUsageService service(clock, readers);
        QSignalSpy providers(&service, &AIUsageService::providersChanged);
        QList<QDateTime> asked;
        for (int i = 0; i < 3; ++i) {
            asked << clock.now();
            service.refresh(true);
            clock.advanceSeconds(10);
        }
        seen->gate = true;
        QTRY_VERIFY(!service.isLoading());
        QCOMPARE(seen->most.load(), 1);
        QCOMPARE(seen->moments, asked);
        QCOMPARE(providers.count(), 3);
        QCOMPARE(service.providers().value(0).name, asked.last().toString(Qt::ISODate));
    }

    // A reader that spreads its work is lent the service's pool before its first read, and can use it
    // from the read's own thread.
    void readersAreLentThePool() {
        FakeClock clock;
        auto lent = std::make_shared<std::atomic<WorkPool*>>(nullptr);
        auto jobs = std::make_shared<std::atomic_int>(0);
        AIUsageReaders readers;
        readers.lendHelpers = [lent](WorkPool& pool) { *lent = &pool; };
        readers.codex = [lent, jobs](const QDateTime&, const std::atomic_bool&) {
            if (WorkPool* pool = lent->load())
                pool->runAll(64, 3, [&](int) { ++*jobs; });
            return std::optional<AIProviderUsage>(card("Codex"));
        };
        AIUsageService service(clock, readers);
        QVERIFY(lent->load());
        service.refresh(false);
        QTRY_VERIFY(!service.isLoading());
        QCOMPARE(jobs->load(), 64);
        QCOMPARE(service.providers().size(), 1);
    }

    void compact_data() {
        QTest::addColumn<qint64>("n");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << qint64(0) << "0";
        QTest::newRow("999") << qint64(999) << "999";
        QTest::newRow("1000") << qint64(1000) << "1k";
        QTest::newRow("12345") << qint64(12345) << "12k";
        QTest::newRow("999999 carries without M") << qint64(999999) << "1000k";
        QTest::newRow("1000000") << qint64(1000000) << "1.0M";
        QTest::newRow("3400000") << qint64(3400000) << "3.4M";
        // Ties go to the even digit, as C's printf rounds them.
        QTest::newRow("2500 tie down") << qint64(2500) << "2k";
        QTest::newRow("3500 tie up") << qint64(3500) << "4k";
        QTest::newRow("10500 tie down") << qint64(10500) << "10k";
        QTest::newRow("2501 above the tie") << qint64(2501) << "3k";
        QTest::newRow("1250000 tie down") << qint64(1250000) << "1.2M";
        QTest::newRow("1350000 not a tie in binary") << qint64(1350000) << "1.4M";
        QTest::newRow("huge") << std::numeric_limits<qint64>::max() << "9223372036854.8M";
    }

    void compact() {
        QFETCH(qint64, n);
        QFETCH(QString, text);
        QCOMPARE(AIUsageText::compact(n), text);
    }

    // Numbers never take the user's decimal comma.
    void compactIgnoresTheLocale() {
        const QByteArray old = setlocale(LC_NUMERIC, nullptr);
        if (!setlocale(LC_NUMERIC, "pt_BR.UTF-8") && !setlocale(LC_NUMERIC, "de_DE.UTF-8"))
            QSKIP("no locale with a decimal comma is installed");
        const QString text = AIUsageText::compact(3400000);
        setlocale(LC_NUMERIC, old.constData());
        QCOMPARE(text, QString("3.4M"));
    }

    void internetDates_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<qint64>("msecs"); // -1: rejected
        const qint64 base = QDateTime(QDate(2026, 1, 2), QTime(19, 59, 59), Qt::UTC).toMSecsSinceEpoch();
        QTest::newRow("Z") << QByteArray("2026-01-02T19:59:59Z") << base;
        QTest::newRow("offset") << QByteArray("2026-01-02T16:59:59-03:00") << base;
        QTest::newRow("milliseconds") << QByteArray("2026-01-02T19:59:59.123Z") << base + 123;
        QTest::newRow("microseconds and offset")
            << QByteArray("2026-01-02T19:59:59.600956+00:00") << base + 600;
        QTest::newRow("nine digits") << QByteArray("2026-01-02T19:59:59.999999999Z") << base + 999;
        QTest::newRow("ten digits") << QByteArray("2026-01-02T19:59:59.9999999999Z") << qint64(-1);
        QTest::newRow("empty fraction") << QByteArray("2026-01-02T19:59:59.Z") << qint64(-1);
        QTest::newRow("no zone") << QByteArray("2026-01-02T19:59:59") << qint64(-1);
        QTest::newRow("bad month") << QByteArray("2026-13-02T19:59:59Z") << qint64(-1);
        QTest::newRow("trailing text") << QByteArray("2026-01-02T19:59:59Zjunk") << qint64(-1);
        QTest::newRow("not a date") << QByteArray("soon") << qint64(-1);
        QTest::newRow("empty") << QByteArray() << qint64(-1);
    }

    void internetDates() {
        QFETCH(QByteArray, text);
        QFETCH(qint64, msecs);
        const std::optional<QDateTime> date = AIUsageText::parseInternetDate(text);
        QCOMPARE(date.has_value(), msecs >= 0);
        if (date)
            QCOMPARE(date->toMSecsSinceEpoch(), msecs);
    }

    // The quick count of a log line's moment against the dates the rest of the program builds, on the
    // edges of the calendar and on damaged texts.
    void internetDateMsecsAgreesWithDates() {
        QList<QByteArray> texts{
            "2026-01-02T19:59:59Z",
            "2026-01-02T16:59:59-03:00",
            "2026-01-02T19:59:59.123Z",
            "2026-01-02T19:59:59.600956+00:00",
            "1970-01-01T00:00:00Z",
            "1969-12-31T23:59:59.999Z",
            "0001-01-01T00:00:00Z",
            "0000-01-01T00:00:00Z",
            "9999-12-31T23:59:59.999+14:00",
            "2024-02-29T12:00:00Z",
            "2023-02-29T12:00:00Z",
            "2000-02-29T00:00:00Z",
            "1900-02-29T00:00:00Z",
            "2026-04-31T00:00:00Z",
            "2026-12-31T23:59:60Z",
            "2026-12-31T23:59:61Z",
            "2026-01-02T24:00:00Z",
            "2026-01-02T23:60:00Z",
            "2026-01-02t19:59:59z",
            "2026-01-00T00:00:00Z",
            "2026-00-10T00:00:00Z",
            "2026-01-02T00:30:00+23:59",
            "2026-01-02T00:30:00-24:00",
            "2026-01-02T19:59:59.Z",
            "2026-01-02T19:59:59.9999999999Z",
            "2026-01-02T19:59:59",
            "2026-03-01T00:00:00+01:00",
        };
        QRandomGenerator random(36);
        const QByteArray interesting("0123456789-:.TZ+z ");
        const qsizetype bases = texts.size();
        for (qsizetype b = 0; b < bases; ++b) {
            for (int i = 0; i < 200; ++i) {
                QByteArray damaged = texts[b];
                damaged[random.bounded(int(damaged.size()))] =
                    interesting[random.bounded(int(interesting.size()))];
                texts.append(damaged);
            }
        }
        int accepted = 0;
        for (const QByteArray& text : std::as_const(texts)) {
            const std::optional<QDateTime> date = AIUsageText::parseInternetDate(text);
            const std::optional<qint64> msecs = AIUsageText::internetDateMsecs(text);
            QVERIFY2(date.has_value() == msecs.has_value(), text.constData());
            if (date) {
                QVERIFY2(*msecs == date->toMSecsSinceEpoch(), text.constData());
                ++accepted;
            }
        }
        // The damage leaves hundreds of texts valid: both ways were compared on them.
        QVERIFY(accepted > 500);
    }

    // The marker search against Qt's own, wherever the needle falls against the blocks it is sought in,
    // with near misses (its outer bytes right, its middle wrong) and repeats that overlap.
    void bytesSearchAgreesWithQt() {
        const QList<QByteArray> needles{
            "\"usage\"", "\"rate_limits\"", "ab", "\"\"", "x", "", "\"usage\":{\"input_tokens\":1}"};
        int found = 0;
        for (const QByteArray& needle : needles) {
            for (int length = 0; length <= 80; ++length) {
                for (int at = -1; at + needle.size() <= length; ++at) {
                    QByteArray haystack(length, 't');
                    // A near miss just before the place, when there is room.
                    if (needle.size() >= 4 && at >= needle.size()) {
                        QByteArray miss = needle;
                        miss[needle.size() / 2] = '#';
                        haystack.replace(at - needle.size(), miss.size(), miss);
                    }
                    if (at >= 0)
                        haystack.replace(at, needle.size(), needle);
                    const qsizetype expected = QByteArrayView(haystack).indexOf(needle);
                    QCOMPARE(AIUsageText::indexOfBytes(haystack, needle), expected);
                    QCOMPARE(AIUsageText::containsBytes(haystack, needle), expected >= 0);
                    QCOMPARE(AIUsageText::containsBytesFromEnd(haystack, needle), expected >= 0);
                    found += expected >= 0;
                }
            }
        }
        QVERIFY(found > 1000);
        // Overlapping repeats: the first place is the answer.
        QCOMPARE(AIUsageText::indexOfBytes(QByteArray(40, 'a') + "aab", "aab"), 40);
        QCOMPARE(AIUsageText::indexOfBytes(QByteArray(20, 'q') + "\"x\"x\"" + QByteArray(30, 'q'), "\"x\""),
                 20);
    }

    void relativeTexts() {
        const QDateTime now(QDate(2026, 1, 2), QTime(12, 0), Qt::UTC);
        const QString future = AIUsageText::renews(now.addSecs(7200), now);
        const QString past = AIUsageText::renews(now.addSecs(-7200), now);
        QVERIFY(future.startsWith("renova "));
        QVERIFY(future.contains('2'));
        QVERIFY(past.contains('2'));
        QVERIFY(future != past);
        QVERIFY(AIUsageText::relative(now.addDays(3), now) !=
                AIUsageText::relative(now.addSecs(3 * 60), now));
    }

    void capitalised_data() {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("lower") << "plus"
                               << "Plus";
        QTest::newRow("upper") << "MAX"
                               << "Max";
        QTest::newRow("words") << "pro  team"
                               << "Pro  Team";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("accent") << "équipe"
                                << "Équipe";
    }

    void capitalised() {
        QFETCH(QString, in);
        QFETCH(QString, out);
        QCOMPARE(AIUsageText::capitalised(in), out);
    }

    void recordCodecs() {
        const AIProviderUsage usage{"Codex",
                                    "Plus",
                                    {{"5 horas", 0.42, "renova em 2 h"}, {"Créditos", std::nullopt, "3"}},
                                    QString("nota")};
        QCOMPARE(AIProviderUsage::fromJson(usage.toJson()), std::optional(usage));
        QJsonObject bad = usage.toJson();
        bad.insert("metrics", QJsonArray{QJsonObject{{"label", 3}}});
        QVERIFY(!AIProviderUsage::fromJson(bad));
        QVERIFY(!AIProviderUsage::fromJson(QJsonObject{{"plan", "x"}}));
        const AgentSession session{"/a.jsonl", "Claude", "app", "waiting on you", -2};
        QCOMPARE(AgentSession::fromJson(session.toJson()), std::optional(session));
        QJsonObject halfMinute = session.toJson();
        halfMinute.insert("minutesAgo", 1.5);
        QVERIFY(!AgentSession::fromJson(halfMinute));
        halfMinute.insert("minutesAgo", 1e300);
        QVERIFY(!AgentSession::fromJson(halfMinute));
    }
};

QTEST_GUILESS_MAIN(tst_AIUsageService)
#include "tst_AIUsageService.moc"
