// The command palette: entry order, the filter, the 8-row cap, and Enter/Escape/run semantics.
#include "services/CommandPalette.h"
#include "views/Icons.h"
#include "views/PaletteView.h"
#include "views/SystemColors.h"

#include <QLabel>
#include <QLineEdit>
#include <QtTest>

using CommandPalette::Action;

namespace {

QStringList ids(const QList<Action>& list) {
    QStringList out;
    for (const Action& a : list)
        out << a.id;
    return out;
}

QList<DashboardTab> allBuiltins() {
    const auto& all = DashboardTab::allCases();
    return QList<DashboardTab>(all.begin(), all.end());
}

// A palette over plain state, with its close request and every run recorded.
struct Harness {
    CommandPalette::State state;
    bool open = true;
    QStringList ran;
    std::unique_ptr<PaletteView> view;
    std::function<void()> onRun;

    Harness() {
        state.enabledTabs = allBuiltins();
        CommandPalette::Operations ops;
        ops.toggleCommand = [this](const QUuid& id) { record(QStringLiteral("toggle ") + uuidString(id)); };
        ops.grabScreenText = [this] { record(QStringLiteral("ocr")); };
        ops.detectClipboard = [this] { record(QStringLiteral("clipdetect")); };
        ops.toggleCamera = [this] { record(QStringLiteral("camera")); };
        ops.openSettings = [this] { record(QStringLiteral("settings")); };
        ops.quit = [this] { record(QStringLiteral("quit")); };
        ops.selectTab = [this](const TabSelection& s) { record(QStringLiteral("select ") + s.id()); };
        view = std::make_unique<PaletteView>([this] { return state; }, ops,
                                             [this] {
                                                 open = false;
                                                 view->hide();
                                             });
        view->resize(640, 320);
    }
    void record(const QString& what) {
        if (onRun)
            onRun();
        ran << what;
    }
};

CommandPalette::State::Command command(const QString& name, const QString& line, bool running = false) {
    return {QUuid::createUuid(), name, line, running};
}

} // namespace

class tst_CommandPalette : public QObject {
    Q_OBJECT
private slots:
    void orderWithoutCommandsOrCustomTabs();
    void commandsComeFirstAndFollowTheirState();
    void filter_data();
    void filter();
    void fifteenMatchesShowEight();
    void enterRunsFirstShownAfterClosing();
    void enterWithoutMatchKeepsPaletteOpen();
    void actionRunsEvenWhenPaletteIsGone();
    void escapeClosesAndClearsQuery();
    void reopenedListShowsNewState();
    void fieldTakesFocusWhenShown();
    void searchSignIsAMagnifyingGlass();
};

void tst_CommandPalette::orderWithoutCommandsOrCustomTabs() {
    CommandPalette::State state;
    state.enabledTabs = allBuiltins();
    const QStringList got = ids(CommandPalette::actions(state, {}));
    QStringList want{"ocr", "clipdetect", "camera", "settings", "quit"};
    for (DashboardTab t : allBuiltins())
        want << QStringLiteral("tab-") + t.id();
    QCOMPARE(got, want);
    // Entries whose operation is missing do nothing rather than crash.
    for (const Action& a : CommandPalette::actions(state, {}))
        a.run();
}

void tst_CommandPalette::commandsComeFirstAndFollowTheirState() {
    CommandPalette::State state;
    auto web = command("web", "npm run dev", true);
    state.commands = {web, command("api", "go run .")};
    state.cameraActive = true;
    state.enabledTabs = {DashboardTab::shelf, DashboardTab::terminal};
    const QUuid docs = QUuid::createUuid();
    state.customTabs = {{docs, "Docs", true}};
    const QList<Action> list = CommandPalette::actions(state, {});

    QCOMPARE(ids(list).mid(2), QStringList({"ocr", "clipdetect", "camera", "settings", "quit", "tab-shelf",
                                            "tab-terminal", "ctab-" + uuidString(docs)}));
    QCOMPARE(list[0].id, "svc-" + uuidString(web.id));
    QCOMPARE(list[0].title + " " + list[0].icon, "Stop web stop.fill");
    QCOMPARE(list[1].title + " " + list[1].icon, "Start api play.fill");
    QCOMPARE(list[4].title, QStringLiteral("Desativar espelho da câmera"));
    state.cameraActive = false;
    QCOMPARE(CommandPalette::actions(state, {})[4].title, QStringLiteral("Ativar espelho da câmera"));
}

void tst_CommandPalette::filter_data() {
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("empty keeps all") << "" << QStringList{};
    QTest::newRow("spaces only keep all") << " \t " << QStringList{};
    QTest::newRow("spaces around, case ignored") << "  kAN " << QStringList{"tab-kanban"};
    QTest::newRow("pasted no-break spaces around")
        << QStringLiteral("\u00A0kan\u2003") << QStringList{"tab-kanban"};
    QTest::newRow("subtitle only") << "run dev" << QStringList{"svc-web"};
    QTest::newRow("title before subtitle order kept") << "settings" << QStringList{"settings"};
    QTest::newRow("no accent folding") << "camera" << QStringList{"none"};
    QTest::newRow("accent as written") << QStringLiteral("câmera") << QStringList{"camera", "tab-camera"};
    QTest::newRow("line break is not trimmed") << "kan\n" << QStringList{"none"};
    QTest::newRow("nothing") << "zzz" << QStringList{"none"};
}

