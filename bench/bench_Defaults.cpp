// Cost of one assignment with its save, on a store of about 10 KB.
#include "fakes/TestSupport.h"
#include "services/AppPaths.h"
#include "services/Defaults.h"

#include <QFileInfo>

#include <benchmark/benchmark.h>

static void setWithSave10KB(benchmark::State& state) {
    auto home = TestSupport::isolateHome();
    Defaults defaults(AppPaths::defaultsFile("com.farrowlight.quillbay"));
    for (int i = 0; i < 215; ++i)
        defaults.set(QStringLiteral("key%1").arg(i), QStringLiteral("value %1 of a typical setting").arg(i));
    defaults.set("list", QJsonArray{"terminal", "ai", "kit", "clip", "camera", "media", "pomodoro"});
    state.counters["bytes"] = double(QFileInfo(defaults.filePath()).size());
    qint64 n = 0;
    for (auto _ : state)
        defaults.set("hotkeyKeyCode", ++n);
}
BENCHMARK(setWithSave10KB)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
