// The custom tabs service: loading and storing under "customTabs", the list edits and the run
// bookkeeping, with a scripted runner in place of the shell.
#include "fakes/FakeServiceLauncher.h"
#include "fakes/TestSupport.h"
#include "services/CustomTabsService.h"
#include "services/Defaults.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QtTest>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

CustomTab makeTab(const QString& name, CustomTab::Kind kind = CustomTab::Kind::script, bool enabled = true) {
    CustomTab t;
    t.id = QUuid::createUuid();
    t.name = name;
    t.kind = kind;
    t.command = "echo " + name;
    t.enabled = enabled;
    return t;
}

// A runner whose runs wait until the test lets them go, and that records each command line.
struct Gate {
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
    std::atomic<int> calls{0};
    QStringList lines;
    std::optional<QString> answer = QString("  out\n\n");

    CustomTabsService::Runner runner() {
        return [this](const QString& line, double) -> std::optional<QString> {
            std::unique_lock lock(mutex);
            ++calls;
            lines << line;
            opened.wait(lock, [this] { return open; });
            return answer;
        };
    }
    void release() {
        {
            std::lock_guard lock(mutex);
            open = true;
        }
        opened.notify_all();
    }
};

} // namespace

class tst_CustomTabsService : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_path = m_dir->filePath("defaults.json");
        m_defaults = std::make_unique<Defaults>(m_path);
    }
    void cleanup() {
        m_defaults.reset();
        m_dir.reset();
    }

    void nothingStoredGivesEmptyAndWritesNothing() {
        CustomTabsService service(*m_defaults, m_launcher);
        QVERIFY(service.tabs().isEmpty());
        QVERIFY(!m_defaults->contains("customTabs"));
    }

    void storedListLoadsInOrder() {
        const QList<CustomTab> tabs{makeTab("a"), makeTab("b", CustomTab::Kind::web), makeTab("c")};
        m_defaults->set("customTabs", QString::fromUtf8(CustomTabCodec::encode(tabs)));
        CustomTabsService service(*m_defaults, m_launcher);
        QCOMPARE(service.tabs(), tabs);
    }

    void badStoreIsKeptUntilTheNextWrite_data() {
        QTest::addColumn<QJsonValue>("stored");
        QJsonObject lacking{{"id", QUuid::createUuid().toString(QUuid::WithoutBraces)},
                            {"name", "x"},
                            {"kind", "script"},
                            {"command", "ls"},
                            {"url", ""},
                            {"refreshSeconds", 0}};
        const QString good = QString::fromUtf8(CustomTabCodec::encode({makeTab("ok")}));
        const QString bad = good.left(good.size() - 1) + "," +
                            QString::fromUtf8(QJsonDocument(lacking).toJson(QJsonDocument::Compact)) + "]";
        QTest::newRow("one element lacks enabled") << QJsonValue(bad);
        QTest::newRow("not text") << QJsonValue(QJsonArray{1, 2});
        QTest::newRow("a number") << QJsonValue(3);
        QTest::newRow("garbage text") << QJsonValue("{{{");
    }
    void badStoreIsKeptUntilTheNextWrite() {
        QFETCH(QJsonValue, stored);
        m_defaults->set("customTabs", stored);
        {
            CustomTabsService service(*m_defaults, m_launcher);
            QVERIFY(service.tabs().isEmpty());
            QCOMPARE(m_defaults->object("customTabs"), stored);
            // An unknown id changes nothing and writes nothing.
            service.setEnabled(makeTab("ghost"), false);
            QCOMPARE(m_defaults->object("customTabs"), stored);

            const CustomTab fresh = makeTab("fresh");
            service.save(fresh);
            const QJsonValue now = m_defaults->object("customTabs");
            QVERIFY(now.isString());
            QCOMPARE(CustomTabCodec::decode(now.toString().toUtf8()),
                     std::optional<QList<CustomTab>>(QList<CustomTab>{fresh}));
        }
        // What was written is what the next start reads, also from the file.
        QVERIFY(m_defaults->synchronize());
        Defaults again(m_path);
        CustomTabsService reread(again, m_launcher);
        QCOMPARE(reread.tabs().size(), 1);
        QCOMPARE(reread.tabs().first().name, QString("fresh"));
    }

    void editsKeepPositionsAndOrder() {
        CustomTabsService service(*m_defaults, m_launcher);
        QSignalSpy changed(&service, &CustomTabsService::tabsChanged);
        CustomTab a = makeTab("A"), b = makeTab("B", CustomTab::Kind::web, false), c = makeTab("C");
        service.save(a);
        service.save(b);
        service.save(c);
        QCOMPARE(changed.size(), 3);
        a.name = "A2";
        a.refreshSeconds = 9;
        service.save(a);
        QCOMPARE(service.tabs(), (QList<CustomTab>{a, b, c}));
        QCOMPARE(service.enabledTabs(), (QList<CustomTab>{a, c}));
        QCOMPARE(service.tab(b.id), std::optional<CustomTab>(b));
        QCOMPARE(service.tab(QUuid::createUuid()), std::nullopt);

        // Only `enabled` is taken from the call.
        CustomTab stale = b;
        stale.name = "changed elsewhere";
        service.setEnabled(stale, true);
        QCOMPARE(service.tab(b.id)->name, QString("B"));
        QVERIFY(service.tab(b.id)->enabled);

        service.remove(a);
        QCOMPARE(service.tabs().size(), 2);
        QCOMPARE(service.tabs().first().id, b.id);
        const auto stored = CustomTabCodec::decode(m_defaults->object("customTabs").toString().toUtf8());
        QVERIFY(stored);
        QCOMPARE(*stored, service.tabs());
    }

    void saveOfAnUnchangedTabSendsNoNotice() {
        CustomTabsService service(*m_defaults, m_launcher);
        const CustomTab a = makeTab("A");
        service.save(a);
        QSignalSpy changed(&service, &CustomTabsService::tabsChanged);
        service.save(a);
        QCOMPARE(changed.size(), 0);
    }

    void oneRunPerTabAndNoneForWebTabs() {
        Gate gate;
        CustomTabsService service(*m_defaults, gate.runner(), 20.0);
        const CustomTab script = makeTab("s"), web = makeTab("w", CustomTab::Kind::web);
        QSignalSpy running(&service, &CustomTabsService::runningIDsChanged);
        service.run(web);
        QCOMPARE(running.size(), 0);
        QVERIFY(service.runningIDs().isEmpty());

        service.run(script);
        service.run(script); // dropped, not queued
        QCOMPARE(service.runningIDs(), QSet<QUuid>{script.id});
        QVERIFY(QTest::qWaitFor([&] { return gate.calls.load() == 1; }, 5000));
        // While it runs there is still no output.
        QVERIFY(!service.outputs().contains(script.id));
        gate.release();
        QTRY_VERIFY_WITH_TIMEOUT(service.runningIDs().isEmpty(), 5000);
        QCOMPARE(gate.calls.load(), 1);
        QCOMPARE(service.outputs().value(script.id), QString("out")); // trimmed
        QCOMPARE(gate.lines, QStringList{"( echo s\n) 2>&1"});
    }

    void failureGivesTheFailureText() {
        Gate gate;
        gate.answer = std::nullopt;
        gate.release();
        CustomTabsService service(*m_defaults, gate.runner(), 20.0);
        const CustomTab t = makeTab("x");
        service.run(t);
        QTRY_VERIFY_WITH_TIMEOUT(service.outputs().contains(t.id), 5000);
        QCOMPARE(service.outputs().value(t.id), QString("The command failed or timed out."));
    }

    void emptyOutputIsAnOutput() {
        Gate gate;
        gate.answer = QString(" \n\t\n");
        gate.release();
        CustomTabsService service(*m_defaults, gate.runner(), 20.0);
        const CustomTab t = makeTab("x");
        service.run(t);
        QTRY_VERIFY_WITH_TIMEOUT(service.outputs().contains(t.id), 5000);
        QCOMPARE(service.outputs().value(t.id), QString(""));
    }

    void removeWhileRunningStoresTheLateOutput() {
        Gate gate;
        CustomTabsService service(*m_defaults, gate.runner(), 20.0);
        const CustomTab t = makeTab("x");
        service.save(t);
        service.run(t);
        service.remove(t);
        QCOMPARE(service.runningIDs(), QSet<QUuid>{t.id}); // untouched by remove
        gate.release();
        QTRY_VERIFY_WITH_TIMEOUT(service.runningIDs().isEmpty(), 5000);
        QCOMPARE(service.outputs().value(t.id), QString("out"));
        QVERIFY(service.tabs().isEmpty());
        // A later remove forgets it.
        service.remove(t);
        QVERIFY(!service.outputs().contains(t.id));
    }

    void aDestroyedServiceDropsTheResult() {
        Gate gate;
        auto service = std::make_unique<CustomTabsService>(*m_defaults, gate.runner(), 20.0);
        service->run(makeTab("x"));
        QVERIFY(QTest::qWaitFor([&] { return gate.calls.load() == 1; }, 5000));
        // The service's end waits for its run: the gate opens beside it, and the result it gives is
        // delivered only after the service has gone.
        std::thread opener([&] { gate.release(); });
        const auto joined = qScopeGuard([&] { opener.join(); });
        service.reset();
        QCoreApplication::processEvents(); // the late result finds no service and is dropped
    }

    void commandEndsItsOwnLine() {
        QCOMPARE(CustomTabsService::commandLine("ls # note"), QString("( ls # note\n) 2>&1"));
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
    std::unique_ptr<Defaults> m_defaults;
    FakeServiceLauncher m_launcher;
};

QTEST_GUILESS_MAIN(tst_CustomTabsService)
#include "tst_CustomTabsService.moc"
