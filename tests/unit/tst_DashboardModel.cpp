// The dashboard model: creation order, visible tabs, re-selection, and the island's activity questions.
#include "fakes/FakeClock.h"
#include "fakes/FakeTrustProbe.h"
#include "fakes/TestSupport.h"
#include "model/ClipItem.h"
#include "model/Feed.h"
#include "platform/Platform.h"
#include "platform/TrustProbe.h"
#include "platform/posix/PosixServiceLauncher.h"
#include "platform/procfs/LinuxProcessTable.h"
#include "platform/qt/QtTickerFactory.h"
#include "services/AIUsageService.h"
#include "services/AgentsService.h"
#include "services/AppPaths.h"
#include "services/ClipboardService.h"
#include "services/CommandsService.h"
#include "services/CustomTabsService.h"
#include "services/DashboardModel.h"
#include "services/Defaults.h"
#include "services/HUDService.h"
#include "services/MediaService.h"
#include "services/NewsService.h"
#include "services/PomodoroService.h"
#include "services/ProfilesService.h"
#include "services/SettingsService.h"
#include "services/ShelfService.h"
#include "services/UtilsState.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

CustomTab customTab(const QString& name, bool enabled = true) {
    CustomTab t;
    t.id = QUuid::createUuid();
    t.name = name;
    t.enabled = enabled;
    return t;
}

AIProviderUsage provider(std::optional<double> fraction) {
    return AIProviderUsage{"Claude", "Pro", {AIUsageMetric{"Semana", fraction, ""}}, std::nullopt};
}

} // namespace

class tst_DashboardModel : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void createsServicesInOrder();
    void firstLaunch();
    void terminalDisabledAtLaunchSelectsFirstVisible();
    void disablingTheSelectedTabMovesTheSelection();
    void movingTheSelectedTabKeepsIt();
    void customTabsAppearAndDisappear();
    void storedCustomTabsJoinTheOrderAtStart();
    void visibleTabsFilter();
    void aiHot_data();
    void aiHot();
    void indicatorsActive();
    void serviceChangesAreResent();
    void fifosInPlaceOfEveryStoreDoNotHangTheStart();
    void largeStoresWaitForLoadStores();
    void aBarePlatformLeavesEveryFacilityAbsent();

private:
    std::unique_ptr<DashboardModel> makeModel();

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<Defaults> m_defaults;
    FakeClock m_clock;
    PosixServiceLauncher m_launcher;
    LinuxProcessTable m_processes;
    QtTickerFactory m_tickers;
    FakeTrustProbe m_trust;
    std::unique_ptr<Platform> m_platform;
};

void tst_DashboardModel::initTestCase() {
    // As the program does at start, before any store is read.
    m_home = TestSupport::isolateHome();
    AppPaths::prepareFolders(TestSupport::folders());
}

void tst_DashboardModel::init() {
    QFile::remove(m_home->filePath("defaults.json"));
    m_defaults = std::make_unique<Defaults>(m_home->filePath("defaults.json"));
    m_platform.reset(new Platform{.clock = &m_clock,
                                  .launcher = &m_launcher,
                                  .processTable = &m_processes,
                                  .trustProbe = &m_trust,
                                  .tickers = &m_tickers});
}

void tst_DashboardModel::cleanup() {
    m_platform.reset();
    m_defaults.reset();
}

std::unique_ptr<DashboardModel> tst_DashboardModel::makeModel() {
    return std::make_unique<DashboardModel>(*m_platform, *m_defaults, TestSupport::folders());
}

void tst_DashboardModel::createsServicesInOrder() {
    auto model = makeModel();
    QStringList classes;
    for (QObject* child : model->children())
        classes << child->metaObject()->className();
    QCOMPARE(classes,
             QStringList({"SettingsService", "CustomTabsService", "CommandsService", "AIUsageService",
                          "AgentsService", "UtilsState", "ClipboardService", "CameraService", "MediaService",
                          "UpdateService", "PomodoroService", "KanbanService", "ShelfService", "NewsService",
                          "ProfilesService", "HUDService", "TelemetryService", "LanguageService",
                          "AccessibilityAuth"}));
    QCOMPARE(model->news().prefixo(), QString("news"));
    QCOMPARE(model->profiles().prefixo(), QString("profiles"));
    QCOMPARE(model->ai().cacheWindow(), 240.0);
    QCOMPARE(model->agents().activityWindow(), 3600.0);
    // Destroying the model deletes each service exactly once.
    QPointer<QObject> settings = &model->settings();
    model.reset();
    QVERIFY(!settings);
}

