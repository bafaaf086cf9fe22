// The palette's entries over the real model: what the list is built from, and what each entry does to
// the model when it finally runs (from the event loop, perhaps after the state it was drawn from, or
// the model itself, has gone).
#include "fakes/FakeCameraSource.h"
#include "fakes/FakeClock.h"
#include "fakes/FakePasteboard.h"
#include "fakes/FakeProcessTable.h"
#include "fakes/FakeTrustProbe.h"
#include "fakes/TestSupport.h"
#include "platform/Platform.h"
#include "platform/ServiceLauncher.h"
#include "platform/qt/QtTickerFactory.h"
#include "services/CameraService.h"
#include "services/CommandsService.h"
#include "services/CustomTabsService.h"
#include "services/DashboardModel.h"
#include "services/Defaults.h"
#include "services/PaletteActions.h"
#include "services/SettingsService.h"
#include "services/UtilsState.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QSignalSpy>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

Q_DECLARE_METATYPE(DevTool)

using CommandPalette::Action;

namespace {

// Starts nothing. A launch, unless refused, gets a made-up pid whose end descriptor is the read side of
// a pipe; SIGTERM "ends" it by closing the write side, so the service sees the end as it would a real one.
// It stays here rather than FakeServiceLauncher's way (no descriptor, ends found by reap()): the stop
// entry's test needs the end to arrive through the descriptor, from the worker thread that signals it,
// which also makes it the one launcher fake that may be called from two threads at once.
class ScriptedLauncher final : public ServiceLauncher {
public:
    ~ScriptedLauncher() override {
        for (int fd : std::as_const(m_writeEnds))
            ::close(fd);
    }
    Launched launch(const Request&) override {
        ++launches;
        if (refuse)
            return {-1, -1, QStringLiteral("refused by the test")};
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return {-1, -1, QStringLiteral("no pipe")};
        const QMutexLocker lock(&m_mutex);
        const qint32 pid = m_nextPid++;
        m_writeEnds.insert(pid, fds[1]);
        return {pid, fds[0], {}};
    }
    int openPidfd(qint32) override { return -1; }
    bool reap(qint32 pid, Ended* ended) override {
        if (ended)
            *ended = Ended{};
        const QMutexLocker lock(&m_mutex);
        return m_ended.contains(pid);
    }
    // Called from a worker thread by the service.
    bool signal(qint32 pid, int, int sig) override {
        if (sig != SIGTERM)
            return true;
        ++terminations;
        const QMutexLocker lock(&m_mutex);
        m_ended.insert(pid);
        if (const int fd = m_writeEnds.take(pid); fd > 0)
            ::close(fd);
        return true;
    }
    // Ends arrive through the end descriptor; nothing polls for them.
    bool hasEnded(int) override { return false; }
    bool signalGroup(qint32, int) override { return false; }
    int startLogKeeper(const QString&, const QString&, qint64) override { return -1; }
    std::optional<QByteArray> collectOutput(const Request&, std::chrono::steady_clock::time_point) override {
        return std::nullopt;
    }

    bool refuse = true;
    std::atomic<int> launches = 0;
    std::atomic<int> terminations = 0;

private:
    QMutex m_mutex;
    qint32 m_nextPid = 400000;
    QHash<qint32, int> m_writeEnds;
    QSet<qint32> m_ended;
};

QStringList ids(const QList<Action>& list) {
    QStringList out;
    for (const Action& a : list)
        out << a.id;
    return out;
}

const Action* find(const QList<Action>& list, const QString& id) {
    for (const Action& a : list)
        if (a.id == id)
            return &a;
    return nullptr;
}

CustomTab customTab(const QString& name, CustomTab::Kind kind, bool enabled) {
    CustomTab t;
    t.id = QUuid::createUuid();
    t.name = name;
    t.kind = kind;
    t.enabled = enabled;
    return t;
}

} // namespace

