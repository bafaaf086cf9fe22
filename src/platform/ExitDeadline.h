// A bound on the end of the process: once the event loop has ended, what is left (destructors waiting
// for workers, a reader stuck in the kernel) must not keep the process alive. When the deadline passes
// first, `onExpiry` runs on the deadline's own thread and the process ends at once with `status`.
#pragma once

#include <QtGlobal>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class ExitDeadline {
public:
    ExitDeadline(std::chrono::milliseconds budget, int status, std::function<void()> onExpiry = {});
    // The end came in time: the deadline is called off.
    ~ExitDeadline();
    Q_DISABLE_COPY_MOVE(ExitDeadline)

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    std::thread m_thread; // last: it uses the members above
};
