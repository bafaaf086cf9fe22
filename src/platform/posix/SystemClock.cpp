// The system clocks behind the Clock seam.
#include "platform/posix/SystemClock.h"

#include <QDeadlineTimer>

#include <time.h>

QDateTime SystemClock::now() const {
    return QDateTime::currentDateTimeUtc();
}

qint64 SystemClock::monotonicMs() const {
    // QDeadlineTimer's reference is the monotonic clock.
    return QDeadlineTimer::current(Qt::PreciseTimer).deadline();
}

qint64 SystemClock::bootMs() const {
    timespec ts{};
    if (clock_gettime(CLOCK_BOOTTIME, &ts) != 0)
        return monotonicMs(); // kernels without it are older than anything we run on; stay monotonic
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}
