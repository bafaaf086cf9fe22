#include "services/UpdateSchedule.h"

namespace UpdateSchedule {

QString stamp(const QDateTime& now) {
    return now.toUTC().toString(Qt::ISODateWithMs);
}

bool isDue(const std::optional<QString>& stored, const QDateTime& now) {
    const QDateTime last = stored ? QDateTime::fromString(*stored, Qt::ISODateWithMs) : QDateTime();
    if (!last.isValid())
        return true;
    const qint64 age = last.secsTo(now);
    return age < -kFutureToleranceSeconds || age > kIntervalSeconds;
}

} // namespace UpdateSchedule
