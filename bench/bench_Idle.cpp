// What the island costs while nothing happens, next to another program that is always running
// (CopyQ, where it is installed) on the same private X server in the same minute: CPU share of one
// core, wake-ups a second (voluntary and involuntary context switches) over all threads and per
// thread, resident and private dirty memory, and the load average the figures were taken at. The
// states: collapsed as the caller's session is; with a private D-Bus session but no sound server; with
// a private sound server and mpv (with its MPRIS plug-in) paused, playing a tone or playing a file; open, the
// pointer resting on it; and a coding-agent session waiting on the user (the pulsing dot). Also how long the
// island takes to open once the pointer reaches the notch after a long rest, moved as a mouse moves it (a
// warp, which sends no raw motion, is seen only at the next motion: nothing polls for it).
//
// QUILLBAY_IDLE_SECONDS shortens the measured minute for a quick look, QUILLBAY_IDLE_SETTLE_SECONDS
// the 35 s of quiet before it. Without a display the run re-starts itself under tests/x11/with-xvfb.
#include "support/ProgramRun.h"

#include <benchmark/benchmark.h>

#include <xcb/shape.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <map>
#include <utility>

#include <signal.h>
#include <sys/stat.h>
#include <sys/time.h>
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

// One look at a process: its CPU time and memory, and each thread's context switches by name.
struct Sample {
    double cpuSeconds = 0;
    double rssMiB = 0;
    double privateDirtyMiB = 0;
    // The private dirty memory by kind of mapping: the main heap, other anonymous memory (thread stacks,
    // heap arenas of other threads, large blocks), shared memory (the window's backing store) and files
    // (relocations and data of the program and its libraries).
    std::map<std::string, double> privateDirtyByKind;
    std::map<long, std::pair<std::string, long long>> threads; // tid: name, switches
    // Nanoseconds each thread has spent on a CPU (the scheduler's own count, exact where the tick
    // counts behind cpuSeconds charge a whole tick or nothing to short wake-ups).
    std::map<long, long long> onCpuNs;
};

std::string firstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

Sample sampleOf(pid_t pid) {
    Sample s;
    const ProcSample p = sample(pid);
    s.cpuSeconds = p.cpuSeconds;
    s.rssMiB = p.rssMiB;
    const std::string base = "/proc/" + std::to_string(pid);
    std::ifstream rollup(base + "/smaps_rollup");
    for (std::string line; std::getline(rollup, line);)
        if (line.rfind("Private_Dirty:", 0) == 0)
            s.privateDirtyMiB = std::stod(line.substr(14)) / 1024.0;
    std::ifstream smaps(base + "/smaps");
    std::string kind = "files";
    for (std::string line; std::getline(smaps, line);) {
        std::istringstream fields(line);
        std::string range, perms, offset, device, inode, name;
        fields >> range >> perms >> offset >> device >> inode;
        if (range.find('-') != std::string::npos && device.find(':') != std::string::npos) {
            std::getline(fields >> std::ws, name);
            if (name == "[heap]")
                kind = "heap";
            else if (name.empty() || name[0] == '[')
                kind = "anon";
            else if (perms.size() == 4 && perms[3] == 's')
                kind = "shm";
            else
                kind = "files";
        } else if (line.rfind("Private_Dirty:", 0) == 0) {
            s.privateDirtyByKind[kind] += std::stod(line.substr(14)) / 1024.0;
        }
    }
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator(base + "/task", ec)) {
        long long switches = 0;
        std::ifstream status(task.path() / "status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
                switches += std::stoll(line.substr(24));
            else if (line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                switches += std::stoll(line.substr(27));
        }
        const long tid = std::atol(task.path().filename().c_str());
        s.threads[tid] = {firstLine(task.path() / "comm"), switches};
        std::ifstream sched(task.path() / "schedstat");
        long long ns = 0;
        if (sched >> ns)
            s.onCpuNs[tid] = ns;
    }
    return s;
}

// Time on a CPU between two samples, over the threads alive at both (a thread that ended between them
// takes its time along).
double onCpuSeconds(const Sample& before, const Sample& after) {
    long long ns = 0;
    for (const auto& [tid, now] : after.onCpuNs)
        if (const auto then = before.onCpuNs.find(tid); then != before.onCpuNs.end())
            ns += now - then->second;
    return double(ns) / 1e9;
}

