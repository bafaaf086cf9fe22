// Opening the settings window: the view with its eight sections made, laid out and painted once, as
// the application does on each opening (the window itself is kept between openings).
#include "app/AppDelegate.h"
#include "app/SettingsWindow.h"
#include "fakes/FakeScreenList.h"
#include "fakes/OffscreenApp.h"
#include "fakes/TestSupport.h"
#include "services/CustomTabsService.h"
#include "services/DashboardModel.h"
#include "services/Defaults.h"
#include "views/Spring.h"
#include "views/settings/SettingsView.h"

#include <QApplication>

#include <benchmark/benchmark.h>

static void BM_OpenSettingsWindow(benchmark::State& bench) {
    auto home = TestSupport::isolateHome();
    Defaults defaults(home->filePath("defaults.json"));
    OffscreenApp rig(defaults, {FakeScreenList::screen("DP-1", QRectF(0, 0, 1920, 1080), "S1")});
    AppDelegate& app = *rig.delegate;
    app.applicationDidFinishLaunching();
    // A user with a few custom tabs: 16 rows in the features list.
    for (int i = 0; i < 5; ++i) {
        CustomTab t;
        t.id = QUuid::createUuid();
        t.name = QStringLiteral("Tab %1").arg(i);
        t.command = QStringLiteral("date");
        app.model().customTabs().save(t);
    }
    QCoreApplication::processEvents();
    for (auto _ : bench) {
        app.showSettingsWindow();
        benchmark::DoNotOptimize(app.settingsWindow()->grab());
        bench.PauseTiming();
        app.settingsWindow()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        bench.ResumeTiming();
    }
}
BENCHMARK(BM_OpenSettingsWindow)->Unit(benchmark::kMillisecond);

// The very first opening: the window too is made, shown and painted.
static void BM_FirstOpening(benchmark::State& bench) {
    auto home = TestSupport::isolateHome();
    Defaults defaults(home->filePath("defaults.json"));
    OffscreenApp rig(defaults, {FakeScreenList::screen("DP-1", QRectF(0, 0, 1920, 1080), "S1")});
    AppDelegate& app = *rig.delegate;
    app.applicationDidFinishLaunching();
    DashboardModel& m = app.model();
    for (auto _ : bench) {
        SettingsWindow window(defaults);
        window.setContent(
            new SettingsView(SettingsView::Services{m.settings(), m.customTabs(), m.accessibility(),
                                                    m.updates(), m.telemetry(), m.language()},
                             SettingsView::Actions{}));
        window.show();
        benchmark::DoNotOptimize(window.grab());
    }
}
BENCHMARK(BM_FirstOpening)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Animations::setEnabled(false);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