class tst_PaletteActions : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void entriesFollowTheModel();
    void entriesAreReadAfresh();
    void toggleDecidesWhenItRuns_data();
    void toggleDecidesWhenItRuns();
    void staleStartEntryStopsARunningCommand();
    void serviceLeftRunningByItsShellIsOfferedAStop();
    void aStartTakesBackWhatTheLastCopyLeftInItsGroup();
    void clipboardFillsKit_data();
    void clipboardFillsKit();
    void tabEntriesSelectWithoutCounting();
    void settingsAndQuitReachTheirOwners();
    void entriesOutliveTheModel();
    void cameraEntryFollowsTheMirror();

private:
    QJsonObject tabCounts() const { return m_defaults->dictionary("telemetryTabs").value_or(QJsonObject()); }
    SavedCommand savedCommand(const QString& name) const;

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<Defaults> m_defaults;
    FakeClock m_clock;
    ScriptedLauncher m_launcher;
    FakeProcessTable m_processes; // empty: every process stands alone, with nothing to read about it
    FakeTrustProbe m_trust;
    QtTickerFactory m_tickers;
    FakePasteboard m_pasteboard;
    FakeCameraSource m_camera;
    std::unique_ptr<Platform> m_platform;
    std::unique_ptr<DashboardModel> m_model;
    int m_quits = 0;
    std::unique_ptr<PaletteActions> m_actions;
};

void tst_PaletteActions::initTestCase() {
    m_home = TestSupport::isolateHome();
}

void tst_PaletteActions::init() {
    QFile::remove(m_home->filePath("defaults.json"));
    QDir(m_home->path() + "/.local/share/Quillbay").removeRecursively();
    m_launcher.refuse = true;
    m_launcher.launches = 0;
    m_launcher.terminations = 0;
    m_defaults = std::make_unique<Defaults>(m_home->filePath("defaults.json"));
    m_camera.stop();
    m_camera.answerAtOnce = true;
    m_camera.startCalls = 0;
    m_platform.reset(new Platform{.clock = &m_clock,
                                  .launcher = &m_launcher,
                                  .processTable = &m_processes,
                                  .trustProbe = &m_trust,
                                  .tickers = &m_tickers,
                                  .pasteboard = &m_pasteboard,
                                  .camera = &m_camera});
    m_model = std::make_unique<DashboardModel>(*m_platform, *m_defaults, TestSupport::folders());
    m_quits = 0;
    m_actions = std::make_unique<PaletteActions>(*m_model, [this] { ++m_quits; });
}

void tst_PaletteActions::cleanup() {
    if (m_model)
        QVERIFY(TestSupport::stopAll(m_model->commands()));
    m_actions.reset();
    m_model.reset();
    m_platform.reset();
    m_defaults.reset();
}

SavedCommand tst_PaletteActions::savedCommand(const QString& name) const {
    for (const SavedCommand& c : m_model->commands().commands())
        if (c.name == name)
            return c;
    qFatal("no saved command %s", qPrintable(name));
    return {};
}

void tst_PaletteActions::entriesFollowTheModel() {
    m_model->commands().add("web", "npm run dev", std::nullopt);
    m_model->commands().add("api", "go run .", std::nullopt);
    m_model->settings().setTab(DashboardTab::kanban, false);
    const CustomTab docs = customTab("Docs", CustomTab::Kind::web, true);
    const CustomTab logs = customTab("Logs", CustomTab::Kind::script, true);
    for (const CustomTab& t : {docs, customTab("Off", CustomTab::Kind::web, false), logs})
        m_model->customTabs().save(t);

    const QList<Action> list = m_actions->entries();
    QStringList want{"svc-" + uuidString(savedCommand("web").id),
                     "svc-" + uuidString(savedCommand("api").id),
                     "ocr",
                     "clipdetect",
                     "camera",
                     "settings",
                     "quit"};
    for (DashboardTab t : DashboardTab::allCases())
        if (t != DashboardTab::kanban)
            want << "tab-" + t.id();
    want << "ctab-" + uuidString(docs.id) << "ctab-" + uuidString(logs.id);
    QCOMPARE(ids(list), want);

    QCOMPARE(list[0].title + " | " + list[0].subtitle + " | " + list[0].icon,
             "Start web | npm run dev | play.fill");
    QCOMPARE(find(list, "camera")->title, QStringLiteral("Ativar espelho da câmera"));
    const Action* docsEntry = find(list, "ctab-" + uuidString(docs.id));
    QCOMPARE(docsEntry->title + " | " + docsEntry->icon, "Go to Docs | globe");
    const Action* logsEntry = find(list, "ctab-" + uuidString(logs.id));
    QCOMPARE(logsEntry->title + " | " + logsEntry->icon, "Go to Logs | terminal.fill");
}

