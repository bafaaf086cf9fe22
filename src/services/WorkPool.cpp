#include "services/WorkPool.h"

#include <QThread>

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

void WorkPool::cancel() {
    m_cancel.raise();
}

bool WorkPool::waitForDone(int msecs) {
    return m_threads.waitForDone(msecs);
}
