// The built program on a private X server: time from start to the island's panel being mapped, from
// the pointer reaching the notch to the island growing, and what the collapsed, idle program costs
// (CPU share and resident memory over 60 s). Without a display it re-runs itself under
// tests/x11/with-xvfb.
#include "support/ProgramRun.h"

#include <benchmark/benchmark.h>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

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

void BM_IdleCollapsed(benchmark::State& state) {
    xcb_connection_t* c = watchRoot();
    if (!c) {
        state.SkipWithError("no X display");
        return;
    }
    for (auto _ : state) {
        const pid_t pid = startProgram(kBinary, makeHome(), false);
        if (!waitForPanel(c, std::chrono::seconds(10))) {
            stopProgram(pid);
            state.SkipWithError("the panel was never mapped");
            break;
        }
        std::this_thread::sleep_for(std::chrono::seconds(1)); // past the start-up work
        const ProcSample before = sample(pid);
        const auto from = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(60));
        const ProcSample after = sample(pid);
        const double wall = std::chrono::duration<double>(Clock::now() - from).count();
        stopProgram(pid);
        state.counters["cpu_percent"] = 100.0 * (after.cpuSeconds - before.cpuSeconds) / wall;
        state.counters["rss_MiB"] = after.rssMiB;
        state.SetIterationTime(wall);
    }
    xcb_disconnect(c);
}
BENCHMARK(BM_IdleCollapsed)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1)->Repetitions(1);

// A white window over the whole screen, mapped before the program starts so that the panel lies above
// it: the island's black then shows against white.
xcb_window_t whiteBackdrop(xcb_connection_t* c) {
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t w = xcb_generate_id(c);
    const uint32_t values[] = {screen->white_pixel, 1};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, 0, 0, screen->width_in_pixels,
                      screen->height_in_pixels, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(c, w);
    xcb_flush(c);
    return w;
}

bool blackAt(xcb_connection_t* c, int16_t x, int16_t y) {
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_get_image_reply_t* r =
        xcb_get_image_reply(c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, root, x, y, 1, 1, ~0u), nullptr);
    bool black = false;
    if (r && xcb_get_image_data_length(r) >= 3) {
        const uint8_t* d = xcb_get_image_data(r);
        black = d[0] == 0 && d[1] == 0 && d[2] == 0;
    }
    free(r);
    return black;
}

bool waitForPixel(xcb_connection_t* c, int16_t x, int16_t y, bool black, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        if (blackAt(c, x, y) == black)
            return true;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return false;
}

// As a mouse would: a motion through XTest, which the program hears about at once.
void movePointer(xcb_connection_t* c, int16_t x, int16_t y) {
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_test_fake_input(c, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root, x, y, 0);
    xcb_flush(c);
}

// From the pointer reaching the notch to the island visibly growing below the collapsed height (the
// row watched lies above the dashboard's tab bar, so only the island's black can cover it).
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
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - started).count());
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
