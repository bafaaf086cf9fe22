// The services the dashboard model owns: timer arithmetic, shelf additions, usage counters,
// the update interval and the kit's tool detection.
#include "fakes/FakeClock.h"
#include "fakes/FakeTicker.h"
#include "fakes/TestSupport.h"
#include "platform/qt/QtTickerFactory.h"
#include "services/Defaults.h"
#include "services/PomodoroService.h"
#include "services/ShelfService.h"
#include "services/TelemetryService.h"
#include "services/UpdateService.h"
#include "services/UtilsState.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QtTest>

Q_DECLARE_METATYPE(DevTool)
Q_DECLARE_METATYPE(PomodoroPhase)

namespace {

class CountingShelf : public ShelfService {
public:
    using ShelfService::ShelfService;
    int saves = 0;
    void save() override {
        ++saves;
        ShelfService::save();
    }
};

QStringList paths(const ShelfService& shelf) {
    QStringList result;
    for (const ShelfItem& item : shelf.items())
        result << item.path;
    return result;
}

} // namespace

class tst_NeighbourServices : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void pomodoroPauseRoundsUp_data();
    void pomodoroPauseRoundsUp();
    void pomodoroResumesFromWhatWasLeft();
    void pomodoroTickCompletesFocus();
    void pomodoroPublishesOnlyRealChanges();

    void shelfAddSkipsMissingAndDuplicates();
    void shelfSavesOncePerCallEvenWhenNothingAdded();
    void shelfStoreRoundTripAndBrokenStore();

    void telemetryOpensAndSeconds();
    void telemetryTabUsed_data();
    void telemetryTabUsed();

    void updateCheckInterval_data();
    void updateCheckInterval();

    void detectTool_data();
    void detectTool();

private:
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<Defaults> m_defaults;
};

void tst_NeighbourServices::init() {
    m_home = TestSupport::isolateHome();
    m_defaults = std::make_unique<Defaults>(m_home->filePath("defaults.json"));
}

void tst_NeighbourServices::cleanup() {
    m_defaults.reset();
    m_home.reset();
}

void tst_NeighbourServices::pomodoroPauseRoundsUp_data() {
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<qint64>("remaining");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<PomodoroPhase>("phase");
    const auto focus = PomodoroPhase::focus;
    QTest::newRow("at once") << qint64(0) << qint64(1500) << "25:00" << focus;
    QTest::newRow("a moment in") << qint64(1) << qint64(1500) << "25:00" << focus;
    QTest::newRow("one second") << qint64(1000) << qint64(1499) << "24:59" << focus;
    QTest::newRow("10.4 s left") << qint64(1489600) << qint64(11) << "00:11" << focus;
    QTest::newRow("59 s left") << qint64(1441000) << qint64(59) << "00:59" << focus;
    QTest::newRow("1 ms left") << qint64(1499999) << qint64(1) << "00:01" << focus;
    // A pause once the deadline has passed, before a tick noticed it, ends the phase instead of
    // freezing at 00:00.
    QTest::newRow("deadline") << qint64(1500000) << qint64(300) << "05:00" << PomodoroPhase::rest;
    QTest::newRow("long past") << qint64(9000000) << qint64(300) << "05:00" << PomodoroPhase::rest;
}

void tst_NeighbourServices::pomodoroPauseRoundsUp() {
    QFETCH(qint64, elapsedMs);
    QFETCH(qint64, remaining);
    QFETCH(QString, shown);
    QFETCH(PomodoroPhase, phase);
    FakeClock clock;
    FakeTickerFactory tickers;
    PomodoroService pomodoro(clock, tickers);
    QCOMPARE(pomodoro.formattedTime(), QString("25:00"));
    pomodoro.toggle();
    QVERIFY(pomodoro.isRunning());
    clock.advanceMs(elapsedMs);
    pomodoro.toggle();
    QVERIFY(!pomodoro.isRunning());
    QCOMPARE(pomodoro.remainingSeconds(), remaining);
    QCOMPARE(pomodoro.formattedTime(), shown);
    QCOMPARE(pomodoro.phase(), phase);
}

void tst_NeighbourServices::pomodoroResumesFromWhatWasLeft() {
    FakeClock clock;
    FakeTickerFactory tickers;
    PomodoroService pomodoro(clock, tickers);
    pomodoro.toggle();
    clock.advanceMs(1489600);
    pomodoro.toggle();          // 11 s left
    clock.advanceSeconds(3600); // paused time does not count
    pomodoro.toggle();
    clock.advanceMs(10500);
    pomodoro.toggle();
    QCOMPARE(pomodoro.remainingSeconds(), qint64(1));
}

