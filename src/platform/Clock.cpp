#include "platform/Clock.h"

#include <QDeadlineTimer>

QDateTime SystemClock::now() const {
    return QDateTime::currentDateTimeUtc();
}

qint64 SystemClock::monotonicMs() const {
    // QDeadlineTimer's reference is the monotonic clock.
    return QDeadlineTimer::current(Qt::PreciseTimer).deadline();
}
