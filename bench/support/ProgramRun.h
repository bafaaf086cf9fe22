// What the benchmarks that drive the built program share: a private X server for the run, a fresh
// home per program, starting and stopping it, watching the root window for the island's panel, and
// reading a process's cost from /proc.
#pragma once

#include <xcb/xcb.h>

#include <chrono>
#include <map>
#include <string>

#include <sys/types.h>

namespace ProgramRun {

// Without a display, runs this benchmark again under tests/x11/with-xvfb and never returns (unless
// that fails, when it reports and returns false). With a display it returns true at once.
bool ensureDisplay(int argc, char** argv);

// A fresh home below /tmp with the folders the program expects, so no earlier state (or lock) is
// shared between runs; empty when none could be made. Removed, with what is in it, when the run ends.
std::string makeHome(const char* prefix = "quillbay-bench");

// The executable `name` on PATH, or empty.
std::string findProgram(const char* name);

// Starts `binary` with its home, config, data, state and runtime folders in `home`, on the X
// display; its stdout (when `quietStdout`) and stderr go to /dev/null.
pid_t startProgram(const std::string& binary, const std::string& home, bool quietStdout = true);

// SIGTERM, then SIGKILL after 5 s; the child is reaped either way.
void stopProgram(pid_t pid);

// True while the child has not ended.
bool alive(pid_t pid);

// A connection that hears every window mapped on the root window; null without a display.
xcb_connection_t* watchRoot();
xcb_window_t rootOf(xcb_connection_t* c);

// Waits for the island's panel (override-redirect, 688 × 344) to be mapped; its window in `panel`.
bool waitForPanel(xcb_connection_t* c, std::chrono::milliseconds timeout, xcb_window_t* panel = nullptr);

// A white window over the whole screen, mapped before the program starts so that the panel lies above
// it: the island's black then shows against white.
xcb_window_t whiteBackdrop(xcb_connection_t* c);

// Whether the root window's pixel is black, and waiting until it is (or is not).
bool blackAt(xcb_connection_t* c, int16_t x, int16_t y);
bool waitForPixel(xcb_connection_t* c, int16_t x, int16_t y, bool black, std::chrono::milliseconds timeout);

// As a mouse would: a motion through XTest, which every listener of raw motion hears about.
void movePointer(xcb_connection_t* c, int16_t x, int16_t y);

struct ProcSample {
    double cpuSeconds = 0; // user + system, whole process
    double rssMiB = 0;
    long long wakeups = 0; // voluntary context switches, all threads
    // The same per thread, by thread id: a thread that ended takes its count with it, so a difference
    // of two samples is taken thread by thread, never below zero.
    std::map<long, long long> threadWakeups;
};

// Voluntary context switches between two samples of one process, over the threads of the later one.
long long wakeupsBetween(const ProcSample& before, const ProcSample& after);

ProcSample sample(pid_t pid);

} // namespace ProgramRun