double loadAverage() {
    return std::atof(firstLine("/proc/loadavg").c_str());
}

// Wake-ups a second between two samples, by the threads' role: the main thread, Qt's X event
// reader, the sound library's loop, D-Bus, and the rest. A thread that ended takes its count along;
// one that started counts from zero.
std::map<std::string, double> wakeupsByRole(pid_t pid, const Sample& before, const Sample& after,
                                            double wall) {
    std::map<std::string, double> out{{"main", 0}, {"xcb", 0}, {"pulse", 0}, {"dbus", 0}, {"other", 0}};
    for (const auto& [tid, thread] : after.threads) {
        const auto earlier = before.threads.find(tid);
        const long long n = earlier == before.threads.end()
                                ? thread.second
                                : std::max(0LL, thread.second - earlier->second.second);
        const std::string& name = thread.first;
        const std::string role = tid == pid                                      ? "main"
                                 : name.find("QXcb") != std::string::npos        ? "xcb"
                                 : name.find("threaded-ml") != std::string::npos ? "pulse"
                                 : name.find("QDBus") != std::string::npos       ? "dbus"
                                                                                 : "other";
        out[role] += double(n) / wall;
    }
    return out;
}

double totalWakeups(const std::map<std::string, double>& roles) {
    double sum = 0;
    for (const auto& [role, n] : roles)
        sum += n;
    return sum;
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

// Starts a helper program with the current environment plus `env`, its output discarded.
pid_t startHelper(const std::vector<std::string>& argv,
                  const std::vector<std::pair<std::string, std::string>>& env = {}) {
    const pid_t pid = fork();
    if (pid == 0) {
        for (const auto& [k, v] : env)
            setenv(k.c_str(), v.c_str(), 1);
        if (!freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "w", stderr) ||
            !freopen("/dev/null", "r", stdin))
            _exit(126);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    return pid;
}

bool waitForFile(const std::string& path, std::chrono::seconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        if (access(path.c_str(), F_OK) == 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20)); // a poll until the deadline
    }
    return false;
}

// A WAV file of `seconds` of silence (8 kHz, 8 bits, one channel); its path, or empty when it could not
// be written.
std::string writeSilence(const std::string& path, int seconds) {
    const uint32_t samples = uint32_t(8000 * seconds);
    auto le = [](std::ofstream& out, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.put(char((v >> (8 * i)) & 0xff));
    };
    std::ofstream out(path, std::ios::binary);
    out << "RIFF";
    le(out, 36 + samples, 4);
    out << "WAVEfmt ";
    le(out, 16, 4);   // the format block's size
    le(out, 1, 2);    // PCM
    le(out, 1, 2);    // one channel
    le(out, 8000, 4); // samples a second
    le(out, 8000, 4); // bytes a second
    le(out, 1, 2);    // bytes a sample
    le(out, 8, 2);    // bits a sample
    out << "data";
    le(out, samples, 4);
    const std::string second(8000, char(128));
    for (int i = 0; i < seconds; ++i)
        out << second;
    return out.good() ? path : std::string();
}

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

// What surrounds the program in one state, started before it and stopped after it.
struct Surroundings {
    bool bus = false;   // a private D-Bus session
    bool sound = false; // a private PulseAudio with a null output, at the program's default socket
    int player = 0;     // 0 none, 1 mpv paused, 2 mpv playing a tone, 3 mpv playing a file
    bool agentWaiting = false;
    bool expanded = false; // the pointer rests on the open island
    bool copyq = true;     // CopyQ measured beside it
};