void tst_PaletteActions::entriesAreReadAfresh() {
    const int before = int(m_actions->entries().size());
    m_model->commands().add("late", "make watch", std::nullopt);
    m_model->settings().setTab(DashboardTab::news, false);
    const QList<Action> list = m_actions->entries();
    QCOMPARE(list.size(), before);
    QCOMPARE(list.first().title, "Start late");
    QVERIFY(!find(list, "tab-news"));
}

void tst_PaletteActions::toggleDecidesWhenItRuns_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("launches");
    QTest::newRow("saved and stopped: started") << "" << 1;
    QTest::newRow("removed after the list was drawn: nothing") << "remove" << 0;
    QTest::newRow("unknown id: nothing") << "unknown" << 0;
}

void tst_PaletteActions::toggleDecidesWhenItRuns() {
    QFETCH(QString, change);
    QFETCH(int, launches);
    m_model->commands().add("web", "npm run dev", std::nullopt);
    const SavedCommand web = savedCommand("web");
    const QList<Action> list = m_actions->entries();
    const Action* entry = find(list, "svc-" + uuidString(web.id));
    QVERIFY(entry);
    if (change == "remove")
        m_model->commands().remove(web);
    if (change == "unknown")
        m_actions->operations().toggleCommand(QUuid::createUuid());
    else
        entry->run();
    QCOMPARE(m_launcher.launches.load(), launches);
    QVERIFY(m_model->commands().runningIDs().isEmpty());
}

void tst_PaletteActions::staleStartEntryStopsARunningCommand() {
    m_launcher.refuse = false;
    m_model->commands().add("sleeper", "sleep 30", std::nullopt);
    const SavedCommand sleeper = savedCommand("sleeper");
    // Drawn while stopped, run after the command was started elsewhere: it must stop it, not launch
    // a second copy that could never be stopped from here.
    const QList<Action> list = m_actions->entries();
    QCOMPARE(list.first().title, "Start sleeper");
    m_model->commands().start(sleeper);
    QVERIFY(m_model->commands().runningIDs().contains(sleeper.id));
    list.first().run();
    QCOMPARE(m_launcher.launches.load(), 1);
    QTRY_VERIFY(m_model->commands().runningIDs().isEmpty());
    QCOMPARE(m_launcher.terminations.load(), 1);
    QCOMPARE(m_actions->entries().first().title, "Start sleeper");
}

