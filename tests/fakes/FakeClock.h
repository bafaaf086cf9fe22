// A clock that moves only when a test says so.
#pragma once

#include "platform/Clock.h"

class FakeClock final : public Clock {
public:
    explicit FakeClock(QDateTime start = QDateTime(QDate(2026, 1, 1), QTime(12, 0), Qt::UTC))
        : m_now(start) {}
    QDateTime now() const override { return m_now.addMSecs(m_elapsedMs); }
    qint64 monotonicMs() const override { return 1'000'000 + m_elapsedMs; }
    qint64 bootMs() const override { return 5'000'000 + m_elapsedMs + m_suspendedMs; }
    void advanceMs(qint64 ms) { m_elapsedMs += ms; }
    // The machine sleeps for `ms`: wall and boot time move on, the monotonic clock stands still.
    void suspendMs(qint64 ms) {
        m_suspendedMs += ms;
        m_now = m_now.addMSecs(ms);
    }
    void advanceSeconds(double s) { m_elapsedMs += qint64(s * 1000.0); }

private:
    QDateTime m_now;
    qint64 m_elapsedMs = 0;
    qint64 m_suspendedMs = 0;
};
