// The built program on a private X server: time from start to the island's panel being mapped, and
// from the pointer reaching the notch to the island growing (what the idle program costs is
// bench_Idle's). Without a display it re-runs itself under tests/x11/with-xvfb.
#include "support/ProgramRun.h"

#include <benchmark/benchmark.h>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
const std::string kBinary = QUILLBAY_BINARY_DIR "/quillbay";

// The width of the black run across the panel's columns on row `y` of the screen: the island's width.
int blackRunWidth(xcb_connection_t* c, int16_t y) {
    constexpr int16_t left = 616;
    constexpr uint16_t width = 688;
    xcb_get_image_reply_t* r = xcb_get_image_reply(
        c,
        xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, xcb_setup_roots_iterator(xcb_get_setup(c)).data->root,
                      left, y, width, 1, ~0u),
        nullptr);
    int black = 0;
    if (r && xcb_get_image_data_length(r) >= int(width) * 4) {
        const uint8_t* d = xcb_get_image_data(r);
        for (int x = 0; x < width; ++x)
            black += d[4 * x] == 0 && d[4 * x + 1] == 0 && d[4 * x + 2] == 0;
    }
    free(r);
    return black;
}

// The distinct widths the island shows on its way from collapsed to full, sampled as fast as the
// server answers; a jump shows one or none.
int widthsOnTheWay(xcb_connection_t* c, std::chrono::milliseconds timeout) {
    std::vector<int> seen;
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        const int w = blackRunWidth(c, 20);
        if (w >= 639)
            break;
        if (w > 197 && std::find(seen.begin(), seen.end(), w) == seen.end())
            seen.push_back(w);
    }
    return int(seen.size());
}

void BM_LaunchToPanelMapped(benchmark::State& state) {
    xcb_connection_t* c = watchRoot();
    if (!c) {
        state.SkipWithError("no X display");
        return;
    }
    for (auto _ : state) {
        const std::string home = makeHome();
        const auto started = Clock::now();
        const pid_t pid = startProgram(kBinary, home, false);
        const bool mapped = waitForPanel(c, std::chrono::seconds(10));
        const auto elapsed = Clock::now() - started;
        stopProgram(pid);
        if (!mapped) {
            state.SkipWithError("the panel was never mapped");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(elapsed).count());
    }
    xcb_disconnect(c);
}
BENCHMARK(BM_LaunchToPanelMapped)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// From the pointer reaching the notch to the island visibly growing below the collapsed height (the
// row watched lies above the dashboard's tab bar, so only the island's black can cover it), and the
// widths the island then shows before it is full: its animation frames, as far as sampling sees them.
void BM_PointerToExpanding(benchmark::State& state) {
    xcb_connection_t* c = watchRoot();
    if (!c) {
        state.SkipWithError("no X display");
        return;
    }
    const xcb_window_t backdrop = whiteBackdrop(c);
    movePointer(c, 200, 900);
    const pid_t pid = startProgram(kBinary, makeHome(), false);
    if (!waitForPanel(c, std::chrono::seconds(10))) {
        stopProgram(pid);
        state.SkipWithError("the panel was never mapped");
        return;
    }
    std::vector<double> ms;  // the first opening after launch, then the warm ones
    std::vector<int> frames; // the widths seen on the way, likewise
    for (auto _ : state) {
        movePointer(c, 200, 900);
        if (!waitForPixel(c, 960, 35, false, std::chrono::seconds(5))) {
            state.SkipWithError("the island did not collapse");
            break;
        }
        const auto started = Clock::now();
        movePointer(c, 960, 5);
        if (!waitForPixel(c, 960, 35, true, std::chrono::seconds(5))) {
            state.SkipWithError("the island did not open");
            break;
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
        frames.push_back(widthsOnTheWay(c, std::chrono::seconds(2)));
        state.SetIterationTime(seconds);
        ms.push_back(seconds * 1000.0);
    }
    if (!ms.empty()) {
        state.counters["first_ms"] = ms.front();
        std::vector<double> warm(ms.begin() + 1, ms.end());
        std::sort(warm.begin(), warm.end());
        if (!warm.empty())
            state.counters["warm_median_ms"] = warm[warm.size() / 2];
        state.counters["first_frames"] = frames.front();
        std::vector<int> warmFrames(frames.begin() + 1, frames.end());
        std::sort(warmFrames.begin(), warmFrames.end());
        if (!warmFrames.empty())
            state.counters["warm_median_frames"] = warmFrames[warmFrames.size() / 2];
    }
    stopProgram(pid);
    xcb_destroy_window(c, backdrop);
    xcb_disconnect(c);
}
BENCHMARK(BM_PointerToExpanding)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

int main(int argc, char** argv) {
    if (!ProgramRun::ensureDisplay(argc, argv))
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