class Rig {
public:
    Rig(const Surroundings& s, const std::string& home)
        : m_home(home) {
        if (s.bus) {
            const std::string socket = home + "/bus";
            m_pids.push_back(
                startHelper({"dbus-daemon", "--session", "--nofork", "--address=unix:path=" + socket}));
            m_ok = m_ok && waitForFile(socket, std::chrono::seconds(10));
            setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + socket).c_str(), 1);
            m_busSet = true;
        }
        if (s.sound) {
            const std::string run = home + "/run";
            m_pids.push_back(startHelper(
                {"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                 "--disable-shm=yes", "--load=module-null-sink sink_name=bench",
                 "--load=module-native-protocol-unix auth-anonymous=1 socket=" + run + "/pulse/native"},
                {{"HOME", home},
                 {"XDG_RUNTIME_DIR", run},
                 {"PULSE_RUNTIME_PATH", run + "/pulse"},
                 {"XDG_CONFIG_HOME", home + "/.config"}}));
            m_ok = m_ok && waitForFile(run + "/pulse/native", std::chrono::seconds(15));
        }
        if (s.player) {
            // The tone is a stream without an end: its length grows, and mpv announces the new length
            // every second. A file of ten minutes has a length, and mpv announces nothing while it plays.
            const std::string media = s.player == 3 ? writeSilence(home + "/silence.wav", 600)
                                                    : std::string("av://lavfi:sine=frequency=440");
            m_ok = m_ok && !media.empty();
            std::vector<std::string> mpv{"mpv",
                                         "--no-config",
                                         "--script=/usr/lib/mpv-mpris/mpris.so",
                                         "--ao=null",
                                         "--vo=null",
                                         "--no-terminal",
                                         "--loop-file=inf",
                                         "--force-media-title=Quillbay bench tone",
                                         media};
            if (s.player == 1)
                mpv.insert(mpv.begin() + 1, "--pause");
            m_pids.push_back(startHelper(mpv));
        }
        if (s.agentWaiting) {
            // A session whose last entry is the assistant's, quiet for five minutes: it waits on the user.
            const std::string folder = home + "/.claude/projects/-work-demo";
            std::filesystem::create_directories(folder);
            const std::string log = folder + "/session.jsonl";
            std::ofstream(log) << "{\"type\":\"user\"}\n{\"type\":\"assistant\"}\n";
            timeval times[2];
            gettimeofday(&times[0], nullptr);
            times[0].tv_sec -= 300;
            times[1] = times[0];
            utimes(log.c_str(), times);
        }
    }
    ~Rig() {
        for (auto it = m_pids.rbegin(); it != m_pids.rend(); ++it)
            stopProgram(*it);
        if (m_busSet)
            unsetenv("DBUS_SESSION_BUS_ADDRESS");
    }
    bool ok() const { return m_ok; }

private:
    std::string m_home;
    std::vector<pid_t> m_pids;
    bool m_ok = true;
    bool m_busSet = false;
};

