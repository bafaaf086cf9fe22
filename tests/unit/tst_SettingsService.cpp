// The settings store: defaults, repairs of stored tab lists, the cases that must not write, migration.
#include "fakes/TestChecks.h"
#include "fakes/TestSupport.h"
#include "services/AppPaths.h"
#include "services/Defaults.h"
#include "services/SettingsService.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QString uuidA = "1B4E28BA-2FA1-11D2-883F-0016D3CCA427";
const QString uuidB = "6BA7B810-9DAD-11D1-80B4-00C04FD430C8";
const QString builtins = "terminal ai kit clip camera media pomodoro kanban shelf news profiles";

[[nodiscard]] bool writeJson(const QString& path, const QJsonObject& object) {
    return TestSupport::passes([&] {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QJsonDocument(object).toJson());
    });
}

QString ids(const QList<TabSelection>& order) {
    QStringList list;
    for (const auto& s : order)
        list << s.id();
    return list.join(' ');
}

QString ids(const QSet<DashboardTab>& set) {
    QStringList list;
    for (DashboardTab tab : DashboardTab::allCases())
        if (set.contains(tab))
            list << tab.id();
    return list.join(' ');
}

} // namespace

class tst_SettingsService : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_home;
    QString m_path;
    std::unique_ptr<Defaults> m_defaults;
    std::unique_ptr<SettingsService> m_settings;

    SettingsService& start(const QJsonObject& stored = {}) {
        m_settings.reset();
        m_defaults.reset();
        // A store that cannot be written is a recorded failure: callers that pass one check
        // QTest::currentTestFailed() before going on.
        [[maybe_unused]] const bool written = stored.isEmpty() || writeJson(m_path, stored);
        m_defaults = std::make_unique<Defaults>(m_path);
        m_settings = std::make_unique<SettingsService>(*m_defaults);
        m_defaults->flush(); // what the start-up stored is on disk before the test acts
        return *m_settings;
    }
    bool savedFileExists() {
        m_defaults->flush();
        return QFile::exists(m_path);
    }
    // The file as it is once every pending save has landed.
    QJsonObject onDisk() {
        if (m_defaults)
            m_defaults->flush();
        QFile f(m_path);
        return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object() : QJsonObject();
    }

