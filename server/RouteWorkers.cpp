#include "RouteWorkers.h"

#include <algorithm>

RouteWorkers::RouteWorkers(unsigned count) {
    for (unsigned i = 0; i < std::max(count, 1u); ++i)
        m_threads.emplace_back([this] { work(); });
}

RouteWorkers::~RouteWorkers() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (std::thread& t : m_threads)
        t.join();
}

void RouteWorkers::push(std::function<void()> job) {
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
}

void RouteWorkers::work() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return !m_jobs.empty() || m_stopping; });
        if (m_jobs.empty())
            return;
        std::function<void()> job = std::move(m_jobs.front());
        m_jobs.pop_front();
        lock.unlock();
        job();
        lock.lock();
    }
}