void tst_NeighbourServices::pomodoroTickCompletesFocus() {
    FakeClock clock;
    FakeTickerFactory tickers;
    PomodoroService pomodoro(clock, tickers);
    QSignalSpy changed(&pomodoro, &PomodoroService::changed);
    pomodoro.toggle();
    clock.advanceSeconds(1501);
    // The half-second tick notices the passed deadline by itself.
    QCOMPARE(tickers.fire(PomodoroService::kTickMs), 1);
    QCOMPARE(pomodoro.phase(), PomodoroPhase::rest);
    QVERIFY(!pomodoro.isRunning());
    QCOMPARE(pomodoro.formattedTime(), QString("05:00"));
    QCOMPARE(pomodoro.completedFocusSessions(), qint64(1));
    QVERIFY(changed.count() >= 2);

    // The next phase waits to be started: no tick runs for it.
    clock.advanceSeconds(400);
    QCOMPARE(tickers.fire(PomodoroService::kTickMs), 0);
    QCOMPARE(pomodoro.remainingSeconds(), qint64(300));
}

void tst_NeighbourServices::pomodoroPublishesOnlyRealChanges() {
    FakeClock clock;
    FakeTickerFactory tickers;
    PomodoroService pomodoro(clock, tickers);
    pomodoro.toggle();
    QSignalSpy remaining(&pomodoro, &PomodoroService::remainingSecondsChanged);
    // Less than a second into the phase the whole seconds have not changed yet.
    clock.advanceMs(400);
    QCOMPARE(tickers.fire(PomodoroService::kTickMs), 1);
    QCOMPARE(remaining.count(), 0);
    clock.advanceMs(700);
    QCOMPARE(tickers.fire(PomodoroService::kTickMs), 1);
    QCOMPARE(pomodoro.remainingSeconds(), qint64(1499));
    QCOMPARE(remaining.count(), 1);
}

