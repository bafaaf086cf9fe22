// The machine's own clocks: UTC wall time, the monotonic clock, and the boot-time clock that keeps
// counting through suspend.
#pragma once

#include "platform/Clock.h"

class SystemClock final : public Clock {
public:
    SystemClock() = default;
    QDateTime now() const override;
    qint64 monotonicMs() const override;
    qint64 bootMs() const override;
};