private slots:
    // One home serves every test, and each test starts from an empty configuration folder.
    void initTestCase() {
        m_home = TestSupport::isolateHome();
        m_path = TestSupport::folders().defaultsFile("com.farrowlight.quillbay");
    }
    void init() { QDir(m_home->path() + "/.config").removeRecursively(); }
    void cleanup() {
        m_settings.reset();
        m_defaults.reset();
    }

    void emptyStoreGivesDefaultsAndWritesOnlyTheMigrationFlag() {
        SettingsService& s = start();
        QCOMPARE(ids(s.tabOrder()), builtins);
        QVERIFY(s.disabledTabs().isEmpty());
        QCOMPARE(s.enabledTabs().size(), 11);
        QCOMPARE(s.simulateNotch(), true);
        QCOMPARE(s.preferredScreen(), QString("auto"));
        QCOMPARE(s.hotkeyKeyCode(), 45);
        QCOMPARE(s.hotkeyModifiers(), 0xC0000u);
        QCOMPARE(s.hotkeyDisplay(), QString("Ctrl+Alt+N"));
        QCOMPARE(s.clipboardHotkeyKeyCode(), 9);
        QCOMPARE(s.clipboardHotkeyModifiers(), 0x120000u);
        QCOMPARE(s.clipboardHotkeyDisplay(), QString("Shift+Super+V"));
        QCOMPARE(s.recording(), false);
        QCOMPARE(onDisk().keys(), QStringList{"migratedFromVestrand"});
    }

    void storedTabOrderIsRepaired_data() {
        QTest::addColumn<QJsonValue>("stored");
        QTest::addColumn<QString>("expected");
        QTest::newRow("duplicates, unknown id, custom")
            << QJsonValue(QJsonArray{"kit", "kit", "bogus", "custom-" + uuidA})
            << "kit custom-" + uuidA + " terminal ai clip camera media pomodoro kanban shelf news profiles";
        QTest::newRow("same custom tab in two cases")
            << QJsonValue(QJsonArray{"custom-" + uuidA.toLower(), "custom-" + uuidA, "news"})
            << "custom-" + uuidA + " news terminal ai kit clip camera media pomodoro kanban shelf profiles";
        QTest::newRow("not all strings") << QJsonValue(QJsonArray{"profiles", 3}) << builtins;
        QTest::newRow("a string") << QJsonValue("profiles") << builtins;
    }
    void storedTabOrderIsRepaired() {
        QFETCH(QJsonValue, stored);
        QFETCH(QString, expected);
        SettingsService& s = start({{"dashboardTabOrder", stored}, {"migratedFromVestrand", true}});
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(ids(s.tabOrder()), expected);
        QCOMPARE(onDisk().value("dashboardTabOrder"), stored); // loading writes nothing back
    }

    void storedDisabledTabsAreRepaired_data() {
        QTest::addColumn<QJsonValue>("order");
        QTest::addColumn<QJsonValue>("disabled");
        QTest::addColumn<QString>("expected");
        QJsonArray all;
        for (DashboardTab tab : DashboardTab::allCases())
            all.append(tab.id());
        QJsonArray allAndJunk = all;
        allAndJunk.append("bogus");
        QTest::newRow("all off, order starts with news")
            << QJsonValue(QJsonArray{"news"}) << QJsonValue(all)
            << "terminal ai kit clip camera media pomodoro kanban shelf profiles";
        QTest::newRow("all off, no order") << QJsonValue() << QJsonValue(allAndJunk)
                                           << "ai kit clip camera media pomodoro kanban shelf news profiles";
        QTest::newRow("all off, custom entry first")
            << QJsonValue(QJsonArray{"custom-" + uuidA, "media"}) << QJsonValue(all)
            << "terminal ai kit clip camera pomodoro kanban shelf news profiles";
        QTest::newRow("titles are not ids")
            << QJsonValue() << QJsonValue(QJsonArray{"Kit", "TERMINAL", "kit"}) << "kit";
        QTest::newRow("not all strings") << QJsonValue() << QJsonValue(QJsonArray{"kit", true}) << "";
    }
    void storedDisabledTabsAreRepaired() {
        QFETCH(QJsonValue, order);
        QFETCH(QJsonValue, disabled);
        QFETCH(QString, expected);
        QJsonObject stored{{"dashboardDisabledTabs", disabled}, {"migratedFromVestrand", true}};
        if (!order.isNull())
            stored.insert("dashboardTabOrder", order);
        SettingsService& s = start(stored);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(ids(s.disabledTabs()), expected);
        QVERIFY(!s.enabledTabs().isEmpty());
        QCOMPARE(onDisk().value("dashboardDisabledTabs"), disabled);
    }

    void storedHotkeyValues_data() {
        QTest::addColumn<QJsonValue>("keyCode");
        QTest::addColumn<QJsonValue>("modifiers");
        QTest::addColumn<int>("expectedKeyCode");
        QTest::addColumn<uint>("expectedModifiers");
        QTest::newRow("integers") << QJsonValue(46) << QJsonValue(0x120000) << 46 << 0x120000u;
        QTest::newRow("integral doubles") << QJsonValue(46.0) << QJsonValue(1179648.0) << 46 << 0x120000u;
        QTest::newRow("cleared key, negative modifiers") << QJsonValue(-1) << QJsonValue(-5) << -1 << 0u;
        QTest::newRow("oversized") << QJsonValue(qint64(1) << 40) << QJsonValue(qint64(1) << 40)
                                   << std::numeric_limits<int>::max() << 0u;
        QTest::newRow("wrong types") << QJsonValue(QJsonArray{1}) << QJsonValue("x") << 0 << 0u;
    }
    void storedHotkeyValues() {
        QFETCH(QJsonValue, keyCode);
        QFETCH(QJsonValue, modifiers);
        QFETCH(int, expectedKeyCode);
        QFETCH(uint, expectedModifiers);
        SettingsService& s = start({{"hotkeyKeyCode", keyCode},
                                    {"clipboardHotkeyModifiers", modifiers},
                                    {"migratedFromVestrand", true}});
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(s.hotkeyKeyCode(), expectedKeyCode);
        QCOMPARE(s.clipboardHotkeyModifiers(), expectedModifiers);
    }

    // Display texts stored in the sign form (by an earlier version, or brought over from the earlier
    // product) show in Linux words; the stored text is left as it is until the next recording.
    void storedSignDisplaysShowInLinuxWords_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("control option N") << QString::fromUtf8("⌃⌥N") << "Ctrl+Alt+N";
        QTest::newRow("shift command V") << QString::fromUtf8("⇧⌘V") << "Shift+Super+V";
        QTest::newRow("space") << QString::fromUtf8("⇧⌘Espaço") << "Shift+Super+Space";
        QTest::newRow("arrow") << QString::fromUtf8("⌥←") << "Alt+Left";
        QTest::newRow("return") << QString::fromUtf8("⌃↩") << "Ctrl+Return";
        QTest::newRow("all four, function key") << QString::fromUtf8("⌃⌥⇧⌘F5") << "Ctrl+Alt+Shift+Super+F5";
        QTest::newRow("cleared") << QString::fromUtf8("—") << QString::fromUtf8("—");
        QTest::newRow("already in words") << "Ctrl+Alt+J"
                                          << "Ctrl+Alt+J";
        QTest::newRow("signs only") << QString::fromUtf8("⌃⌥") << "Ctrl+Alt+?";
    }
    void storedSignDisplaysShowInLinuxWords() {
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        SettingsService& s = start(
            {{"hotkeyDisplay", stored}, {"clipboardHotkeyDisplay", stored}, {"migratedFromVestrand", true}});
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(s.hotkeyDisplay(), shown);
        QCOMPARE(s.clipboardHotkeyDisplay(), shown);
        QCOMPARE(onDisk().value("hotkeyDisplay").toString(), stored);
    }

    void valuesSurviveARestartAsIntegers() {
        SettingsService& s = start();
        s.setHotkeyKeyCode(-1);
        s.setHotkeyModifiers(0x1E0000);
        s.setTabOrder({TabSelection::custom(QUuid(uuidA)), DashboardTab::news});
        s.setTab(DashboardTab::camera, false);
        s.setTab(DashboardTab::ai, false);
        m_defaults->flush();
        QFile raw(m_path);
        QVERIFY(raw.open(QIODevice::ReadOnly));
        const QByteArray text = raw.readAll();
        QVERIFY(text.contains("\"hotkeyModifiers\": 1966080,"));
        QVERIFY(text.contains("\"custom-" + uuidA.toLatin1() + "\""));
        QCOMPARE(onDisk().value("dashboardDisabledTabs").toArray(), (QJsonArray{"ai", "camera"}));

        SettingsService& again = start();
        QCOMPARE(again.hotkeyKeyCode(), -1);
        QCOMPARE(again.hotkeyModifiers(), 0x1E0000u);
        QCOMPARE(ids(again.tabOrder()).section(' ', 0, 2), "custom-" + uuidA + " news terminal");
        QCOMPARE(ids(again.disabledTabs()), QString("ai camera"));
    }

    void assignmentsSaveEveryTimeButNotifyOnChange() {
        SettingsService& s = start();
        QSignalSpy notch(&s, &SettingsService::simulateNotchChanged);
        QSignalSpy order(&s, &SettingsService::tabOrderChanged);
        s.setSimulateNotch(true);
        QCOMPARE(onDisk().value("simulateNotch"), QJsonValue(true));
        QCOMPARE(notch.count(), 0);
        s.setSimulateNotch(false);
        QCOMPARE(notch.count(), 1);
        s.setTabOrder(s.tabOrder());
        QVERIFY(onDisk().contains("dashboardTabOrder"));
        QCOMPARE(order.count(), 0);
    }

    void directAssignmentsKeepTheInvariants() {
        SettingsService& s = start();
        s.setTabOrder({DashboardTab::shelf, DashboardTab::shelf});
        QCOMPARE(ids(s.tabOrder()), "shelf " + QString(builtins).remove("shelf ").simplified());
        QSet<DashboardTab> all(DashboardTab::allCases().begin(), DashboardTab::allCases().end());
        s.setDisabledTabs(all);
        QCOMPARE(s.enabledTabs(), QList<DashboardTab>{DashboardTab::shelf});
    }

    void setTabRefusesToDisableTheLastTab() {
        QJsonArray allButTerminal;
        for (DashboardTab tab : DashboardTab::allCases())
            if (tab != DashboardTab::terminal)
                allButTerminal.append(tab.id());
        SettingsService& s =
            start({{"dashboardDisabledTabs", allButTerminal}, {"migratedFromVestrand", true}});
        if (QTest::currentTestFailed())
            return;
        QSignalSpy spy(&s, &SettingsService::disabledTabsChanged);
        QVERIFY(QFile::remove(m_path));
        s.setTab(DashboardTab::terminal, false);
        s.setTab(DashboardTab::kit, false); // the count is taken whatever the tab
        QVERIFY(!savedFileExists());
        QCOMPARE(spy.count(), 0);

        s.setTab(DashboardTab::kit, true);
        QCOMPARE(s.enabledTabs(), (QList<DashboardTab>{DashboardTab::terminal, DashboardTab::kit}));
        s.setTab(DashboardTab::terminal, false);
        QCOMPARE(s.enabledTabs(), QList<DashboardTab>{DashboardTab::kit});
        QCOMPARE(spy.count(), 2);
    }

    void moveTab_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("delta");
        QTest::addColumn<QString>("expectedStart"); // empty: unchanged and not written
        QTest::newRow("first up") << 0 << -1 << "";
        QTest::newRow("last down") << 10 << 1 << "";
        QTest::newRow("far beyond") << 3 << -100 << "";
        QTest::newRow("second up") << 1 << -1 << "ai terminal kit";
        QTest::newRow("first down by two") << 0 << 2 << "kit ai terminal";
        QTest::newRow("not in the order") << -1 << 1 << "";
    }
    void moveTab() {
        QFETCH(int, index);
        QFETCH(int, delta);
        QFETCH(QString, expectedStart);
        SettingsService& s = start();
        const TabSelection which = index < 0 ? TabSelection::custom(QUuid(uuidA)) : s.tabOrder().at(index);
        QVERIFY(QFile::remove(m_path));
        s.moveTab(which, delta);
        if (expectedStart.isEmpty()) {
            QCOMPARE(ids(s.tabOrder()), builtins);
            QVERIFY(!savedFileExists());
        } else {
            QCOMPARE(ids(s.tabOrder()).section(' ', 0, 2), expectedStart);
            QCOMPARE(s.tabOrder().size(), 11);
        }
    }

    void syncCustomTabs() {
        SettingsService& s =
            start({{"dashboardTabOrder", QJsonArray{"custom-" + uuidA, "kit", "custom-" + uuidB}},
                   {"migratedFromVestrand", true}});
        if (QTest::currentTestFailed())
            return;
        const QUuid a(uuidA), b(uuidB), c = QUuid::createUuid();
        QSignalSpy spy(&s, &SettingsService::tabOrderChanged);
        QVERIFY(QFile::remove(m_path));
        s.syncCustomTabs({a, b});
        s.syncCustomTabs({b, a}); // the order's own arrangement wins over the list's
        QVERIFY(!savedFileExists());
        QCOMPARE(spy.count(), 0);

        s.syncCustomTabs({b, c, c});
        const QString expected = "kit custom-" + uuidB +
                                 " terminal ai clip camera media pomodoro kanban shelf news "
                                 "profiles custom-" +
                                 uuidString(c);
        QCOMPARE(ids(s.tabOrder()), expected);
        QCOMPARE(onDisk().value("dashboardTabOrder").toArray().size(), 13);
        QCOMPARE(spy.count(), 1);
    }

    void migrationCopiesOnce() {
        const QString earlier = TestSupport::folders().defaultsFile("com.farrowlight.vestrand");
        const QJsonObject old{{"hotkeyKeyCode", 46}, {"somethingElse", QJsonArray{"x"}}};
        QVERIFY(writeJson(earlier, old));
        SettingsService& s = start({{"hotkeyKeyCode", 12}});
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(s.hotkeyKeyCode(), 46); // overwrites what was there
        QCOMPARE(m_defaults->stringArray("somethingElse"), std::optional<QStringList>(QStringList{"x"}));
        QCOMPARE(m_defaults->boolValue("migratedFromVestrand"), true);
        QFile f(earlier);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(QJsonDocument::fromJson(f.readAll()).object(), old);
        f.close();

        QVERIFY(writeJson(earlier, {{"hotkeyKeyCode", 47}}));
        QCOMPARE(start().hotkeyKeyCode(), 46);
    }

    void corruptStoreIsMovedAsideAndDefaultsUsed() {
        QDir().mkpath(QFileInfo(m_path).absolutePath());
        QFile f(m_path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("{\"hotkeyKeyCode\": 46,");
        f.close();
        SettingsService& s = start();
        QCOMPARE(s.hotkeyKeyCode(), 45);
        QCOMPARE(ids(s.tabOrder()), builtins);
        const QFileInfo info(m_path);
        QCOMPARE(info.dir().entryList({info.fileName() + ".corrupt-*"}, QDir::Files).size(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_SettingsService)
#include "tst_SettingsService.moc"
