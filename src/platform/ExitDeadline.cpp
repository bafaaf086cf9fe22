#include "platform/ExitDeadline.h"

#include <unistd.h>

ExitDeadline::ExitDeadline(std::chrono::milliseconds budget, int status, std::function<void()> onExpiry)
    : m_thread([this, budget, status, onExpiry = std::move(onExpiry)] {
        std::unique_lock lock(m_mutex);
        if (m_done.wait_for(lock, budget, [this] { return m_finished; }))
            return;
        if (onExpiry)
            onExpiry();
        // No destructor of static objects and no atexit handler: those may be what hangs.
        ::_exit(status);
    }) {}

ExitDeadline::~ExitDeadline() {
    {
        std::lock_guard lock(m_mutex);
        m_finished = true;
    }
    m_done.notify_one();
    m_thread.join();
}
