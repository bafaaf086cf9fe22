// Background work owned by the service it serves, never the process-wide pool: quitting can cancel it and
// knows nothing of it outlives its owner. Results still come back through a QPointer to the owner.
#pragma once

#include "platform/CancelSignal.h"

#include <QThreadPool>

#include <functional>

class WorkPool {
public:
    // `maxThreads` 0: as many as the machine has cores.
    explicit WorkPool(int maxThreads = 0);
    // Cancels, then waits for what runs: the owner's members outlive every task.
    ~WorkPool();
    Q_DISABLE_COPY_MOVE(WorkPool)

    // Runs `task` on a worker; once cancelled, a task that has not begun is dropped.
    void start(std::function<void()> task);
    // Runs job(0) … job(count - 1) on the calling thread and on up to `helpers` workers at once; returns
    // once every job has ended. The caller takes jobs too, so this never waits for a worker to be free: it
    // may be called from one of this pool's own tasks, or after cancel() (then the caller runs them all).
    void runAll(int count, int helpers, const std::function<void(int)>& job);
    // For QtConcurrent::run(&pool.threads(), ...): work that must end whole (a save) is never dropped.
    QThreadPool& threads() { return m_threads; }

    // Tasks that wait on children or read for long watch this: raised by cancel(), for good.
    const CancelSignal& cancelSignal() const { return m_cancel; }
    bool isCancelled() const { return m_cancel.isRaised(); }
    // Drops waiting tasks and tells running ones to stop; never blocks.
    void cancel();
    // True when every task has ended within `msecs` (-1: no limit).
    bool waitForDone(int msecs = -1);

private:
    CancelSignal m_cancel;
    QThreadPool m_threads; // last: its end waits for the workers before the signal goes
};
