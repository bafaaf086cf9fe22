// A one-way "stop now" that both a flag test and a poll(2) can see: work that waits on a descriptor adds
// fd() to its poll set, work that computes asks isRaised() between steps. Raised once, never lowered.
#pragma once

#include <QtGlobal>

#include <atomic>

class CancelSignal {
public:
    CancelSignal();
    ~CancelSignal();
    Q_DISABLE_COPY_MOVE(CancelSignal)

    // Safe from any thread, any number of times.
    void raise();
    bool isRaised() const { return m_raised.load(std::memory_order_acquire); }
    // Readable (POLLIN) once raised; -1 when the kernel gave no descriptor (then only the flag tells).
    int fd() const { return m_fd; }

private:
    std::atomic<bool> m_raised{false};
    int m_fd = -1;
};
