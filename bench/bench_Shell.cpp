// Cost of one short command through the runner, and how far past its deadline a time-out returns (also
// for a group that ignores SIGTERM).
#include "platform/posix/PosixServiceLauncher.h"
#include "services/Shell.h"

#include <benchmark/benchmark.h>

#include <QString>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <signal.h>
#include <string>
#include <thread>
#include <unistd.h>

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

// The same for a job whose children ignore SIGTERM, at a 500 ms deadline: the run returns at the
// time-out and leaves the SIGKILL to after the grace period, so the overshoot stays far below that period.
// Each iteration waits, unmeasured, until the group is gone.
static void BM_GroupTimeoutOvershoot(benchmark::State& state) {
    PosixServiceLauncher launcher;
    const std::string pidFile = "/tmp/bench_Shell-" + std::to_string(::getpid()) + ".pid";
    const QString command =
        QString::fromStdString("echo $$ > " + pidFile) + "; sh -c 'trap \"\" TERM; sleep 30 & sleep 30'";
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        auto out = Shell::run(launcher, command, 0.5);
        const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
        if (out)
            state.SkipWithError("no time-out");
        state.SetIterationTime(spent.count() - 0.5);
        std::ifstream in(pidFile);
        int leader = 0;
        in >> leader;
        for (int i = 0; leader > 1 && i < 500 && ::kill(leader, 0) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10)); // the reap after the grace period
    }
    std::remove(pidFile.c_str());
}
BENCHMARK(BM_GroupTimeoutOvershoot)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);

BENCHMARK_MAIN();