void tst_NeighbourServices::shelfAddSkipsMissingAndDuplicates() {
    FakeClock clock;
    QTemporaryDir files;
    const QString a = files.filePath("a.txt"), b = files.filePath("b.txt"), upper = files.filePath("A.txt");
    for (const QString& p : {a, b, upper}) {
        QFile f(p);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QDir(files.path()).mkdir("folder");
    const QString folder = files.filePath("folder");

    CountingShelf shelf(clock, m_home->filePath("shelf.json"));
    shelf.add({QUrl::fromLocalFile(a), QUrl::fromLocalFile(files.filePath("missing.txt")),
               QUrl("https://example.com/a.txt"), QUrl::fromLocalFile(a), QUrl::fromLocalFile(b)});
    // The last new URL ends up first; the repeat inside one call is dropped.
    QCOMPARE(paths(shelf), QStringList({b, a}));

    // A known file keeps its place; letter case makes a different entry; folders count.
    shelf.add({QUrl::fromLocalFile(a), QUrl::fromLocalFile(upper), QUrl::fromLocalFile(folder)});
    QCOMPARE(paths(shelf), QStringList({folder, upper, b, a}));
    QCOMPARE(shelf.items().constFirst().addedAt, clock.now());
    QCOMPARE(shelf.saves, 2);
}

void tst_NeighbourServices::shelfSavesOncePerCallEvenWhenNothingAdded() {
    FakeClock clock;
    const QString store = m_home->filePath("shelf.json");
    CountingShelf shelf(clock, store);
    shelf.add({});
    QCOMPARE(shelf.saves, 1);
    QVERIFY(QFile::exists(store));
    QCOMPARE(QFile::permissions(store) & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
             QFileDevice::Permissions());
    shelf.add({QUrl("https://example.com"), QUrl::fromLocalFile("/no/such/file")});
    QCOMPARE(shelf.saves, 2);
    QVERIFY(shelf.items().isEmpty());
}

void tst_NeighbourServices::shelfStoreRoundTripAndBrokenStore() {
    FakeClock clock;
    QTemporaryDir files;
    const QString keep = files.filePath("keep.txt"), gone = files.filePath("gone.txt");
    for (const QString& p : {keep, gone}) {
        QFile f(p);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    const QString store = m_home->filePath("shelf.json");
    {
        ShelfService shelf(clock, store);
        shelf.add({QUrl::fromLocalFile(keep), QUrl::fromLocalFile(gone)});
    }
    QVERIFY(QFile::remove(gone));
    {
        // An entry whose file went away is not shown, but stays stored until the next save.
        ShelfService shelf(clock, store);
        QCOMPARE(paths(shelf), QStringList({keep}));
        QCOMPARE(shelf.items().constFirst().addedAt, clock.now());
        QFile f(store);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(QJsonDocument::fromJson(f.readAll()).array().size(), 2);
    }

    // One entry without "addedAt" makes the whole store unreadable.
    QJsonArray broken{
        QJsonObject{{"id", QUuid::createUuid().toString(QUuid::WithoutBraces)}, {"path", keep}}};
    QFile f(store);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(QJsonDocument(broken).toJson());
    f.close();
    ShelfService shelf(clock, store);
    QVERIFY(shelf.items().isEmpty());
    // It is kept beside the store, so the next save cannot destroy it.
    QVERIFY(!QFile::exists(store));
    const QStringList aside = QDir(m_home->path()).entryList({"shelf.json.corrupt-*"});
    QCOMPARE(aside.size(), 1);
    QFile kept(m_home->filePath(aside.constFirst()));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(QJsonDocument::fromJson(kept.readAll()).array(), broken);
    shelf.add({QUrl::fromLocalFile(keep)});
    QCOMPARE(QDir(m_home->path()).entryList({"shelf.json.corrupt-*"}), aside);
}

void tst_NeighbourServices::telemetryOpensAndSeconds() {
    FakeClock clock;
    QtTickerFactory tickers;
    TelemetryService telemetry(*m_defaults, clock, tickers);

    telemetry.islandClosed(); // no open period: nothing
    QVERIFY(!m_defaults->contains("telemetrySeconds"));

    telemetry.islandOpened();
    clock.advanceMs(1000);
    telemetry.islandClosed(); // exactly one second is not counted
    QVERIFY(!m_defaults->contains("telemetrySeconds"));
    QCOMPARE(m_defaults->integer("telemetryOpens"), qint64(1));

    telemetry.islandOpened();
    clock.advanceMs(1500);
    telemetry.islandOpened(); // a second opening restarts the period
    clock.advanceMs(2500);
    telemetry.islandClosed();
    telemetry.islandClosed(); // the period was already closed
    QCOMPARE(m_defaults->doubleValue("telemetrySeconds"), 2.5);
    QCOMPARE(m_defaults->integer("telemetryOpens"), qint64(3));

    // The counter continues from what is stored, including a number written as text.
    m_defaults->set("telemetryOpens", QStringLiteral("7"));
    telemetry.islandOpened();
    QCOMPARE(m_defaults->integer("telemetryOpens"), qint64(8));
}

void tst_NeighbourServices::telemetryTabUsed_data() {
    QTest::addColumn<QJsonValue>("stored");
    QTest::addColumn<QJsonObject>("expected");
    QTest::newRow("missing") << QJsonValue(QJsonValue::Undefined) << QJsonObject{{"kit", 1}};
    QTest::newRow("counts") << QJsonValue(QJsonObject{{"kit", 2}, {"ai", 5}})
                            << QJsonObject{{"kit", 3}, {"ai", 5}};
    QTest::newRow("other id") << QJsonValue(QJsonObject{{"ai", 5}}) << QJsonObject{{"kit", 1}, {"ai", 5}};
    QTest::newRow("text value") << QJsonValue(QJsonObject{{"kit", "2"}, {"ai", 5}})
                                << QJsonObject{{"kit", 1}};
    QTest::newRow("fraction value") << QJsonValue(QJsonObject{{"ai", 2.5}}) << QJsonObject{{"kit", 1}};
    QTest::newRow("nested value") << QJsonValue(QJsonObject{{"ai", QJsonObject()}})
                                  << QJsonObject{{"kit", 1}};
    QTest::newRow("not a map") << QJsonValue(QJsonArray{1, 2}) << QJsonObject{{"kit", 1}};
    QTest::newRow("a string") << QJsonValue("kit") << QJsonObject{{"kit", 1}};
}

void tst_NeighbourServices::telemetryTabUsed() {
    QFETCH(QJsonValue, stored);
    QFETCH(QJsonObject, expected);
    if (!stored.isUndefined())
        m_defaults->set("telemetryTabs", stored);
    FakeClock clock;
    QtTickerFactory tickers;
    TelemetryService telemetry(*m_defaults, clock, tickers);
    telemetry.tabUsed("kit");
    QCOMPARE(m_defaults->object("telemetryTabs").toObject(), expected);
}

void tst_NeighbourServices::updateCheckInterval_data() {
    QTest::addColumn<QJsonValue>("autoCheck");
    QTest::addColumn<QJsonValue>("lastCheck"); // seconds before now, or another stored value
    QTest::addColumn<bool>("checks");
    const QJsonValue none(QJsonValue::Undefined);
    QTest::newRow("never checked") << none << none << true;
    QTest::newRow("19 hours") << none << QJsonValue(19 * 3600) << false;
    QTest::newRow("exactly 20 hours") << none << QJsonValue(72000) << false;
    QTest::newRow("20 hours and a second") << none << QJsonValue(72001) << true;
    QTest::newRow("in the future") << none << QJsonValue(-3600) << false;
    QTest::newRow("not a date") << none << QJsonValue("yesterday") << true;
    QTest::newRow("a number") << none << QJsonValue(QJsonObject{{"n", 5}}) << true;
    QTest::newRow("auto check off") << QJsonValue(false) << none << false;
    QTest::newRow("auto check on") << QJsonValue(true) << QJsonValue(72001) << true;
}

void tst_NeighbourServices::updateCheckInterval() {
    QFETCH(QJsonValue, autoCheck);
    QFETCH(QJsonValue, lastCheck);
    QFETCH(bool, checks);
    FakeClock clock;
    if (!autoCheck.isUndefined())
        m_defaults->set("updateAutoCheck", autoCheck);
    if (lastCheck.isDouble())
        m_defaults->set("updateLastCheck",
                        clock.now().addSecs(-lastCheck.toInteger()).toUTC().toString(Qt::ISODateWithMs));
    else if (lastCheck.isObject())
        m_defaults->set("updateLastCheck", 5);
    else if (!lastCheck.isUndefined())
        m_defaults->set("updateLastCheck", lastCheck);
    // A check that is due starts a request: to a loopback port nobody listens on, never the maker's host.
    UpdateService::Config config;
    config.host = QStringLiteral("127.0.0.1:1");
    UpdateService updates(*m_defaults, clock, config);
    QSignalSpy started(&updates, &UpdateService::checkStarted);
    updates.checkIfDue();
    QCOMPARE(started.count(), checks ? 1 : 0);
}

void tst_NeighbourServices::detectTool_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<DevTool>("tool");
    const QString jwt = "eyJhbGciOiJIUzI1NiJ9.eyJzdWIiOiIxMjM0NTY3ODkwIn0.sig_-AZ";
    QTest::newRow("jwt") << jwt << DevTool::jwt;
    QTest::newRow("jwt empty signature") << "abcdefgh.ijklmnop." << DevTool::jwt;
    QTest::newRow("jwt part too short") << "abcdefg.ijklmnop.x" << DevTool::qr;
    QTest::newRow("json object") << "{\"a\": 1}" << DevTool::json;
    QTest::newRow("json array") << "[1,2]" << DevTool::json;
    QTest::newRow("10 digits") << "1700000000" << DevTool::epoch;
    QTest::newRow("13 digits") << "1700000000000" << DevTool::epoch;
    QTest::newRow("9 digits") << "170000000" << DevTool::json;
    QTest::newRow("14 digits base64-shaped") << "17000000000000" << DevTool::json;
    QTest::newRow("16 digits") << "1700000000000000" << DevTool::base64;
    QTest::newRow("hex colour") << "#1a2B3c" << DevTool::color;
    QTest::newRow("bare colour") << "ffffff" << DevTool::color;
    QTest::newRow("colour 7 digits") << "#fffffff" << DevTool::json;
    QTest::newRow("dotted host") << "example.com/path" << DevTool::qr;
    QTest::newRow("localhost port") << "localhost:3000" << DevTool::qr;
    QTest::newRow("http url") << "http://intranet" << DevTool::json;
    QTest::newRow("ftp url") << "ftp://example.com" << DevTool::json;
    QTest::newRow("loopback") << "127.0.0.1" << DevTool::qr;
    QTest::newRow("ipv6 host") << "http://[::1]:8080/" << DevTool::qr;
    QTest::newRow("user and port") << "https://me@intranet:8443" << DevTool::json;
    QTest::newRow("user and dotted host") << "https://me@example.org" << DevTool::qr;
    QTest::newRow("single word") << "hello" << DevTool::json;
    QTest::newRow("base64") << "SGVsbG8sIHdvcmxkIQ==" << DevTool::base64;
    QTest::newRow("base64 too short") << "SGVsbG8=" << DevTool::json;
    QTest::newRow("base64 unpadded") << "SGVsbG8sIHdvcmxkIQ" << DevTool::json;
    QTest::newRow("base64 url alphabet") << "SGVsbG8sIHdvcmxkIQ-_" << DevTool::json;
    QTest::newRow("broken json") << "{\"a\": }" << DevTool::json;
    QTest::newRow("empty") << "" << DevTool::json;
    QTest::newRow("spaces") << "not a url at all" << DevTool::json;
}

void tst_NeighbourServices::detectTool() {
    QFETCH(QString, text);
    QFETCH(DevTool, tool);
    QCOMPARE(UtilsState::detectTool(text), tool);
}

QTEST_GUILESS_MAIN(tst_NeighbourServices)
#include "tst_NeighbourServices.moc"
