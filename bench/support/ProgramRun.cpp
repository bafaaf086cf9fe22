#include "ProgramRun.h"

#include <xcb/xtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ProgramRun {

bool ensureDisplay(int argc, char** argv) {
    if (std::getenv("DISPLAY"))
        return true;
    const std::string wrapper = QUILLBAY_SOURCE_DIR "/tests/x11/with-xvfb";
    std::vector<char*> args{const_cast<char*>(wrapper.c_str())};
    for (int i = 0; i < argc; ++i)
        args.push_back(argv[i]);
    args.push_back(nullptr);
    execv(wrapper.c_str(), args.data());
    std::perror("with-xvfb");
    return false;
}

namespace {
// Homes made by this run, removed when it ends (the programs that used them are stopped by then).
std::vector<std::string>& madeHomes() {
    static std::vector<std::string> homes;
    return homes;
}
void removeMadeHomes() {
    for (const std::string& home : madeHomes()) {
        std::error_code ec;
        std::filesystem::remove_all(home, ec);
    }
}
} // namespace

std::string makeHome(const char* prefix) {
    std::string tmpl = std::string("/tmp/") + prefix + "-XXXXXX";
    if (!mkdtemp(tmpl.data()))
        return {};
    if (madeHomes().empty())
        std::atexit(removeMadeHomes);
    madeHomes().push_back(tmpl);
    for (const char* sub : {"/run", "/.config", "/.local", "/.local/share", "/.local/state"})
        mkdir((tmpl + sub).c_str(), 0700);
    return tmpl;
}

std::string findProgram(const char* name) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const std::string candidate = dir + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

pid_t startProgram(const std::string& binary, const std::string& home, bool quietStdout) {
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
        setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
        setenv("XDG_STATE_HOME", (home + "/.local/state").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (home + "/run").c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        if (quietStdout && !freopen("/dev/null", "w", stdout))
            _exit(126);
        if (!freopen("/dev/null", "w", stderr))
            _exit(126);
        execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

void stopProgram(pid_t pid) {
    if (pid <= 0)
        return;
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

bool alive(pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == 0;
}

xcb_connection_t* watchRoot() {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return nullptr;
    }
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, rootOf(c), XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);
    return c;
}

xcb_window_t rootOf(xcb_connection_t* c) {
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

bool waitForPanel(xcb_connection_t* c, std::chrono::milliseconds timeout, xcb_window_t* panel) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
            bool found = false;
            if ((e->response_type & 0x7f) == XCB_MAP_NOTIFY) {
                auto* m = reinterpret_cast<xcb_map_notify_event_t*>(e);
                if (m->override_redirect) {
                    auto* g = xcb_get_geometry_reply(c, xcb_get_geometry(c, m->window), nullptr);
                    found = g && g->width == 688 && g->height == 344;
                    free(g);
                    if (found && panel)
                        *panel = m->window;
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
    xcb_get_image_reply_t* r = xcb_get_image_reply(
        c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, rootOf(c), x, y, 1, 1, ~0u), nullptr);
    bool black = false;
    if (r && xcb_get_image_data_length(r) >= 3) {
        const uint8_t* d = xcb_get_image_data(r);
        black = d[0] == 0 && d[1] == 0 && d[2] == 0;
    }
    free(r);
    return black;
}

bool waitForPixel(xcb_connection_t* c, int16_t x, int16_t y, bool black, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (blackAt(c, x, y) == black)
            return true;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return false;
}

void movePointer(xcb_connection_t* c, int16_t x, int16_t y) {
    xcb_test_fake_input(c, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, rootOf(c), x, y, 0);
    xcb_flush(c);
}

ProcSample sample(pid_t pid) {
    ProcSample s;
    const std::string base = "/proc/" + std::to_string(pid);
    std::ifstream stat(base + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    if (close != std::string::npos) {
        std::istringstream rest(line.substr(close + 2));
        std::vector<std::string> fields;
        for (std::string f; rest >> f;)
            fields.push_back(f);
        // Counted from the state field: utime is the 12th, stime the 13th (whole process).
        if (fields.size() > 12)
            s.cpuSeconds = (std::stod(fields[11]) + std::stod(fields[12])) / double(sysconf(_SC_CLK_TCK));
    }
    std::ifstream status(base + "/status");
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            s.rssMiB = std::stod(line.substr(6)) / 1024.0;
    }
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator(base + "/task", ec)) {
        std::ifstream ts(task.path() / "status");
        while (std::getline(ts, line)) {
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0) {
                const long long n = std::stoll(line.substr(24));
                s.wakeups += n;
                s.threadWakeups[std::atol(task.path().filename().c_str())] = n;
            }
        }
    }
    return s;
}

long long wakeupsBetween(const ProcSample& before, const ProcSample& after) {
    long long sum = 0;
    for (const auto& [tid, n] : after.threadWakeups) {
        const auto earlier = before.threadWakeups.find(tid);
        sum += earlier == before.threadWakeups.end() ? n : std::max(0LL, n - earlier->second);
    }
    return sum;
}

} // namespace ProgramRun
