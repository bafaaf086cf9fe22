// Cost of one short command through the runner, and how far past its deadline a time-out returns.
#include "platform/posix/PosixServiceLauncher.h"
#include "services/Shell.h"

#include <benchmark/benchmark.h>

#include <chrono>

static void BM_RunTrue(benchmark::State& state) {
    PosixServiceLauncher launcher;
    for (auto _ : state) {
        auto out = Shell::run(launcher, "true", 5.0);
        if (!out)
            state.SkipWithError("run failed");
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_RunTrue)->Unit(benchmark::kMillisecond)->UseRealTime();

static void BM_RunWithOutput(benchmark::State& state) {
    PosixServiceLauncher launcher;
    for (auto _ : state) {
        auto out = Shell::run(launcher, "head -c 100000 /dev/zero | tr '\\0' a", 5.0);
        if (!out || out->size() != 100000)
            state.SkipWithError("wrong output");
    }
}
BENCHMARK(BM_RunWithOutput)->Unit(benchmark::kMillisecond)->UseRealTime();

// The time reported is the overshoot past a 100 ms deadline.
static void BM_TimeoutOvershoot(benchmark::State& state) {
    PosixServiceLauncher launcher;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        auto out = Shell::run(launcher, "sleep 10", 0.1);
        const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
        if (out)
            state.SkipWithError("no time-out");
        state.SetIterationTime(spent.count() - 0.1);
    }
}
BENCHMARK(BM_TimeoutOvershoot)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);

BENCHMARK_MAIN();