void tst_DashboardModel::firstLaunch() {
    auto model = makeModel();
    QList<TabSelection> all;
    for (DashboardTab t : DashboardTab::allCases())
        all << TabSelection(t);
    QCOMPARE(model->visibleTabs(), all);
    QCOMPARE(model->tab(), TabSelection(DashboardTab::terminal));
    QVERIFY(!model->paletteOpen());
    QVERIFY(!model->indicatorsActive());
    model->openSettings(); // nothing set yet: harmless
    int opened = 0;
    model->setOpenSettings([&opened] { ++opened; });
    model->openSettings();
    QCOMPARE(opened, 1);
}

void tst_DashboardModel::terminalDisabledAtLaunchSelectsFirstVisible() {
    makeModel()->settings().setTab(DashboardTab::terminal, false);
    auto model = makeModel();
    QCOMPARE(model->tab(), TabSelection(DashboardTab::ai));
    QVERIFY(!model->visibleTabs().contains(TabSelection(DashboardTab::terminal)));
}

void tst_DashboardModel::disablingTheSelectedTabMovesTheSelection() {
    auto model = makeModel();
    model->setTab(DashboardTab::kanban);
    QSignalSpy tabChanged(model.get(), &DashboardModel::tabChanged);
    model->settings().setTab(DashboardTab::news, false);
    QCOMPARE(model->tab(), TabSelection(DashboardTab::kanban));
    QCOMPARE(tabChanged.count(), 0);
    model->settings().setTab(DashboardTab::kanban, false);
    QCOMPARE(model->tab(), TabSelection(DashboardTab::terminal));
    QCOMPARE(tabChanged.count(), 1);
    // With Terminal hidden too, the first visible tab is the next in the order.
    model->setTab(DashboardTab::terminal);
    model->settings().setTab(DashboardTab::terminal, false);
    QCOMPARE(model->tab(), TabSelection(DashboardTab::ai));
}

void tst_DashboardModel::movingTheSelectedTabKeepsIt() {
    auto model = makeModel();
    model->setTab(DashboardTab::shelf);
    model->settings().moveTab(TabSelection(DashboardTab::shelf), -1);
    model->settings().moveTab(TabSelection(DashboardTab::terminal), 1);
    QCOMPARE(model->tab(), TabSelection(DashboardTab::shelf));
    QCOMPARE(model->visibleTabs().constFirst(), TabSelection(DashboardTab::ai));
}

void tst_DashboardModel::customTabsAppearAndDisappear() {
    auto model = makeModel();
    const CustomTab logs = customTab("Logs"), web = customTab("Web");
    model->customTabs().save(logs);
    model->customTabs().save(web);
    const TabSelection logsTab = TabSelection::custom(logs.id), webTab = TabSelection::custom(web.id);
    QList<TabSelection> visible = model->visibleTabs();
    QCOMPARE(visible.size(), 13);
    QCOMPARE(visible.mid(11), QList<TabSelection>({logsTab, webTab}));

    model->setTab(logsTab);
    model->customTabs().setEnabled(logs, false);
    QCOMPARE(model->tab(), TabSelection(DashboardTab::terminal));
    QVERIFY(!model->visibleTabs().contains(logsTab));

    model->setTab(webTab);
    model->customTabs().remove(web);
    QCOMPARE(model->tab(), TabSelection(DashboardTab::terminal));
    QVERIFY(!model->settings().tabOrder().contains(webTab));
}

void tst_DashboardModel::storedCustomTabsJoinTheOrderAtStart() {
    const CustomTab logs = customTab("Logs"), web = customTab("Web");
    // Written as an earlier run left them, with no tab order stored for them yet.
    m_defaults->set("customTabs", QString::fromUtf8(CustomTabCodec::encode({logs, web})));
    auto model = makeModel();
    QCOMPARE(model->customTabs().tabs(), (QList<CustomTab>{logs, web}));
    const QList<TabSelection> order = model->settings().tabOrder();
    QCOMPARE(order.mid(order.size() - 2),
             (QList<TabSelection>{TabSelection::custom(logs.id), TabSelection::custom(web.id)}));
}

void tst_DashboardModel::visibleTabsFilter() {
    const CustomTab shown = customTab("Shown");
    CustomTab hiddenTwin = customTab("Twin", false);
    CustomTab shownTwin = hiddenTwin;
    shownTwin.enabled = true;
    const QUuid deleted = QUuid::createUuid();
    const QList<TabSelection> order{TabSelection(DashboardTab::kit), TabSelection::custom(deleted),
                                    TabSelection::custom(shown.id), TabSelection(DashboardTab::clip),
                                    TabSelection::custom(hiddenTwin.id)};
    // A deleted tab's entry is dropped; of two tabs with one id the first decides.
    const QList<TabSelection> visible =
        DashboardModel::visibleTabs(order, {DashboardTab::clip}, {shown, hiddenTwin, shownTwin});
    QCOMPARE(visible, QList<TabSelection>({TabSelection(DashboardTab::kit), TabSelection::custom(shown.id)}));
}

