#include "services/WorkPool.h"

#include <QThread>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

WorkPool::WorkPool(int maxThreads) {
    m_threads.setMaxThreadCount(maxThreads > 0 ? maxThreads : QThread::idealThreadCount());
}

WorkPool::~WorkPool() {
    cancel();
    m_threads.waitForDone();
}

void WorkPool::start(std::function<void()> task) {
    if (isCancelled())
        return;
    m_threads.start([this, task = std::move(task)] {
        if (!isCancelled())
            task();
    });
}

void WorkPool::runAll(int count, int helpers, const std::function<void(int)>& job) {
    // A helper that begins after the caller is done finds the batch closed and leaves without touching
    // `job`; the batch itself lives as long as the last helper holding it.
    struct Batch {
        std::atomic<int> next{0};
        int count = 0;
        const std::function<void(int)>* job = nullptr;
        std::mutex mutex;
        std::condition_variable idle;
        int active = 0;
        bool closed = false;
    };
    auto batch = std::make_shared<Batch>();
    batch->count = count;
    batch->job = &job;
    auto take = [](Batch& b) {
        for (int i = b.next.fetch_add(1); i < b.count; i = b.next.fetch_add(1))
            (*b.job)(i);
    };
    for (int h = std::min(helpers, count - 1); h > 0; --h) {
        start([batch, take] {
            {
                const std::lock_guard lock(batch->mutex);
                if (batch->closed)
                    return;
                ++batch->active;
            }
            take(*batch);
            const std::lock_guard lock(batch->mutex);
            if (--batch->active == 0)
                batch->idle.notify_all();
        });
    }
    take(*batch);
    std::unique_lock lock(batch->mutex);
    batch->closed = true;
    batch->idle.wait(lock, [&] { return batch->active == 0; });
}

void WorkPool::cancel() {
    m_cancel.raise();
}

bool WorkPool::waitForDone(int msecs) {
    return m_threads.waitForDone(msecs);
}
