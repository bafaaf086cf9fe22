// What the collapsed island costs while nothing happens, next to another program that is always
// running (CopyQ, where it is installed) on the same private X server in the same minute: CPU share
// of one core, voluntary wake-ups a second over all threads, and resident memory. Also how long the
// island takes to open once the pointer reaches the notch after a long rest, moved as a mouse moves
// it (a warp, which sends no raw motion, is seen only at the next motion: nothing polls for it).
//
// QUILLBAY_IDLE_SECONDS shortens the measured minute for a quick look, QUILLBAY_IDLE_SETTLE_SECONDS
// the 35 s of quiet before it. Without a display the run
// re-starts itself under tests/x11/with-xvfb.
#include "support/ProgramRun.h"

#include <benchmark/benchmark.h>

#include <xcb/shape.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace ProgramRun;
using Clock = std::chrono::steady_clock;
// QUILLBAY_BENCH_BINARY measures another build of the program, to compare two versions.
std::string programBinary() {
    const char* other = std::getenv("QUILLBAY_BENCH_BINARY");
    return other && *other ? other : QUILLBAY_BINARY_DIR "/quillbay";
}

struct Cost {
    double cpuPercent = 0;
    double wakeupsPerSecond = 0;
    double rssMiB = 0;
};

Cost costBetween(const ProcSample& before, const ProcSample& after, double wall) {
    return {100.0 * (after.cpuSeconds - before.cpuSeconds) / wall,
            double(wakeupsBetween(before, after)) / wall, after.rssMiB};
}

int settleSeconds() {
    const char* s = std::getenv("QUILLBAY_IDLE_SETTLE_SECONDS");
    const int n = s ? std::atoi(s) : -1;
    return n >= 0 ? n : 35;
}

int measuredSeconds() {
    const char* s = std::getenv("QUILLBAY_IDLE_SECONDS");
    const int n = s ? std::atoi(s) : 0;
    return n > 0 ? n : 60;
}

void BM_IdleCollapsed(benchmark::State& state) {
    xcb_connection_t* c = watchRoot();
    if (!c) {
        state.SkipWithError("no X display");
        return;
    }
    movePointer(c, 200, 900);
    for (auto _ : state) {
        const pid_t pid = startProgram(programBinary(), makeHome("quillbay-idle"));
        if (!waitForPanel(c, std::chrono::seconds(10))) {
            stopProgram(pid);
            state.SkipWithError("the panel was never mapped");
            break;
        }
        const std::string copyq = findProgram("copyq");
        const pid_t other = copyq.empty() ? 0 : startProgram(copyq, makeHome("quillbay-idle"));
        // Past both programs' start-up work, and past the 30 s after which idle pool threads end (their
        // counts would leave with them).
        std::this_thread::sleep_for(std::chrono::seconds(settleSeconds()));
        const bool otherRuns = other > 0 && alive(other);
        const ProcSample before = sample(pid);
        const ProcSample otherBefore = otherRuns ? sample(other) : ProcSample{};
        const auto from = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(measuredSeconds()));
        const ProcSample after = sample(pid);
        const ProcSample otherAfter = otherRuns ? sample(other) : ProcSample{};
        const double wall = std::chrono::duration<double>(Clock::now() - from).count();
        stopProgram(pid);
        if (other > 0)
            stopProgram(other);

        const Cost mine = costBetween(before, after, wall);
        state.counters["cpu_percent"] = mine.cpuPercent;
        state.counters["wakeups_per_s"] = mine.wakeupsPerSecond;
        state.counters["rss_MiB"] = mine.rssMiB;
        if (otherRuns) {
            const Cost theirs = costBetween(otherBefore, otherAfter, wall);
            state.counters["copyq_cpu_percent"] = theirs.cpuPercent;
            state.counters["copyq_wakeups_per_s"] = theirs.wakeupsPerSecond;
            state.counters["copyq_rss_MiB"] = theirs.rssMiB;
            // Ours over theirs; a zero on their side gives no ratio.
            auto ratio = [](double a, double b) { return b > 0 ? a / b : -1.0; };
            state.counters["ratio_cpu"] = ratio(mine.cpuPercent, theirs.cpuPercent);
            state.counters["ratio_wakeups"] = ratio(mine.wakeupsPerSecond, theirs.wakeupsPerSecond);
            state.counters["ratio_rss"] = ratio(mine.rssMiB, theirs.rssMiB);
        } else {
            state.SetLabel(copyq.empty() ? "copyq not installed" : "copyq did not start");
        }
        state.SetIterationTime(wall);
    }
    xcb_disconnect(c);
}
BENCHMARK(BM_IdleCollapsed)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1)->Repetitions(1);

// The open island takes clicks: its panel's input shape is empty exactly while it is collapsed, so
// the shape tells the moment the island's state changed.
bool acceptsInput(xcb_connection_t* c, xcb_window_t panel) {
    xcb_shape_get_rectangles_reply_t* r =
        xcb_shape_get_rectangles_reply(c, xcb_shape_get_rectangles(c, panel, XCB_SHAPE_SK_INPUT), nullptr);
    bool any = false;
    if (r) {
        const xcb_rectangle_t* rects = xcb_shape_get_rectangles_rectangles(r);
        for (int i = 0; i < xcb_shape_get_rectangles_rectangles_length(r); ++i)
            any = any || (rects[i].width > 0 && rects[i].height > 0);
    }
    free(r);
    return any;
}

// From the pointer reaching the notch, after a rest long enough for the island's tick to sleep, to
// the island's state being expanded (its panel starts taking clicks); the counter first_frame_ms
// goes on to the island visibly growing past its collapsed height (the row watched lies above the
// dashboard, so only the island's black can cover it). The pointer moves as a mouse moves it.
void BM_RestToExpanding(benchmark::State& state) {
    xcb_connection_t* c = watchRoot();
    if (!c) {
        state.SkipWithError("no X display");
        return;
    }
    const xcb_window_t backdrop = whiteBackdrop(c);
    movePointer(c, 200, 900);
    const pid_t pid = startProgram(programBinary(), makeHome("quillbay-idle"));
    xcb_window_t panel = 0;
    if (!waitForPanel(c, std::chrono::seconds(10), &panel)) {
        stopProgram(pid);
        state.SkipWithError("the panel was never mapped");
        return;
    }
    double frameSeconds = 0;
    int frames = 0;
    for (auto _ : state) {
        movePointer(c, 200, 900);
        if (!waitForPixel(c, 960, 35, false, std::chrono::seconds(5))) {
            state.SkipWithError("the island did not collapse");
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1500)); // the tick falls asleep
        const auto started = Clock::now();
        movePointer(c, 960, 5);
        const auto deadline = started + std::chrono::seconds(5);
        while (!acceptsInput(c, panel) && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        const auto expanded = Clock::now();
        if (expanded >= deadline || !waitForPixel(c, 960, 35, true, std::chrono::seconds(5))) {
            state.SkipWithError("the island did not open");
            break;
        }
        frameSeconds += std::chrono::duration<double>(Clock::now() - started).count();
        ++frames;
        state.SetIterationTime(std::chrono::duration<double>(expanded - started).count());
    }
    if (frames > 0)
        state.counters["first_frame_ms"] = 1000.0 * frameSeconds / frames;
    stopProgram(pid);
    xcb_destroy_window(c, backdrop);
    xcb_disconnect(c);
}
BENCHMARK(BM_RestToExpanding)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(8);

} // namespace

int main(int argc, char** argv) {
    if (!ProgramRun::ensureDisplay(argc, argv))
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
