// Time source for every service: wall time for stored dates, monotonic time for durations.
// Injected so that interval rules can be tested without waiting.
#pragma once

#include <QtGlobal>

#include <QDateTime>

class Clock {
public:
    Clock() = default;
    virtual ~Clock() = default;
    Q_DISABLE_COPY_MOVE(Clock)
    // Wall-clock time, for dates that are stored or shown.
    virtual QDateTime now() const = 0;
    // Milliseconds on a clock that never jumps, for durations and deadlines.
    virtual qint64 monotonicMs() const = 0;
    // Milliseconds on a clock that never jumps but keeps counting while the machine sleeps, for
    // deadlines the user waits for in real time (a timer that ends during suspend has ended on waking).
    virtual qint64 bootMs() const = 0;
};
