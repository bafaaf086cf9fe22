// The one line the launch writes to the log: where the island ended up, for a user's bug report.
#pragma once

#include <QRectF>
#include <QSizeF>
#include <QString>

namespace LaunchReport {

// Rectangles as (x, y, w, h), sizes as (w, h), every number with at least one fractional digit and
// never in the user's locale.
QString line(const QRectF& screen, qreal safeTop, const QRectF& panel, int level, bool visible,
             const QSizeF& collapsed);

} // namespace LaunchReport
