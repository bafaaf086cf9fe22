// Per-keystroke cost of the command palette over 60 entries, and of switching between two plain tabs.
#include "fakes/FakeClock.h"
#include "fakes/FakeTrustProbe.h"
#include "fakes/TestSupport.h"
#include "platform/Platform.h"
#include "platform/posix/PosixServiceLauncher.h"
#include "platform/procfs/LinuxProcessTable.h"
#include "platform/qt/QtTickerFactory.h"
#include "services/CommandPalette.h"
#include "services/DashboardModel.h"
#include "services/Defaults.h"
#include "views/DashboardView.h"
#include "views/PaletteView.h"
#include "views/Spring.h"

#include <QApplication>

#include <benchmark/benchmark.h>

namespace {

// 44 saved commands + 5 fixed entries + 11 tabs.
CommandPalette::State sixtyEntries() {
    CommandPalette::State state;
    for (int i = 0; i < 44; ++i)
        state.commands.append({QUuid::createUuid(), QStringLiteral("service %1").arg(i),
                               QStringLiteral("npm run dev -- --port %1").arg(3000 + i), i % 3 == 0});
    const auto& all = DashboardTab::allCases();
    state.enabledTabs = QList<DashboardTab>(all.begin(), all.end());
    return state;
}

const QStringList keystrokes{"s", "se", "ser", "serv", "servi", "service 4", "  port 30", "go to k"};

} // namespace

static void BM_PaletteRebuildAndFilter(benchmark::State& bench) {
    const CommandPalette::State state = sixtyEntries();
    CommandPalette::Operations ops;
    ops.toggleCommand = [](const QUuid&) {};
    qsizetype i = 0;
    for (auto _ : bench) {
        const auto list = CommandPalette::actions(state, ops);
        auto shown = CommandPalette::filtered(list, keystrokes[i++ % keystrokes.size()])
                         .mid(0, CommandPalette::maxRows);
        benchmark::DoNotOptimize(shown);
    }
}
BENCHMARK(BM_PaletteRebuildAndFilter)->Unit(benchmark::kMicrosecond);

// The same through the widget: a typed character rebuilds the list and updates the eight rows.
static void BM_PaletteKeystrokeInView(benchmark::State& bench) {
    const CommandPalette::State state = sixtyEntries();
    PaletteView view([&] { return state; }, {}, [] {});
    view.resize(640, 320);
    view.show();
    qsizetype i = 0;
    for (auto _ : bench) {
        view.setQuery(keystrokes[i++ % keystrokes.size()]);
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_PaletteKeystrokeInView)->Unit(benchmark::kMicrosecond);

// Selecting another plain tab: the old view goes, the new one is made, laid out and painted.
static void BM_TabSwitch(benchmark::State& bench) {
    auto home = TestSupport::isolateHome();
    Defaults defaults(home->filePath("defaults.json"));
    FakeClock clock;
    PosixServiceLauncher launcher;
    LinuxProcessTable processes;
    QtTickerFactory tickers;
    FakeTrustProbe trust; // untrusted
    Platform platform{.clock = &clock,
                      .launcher = &launcher,
                      .processTable = &processes,
                      .trustProbe = &trust,
                      .tickers = &tickers};
    DashboardModel model(platform, defaults, TestSupport::folders());
    DashboardView view(model);
    view.resize(640, 320);
    view.show();
    bool flip = false;
    for (auto _ : bench) {
        model.setTab(TabSelection(flip ? DashboardTab::kanban : DashboardTab::pomodoro));
        flip = !flip;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        benchmark::DoNotOptimize(view.grab());
    }
}
BENCHMARK(BM_TabSwitch)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Animations::setEnabled(false);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
