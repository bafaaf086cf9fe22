// Time source for every service: wall time for stored dates, monotonic time for durations.
// Injected so that interval rules can be tested without waiting.
#pragma once

#include <QDateTime>

class Clock {
public:
    virtual ~Clock() = default;
    // Wall-clock time, for dates that are stored or shown.
    virtual QDateTime now() const = 0;
    // Milliseconds on a clock that never jumps, for durations and deadlines.
    virtual qint64 monotonicMs() const = 0;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override;
    qint64 monotonicMs() const override;
};
