// The few threads that run the HTTP library's routes (and open the files of downloads), so that no event
// loop waits on a route or a slow disk. Jobs run in the order given; the pool's end runs every job still
// waiting before it returns, so no request taken is left without its answer.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class RouteWorkers {
public:
    // At least one thread.
    explicit RouteWorkers(unsigned count);
    ~RouteWorkers();
    RouteWorkers(const RouteWorkers&) = delete;
    RouteWorkers& operator=(const RouteWorkers&) = delete;

    void push(std::function<void()> job);

private:
    void work();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};
