// Cost of one island tracking tick (30 per second for the life of the process), and of the X
// pointer query that feeds it when a display is available.
#include "app/IslandGeometry.h"
#include "app/NotchState.h"
#include "app/PointerTracker.h"
#include "platform/x11/X11PointerSource.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

TrackerContext context(bool expanded) {
    TrackerContext c;
    c.screenFrame = QRectF(0, 0, 1920, 1080);
    c.collapsedSize = IslandGeometry::kDefaultCollapsedSize;
    c.expandedSize = NotchState::expandedSize();
    c.expanded = expanded;
    c.indicatorsActive = true;
    c.mediaPresent = true;
    return c;
}

void BM_StepCollapsedIdle(benchmark::State& state) {
    PointerTracker tracker;
    const TrackerContext c = context(false);
    qreal x = 100;
    for (auto _ : state) {
        x = x > 1800 ? 100 : x + 1;
        benchmark::DoNotOptimize(tracker.step({QPointF(x, 600), false}, c));
    }
}
BENCHMARK(BM_StepCollapsedIdle);

void BM_StepExpandedInside(benchmark::State& state) {
    PointerTracker tracker;
    const TrackerContext c = context(true);
    for (auto _ : state)
        benchmark::DoNotOptimize(tracker.step({QPointF(960, 100), false}, c));
}
BENCHMARK(BM_StepExpandedInside);

void BM_QueryPointer(benchmark::State& state) {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        state.SkipWithError("no X display");
        return;
    }
    X11PointerSource source;
    for (auto _ : state)
        benchmark::DoNotOptimize(source.sample());
}
BENCHMARK(BM_QueryPointer)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    std::unique_ptr<QGuiApplication> app;
    if (qEnvironmentVariableIsSet("DISPLAY")) {
        int qtArgc = 1;
        app = std::make_unique<QGuiApplication>(qtArgc, argv);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