void measure(benchmark::State& state, const Surroundings& surroundings) {
    xcb_connection_t* c = watchRoot();
    if (!c) {
        state.SkipWithError("no X display");
        return;
    }
    if (surroundings.player && findProgram("mpv").empty()) {
        state.SkipWithError("mpv is not installed");
        xcb_disconnect(c);
        return;
    }
    movePointer(c, 200, 900);
    for (auto _ : state) {
        const std::string home = makeHome("quillbay-idle");
        Rig rig(surroundings, home);
        if (!rig.ok()) {
            state.SkipWithError("a helper (D-Bus, the sound server) did not start");
            break;
        }
        const pid_t pid = startProgram(programBinary(), home);
        xcb_window_t panel = 0;
        if (!waitForPanel(c, std::chrono::seconds(10), &panel)) {
            stopProgram(pid);
            state.SkipWithError("the panel was never mapped");
            break;
        }
        if (surroundings.expanded) {
            std::this_thread::sleep_for(std::chrono::seconds(2)); // the launch settles before the hover
            movePointer(c, 960, 5);
            const auto deadline = Clock::now() + std::chrono::seconds(10);
            while (!acceptsInput(c, panel) && Clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(5)); // a poll until the deadline
            movePointer(c, 960, 150);                                      // resting on the dashboard
        }
        const std::string copyq = surroundings.copyq ? findProgram("copyq") : std::string();
        const pid_t other = copyq.empty() ? 0 : startProgram(copyq, makeHome("quillbay-idle"));
        // Past both programs' start-up work, and past the 30 s after which idle pool threads end (their
        // counts would leave with them).
        std::this_thread::sleep_for(std::chrono::seconds(settleSeconds()));
        const bool otherRuns = other > 0 && alive(other);
        const bool stillOpen = !surroundings.expanded || acceptsInput(c, panel);
        const double loadBefore = loadAverage();
        const Sample before = sampleOf(pid);
        const Sample otherBefore = otherRuns ? sampleOf(other) : Sample{};
        const auto from = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(measuredSeconds()));
        const Sample after = sampleOf(pid);
        const Sample otherAfter = otherRuns ? sampleOf(other) : Sample{};
        const double wall = std::chrono::duration<double>(Clock::now() - from).count();
        const double loadAfter = loadAverage();
        stopProgram(pid);
        if (other > 0)
            stopProgram(other);
        if (!stillOpen) {
            state.SkipWithError("the island did not stay open");
            break;
        }

        const auto roles = wakeupsByRole(pid, before, after, wall);
        state.counters["cpu_percent"] = 100.0 * (after.cpuSeconds - before.cpuSeconds) / wall;
        state.counters["cpu_exact_percent"] = 100.0 * onCpuSeconds(before, after) / wall;
        state.counters["wakeups_per_s"] = totalWakeups(roles);
        for (const auto& [role, n] : roles)
            state.counters[role + "_per_s"] = n;
        state.counters["rss_MiB"] = after.rssMiB;
        state.counters["private_dirty_MiB"] = after.privateDirtyMiB;
        for (const char* kind : {"heap", "anon", "shm", "files"}) {
            const auto it = after.privateDirtyByKind.find(kind);
            state.counters[std::string("private_dirty_") + kind + "_MiB"] =
                it == after.privateDirtyByKind.end() ? 0.0 : it->second;
        }
        state.counters["load1"] = (loadBefore + loadAfter) / 2.0;
        if (otherRuns) {
            const double theirCpu = 100.0 * (otherAfter.cpuSeconds - otherBefore.cpuSeconds) / wall;
            const double theirWakeups = totalWakeups(wakeupsByRole(other, otherBefore, otherAfter, wall));
            state.counters["copyq_cpu_percent"] = theirCpu;
            state.counters["copyq_cpu_exact_percent"] = 100.0 * onCpuSeconds(otherBefore, otherAfter) / wall;
            state.counters["copyq_wakeups_per_s"] = theirWakeups;
            state.counters["copyq_rss_MiB"] = otherAfter.rssMiB;
            state.counters["copyq_private_dirty_MiB"] = otherAfter.privateDirtyMiB;
            // Ours over theirs; a zero on their side gives no ratio.
            auto ratio = [](double a, double b) { return b > 0 ? a / b : -1.0; };
            state.counters["ratio_wakeups"] = ratio(totalWakeups(roles), theirWakeups);
            state.counters["ratio_private_dirty"] = ratio(after.privateDirtyMiB, otherAfter.privateDirtyMiB);
        } else if (surroundings.copyq) {
            state.SetLabel(copyq.empty() ? "copyq not installed" : "copyq did not start");
        }
        state.SetIterationTime(wall);
    }
    xcb_disconnect(c);
}

// Collapsed, in whatever session the benchmark was started from.
void BM_IdleCollapsed(benchmark::State& state) {
    measure(state, {});
}
BENCHMARK(BM_IdleCollapsed)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1)->Repetitions(1);

void BM_IdleNoSoundServer(benchmark::State& state) {
    measure(state, {.bus = true});
}
BENCHMARK(BM_IdleNoSoundServer)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1)->Repetitions(1);

void BM_IdleMediaPaused(benchmark::State& state) {
    measure(state, {.bus = true, .sound = true, .player = 1});
}
BENCHMARK(BM_IdleMediaPaused)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1)->Repetitions(1);

// The elapsed time changes once a second: one repaint of its label a second is the floor.
void BM_IdleMediaPlaying(benchmark::State& state) {
    measure(state, {.bus = true, .sound = true, .player = 2});
}
BENCHMARK(BM_IdleMediaPlaying)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1)->Repetitions(1);

// Playing a file, which mpv announces nothing about while it plays: the elapsed second alone.
void BM_IdleMediaPlayingFile(benchmark::State& state) {
    measure(state, {.bus = true, .sound = true, .player = 3});
}
BENCHMARK(BM_IdleMediaPlayingFile)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1)->Repetitions(1);

// Open on its first tab, the pointer resting on it; CopyQ has no open state to compare.
void BM_IdleExpanded(benchmark::State& state) {
    measure(state, {.bus = true, .sound = true, .expanded = true, .copyq = false});
}
BENCHMARK(BM_IdleExpanded)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1)->Repetitions(1);

// The waiting dot pulses for as long as the session waits.
void BM_IdleAgentWaiting(benchmark::State& state) {
    measure(state, {.bus = true, .sound = true, .agentWaiting = true, .copyq = false});
}
BENCHMARK(BM_IdleAgentWaiting)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1)->Repetitions(1);

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
