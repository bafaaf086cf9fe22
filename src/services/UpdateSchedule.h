// When the automatic update check is due: from the stamp of the last answer to a manifest request, kept in
// the defaults as an ISO 8601 text in UTC.
#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

namespace UpdateSchedule {

// Twenty hours between automatic checks.
inline constexpr qint64 kIntervalSeconds = 72000;
// A stamp this far ahead of the clock came from a clock that was later set back; it is ignored rather
// than postponing every check until that date.
inline constexpr qint64 kFutureToleranceSeconds = 3600;

// The stamp stored for an answer that came at `now`.
QString stamp(const QDateTime& now);
// Whether a check is due at `now` after the answer stamped `stored`: missing, unreadable or far in the
// future counts as the distant past.
bool isDue(const std::optional<QString>& stored, const QDateTime& now);

} // namespace UpdateSchedule
