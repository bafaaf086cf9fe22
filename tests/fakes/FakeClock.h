// A clock that moves only when a test says so.
#pragma once

#include "platform/Clock.h"

class FakeClock final : public Clock {
public:
    explicit FakeClock(QDateTime start = QDateTime(QDate(2026, 1, 1), QTime(12, 0), Qt::UTC))
        : m_now(start) {}
    QDateTime now() const override { return m_now.addMSecs(m_elapsedMs); }
    qint64 monotonicMs() const override { return 1'000'000 + m_elapsedMs; }
    void advanceMs(qint64 ms) { m_elapsedMs += ms; }
    void advanceSeconds(double s) { m_elapsedMs += qint64(s * 1000.0); }

private:
    QDateTime m_now;
    qint64 m_elapsedMs = 0;
};
