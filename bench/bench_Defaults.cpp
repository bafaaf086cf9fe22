// Main-thread cost of one assignment on a store of about 10 KB. Besides the mean, the median, 95th
// percentile and worst single assignment are reported: a rare long stall is what the user feels.
#include "fakes/TestSupport.h"
#include "services/AppPaths.h"
#include "services/Defaults.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

static void setWithSave10KB(benchmark::State& state) {
    Defaults defaults(TestSupport::folders().defaultsFile("com.farrowlight.quillbay"));
    for (int i = 0; i < 215; ++i)
        defaults.set(QStringLiteral("key%1").arg(i), QStringLiteral("value %1 of a typical setting").arg(i));
    defaults.set("list", QJsonArray{"terminal", "ai", "kit", "clip", "camera", "media", "pomodoro"});
    defaults.synchronize();
    state.counters["bytes"] = double(QFileInfo(defaults.filePath()).size());
    std::vector<double> micros;
    QElapsedTimer timer;
    qint64 n = 0;
    for (auto _ : state) {
        timer.start();
        defaults.set("hotkeyKeyCode", ++n);
        const double us = double(timer.nsecsElapsed()) / 1000.0;
        state.SetIterationTime(us / 1e6);
        micros.push_back(us);
        // Lets a delayed save start, as the event loop would between two assignments.
        QCoreApplication::processEvents();
    }
    std::sort(micros.begin(), micros.end());
    const auto at = [&](double q) {
        return micros[std::min(micros.size() - 1, size_t(q * double(micros.size())))];
    };
    state.counters["p50_us"] = at(0.50);
    state.counters["p95_us"] = at(0.95);
    state.counters["max_us"] = micros.back();
}
BENCHMARK(setWithSave10KB)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(2.0);

int main(int argc, char** argv) {
    auto home = TestSupport::isolateHome();
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