void tst_CommandPalette::filter() {
    QFETCH(QString, query);
    QFETCH(QStringList, expected);
    CommandPalette::State state;
    state.enabledTabs = allBuiltins();
    state.commands = {{QUuid(), "web", "npm run dev", false}};
    const QList<Action> all = CommandPalette::actions(state, {});
    QStringList got = ids(CommandPalette::filtered(all, query));
    for (QString& id : got)
        if (id.startsWith("svc-"))
            id = "svc-web";
    if (expected.isEmpty())
        QCOMPARE(got.size(), all.size());
    else if (expected == QStringList{"none"})
        QVERIFY2(got.isEmpty(), qPrintable(got.join(',')));
    else
        QCOMPARE(got, expected);
}

void tst_CommandPalette::fifteenMatchesShowEight() {
    Harness h;
    h.state.enabledTabs.clear();
    for (int i = 0; i < 15; ++i)
        h.state.commands << command(QStringLiteral("job%1").arg(i), QStringLiteral("make job%1").arg(i));
    h.view->show();
    h.view->setQuery("job");
    QCOMPARE(h.view->shown().size(), CommandPalette::maxRows);
    QCOMPARE(h.view->shown().first().title, "Start job0");
    QTest::keyClick(h.view->field(), Qt::Key_Return);
    QTRY_COMPARE(h.ran, QStringList{"toggle " + uuidString(h.state.commands.first().id)});
}

void tst_CommandPalette::enterRunsFirstShownAfterClosing() {
    Harness h;
    h.view->show();
    bool closedBeforeRun = false;
    h.onRun = [&] { closedBeforeRun = !h.open && !h.view->isVisible() && h.view->query().isEmpty(); };
    QTest::keyClicks(h.view->field(), "  pomo");
    QTest::keyClick(h.view->field(), Qt::Key_Enter);
    // The close happens at once; the action only once the call has returned to the event loop.
    QVERIFY(!h.open);
    QVERIFY(h.ran.isEmpty());
    QTRY_COMPARE(h.ran, QStringList{"select pomodoro"});
    QVERIFY(closedBeforeRun);
}

void tst_CommandPalette::actionRunsEvenWhenPaletteIsGone() {
    Harness h;
    h.view->show();
    h.view->setQuery("open settings");
    QTest::keyClick(h.view->field(), Qt::Key_Return);
    // The island may be torn down before the event loop gets to the entry.
    h.view.reset();
    QTRY_COMPARE(h.ran, QStringList{"settings"});
}

void tst_CommandPalette::enterWithoutMatchKeepsPaletteOpen() {
    Harness h;
    h.view->show();
    QTest::keyClicks(h.view->field(), "no such thing");
    QTest::keyClick(h.view->field(), Qt::Key_Return);
    QCoreApplication::processEvents(); // an entry would run from the event loop: it has had its turn
    QVERIFY(h.open);
    QVERIFY(h.view->isVisible());
    QCOMPARE(h.view->query(), "no such thing");
    QVERIFY(h.ran.isEmpty());
}

void tst_CommandPalette::escapeClosesAndClearsQuery() {
    Harness h;
    h.view->show();
    QTest::keyClicks(h.view->field(), "kit");
    QTest::keyClick(h.view->field(), Qt::Key_Escape);
    QVERIFY(!h.open);
    QCOMPARE(h.view->query(), QString());
    QCoreApplication::processEvents(); // an entry would run from the event loop: it has had its turn
    QVERIFY(h.ran.isEmpty());
    // Reopened, the whole list is back.
    h.view->show();
    QCOMPARE(h.view->shown().first().id, "ocr");
}

void tst_CommandPalette::reopenedListShowsNewState() {
    Harness h;
    h.state.commands = {command("web", "npm run dev")};
    h.view->show();
    QCOMPARE(h.view->shown().first().title, "Start web");
    QTest::keyClick(h.view->field(), Qt::Key_Return);
    QTRY_COMPARE(h.ran.size(), 1);
    h.state.commands.first().running = true;
    h.view->show();
    QCOMPARE(h.view->shown().first().title, "Stop web");
    QCOMPARE(h.view->shown().first().icon, "stop.fill");
}

void tst_CommandPalette::fieldTakesFocusWhenShown() {
    Harness h;
    h.view->show();
    QVERIFY(QTest::qWaitForWindowActive(h.view.get()));
    QTRY_VERIFY(h.view->field()->hasFocus());
}

// Not the ⌘ sign, which a Linux user does not read as "search".
void tst_CommandPalette::searchSignIsAMagnifyingGlass() {
    Harness h;
    h.view->show();
    auto* sign = h.view->findChild<QLabel*>("searchSymbol");
    QVERIFY(sign);
    const qreal dpr = sign->devicePixelRatioF();
    const QImage shown = sign->pixmap().toImage();
    QCOMPARE(shown, Icons::pixmap("magnifyingglass", QSize(12, 12), SystemColors::white(0.5), dpr).toImage());
    QVERIFY(shown != Icons::pixmap("command", QSize(12, 12), SystemColors::white(0.5), dpr).toImage());
}

QTEST_MAIN(tst_CommandPalette)
#include "tst_CommandPalette.moc"