void tst_DashboardModel::aiHot_data() {
    QTest::addColumn<QList<AIProviderUsage>>("providers");
    QTest::addColumn<bool>("hot");
    QTest::newRow("none") << QList<AIProviderUsage>{} << false;
    QTest::newRow("exactly 0.85") << QList<AIProviderUsage>{provider(0.85)} << false;
    QTest::newRow("0.8501") << QList<AIProviderUsage>{provider(0.8501)} << true;
    QTest::newRow("0.851") << QList<AIProviderUsage>{provider(0.851)} << true;
    QTest::newRow("over the limit") << QList<AIProviderUsage>{provider(1.4)} << true;
    QTest::newRow("no fraction") << QList<AIProviderUsage>{provider(std::nullopt)} << false;
    AIProviderUsage mixed = provider(0.2);
    mixed.metrics << AIUsageMetric{"Créditos", std::nullopt, "12"} << AIUsageMetric{"5 horas", 0.9, ""};
    QTest::newRow("a later metric") << QList<AIProviderUsage>{provider(0.1), mixed} << true;
    AIProviderUsage empty{"Codex", "", {}, QString("no data")};
    QTest::newRow("no metrics") << QList<AIProviderUsage>{empty} << false;
}

void tst_DashboardModel::aiHot() {
    QFETCH(QList<AIProviderUsage>, providers);
    QFETCH(bool, hot);
    auto model = makeModel();
    model->ai().setProviders(providers);
    QCOMPARE(model->aiHot(), hot);
    QCOMPARE(model->indicatorsActive(), hot);
}

void tst_DashboardModel::indicatorsActive() {
    auto model = makeModel();
    QVERIFY(!model->indicatorsActive());

    model->agents().setSessions({AgentSession{"/a.jsonl", "Claude", "app", "working", 1}});
    QVERIFY(!model->indicatorsActive());
    model->agents().setSessions({AgentSession{"/a.jsonl", "Claude", "app", "waiting on you", 1}});
    QVERIFY(model->indicatorsActive());
    model->agents().setSessions({});

    MediaTrack track;
    track.app = "Spotify";
    model->media().setTrack(track);
    QVERIFY(model->mediaPresent());
    QVERIFY(model->indicatorsActive());
    model->media().setTrack(std::nullopt);
    QVERIFY(!model->mediaPresent());

    model->hud().setCurrent(HUDService::Level{HUDService::Kind::brightness, 0.0});
    QVERIFY(model->indicatorsActive());
    model->hud().setCurrent(std::nullopt);

    model->pomodoro().toggle();
    QVERIFY(model->indicatorsActive());
    model->pomodoro().toggle();
    QVERIFY(!model->indicatorsActive());
}

void tst_DashboardModel::serviceChangesAreResent() {
    auto model = makeModel();
    QSignalSpy changed(model.get(), &DashboardModel::changed);
    model->media().setElapsedSeconds(3);
    QCOMPARE(changed.count(), 1);
    model->pomodoro().toggle();
    QCOMPARE(changed.count(), 2);
    model->hud().setCurrent(HUDService::Level{HUDService::Kind::volume, 0.4});
    QCOMPARE(changed.count(), 3);
    model->news().setComposing(true);
    QCOMPARE(changed.count(), 4);
    model->profiles().setComposing(true);
    QCOMPARE(changed.count(), 5);
    // A service whose notices the model does not carry stays silent here.
    model->agents().setSessions({});
    QCOMPARE(changed.count(), 5);
}