void tst_PaletteActions::serviceLeftRunningByItsShellIsOfferedAStop() {
    m_launcher.refuse = false;
    m_model->commands().add("daemon", "setsid -f ./serve", std::nullopt);
    const SavedCommand daemon = savedCommand("daemon");
    m_model->commands().start(daemon);
    // What the shell started carries the service's marker and lives on after the shell.
    FakeProcessTable::Process served;
    served.environment.insert("QUILLBAY_SERVICE_ID", SavedCommandCodec::idString(daemon.id));
    m_processes.processes.insert(500, served);
    const auto recorded = [&] {
        QFile f(m_home->path() + "/.local/share/Quillbay/running.json");
        return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object() : QJsonObject();
    };
    const qint32 shell = recorded().value(SavedCommandCodec::idString(daemon.id)).toInt();
    QVERIFY(shell > 0);
    m_launcher.signal(shell, -1, SIGTERM); // the shell ends by itself
    // Recorded as the service's process once the search for what the shell left has found it.
    QTRY_COMPARE(recorded().value(SavedCommandCodec::idString(daemon.id)).toInt(), 500);
    QVERIFY(m_model->commands().runningIDs().contains(daemon.id));
    QVERIFY(m_model->commands().crashedIDs().isEmpty());
    QCOMPARE(m_actions->entries().first().title, "Stop daemon");
    // A start from anywhere launches no second copy.
    m_model->commands().start(daemon);
    QCOMPARE(m_launcher.launches.load(), 1);
    // Once that ends too, nothing of the service is left: its shell failed, so it crashed.
    m_processes.processes.remove(500);
    QTRY_VERIFY_WITH_TIMEOUT(!m_model->commands().runningIDs().contains(daemon.id), 10000);
    QVERIFY(m_model->commands().crashedIDs().contains(daemon.id));
    QCOMPARE(m_actions->entries().first().title, "Start daemon");
}

