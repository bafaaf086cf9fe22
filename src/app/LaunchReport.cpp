// The launch line's format.
#include "app/LaunchReport.h"

namespace {

// Decimal text that always shows a fractional digit, without the user's locale.
QString decimal(qreal v) {
    if (v == 0)
        v = 0; // no "-0.0"
    QString s = QString::number(v, 'f', 6);
    while (s.endsWith(QLatin1Char('0')) && !s.endsWith(QLatin1String(".0")))
        s.chop(1);
    return s;
}

} // namespace

namespace LaunchReport {

QString line(const QRectF& screen, qreal safeTop, const QRectF& panel, int level, bool visible,
             const QSizeF& collapsed) {
    auto rect = [](const QRectF& r) {
        return QStringLiteral("(%1, %2, %3, %4)")
            .arg(decimal(r.x()), decimal(r.y()), decimal(r.width()), decimal(r.height()));
    };
    return QStringLiteral("screen.frame=%1 safeTop=%2 panel.frame=%3 level=%4 visible=%5 collapsed=(%6, %7)")
        .arg(rect(screen), decimal(safeTop), rect(panel), QString::number(level),
             visible ? QStringLiteral("true") : QStringLiteral("false"), decimal(collapsed.width()),
             decimal(collapsed.height()));
}

} // namespace LaunchReport