// A FIFO at every store path: the start completes with empty stores and leaves the FIFOs alone. Should a
// read wait on one, a watchdog opens each for writing, which ends the wait, and the test fails instead of
// hanging.
void tst_DashboardModel::fifosInPlaceOfEveryStoreDoNotHangTheStart() {
    const QString support = TestSupport::folders().supportDir();
    QStringList fifos;
    for (const char* name :
         {"clipboard.json", "commands.json", "running.json", "shelf.json", "news-feeds.json",
          "news-items.json", "profiles-feeds.json", "profiles-items.json"})
        fifos << support + "/" + name;
    fifos << m_home->filePath("defaults.json");
    for (const QString& f : std::as_const(fifos))
        QCOMPARE(::mkfifo(QFile::encodeName(f).constData(), 0600), 0);
    const auto removeFifos = qScopeGuard([&] {
        for (const QString& f : std::as_const(fifos))
            QFile::remove(f);
    });

    std::atomic<bool> started{false}, hung{false};
    std::thread watchdog([&] {
        QDeadlineTimer limit(30000);
        while (!started && !limit.hasExpired())
            std::this_thread::sleep_for(std::chrono::milliseconds(20)); // polls the started flag
        if (started)
            return;
        hung = true;
        for (const QString& f : std::as_const(fifos)) {
            const int fd = ::open(QFile::encodeName(f).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0)
                ::close(fd);
        }
    });
    m_defaults = std::make_unique<Defaults>(m_home->filePath("defaults.json"));
    auto model = makeModel();
    started = true;
    watchdog.join();
    QVERIFY(!hung);
    QVERIFY(model->commands().commands().isEmpty());
    QVERIFY(model->clipboard().items().isEmpty());
    for (const QString& f : std::as_const(fifos))
        QVERIFY2(QFileInfo(f).exists() && !QFileInfo(f).isFile(), qPrintable(f));
    QVERIFY(QDir(support).entryList({"*.corrupt-*"}, QDir::AllEntries | QDir::System).isEmpty());
}

// With the stores left for later, the model starts with none of them read, and loadStores() reads them
// all, off the main thread, into the services.
void tst_DashboardModel::largeStoresWaitForLoadStores() {
    const QString support = TestSupport::folders().supportDir();
    QVERIFY(QDir().mkpath(support));
    const QUuid feed = QUuid::createUuid();
    const QHash<QString, QByteArray> stores{
        {"commands.json", R"([{"id":"5D1E5C3A-1111-4222-8333-944455556666","name":"api","command":"true"}])"},
        {"clipboard.json", ClipItemCodec::encode({{QUuid::createUuid(), "copied", m_clock.now(), true}})},
        {"news-feeds.json", Feeds::encode({{feed, "Feed", "http://127.0.0.1:1/", "http://127.0.0.1:1/f"}})},
        {"profiles-feeds.json",
         Feeds::encode({{feed, "@x", "http://127.0.0.1:1/", "http://127.0.0.1:1/x"}})}};
    for (auto it = stores.cbegin(); it != stores.cend(); ++it)
        QVERIFY(AppPaths::writePrivate(it.value(), support + "/" + it.key()));
    const auto removeStores = qScopeGuard([&] {
        for (auto it = stores.cbegin(); it != stores.cend(); ++it)
            QFile::remove(support + "/" + it.key());
    });
    auto model = std::make_unique<DashboardModel>(*m_platform, *m_defaults, TestSupport::folders(), nullptr,
                                                  StoreLoad::later);
    QVERIFY(model->commands().commands().isEmpty());
    QVERIFY(model->clipboard().items().isEmpty());
    QVERIFY(model->news().feeds().isEmpty() && model->profiles().feeds().isEmpty());
    model->loadStores();
    QVERIFY(TestSupport::waitUntil(
        [&] {
            return model->commands().isStoreLoaded() && model->clipboard().isStoreLoaded() &&
                   model->news().isStoreLoaded() && model->profiles().isStoreLoaded();
        },
        10000));
    QCOMPARE(model->commands().commands().size(), 1);
    QCOMPARE(model->clipboard().items().size(), 1);
    QCOMPARE(model->news().feeds().size(), 1);
    QCOMPARE(model->profiles().feeds().size(), 1);
    model.reset();
    for (auto it = stores.cbegin(); it != stores.cend(); ++it) {
        QFile f(support + "/" + it.key());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), it.value());
    }
}

// Over a platform that gives only what has no absent form, each operation that needs a missing facility
// ends as a cancel would: nothing is null for a service to trip over.
void tst_DashboardModel::aBarePlatformLeavesEveryFacilityAbsent() {
    auto model = makeModel();
    UtilsState& utils = model->utils();
    utils.captureAndOCR();
    QVERIFY(!utils.capturing());
    QCOMPARE(utils.output(), QStringLiteral("Captura cancelada"));
    const DevTool before = utils.tool();
    utils.pickColorFromScreen();
    QCOMPARE(utils.tool(), before);
    utils.copyOutput();

    QTemporaryDir files;
    const QString path = files.filePath(QStringLiteral("a.txt"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    ShelfService& shelf = model->shelf();
    shelf.add({QUrl::fromLocalFile(path)});
    QCOMPARE(shelf.items().size(), 1);
    shelf.reveal(shelf.items().first());
    shelf.send(shelf.items().first());
    shelf.copy(shelf.items().first());

    QVERIFY(!model->hud().current());
    model->hud().poll();
    QVERIFY(!model->hud().current());
}

QTEST_GUILESS_MAIN(tst_DashboardModel)
#include "tst_DashboardModel.moc"
