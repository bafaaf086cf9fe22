// The built program on a private X server: time from start to the island's panel being mapped, from
// the pointer reaching the notch to the island growing, and what the collapsed, idle program costs
// (CPU share and resident memory over 60 s). Without a display it re-runs itself under
// tests/x11/with-xvfb.
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

using Clock = std::chrono::steady_clock;
const std::string kBinary = QUILLBAY_BINARY_DIR "/quillbay";

// A fresh home for each run, so no earlier state (or lock) is shared.
std::string makeHome() {
    char tmpl[] = "/tmp/quillbay-bench-XXXXXX";
    const char* dir = mkdtemp(tmpl);
    if (!dir)
        return {};
    const std::string home = dir;
    for (const char* sub : {"/run", "/.config", "/.local", "/.local/share", "/.local/state"})
        mkdir((home + sub).c_str(), 0700);
    return home;
}

pid_t startProgram(const std::string& home) {
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
        setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
        setenv("XDG_STATE_HOME", (home + "/.local/state").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (home + "/run").c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        freopen("/dev/null", "w", stderr);
        execl(kBinary.c_str(), kBinary.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

void stopProgram(pid_t pid) {
    kill(pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 250; ++i) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
}

// Waits for an override-redirect window of the panel's size to be mapped on the root window.
bool waitForPanel(xcb_connection_t* c, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
            bool found = false;
            if ((e->response_type & 0x7f) == XCB_MAP_NOTIFY) {
                auto* m = reinterpret_cast<xcb_map_notify_event_t*>(e);
                if (m->override_redirect) {
                    auto* g = xcb_get_geometry_reply(c, xcb_get_geometry(c, m->window), nullptr);
                    found = g && g->width == 688 && g->height == 344;
                    free(g);
                }
            }
            free(e);
            if (found)
                return true;
        }
        if (xcb_connection_has_error(c))
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return false;
}

xcb_connection_t* watchRoot() {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return nullptr;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);
    return c;
}

struct ProcSample {
    double cpuSeconds = 0;
    double rssMiB = 0;
};

ProcSample sample(pid_t pid) {
    ProcSample s;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    if (close != std::string::npos) {
        std::istringstream rest(line.substr(close + 2));
        std::vector<std::string> fields;
        for (std::string f; rest >> f;)
            fields.push_back(f);
        // After the name: state is field 3, utime 14 and stime 15 (1-based in the whole line).
        if (fields.size() > 12)
            s.cpuSeconds = (std::stod(fields[11]) + std::stod(fields[12])) / double(sysconf(_SC_CLK_TCK));
    }
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            s.rssMiB = std::stod(line.substr(6)) / 1024.0;
    }
    return s;
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
        const pid_t pid = startProgram(home);
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
        const pid_t pid = startProgram(makeHome());
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
    const pid_t pid = startProgram(makeHome());
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
    if (!std::getenv("DISPLAY")) {
        // A private X server for the run, as the end-to-end tests use.
        const std::string wrapper = QUILLBAY_SOURCE_DIR "/tests/x11/with-xvfb";
        std::vector<char*> args{const_cast<char*>(wrapper.c_str())};
        for (int i = 0; i < argc; ++i)
            args.push_back(argv[i]);
        args.push_back(nullptr);
        execv(wrapper.c_str(), args.data());
        std::perror("with-xvfb");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