// A process of the last copy's group that the search at its shell's end missed (it cleared its
// environment) keeps the palette's Start from running a second copy: it is taken back instead, and the
// palette then offers Stop.
void tst_PaletteActions::aStartTakesBackWhatTheLastCopyLeftInItsGroup() {
    m_launcher.refuse = false;
    m_model->commands().add("web", "env -i ./serve &", std::nullopt);
    const SavedCommand web = savedCommand("web");
    const auto recorded = [&] {
        QFile f(m_home->path() + "/.local/share/Quillbay/running.json");
        const QJsonObject o =
            f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object() : QJsonObject();
        return o.value(SavedCommandCodec::idString(web.id)).toInt(-1);
    };
    m_model->commands().start(web);
    const qint32 shell = recorded();
    QVERIFY(shell > 0);
    m_launcher.signal(shell, -1, SIGTERM);
    QTRY_VERIFY_WITH_TIMEOUT(!m_model->commands().runningIDs().contains(web.id), 10000);
    QCOMPARE(m_actions->entries().first().title, "Start web");

    FakeProcessTable::Process left;
    left.pgrp = shell;
    left.session = shell;
    m_processes.processes.insert(600, left);
    m_model->commands().start(web);
    QCOMPARE(m_launcher.launches.load(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(m_model->commands().runningIDs().contains(web.id), 10000);
    QCOMPARE(recorded(), 600);
    QCOMPARE(m_actions->entries().first().title, "Stop web");
    m_model->commands().start(web);
    QCOMPARE(m_launcher.launches.load(), 1);

    // Once the group is empty, a start runs it again.
    m_processes.processes.remove(600);
    QTRY_VERIFY_WITH_TIMEOUT(!m_model->commands().runningIDs().contains(web.id), 10000);
    m_model->commands().start(web);
    QCOMPARE(m_launcher.launches.load(), 2);
}

void tst_PaletteActions::clipboardFillsKit_data() {
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QStringList>("changes");
    QTest::addColumn<DevTool>("tool");
    QTest::addColumn<QString>("input");
    QTest::newRow("empty: only the tab") << "" << QStringList{} << DevTool::json << "";
    QTest::newRow("blank: only the tab") << " \n\t " << QStringList{} << DevTool::json << "";
    QTest::newRow("epoch, trimmed") << "  1700000000\n"
                                    << QStringList{"tool", "input"} << DevTool::epoch << "1700000000";
    QTest::newRow("same tool: input only")
        << "{\"a\": 1}" << QStringList{"input"} << DevTool::json << "{\"a\": 1}";
}

void tst_PaletteActions::clipboardFillsKit() {
    QFETCH(QString, clipboard);
    QFETCH(QStringList, changes);
    QFETCH(DevTool, tool);
    QFETCH(QString, input);
    QStringList order;
    connect(&m_model->utils(), &UtilsState::toolChanged, this, [&] { order << "tool"; });
    connect(&m_model->utils(), &UtilsState::inputChanged, this, [&] { order << "input"; });
    if (clipboard.isEmpty())
        m_pasteboard.copy(std::nullopt);
    else
        m_pasteboard.copy(clipboard);
    m_model->setTab(TabSelection(DashboardTab::terminal));

    find(m_actions->entries(), "clipdetect")->run();
    QCOMPARE(m_model->tab(), TabSelection::kit());
    // The tool first, so that the kit reads the new input with the right tool.
    QCOMPARE(order, changes);
    QCOMPARE(m_model->utils().tool(), tool);
    QCOMPARE(m_model->utils().input(), input);
    QVERIFY(tabCounts().isEmpty());
}

void tst_PaletteActions::tabEntriesSelectWithoutCounting() {
    const CustomTab docs = customTab("Docs", CustomTab::Kind::web, true);
    m_model->customTabs().save(docs);
    const QList<Action> list = m_actions->entries();
    find(list, "tab-pomodoro")->run();
    QCOMPARE(m_model->tab(), TabSelection(DashboardTab::pomodoro));
    find(list, "ctab-" + uuidString(docs.id))->run();
    QCOMPARE(m_model->tab(), TabSelection::custom(docs.id));
    find(list, "ocr")->run();
    QCOMPARE(m_model->tab(), TabSelection::kit());
    // A jump from the palette is not a press on the bar.
    QVERIFY(tabCounts().isEmpty());
}

void tst_PaletteActions::settingsAndQuitReachTheirOwners() {
    int settingsOpened = 0;
    m_model->setOpenSettings([&] { ++settingsOpened; });
    const QList<Action> list = m_actions->entries();
    find(list, "settings")->run();
    find(list, "quit")->run();
    find(list, "camera")->run();
    QCOMPARE(settingsOpened, 1);
    QCOMPARE(m_quits, 1);
    QVERIFY(!m_model->paletteOpen());
}

void tst_PaletteActions::entriesOutliveTheModel() {
    m_model->commands().add("web", "npm run dev", std::nullopt);
    m_model->customTabs().save(customTab("Docs", CustomTab::Kind::web, true));
    const QList<Action> list = m_actions->entries();
    QVERIFY(list.size() > 5);
    m_model.reset();
    // The island went away between the pick and the event loop reaching the entry.
    for (const Action& a : list)
        a.run();
    QCOMPARE(m_launcher.launches.load(), 0);
    QCOMPARE(m_quits, 1); // quitting is the owner's, not the model's
    QVERIFY(ids(m_actions->entries()).contains("quit"));
    QVERIFY(m_actions->state().commands.isEmpty());
}

void tst_PaletteActions::cameraEntryFollowsTheMirror() {
    CameraService& camera = m_model->camera();
    QCOMPARE(find(m_actions->entries(), "camera")->title, QStringLiteral("Ativar espelho da câmera"));
    find(m_actions->entries(), "camera")->run();
    QVERIFY(camera.isActive());
    QCOMPARE(find(m_actions->entries(), "camera")->title, QStringLiteral("Desativar espelho da câmera"));
    // An entry drawn while the mirror was on runs against the state at the time it runs.
    const QList<Action> drawnOn = m_actions->entries();
    camera.stop();
    find(drawnOn, "camera")->run();
    QVERIFY(camera.isActive());
    find(m_actions->entries(), "camera")->run();
    QVERIFY(!camera.isActive());

    // Runs while the camera is still opening start it only once.
    m_camera.answerAtOnce = false;
    m_camera.startCalls = 0;
    const QList<Action> list = m_actions->entries();
    find(list, "camera")->run();
    find(list, "camera")->run();
    QCOMPARE(m_camera.startCalls, 1);
    m_camera.finishStart();
    QVERIFY(camera.isActive());
}

QTEST_MAIN(tst_PaletteActions)
#include "tst_PaletteActions.moc"
